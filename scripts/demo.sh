#!/usr/bin/env bash
# A short tour of lqcl against tolvo-sim on its default scenario: each command
# line is shown before its output and exit status. The emulator is started in
# a private device directory and stopped at the end, leaving nothing running.
# Usage: scripts/demo.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:-build/release}" && pwd) || { echo "demo: no build directory" >&2; exit 1; }
lqcl="$build/lqcl"
sim="$build/sim/tolvo-sim"
for b in "$lqcl" "$sim"; do
    [ -x "$b" ] || { echo "demo: $b not built" >&2; exit 1; }
done

devdir=$(mktemp -d)
simpid=
cleanup() {
    if [ -n "$simpid" ] && kill -0 "$simpid" 2>/dev/null; then
        kill -TERM "$simpid" 2>/dev/null
        wait "$simpid" 2>/dev/null
    fi
    rm -rf "$devdir"
}
trap cleanup EXIT INT TERM

# Start the emulator and wait for its "ready" line.
coproc SIM { exec "$sim" serve "$devdir"; }
simpid=$SIM_PID
if ! read -r -t 10 line <&"${SIM[0]}" || [ "$line" != "ready $devdir" ]; then
    echo "demo: tolvo-sim did not become ready" >&2
    exit 1
fi
export LQCL_DEV_DIR="$devdir"
cd "$devdir" || exit 1

run() {
    printf '\n$ lqcl %s\n' "$*"
    "$lqcl" "$@" 2>&1
    printf '\n[exit status %d]\n' $?
}

echo "== lqcl tour: one emulated RAID system (tolvo-sim default scenario) =="
run --version
run -F -n -z raidsystems
run -S -g -z whoami
run -C -g -z prodtype
run -C -g -z raidversion
run -C -g -z cntinfofailstruct
run -F -g -z confighdrstruct
run -F -n -z array
run -F -g -z rankconfigstruct
run -F -g -z hostconfigstruct
run -F -g -z lunmappingstruct
run -F -g -z regionmap
run -F -g -z arraylevel -l 0
run -F -g -z arraysize -l 7
echo
echo "== usage errors =="
run -C -g -z nosuchcommand
run -F -s -z restoreconfig
run -C -s -u 12g
exit 0

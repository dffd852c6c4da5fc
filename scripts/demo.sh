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

# lqcl takes a device path (-p PATH) only below /dev, as for real SCSI generic
# nodes: served there (as root), the tour can show that form too. Unix socket
# paths are short (107 bytes), so the directory name is kept short.
devdir=$(mktemp -d /dev/tolvo.XXXXXX 2>/dev/null) || devdir=$(mktemp -d)
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

ctl() { "$sim" ctl "$devdir" "$@" >/dev/null; }

# The maintenance tour: set the controllers' time, light a drive, fail an
# array member and watch the spare take over and rebuild as simulated time
# passes, then load a firmware image and reset a controller to adopt it.
maintenance_tour() {
    echo
    echo "== maintenance: clock, identify light, a failed drive and its rebuild, firmware =="
    run -C -s -z synctime
    run -D -s -z locate -l 1 -l 30
    run -D -g -z apmstatus -l 6 -l 1
    run -D -s -z faildrive -l 0 -l 1
    echo
    run -C -g -z regenpercentcomplete
    echo
    echo "(tolvo-sim: 90 seconds of simulated time pass)"
    ctl advance 90
    run -C -g -z regenpercentcomplete
    ctl advance 91
    echo "(tolvo-sim: the rebuild is done)"
    run -D -g -z alldriveinfostruct -l 17
    "$sim" firmware-image "$devdir/fw-5.14.img" controller 5.14 0514 100000
    run -C -s -z firmware -m "$devdir/fw-5.14.img"
    ctl model 0 controller-life '{"resetSeconds":10}'
    run -C -s -z reset -l 0
    echo "(tolvo-sim: controller A restarts; 11 seconds pass)"
    ctl advance 11
    run -C -g -z raidversion
}

echo "== lqcl tour: one emulated RAID system (tolvo-sim default scenario) =="
run --version
run -F -n -z raidsystems
run -S -g -z whoami
run -C -g -z prodtype
case $devdir in
/dev/*) run -p "$devdir/sg1" -C -g -z prodtype ;;
esac
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
echo "== a change tour: build a configuration, look at it, take it down again =="
# A RAID 5 array of the four unused drives in slots 7-10: count, WWNs, then
# chunk kB, RAID level, back-off and the cache parameters (none given).
run -F -c -z array -l 4 -u 5000C50000A00007 -u 5000C50000A00008 -u 5000C50000A00009 -u 5000C50000A0000A \
    -l 64 -l 5 -l 0 -l 0 -l 0 -l 0 -l 0 -l 0 -l 0 -l 0
run -F -s -z array -l 1 -m scratch
run -F -g -z percentcomplete -l 1
printf '\n(the emulator'"'"'s clock moves on by 130 seconds: the initialisation completes)\n'
"$sim" ctl "$devdir" advance 130 >/dev/null
run -F -g -z initstate -l 1
run -F -c -z logicaldrives -l 1 -l 250 -l 512 -m demo-volume
run -F -c -z lun -u 2000001B32A0B0C0 -u 2100001B32A0B0C0 -l 2 -l 2 -l 15 -l 0
run -F -c -z arrayspare -u 5000C50000A0000B -l 1
run -F -g -z rankconfigstruct
run -F -g -z hostconfigstruct
run -F -g -z lunmappingstruct
run -F -d -z lun -u 2100001B32A0B0C0 -l 0 -l 2
run -F -d -z logicaldrives -m demo-volume
run -F -d -z arrayspare -l 1
run -F -d -z array -l 1
run -F -n -z array
maintenance_tour
echo
echo "== usage errors =="
run -C -g -z nosuchcommand
run -F -s -z restoreconfig
run -C -s -u 12g
exit 0

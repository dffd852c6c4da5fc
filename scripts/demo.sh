#!/usr/bin/env bash
# A short tour of lqcl: each command line is shown before its output and exit
# status. Usage: scripts/demo.sh BUILD_DIR
set -uo pipefail
build=${1:-build/release}
lqcl="$build/lqcl"
[ -x "$lqcl" ] || { echo "demo: $lqcl not built" >&2; exit 1; }

# No real SCSI generic devices are used: in-band commands look in an empty
# device directory of the demo's own.
devdir=$(mktemp -d)
trap 'rm -rf "$devdir"' EXIT
export LQCL_DEV_DIR="$devdir"

run() {
    printf '\n$ lqcl %s\n' "$*"
    "$lqcl" "$@" 2>&1
    printf '[exit status %d]\n' $?
}

echo "== lqcl command-line tour (no RAID system attached) =="
run --version
run -h | head -n 12
run -C -z print | head -n 10
run -C -g -z cntinfofailstruct
run -N -p admin -p secret -p 192.0.2.1 -C -g -z nosuchcommand
run -N -p admin -p secret -p 192.0.2.1 -F -s -z restoreconfig
run -N -p admin -p secret -p 192.0.2.1 -C -s -u 12g
run -N -p admin -p secret -p 192.0.2.1 -C -s -l 0x10
run -N -p admin -p secret -p 192.0.2.1 -z name
exit 0

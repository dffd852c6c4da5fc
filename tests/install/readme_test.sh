#!/bin/bash
# Runs the README's "Running one command by hand" section exactly as written,
# from the top of the source tree, as a new user would paste it.
set -u
src=$1
cd "$src" || exit 1
script=$(awk '/^## Running one command by hand/ { on = 1; next } on && /^## / { exit }
              on && /^    / { print substr($0, 5) }' README.md)
[ -n "$script" ] || { echo "README: no by-hand section found"; exit 1; }
echo "$script"
# The section makes its directory with mktemp: give it a private TMPDIR so that
# whatever it leaves behind when a step fails (an emulator still serving) is
# found and stopped here.
scratch=$(mktemp -d)
cleanup() {
    for control in "$scratch"/*/.control; do
        [ -S "$control" ] && build/release/sim/tolvo-sim ctl "$(dirname "$control")" stop >/dev/null 2>&1
    done
    rm -rf "$scratch"
}
trap cleanup EXIT
out=$(TMPDIR=$scratch bash -e -c "$script" 2>&1)
status=$?
echo "$out"
[ $status -eq 0 ] || { echo "README by-hand section failed with status $status"; exit 1; }
grep -qx 'In-Band -> Number of RAID Systems found : 1' <<<"$out" || { echo "no RAID system was found"; exit 1; }
grep -qx 'Device: .*/sg0' <<<"$out" || { echo "whoami did not list the emulator's path"; exit 1; }
echo "README by-hand section: passed"

#!/bin/sh
# Installs the build into a temporary DESTDIR and runs the installed programs:
# lqcl -v, and one command against the installed emulator.
set -eu
build=$1
root=$(mktemp -d)
trap 'if [ -S "$root/devs/.control" ]; then "$root/usr/bin/tolvo-sim" ctl "$root/devs" stop >/dev/null 2>&1 || true; fi; rm -rf "$root"' EXIT
fail() { echo "install test: $*" >&2; exit 1; }

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

for f in usr/bin/lqcl usr/bin/tolvo-sim usr/share/man/man1/lqcl.1 usr/share/man/man1/tolvo-sim.1 \
         usr/share/bash-completion/completions/lqcl usr/share/doc/lqcl/README.md \
         usr/share/doc/lqcl/simulator.md usr/share/doc/lqcl/scenarios/default.json; do
    [ -f "$root/$f" ] || fail "$f is not installed"
done

out=$("$root/usr/bin/lqcl" -v)
[ "$out" = "$(printf '\n%s  version: 5.13.0005' "$root/usr/bin/lqcl")" ] || fail "lqcl -v printed: $out"

mkdir "$root/devs"
ready=$("$root/usr/bin/tolvo-sim" serve "$root/devs" --daemon)
[ "$ready" = "ready $root/devs" ] || fail "tolvo-sim printed: $ready"
out=$(LQCL_DEV_DIR=$root/devs "$root/usr/bin/lqcl" -F -n -z raidsystems)
[ "$out" = "$(printf '\nIn-Band -> Number of RAID Systems found : 1')" ] || fail "raidsystems printed: $out"
echo "install test: passed"

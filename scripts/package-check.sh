#!/usr/bin/env bash
# Checks the Debian package built by `make package`: its file list, then an
# install into a scratch root with dpkg, the installed lqcl run, and a removal
# that leaves no file of the package behind.
# Usage: scripts/package-check.sh BUILD_DIR
set -euo pipefail
build=$1
deb=$(ls "$build"/lqcl_*.deb | head -n 1)
echo "package: $deb"
dpkg-deb --info "$deb"
listing=$(dpkg-deb -c "$deb")
echo "$listing"
for f in ./usr/bin/lqcl ./usr/bin/tolvo-sim ./usr/share/man/man1/lqcl.1 ./usr/share/man/man1/tolvo-sim.1 \
         ./usr/share/bash-completion/completions/lqcl ./usr/share/doc/lqcl/README.md; do
    grep -q " $f\$" <<<"$listing" || { echo "package-check: $f missing from the package" >&2; exit 1; }
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The scratch root has no libc package registered: its dependencies are the host's.
dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb"
"$root/usr/bin/lqcl" -v
dpkg --root="$root" --force-depends --force-script-chrootless -r lqcl
left=$(find "$root/usr" -type f 2>/dev/null || true)
[ -z "$left" ] || { echo "package-check: files left after removal:" >&2; echo "$left" >&2; exit 1; }
echo "package-check: passed"

#!/usr/bin/env bash
# Runs every benchmark program built under BUILD_DIR/bench. Usage: scripts/bench.sh BUILD_DIR
set -euo pipefail
build=${1:-build/release}
shopt -s nullglob
found=0
for b in "$build"/bench/bench_*; do
    [ -x "$b" ] || continue
    found=1
    echo "== $(basename "$b")"
    "$b"
done
[ $found -eq 1 ] || echo "bench: no benchmark programs in $build/bench"

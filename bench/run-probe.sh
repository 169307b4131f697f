#!/usr/bin/env bash
# Lays out the programs that the probe measures in RUN_DIR, stripped as shipped, beside the
# stand-in libraries and the Key sets, and runs the probe there under the build's Wine.
# Usage: bench/run-probe.sh BUILD_DIR RUN_DIR [probe arguments...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$1 run=$2
shift 2

rm -rf "$run"
mkdir -p "$run"
for exe in bin/keyprep.exe bench/bin/bench_floor.exe bench/bin/bench_floor_libs.exe \
           bench/bin/bench_floor_workflow.exe; do
  i686-w64-mingw32-strip -o "$run/$(basename "$exe")" "$build/$exe"
done
cp "$build/bin/cardwyn32.dll" "$build/bin/plinth.dll" "$build/bench/bin/bench_probe.exe" "$run/"
cp "$root/sim/keysets/default.ini" "$root/sim/keysets/slow_operations.ini" "$run/"
cd "$run"
exec "$build/wine-run" bench_probe.exe "$@" --built "Z:$(echo "$build/bin/keyprep.exe" | tr / '\\')"

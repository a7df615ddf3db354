#!/usr/bin/env bash
# Builds and runs the history benchmark: 100,000 records of 2,000 units in one history
# file, then the history of one unit, everything of the last week, the cost of one
# record appended (synced to the disk, as the front ends write it) and a calibration
# record read and rendered.
# Usage: bench/history.sh [build folder (build)] [records (100000)] [appends (500)]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
echo "==> Building history_bench in $build/"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target history_bench
echo "==> Running (the file lies in $build/bench-history/, on the build's disk)"
"$build/bin/history_bench" "$build/bench-history" "${2:-100000}" "${3:-500}"

#!/usr/bin/env bash
# Builds and runs history_cost_bench: a device operation (GetStatus against fusesim) alone
# and with its history record, side by side in one run.
# Usage: bench/history_cost.sh [build folder (build)] [operations (200)]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
echo "==> Building history_cost_bench in $build/"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target history_cost_bench
mkdir -p "$build/bench-history"
echo "==> Running (the file lies in $build/bench-history/, on the build's disk)"
"$build/bin/history_cost_bench" "$build/bench-history" "${2:-200}"

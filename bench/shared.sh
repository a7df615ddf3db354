#!/usr/bin/env bash
# Builds and runs shared_bench: forwarding 10,000 records to a PostgreSQL server started for
# the run, and one korvanectl operation with the shared history reachable and unreachable.
# Usage: bench/shared.sh [build folder (build)] [records (10000)] [runs (40)]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
echo "==> Building shared_bench in $build/"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j2 --target shared_bench korvanectl
mkdir -p "$build/bench-shared"
echo "==> Running (the station files lie in $build/bench-shared/)"
KORVANE_BIN_DIR="$PWD/$build/bin" "$build/bin/shared_bench" "$build/bench-shared" "${2:-10000}" "${3:-40}"

#!/usr/bin/env bash
# Builds and runs the link benchmark: receive-thread CPU time on an idle open port and on a
# hung-up device, and the wall time of GetStatus transactions against the simulated fuse.
# Usage: bench/link_cpu.sh [build folder (build-link)] [seconds (10)] [transactions (50)]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-link}
echo "==> Building link_bench in $build/"
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target link_bench
echo "==> Running"
"$build/bin/link_bench" "${2:-10}" "${3:-50}"

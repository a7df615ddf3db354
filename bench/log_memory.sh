#!/usr/bin/env bash
# Resident memory of the program while its log pane fills, sampled every 30 s after a
# warm-up: the program's own start-up (korvane_log_memory_probe, built with the tests) with
# its port opened on the simulated fuse (fusesim, a separate process).
#
#   flood   the device sends unsolicited bytes as fast as the program reads them (FLOOD_BPS
#           bit/s, 10 bits a byte)
#   timer   a healthy device, "Get Current - Timer" every second (Timer=1)
#
# usage: bench/log_memory.sh flood|timer [MINUTES (5)] [BUILD_DIR (build)] [FLOOD_BPS (1000000)]
set -euo pipefail
cd "$(dirname "$0")/.."
mode=${1:?usage: bench/log_memory.sh flood|timer [MINUTES] [BUILD_DIR] [FLOOD_BPS]}
minutes=${2:-5}
build=${3:-build}
bps=${4:-1000000}
probe=$build/bin/korvane_log_memory_probe
sim=$build/bin/fusesim
seconds=$((minutes * 60))

if [ ! -x "$probe" ] || [ ! -x "$sim" ]; then
  echo "==> Building the probe and the simulated fuse in $build/"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target korvane_log_memory_probe fusesim
fi

work=$(mktemp -d)
simout=$work/sim.out
simargs=(--baud 19200)
if [ "$mode" = flood ]; then
  # Starts once the line is up; runs over the warm-up and the whole measurement.
  simargs+=(--flood "$((bps / 10)):$(((seconds + 120) * 1000))")
fi
"$sim" "${simargs[@]}" >"$simout" 2>&1 &
simpid=$!
trap 'kill $simpid 2>/dev/null || true; wait $simpid 2>/dev/null || true; rm -rf "$work"' EXIT
port=""
for _ in $(seq 1 50); do
  port=$(head -n 1 "$simout" 2>/dev/null || true)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "log_memory: the simulator printed no device path" >&2; exit 1; }
printf '[init]\r\nport=%s\r\nAutoOpen=1\r\nTimer=1\r\n' "$port" >"$work/korvane.ini"

echo "==> $mode, $minutes min after a 30 s warm-up, sampled every 30 s ($(git rev-parse --short HEAD 2>/dev/null || echo '?'))"
QT_QPA_PLATFORM=offscreen "$probe" "$work" "$mode" "$seconds" "${SAMPLE:-30}" "${WARMUP:-30}" | tee "$work/samples"
awk '{ split($2, a, "="); if (NR == 1) first = a[2]; last = a[2] }
     END { printf "resident memory: %.1f MiB -> %.1f MiB (%+.1f MiB)\n", first / 1024, last / 1024, (last - first) / 1024 }' \
  "$work/samples"
if [ "$mode" = timer ]; then
  echo "records written: $(($(wc -l <"$work/korvane.adc") - 1))"
fi

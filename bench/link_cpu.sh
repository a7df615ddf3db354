#!/usr/bin/env bash
# Builds and runs the link benchmark: receive-thread CPU time on an idle open port and on a
# hung-up device, CPU while waiting on a silent device, the wall time of GetStatus
# transactions against the simulated fuse, and 8 links at once against one.
# Then the programs as a whole against fusesim, with the port open and idle: the window
# (offscreen, opening the port at start) and korvanectl (a timed current series, idle
# between its two measurements); and korvanectl waiting on a silent device. For each BIN
# folder given (e.g. a build of the previous version beside this one), side by side.
# Usage: bench/link_cpu.sh [build folder (build-link)] [seconds (10)] [transactions (50)]
#                          [BIN folder...]   (default: the build folder's bin/)
# KV_BENCH_PROCESS_ONLY=1 skips the build and link_bench: only the whole-process part.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-link}
seconds=${2:-10}
if [ "${KV_BENCH_PROCESS_ONLY:-}" != 1 ]; then
  echo "==> Building link_bench, korvane, korvanectl and fusesim in $build/"
  cmake -S . -B "$build" -G Ninja >/dev/null
  cmake --build "$build" -j2 --target link_bench korvane korvanectl fusesim
  echo "==> link_bench"
  "$build/bin/link_bench" "$seconds" "${3:-50}"
fi
shift $(( $# < 3 ? $# : 3 ))
bins=("$@")
[ ${#bins[@]} -gt 0 ] || bins=("$build/bin")

# CPU time of all threads of a process in nanoseconds.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f", s }'; }
# Percent of a core a process used over $seconds, after it settled for 3 s.
measure() {
  local pid=$1
  sleep 3
  local a b
  a=$(cpu_ns "$pid")
  sleep "$seconds"
  b=$(cpu_ns "$pid")
  awk -v d=$((b - a)) -v s="$seconds" 'BEGIN { printf "%.3f%% of a core (%.1f ms in %d s)", d / (s * 1e7), d / 1e6, s }'
}

work=$(mktemp -d)
sim_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "==> Whole process: idle open port ($seconds s), waiting on a silent device"
for bin in "${bins[@]}"; do
  rm -f "$work/port" "$work/silent"
  "$bin/fusesim" --baud 19200 >"$work/port" 2>/dev/null &
  sim_pid=$!
  for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
  port=$(head -1 "$work/port")

  # The window reads its settings beside the program.
  mkdir -p "$work/app"
  cp "$bin/korvane" "$work/app/korvane"
  printf '[init]\r\nport=%s\r\nbaud=19200\r\nAutoOpen=1\r\n' "$port" >"$work/app/korvane.ini"
  QT_QPA_PLATFORM=offscreen "$work/app/korvane" >/dev/null 2>&1 &
  app_pid=$!
  echo "$bin: window:       $(measure "$app_pid")"
  # Still running with the port open (the port's lock is held), or the figure means nothing.
  kill -0 "$app_pid" && ! flock -n "$port" true 2>/dev/null || { echo "the window did not keep the port open" >&2; exit 1; }
  kill "$app_pid"
  wait "$app_pid" 2>/dev/null || true
  app_pid=""

  printf '[init]\r\nport=%s\r\nbaud=19200\r\n' "$port" >"$work/ctl.ini"
  "$bin/korvanectl" current --every $((seconds + 4)) --count 2 --ini "$work/ctl.ini" \
    --log "$work/current.log" >/dev/null 2>&1 &
  app_pid=$!
  echo "$bin: korvanectl:   $(measure "$app_pid")"
  kill -0 "$app_pid" && ! flock -n "$port" true 2>/dev/null || { echo "korvanectl did not keep the port open" >&2; exit 1; }
  kill "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""

  kill "$sim_pid"
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""

  # GetStatus (code 21) unanswered: korvanectl waits out its 2-second limit; measured over
  # the middle second of the wait.
  "$bin/fusesim" --baud 19200 --silent 21 >"$work/silent" 2>/dev/null &
  sim_pid=$!
  for _ in $(seq 50); do [ -s "$work/silent" ] && break; sleep 0.1; done
  printf '[init]\r\nport=%s\r\nbaud=19200\r\n' "$(head -1 "$work/silent")" >"$work/ctl.ini"
  "$bin/korvanectl" status --ini "$work/ctl.ini" >/dev/null 2>&1 &
  app_pid=$!
  sleep 0.6
  a=$(cpu_ns "$app_pid")
  sleep 1
  b=$(cpu_ns "$app_pid")
  echo "$bin: korvanectl waiting on a silent device: $(awk -v d=$((b - a)) 'BEGIN { printf "%.3f%% of a core (%.2f ms in 1 s)", d / 1e7, d / 1e6 }')"
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
  kill "$sim_pid"
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
done

#!/usr/bin/env bash
# Start-up time to the shown main window and resident memory of the program, on the
# offscreen platform and under Xvfb, measured with /usr/bin/time -v.
#
# The program takes no arguments and reads no environment, so it cannot be told to quit;
# the measurement runs korvane_startup_probe (built with the tests), which performs the
# program's own start-up - settings file, current log header, the five windows, the main
# window shown - and closes the main window as soon as it is exposed and painted.
#
# usage: bench/startup.sh [BUILD_DIR] [RUNS]   (default: build, 10 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-10}
probe=$build/bin/korvane_startup_probe

if [ ! -x "$probe" ]; then
  echo "==> Building the start-up probe in $build/"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target korvane_startup_probe
fi

# Settings beside the probe: no automatic port opening (no device is attached here).
printf '[init]\r\nAutoOpen=0\r\n' >"$build/bin/korvane_startup_probe.ini"

median() { sort -n | awk '{ a[NR] = $1 } END { if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }

measure() { # label, then the environment for the probe
  local label=$1
  shift
  local shown=() wall=() rss=()
  for _ in $(seq 1 "$runs"); do
    local out err
    out=$(mktemp)
    err=$(mktemp)
    env "$@" /usr/bin/time -v "$probe" >"$out" 2>"$err"
    shown+=("$(sed -n 's/^shown_ms=//p' "$out")")
    # "Elapsed (wall clock) time (h:mm:ss or m:ss): 0:00.21"
    wall+=("$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0;
              for (i = 1; i <= n; i++) s = s * 60 + t[i]; printf "%d", s * 1000 }' "$err")")
    rss+=("$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$err")")
    rm -f "$out" "$err"
  done
  printf '%-10s runs %2d  to shown window: median %4s ms (min %s, max %s)  process wall: median %4s ms  max RSS: median %6s KiB\n' \
    "$label" "$runs" \
    "$(printf '%s\n' "${shown[@]}" | median)" \
    "$(printf '%s\n' "${shown[@]}" | sort -n | head -1)" \
    "$(printf '%s\n' "${shown[@]}" | sort -n | tail -1)" \
    "$(printf '%s\n' "${wall[@]}" | median)" \
    "$(printf '%s\n' "${rss[@]}" | median)"
}

echo "==> $probe, $runs runs each (the first run warms the file cache too)"
measure offscreen QT_QPA_PLATFORM=offscreen

if command -v Xvfb >/dev/null; then
  # One X server for all runs, so that its own start-up is not counted.
  fdfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fdfile" 2>/dev/null &
  xpid=$!
  trap 'kill $xpid 2>/dev/null || true; rm -f "$fdfile"' EXIT
  for _ in $(seq 1 50); do [ -s "$fdfile" ] && break; sleep 0.1; done
  display=":$(head -n 1 "$fdfile")"
  measure Xvfb QT_QPA_PLATFORM=xcb DISPLAY="$display"
else
  echo "Xvfb is not installed (scripts/deps installs it): skipped"
fi

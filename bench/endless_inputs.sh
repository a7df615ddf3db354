#!/usr/bin/env bash
# Time and peak memory of korvanectl and of the program's start-up when an input is a file
# that never ends, a FIFO or a folder (each run stopped after 10 s, its address space held
# to 4 GiB so that an unbounded reader cannot take the machine down).
#
# usage: bench/endless_inputs.sh [BUILD_DIR (build)]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
ctl=$build/bin/korvanectl
probe=$build/bin/korvane_startup_probe
if [ ! -x "$ctl" ] || [ ! -x "$probe" ]; then
  echo "==> Building korvanectl and the start-up probe in $build/"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target korvanectl korvane_startup_probe
fi
ctl=$(realpath "$ctl")
probe=$(realpath "$probe")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkfifo "$work/fifo"
mkdir "$work/folder"

# label, then the command; prints wall time, peak resident memory, exit status and the
# message: the window's log line about the file, or the last line of standard error.
run() {
  local label=$1
  shift
  local out=$work/out err=$work/err time=$work/time
  set +e
  (ulimit -v 4194304; timeout 10 /usr/bin/time -v -o "$time" "$@" >"$out" 2>"$err")
  local rc=$?
  set -e
  local wall rss
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, t, ":"); s = 0;
              for (i = 1; i <= n; i++) s = s * 60 + t[i]; printf "%.2f", s }' "$time" 2>/dev/null || true)
  rss=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$time" 2>/dev/null || true)
  [ "$rc" = 124 ] && wall=">10 (killed)"
  local message
  message=$(sed -n 's/^log: \(Cannot .*\)/\1/p' "$out" | tail -n 1 || true)
  [ -n "$message" ] || message=$(grep -v -e XDG_RUNTIME -e propagateSizeHints "$err" | tail -n 1 || true)
  printf '%-40s %6s s %7s MiB  exit %3s  %s\n' "$label" "${wall:-?}" "${rss:-?}" "$rc" \
    "$(printf '%s' "${message//$work\//}" | cut -c1-100)"
}

echo "==> korvanectl ($ctl)"
run "korvanectl --ini /dev/zero status" "$ctl" --ini /dev/zero --port /nonexistent status
run "korvanectl --ini FIFO status" "$ctl" --ini "$work/fifo" --port /nonexistent status
run "korvanectl table crc /dev/zero" "$ctl" table crc /dev/zero
run "korvanectl table crc FIFO" "$ctl" table crc "$work/fifo"
run "korvanectl calc /dev/zero" "$ctl" calc /dev/zero -o "$work/out.epr"
run "korvanectl calc FIFO" "$ctl" calc "$work/fifo" -o "$work/out.epr"
run "korvanectl inc FOLDER" "$ctl" inc "$work/folder" -o "$work/out.inc"
printf '1 2 ' >"$work/long.epr"
head -c 10000000 /dev/zero | tr '\0' '7' >>"$work/long.epr"
run "korvanectl table crc (10 MB line)" "$ctl" table crc "$work/long.epr"

echo "==> the program's start-up to the shown window ($probe), offscreen; boxes answered"
# The probe reads the files beside itself: a copy of it in a folder of its own per case.
window() { # label, then how to make korvane_startup_probe.ini / .adc beside it
  local label=$1 make=$2 dir
  dir=$(mktemp -d "$work/w.XXXXXX")
  cp "$probe" "$dir/"
  (cd "$dir" && eval "$make")
  QT_QPA_PLATFORM=offscreen run "$label" "$dir/korvane_startup_probe" --answer
}
window "window, settings file -> /dev/zero" "ln -s /dev/zero korvane_startup_probe.ini"
window "window, settings file a FIFO" "mkfifo korvane_startup_probe.ini"
window "window, settings file a folder" "mkdir korvane_startup_probe.ini"
window "window, current log a FIFO" "printf '[init]\r\nAutoOpen=0\r\n' >korvane_startup_probe.ini; mkfifo korvane_startup_probe.adc"

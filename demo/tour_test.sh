#!/usr/bin/env bash
# The tour as scripts/demo runs it, on the offscreen platform: it must reach its end and
# leave one picture of each of its seven steps.
#   tour_test.sh BIN_DIR SAMPLE.sav
set -euo pipefail
bin=$1
sample=$2
work=$(mktemp -d)
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
"$bin/fusesim" --current 5.1 --params 42,3,85,120,0,1,16 --link "$work/tty" >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -e "$work/tty" ] && break; sleep 0.1; done
QT_QPA_PLATFORM=offscreen "$bin/korvane_tour" --port "$work/tty" --out "$work/shots" \
  --sample "$sample"
count=$(find "$work/shots" -name '0[1-7]-*.png' -size +2k | wc -l)
if [ "$count" -ne 7 ]; then
  echo "FAIL: $count of 7 pictures"
  ls -l "$work/shots"
  exit 1
fi
echo "tour: 7 pictures"

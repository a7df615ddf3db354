#!/usr/bin/env bash
# The cost of a checked table write: korvanectl's "table write" (backup, write, read-back)
# against the plain write (--no-verify), side by side in one run, against fusesim pacing its
# replies at 19200 bit/s. Each round writes the other of two tables, so that every checked
# write has something to write. Prints the median and the range of each, in milliseconds.
#
# usage: bench/verified_write.sh [ROUNDS (7)] [BUILD_DIR (build)]
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-7}
build=${2:-build}
ctl=$(realpath "$build/bin/korvanectl")
sim=$(realpath "$build/bin/fusesim")
work=$(mktemp -d)
simpid=""
cleanup() {
  [ -n "$simpid" ] && kill "$simpid" 2>/dev/null && wait "$simpid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"

"$sim" --link "$work/tty" --baud 19200 >sim.out 2>&1 &
simpid=$!
for _ in $(seq 200); do [ -e tty ] && break; sleep 0.02; done
printf '[init]\r\nport=%s\r\n' "$work/tty" >k.ini

# Two tables with their check bytes, made by the program itself.
printf '0.00\r\n0\r\n\r\n1.00\r\n86\r\n\r\n5.00\r\n430\r\n\r\n9.00\r\n770\r\n\r\n' >cal.sav
"$ctl" calc cal.sav --ini k.ini --multiply 85 -o a.epr >/dev/null 2>&1
"$ctl" calc cal.sav --ini k.ini --multiply 88 -o b.epr >/dev/null 2>&1

ms() { echo $(( $(date +%s%N) / 1000000 )); }
run() { # KIND FILE: the wall time of one write in ms
  local extra=() t0
  [ "$1" = plain ] && extra=(--no-verify)
  t0=$(ms)
  "$ctl" table write "$2" --ini k.ini --backup-dir backups "${extra[@]}" >/dev/null 2>err ||
    { cat err >&2; exit 1; }
  echo $(( $(ms) - t0 ))
}

plain=() checked=()
for i in $(seq 1 "$rounds"); do
  plain+=("$(run plain a.epr)")
  checked+=("$(run checked b.epr)")
  plain+=("$(run plain b.epr)")
  checked+=("$(run checked a.epr)")
done
stats() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {printf "median %d ms (%d..%d, n=%d)", v[int((NR+1)/2)], v[1], v[NR], NR}'; }
echo "table write at 19200 bit/s, korvanectl wall time per write"
echo "  plain   (--no-verify): $(stats "${plain[@]}")"
echo "  checked (backup, write, read-back): $(stats "${checked[@]}")"
"$ctl" table write b.epr --ini k.ini --backup-dir backups --verbose 2>&1 >/dev/null | grep blocks | sed 's/^/  one checked write: /'

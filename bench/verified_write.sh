#!/usr/bin/env bash
# The cost of a checked table write: korvanectl's "table write" (backup, write, read-back)
# against the plain write (--no-verify), side by side in one run, against fusesim pacing its
# replies at 19200 bit/s. Each round writes the other of two tables, so that every checked
# write has something to write (the two tables differ in all 28 blocks, so every checked write
# is a full table change). Prints the median and the range of each, in milliseconds, and the
# checked write against the wire's own time: the backup read's 28 replies of 10 bytes, the
# write's 28 of 2 and the read-back's 28 of 10, 10 bits a byte at the line speed (fusesim
# paces its replies so; the frames cross the pseudo-terminal at once, on a real line they
# would add their own 10 bytes each, also printed).
#
# On a shared machine run it at a real-time priority (chrt -f 10 bench/verified_write.sh),
# or other processes' load decides the figures.
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
median() { printf '%s\n' "$@" | sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
baud=19200
wire=$(awk -v b=$baud 'BEGIN {printf "%.1f", (28*10 + 28*2 + 28*10) * 10 * 1000 / b}')
line=$(awk -v b=$baud 'BEGIN {printf "%.1f", (28*10 + 28*2 + 28*10 + 3*28*10) * 10 * 1000 / b}')
# fusesim sends each reply's first byte at once and paces the rest: its own time is shorter.
simtime=$(awk -v b=$baud 'BEGIN {printf "%.1f", (28*9 + 28*1 + 28*9) * 10 * 1000 / b}')
echo "table write at $baud bit/s, korvanectl wall time per write"
echo "  plain   (--no-verify): $(stats "${plain[@]}")"
echo "  checked (backup, write, read-back): $(stats "${checked[@]}")"
echo "  wire time of the checked write's replies: $wire ms (with the frames, on a real line: $line ms)"
awk -v m="$(median "${checked[@]}")" -v w="$wire" -v f="$simtime" \
  'BEGIN {printf "  checked / wire: %.2fx (/ fusesim'"'"'s own pacing, %.1f ms: %.2fx)\n", m / w, f, m / f}'
"$ctl" table write b.epr --ini k.ini --backup-dir backups | grep 'blocks written' | sed 's/^/  full change: /' || true
"$ctl" table write a.epr --ini k.ini --backup-dir backups --verbose 2>&1 >/dev/null | grep blocks | sed 's/^/  one checked write: /'

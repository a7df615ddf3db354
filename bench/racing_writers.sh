#!/usr/bin/env bash
# Racing writers: pairs of korvanectl processes started together, each writing a different
# correction table to the same file (calc -o, replacing it). After each pair the file must
# hold one writer's whole table, and each writer's report must be true: one that reports
# success wrote its whole table over the file at some moment (the later of two successful
# writers wins); one that reports a failure names a real reason, never "Success".
#
# usage: bench/racing_writers.sh [PAIRS (150)] [BUILD_DIR (build)]
set -euo pipefail
cd "$(dirname "$0")/.."
pairs=${1:-150}
build=${2:-build}
ctl=$build/bin/korvanectl
if [ ! -x "$ctl" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target korvanectl
fi
ctl=$(realpath "$ctl")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf '0.00\r\n0\r\n\r\n1.00\r\n86\r\n\r\n5.00\r\n430\r\n\r\n9.00\r\n770\r\n\r\n' >cal.sav
printf '[init]\r\n' >k.ini
# The two versions, each written alone first.
"$ctl" calc cal.sav --ini k.ini --multiply 85 -o a.epr >/dev/null 2>&1
"$ctl" calc cal.sav --ini k.ini --multiply 88 -o b.epr >/dev/null 2>&1
cmp -s a.epr b.epr && { echo "racing_writers: the two versions are the same" >&2; exit 1; }

both_ok=0 one_failed=0 both_failed=0 wrong=0 mixed=0 success_text=0 won_a=0 won_b=0
for i in $(seq 1 "$pairs"); do
  cp a.epr out.epr
  "$ctl" calc cal.sav --ini k.ini --multiply 85 -o out.epr --yes >/dev/null 2>erra &
  pa=$!
  "$ctl" calc cal.sav --ini k.ini --multiply 88 -o out.epr --yes >/dev/null 2>errb &
  pb=$!
  set +e
  wait $pa; ra=$?
  wait $pb; rb=$?
  set -e
  grep -q ': Success' erra errb && success_text=$((success_text + 1))
  if cmp -s out.epr a.epr; then holds=a; won_a=$((won_a + 1))
  elif cmp -s out.epr b.epr; then holds=b; won_b=$((won_b + 1))
  else holds=mixed; mixed=$((mixed + 1)); fi
  if [ $ra = 0 ] && [ $rb = 0 ]; then
    both_ok=$((both_ok + 1))
    # Both replaced the file: it holds one of them (the later).
    [ $holds = mixed ] && wrong=$((wrong + 1))
  elif [ $ra = 0 ] || [ $rb = 0 ]; then
    one_failed=$((one_failed + 1))
    # The file must hold what the successful writer wrote (a's table was there before).
    if { [ $ra = 0 ] && [ $holds != a ]; } || { [ $rb = 0 ] && [ $holds != b ]; }; then
      wrong=$((wrong + 1))
    fi
  else
    both_failed=$((both_failed + 1))
    [ $holds = a ] || wrong=$((wrong + 1))
  fi
done
echo "pairs $pairs: both reported success $both_ok, one failed $one_failed, both failed $both_failed"
echo "file afterwards: first writer's table $won_a, second's $won_b, mixed $mixed"
echo "wrong reports $wrong, \"Success\" given as a failure's reason in $success_text pairs"
[ $wrong = 0 ] && [ $mixed = 0 ] && [ $success_text = 0 ]

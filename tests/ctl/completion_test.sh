#!/usr/bin/env bash
# korvanectl's generated bash completion against the program's own help: every command and
# group, each command's options, on|off, ports from `korvanectl ports` after --port, files
# after a file option; the zsh script wraps the same function.
#   completion_test.sh BIN_DIR COMPLETION_DIR
set -uo pipefail
bin=$1
dir=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ctl="$bin/korvanectl"

# shellcheck disable=SC1091
source "$dir/korvanectl" || { echo "FAIL: the script does not load"; exit 1; }
complete -p korvanectl >/dev/null || fail "no completion registered for korvanectl"

# The words offered for the command line "$@" (the last word being completed).
offered() {
  COMP_WORDS=(korvanectl "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _korvanectl
  printf '%s\n' "${COMPREPLY[@]}"
}
offers() { # offers WORD COMMAND-LINE...
  local want=$1
  shift
  offered "$@" | grep -xF -- "$want" >/dev/null || fail "\"korvanectl $*\" does not offer $want"
}

help=$("$ctl" --help)
commands=$(awk '/^Commands:/ { on = 1; next } /^$/ { on = 0 }
  on { sub(/^ +/, ""); sub(/  .*/, ""); n = split($0, w, " "); name = w[1]
       for (i = 2; i <= n && w[i] ~ /^[a-z-]+$/; i++) name = name " " w[i]
       print name }' <<<"$help")
[ -n "$commands" ] || fail "no commands in korvanectl --help"
count=0
while read -r c; do
  count=$((count + 1))
  read -r -a words <<<"$c"
  offers "${words[0]}" ""
  offers "${words[0]}" help ""
  [ ${#words[@]} -gt 1 ] && offers "${words[1]}" "${words[0]}" ""
  # The command's own options and the common ones, as its help lists them.
  for o in $("$ctl" "${words[@]}" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    offers "$o" "${words[@]}" --
  done
done <<<"$commands"
[ "$count" -ge 15 ] || fail "only $count commands in the help"

offers on relay ""
offers off relay ""
offers --stored status --port /dev/ttyUSB0 --

# Ports come from `korvanectl ports`, its first lines (the device), not the indented facts.
korvanectl() { printf '/dev/ttyUSB0\n  driver: ftdi_sio\n\n/dev/ttyUSB1\n'; }
offers /dev/ttyUSB1 status --port ""
offered status --port "" | grep driver >/dev/null && fail "a port's facts offered as ports"
unset -f korvanectl

# Files after a file option and as a file argument.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
touch "$work/rack.txt" "$work/corr.epr"
offers "$work/rack.txt" status --ports "$work/r"
offers "$work/corr.epr" table write "$work/c"
offers "$work/corr.epr" --ini "$work/x" history -o "$work/c"
# A value that is no file completes nothing, and the word after it is the command's.
[ -z "$(offered --baud "")" ] || fail "--baud offers words"
offers --stored --baud 9600 status --

head -1 "$dir/_korvanectl" | grep -qx '#compdef korvanectl' || fail "_korvanectl is no zsh completion"
grep -q '^complete -o filenames -F _korvanectl korvanectl$' "$dir/_korvanectl" ||
  fail "_korvanectl lacks the completion function"

if [ "$failures" -gt 0 ]; then
  echo "$failures failures"
  exit 1
fi
echo "completion: $count commands, all offered"

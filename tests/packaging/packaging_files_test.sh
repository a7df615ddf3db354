#!/usr/bin/env bash
#   packaging_files_test.sh PACKAGING_DIR BIN_DIR
set -uo pipefail
pkg=$1
bin=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The sample table is the one computed from the sample calibration, byte for byte.
if "$bin/korvanectl" calc "$pkg/examples/sample.sav" -o "$work/sample.epr" >/dev/null; then
  cmp -s "$work/sample.epr" "$pkg/examples/sample.epr" ||
    fail "korvanectl calc sample.sav differs from examples/sample.epr"
else
  fail "korvanectl calc sample.sav failed"
fi

# Every command and long option of the help appears in the manual page (as roff writes
# a hyphen: \-).
in_page() { grep -qF -- "$(sed 's/-/\\-/g' <<<"$2")" "$1"; }
ctl_help=$("$bin/korvanectl" --help)
# A command's line: its name, its arguments (FILE.epr, on|off), two blanks, its summary.
commands=$(awk '/^Commands:/ { on = 1; next } /^$/ { on = 0 }
  on { sub(/^ +/, ""); sub(/  .*/, ""); n = split($0, w, " "); name = w[1]
       for (i = 2; i <= n && w[i] ~ /^[a-z-]+$/; i++) name = name " " w[i]
       print name }' <<<"$ctl_help")
[ -n "$commands" ] || fail "no commands found in korvanectl --help"
options=$(
  grep -oE -- '--[a-z][a-z-]*' <<<"$ctl_help"
  while read -r c; do "$bin/korvanectl" $c --help | grep -oE -- '--[a-z][a-z-]*'; done <<<"$commands"
)
for word in $(sort -u <<<"$options"); do
  in_page "$pkg/man/korvanectl.1" "$word" || fail "korvanectl.1 lacks $word"
done
while read -r c; do
  in_page "$pkg/man/korvanectl.1" "$c" || fail "korvanectl.1 lacks the command $c"
done <<<"$commands"
for word in $("$bin/fusesim" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
  in_page "$pkg/man/fusesim.1" "$word" || fail "fusesim.1 lacks $word"
done

for page in "$pkg"/man/*.1; do
  warnings=$(LC_ALL=C.UTF-8 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$pkg"/*.desktop || fail "the desktop entry does not validate"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$pkg"/*.metainfo.xml >/dev/null ||
    fail "the metainfo does not validate"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "packaging files: all checks passed"

#!/usr/bin/env bash
# Runs korvanectl's README examples, and the failure paths around them, against fusesim and
# prints one transcript: each command line with its exit status, standard output and
# standard error. Paths of the run's folder and of the programs, and time stamps, are
# replaced by fixed words, so two builds' transcripts compare byte for byte.
#
# usage: tests/ctl/examples.sh BIN_DIR            the transcript on standard output
#        tests/ctl/examples.sh BIN_DIR EXPECTED   compares with EXPECTED; status 1 on a difference
set -euo pipefail

bin=$(cd "${1:?usage: examples.sh BIN_DIR [EXPECTED]}" && pwd)
expected=${2:-}
ctl="$bin/korvanectl"
sim="$bin/fusesim"
work=$(mktemp -d "${TMPDIR:-/tmp}/korvane-examples.XXXXXX")
simpid=""

cleanup() {
    stop_sim
    rm -rf "$work"
}
trap cleanup EXIT

stop_sim() {
    if [ -n "$simpid" ]; then
        kill "$simpid" 2>/dev/null || true
        wait "$simpid" 2>/dev/null || true
        simpid=""
    fi
}

# Starts a fresh simulated fuse with the given options, reached as $work/tty.
start_sim() {
    stop_sim
    rm -f "$work/tty"
    "$sim" --link "$work/tty" "$@" >"$work/sim.out" 2>&1 &
    simpid=$!
    for _ in $(seq 200); do
        [ -e "$work/tty" ] && return 0
        sleep 0.02
    done
    echo "examples: fusesim did not start" >&2
    cat "$work/sim.out" >&2
    exit 1
}

normalize() {
    sed -e "s|$work|WORK|g" -e "s|$bin/|BIN/|g" \
        -e 's/[0-9][0-9]\.[0-9][0-9]\.[0-9][0-9][0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]/DATE/g' \
        -e 's/[0-9]\{4\}-[0-9][0-9]-[0-9][0-9]T[0-9][0-9]:[0-9][0-9]:[0-9][0-9][+-][0-9][0-9]:[0-9][0-9]/ISODATE/g' \
        -e 's/blocks in [0-9.]* ms/blocks in N ms/' \
        -e 's/-[0-9]\{8\}-[0-9]\{6\}Z\(-[0-9][0-9]*\)\{0,1\}\./-STAMP./g'
}

# One command: its line, exit status, standard output and standard error.
run() {
    local rc=0
    (cd "$work" && "$ctl" "$@" >"$work/out" 2>"$work/err") || rc=$?
    {
        echo "\$ korvanectl $*"
        echo "[exit $rc]"
        echo "--- stdout"
        cat "$work/out"
        echo "--- stderr"
        cat "$work/err"
        echo
    } | normalize
}

show_file() {
    echo "\$ cat $1"
    cat -A "$work/$1" | normalize
    echo
}

transcript() {
    printf '[init]\r\nport=%s/tty\r\n' "$work" >"$work/korvane.ini"
    local ini=(--ini "$work/korvane.ini")

    echo "### README: device status and parameters"
    start_sim --params 55,3,100,12,0,1,9 --adc 512
    run status "${ini[@]}"
    run status --stored "${ini[@]}"
    run status --json "${ini[@]}"
    run get-data "${ini[@]}"
    run get-data --json "${ini[@]}"
    run send-data --fuse-current 150 --multiply 100 --yes --backup-dir backups "${ini[@]}"
    show_file korvane.ini
    run crc-check --fuse-current 99 --multiply 100 "${ini[@]}"
    run send-data --fuse-current 42 --backup-dir backups "${ini[@]}"
    run send-data --overload-time abc --yes --backup-dir backups "${ini[@]}"
    # The windows' timing: a reply read in one chunk, so its "R:" line is always one line.
    run status --verbose --window-timing "${ini[@]}"

    echo "### README: relay and current"
    run relay on --yes "${ini[@]}"
    run relay on --yes "${ini[@]}"
    run relay off "${ini[@]}"
    run relay on "${ini[@]}"
    run relay off --yes --json "${ini[@]}"
    run current "${ini[@]}"
    run current --vref --json "${ini[@]}"
    run current --every 1 --count 2 --log cur.adc "${ini[@]}"
    show_file cur.adc
    run current --every 1 --count 1 --log cur.adc --json --verbose "${ini[@]}"
    run current --log /dev/full "${ini[@]}"

    echo "### README: correction table transfer"
    printf '%s' "$(for n in $(seq 0 222); do printf '%d ' $(((n * 7) % 255 - 127)); done)-118" \
        >"$work/corr.epr"
    run table write --dry-run corr.epr "${ini[@]}"
    run table write corr.epr --backup-dir backups "${ini[@]}"
    run table write corr.epr --backup-dir backups "${ini[@]}"
    run table write corr.epr --backup-dir backups --json "${ini[@]}"
    run table verify corr.epr "${ini[@]}"
    run table diff corr.epr "${ini[@]}"
    run table read back.epr "${ini[@]}"
    show_file back.epr
    run table read back.epr "${ini[@]}"
    run table read back.epr --yes "${ini[@]}"
    run table crc corr.epr
    printf '1 2 -128 ' >"$work/bad.epr"
    run table write bad.epr "${ini[@]}"

    echo "### README: calculation and include file"
    printf '0.00\r\n3\r\n\r\n1.00\r\n90\r\n\r\n' >"$work/cal.sav"
    run calc cal.sav --multiply 85 -o corr2.epr
    show_file corr2.epr
    run calc cal.sav --multiply 85 -o corr2.epr
    run inc corr2.epr -o corrtable.inc
    run inc corr2.epr -o corrtable.inc --yes
    printf '1\r\n200\r\n' >"$work/nozero.sav"
    run calc nozero.sav -o x.epr
    printf '' >"$work/empty.sav"
    run calc empty.sav -o x.epr
    printf '0.00\r\n0\r\n\r\n1.00\r\n200\r\n' >"$work/steep.sav"
    run calc steep.sav -o steep.epr

    echo "### Faults"
    start_sim --manual-off --relay-on
    run relay off --yes "${ini[@]}"
    run relay off --yes --json "${ini[@]}"
    start_sim --wrong-crc
    run send-data --yes --backup-dir backups "${ini[@]}"
    start_sim --readback-mismatch 9
    run send-data --yes --backup-dir backups "${ini[@]}"
    start_sim --table-silent-from 5
    run table read part.epr "${ini[@]}"
    start_sim --table-reply 3:4552
    run table write corr.epr --no-verify "${ini[@]}"
    start_sim --ignore-block 3
    run table write corr.epr --backup-dir backups "${ini[@]}"
    run table verify corr.epr "${ini[@]}"
    start_sim --reply-length 0x1B:5
    run current "${ini[@]}"
    start_sim --silent all
    run status --verbose "${ini[@]}"
    run status --json "${ini[@]}"
    run crc-check "${ini[@]}"
    run current --every 1 --count 1 --log cur.adc "${ini[@]}"
    stop_sim
    run status --port "$work/nonexistent"

    echo "### Usage and help"
    run
    run --help
    run status --help
    run table write --help
    run current --help
    run send-data --help
    run status extra
    run table
    run relay toggle
    run current --count 3
    run send-data --average yes
    run calc a.sav --json
}

if [ -z "$expected" ]; then
    transcript
else
    transcript >"$work/transcript"
    diff -u "$expected" "$work/transcript"
fi

#!/usr/bin/env bash
# End-to-end checks of brixlanetool-cli on the simulated card: what a production-line script
# sees (standard output, standard error, exit status, the log file). Usage:
#   cli_test.sh [RUNNER...] CLI     e.g. cli_test.sh build/brixlanetool-cli
#                                        cli_test.sh cmake/wine-run.sh build-win/brixlanetool-cli.exe
set -u
cli=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0
failed=0

# run NAME EXPECTED_STATUS ARGS... : runs the CLI (bounded), keeps out/err, checks the status.
run() {
    local name=$1 expected=$2
    shift 2
    timeout -s KILL 120 "${cli[@]}" "$@" >"$work/out" 2>"$work/err" </dev/null
    status=$?
    tr -d '\r' <"$work/out" >"$work/out.txt"
    tr -d '\r' <"$work/err" >"$work/err.txt"
    if [ "$status" -ne "$expected" ]; then
        fail "$name: exit status $status, expected $expected"
        return 1
    fi
    return 0
}
ok() { passed=$((passed + 1)); echo "ok   $1"; }
fail() {
    failed=$((failed + 1))
    echo "FAIL $1"
    sed 's/^/     out: /' "$work/out.txt" | tail -5
    sed 's/^/     err: /' "$work/err.txt" | tail -5
}
# expect NAME FILE GREP-ARGS... : the file holds a match.
expect() {
    local name=$1 file=$2
    shift 2
    if grep -q "$@" "$work/$file"; then ok "$name"; else fail "$name: no match for $* in $file"; fi
}
expect_not() {
    local name=$1 file=$2
    shift 2
    if grep -q "$@" "$work/$file"; then fail "$name: unexpected $* in $file"; else ok "$name"; fi
}

guid='{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}'

if run list 0 --simulate=cards=2 list; then
    if [ "$(wc -l <"$work/out.txt")" -eq 2 ] &&
       head -1 "$work/out.txt" | grep -qxF "PCIe-0, Windows ID:$guid"; then
        ok "list prints one display name a line"
    else
        fail "list output"
    fi
fi

run "no card" 3 --simulate=cards=0 list &&
    expect "no card names itself on standard error" err.txt -x "No Korvenix PCIe test cards have been detected."

if run info 0 --simulate=link=gen3x8,devctl=0x2810 info; then
    if [ "$(wc -l <"$work/out.txt")" -eq 7 ] && grep -qx "Link Width: x8" "$work/out.txt" &&
       grep -qx "Max Payload Size: 128 bytes" "$work/out.txt"; then
        ok "info prints the seven information lines"
    else
        fail "info output"
    fi
fi

start=$(date +%s)
run "loopback passes" 0 --simulate loopback --minutes 0.05 &&
    expect "loopback verdict" out.txt -E ": PASS       - Test passed: PCIe-0, Windows ID:"
elapsed=$(( $(date +%s) - start ))
if [ "$elapsed" -le 30 ]; then ok "loopback of 0.05 minutes ends by itself (${elapsed}s)"; else fail "loopback took ${elapsed}s"; fi
expect "group lines keep their en dash in UTF-8" out.txt -F "Loopback blocks 1–10: Min "

run "corrupt fails" 1 --simulate=corrupt=3 loopback --minutes 0.02 &&
    expect "corrupt verdict" out.txt -F "ERROR      - Test failed: PCIe-0" &&
    expect "corrupt line" out.txt -F "PCIe data transfer error: 3 of 262144 bytes incorrect."

run "read benchmark" 0 --simulate benchmark --minutes 0.05 --direction read --block-mb 1 &&
    expect "read summary maximum" out.txt -F "Maximum read data rate: " &&
    expect "read summary average" out.txt -F "Average read data rate: " &&
    expect "read summary minimum" out.txt -F "Minimum read data rate: " &&
    expect_not "no combined line" out.txt -F "Average combined R/W data rate" &&
    expect_not "no write lines" out.txt -F "Write blocks"

run "failed transfers fail the benchmark" 1 --simulate=fail-write=5 benchmark --minutes 0.02 \
    --direction write --block-mb 1 --stop-on-error &&
    expect "failed transfer logged" out.txt -F " ReadBenchmark failed 31"

if run "log file" 0 --simulate loopback --minutes 0.02 --log "$work/event.log"; then
    if head -c 28 "$work/event.log" | od -c | grep -q '\\r  \\n' &&
       head -1 "$work/event.log" | grep -q "^KORVENIX Brixlane Log file" &&
       grep -q "PASS       - Test passed: PCIe-0" "$work/event.log"; then
        ok "log file in the export format"
    else
        fail "log file format"
    fi
fi

# Bad usage: exit 2 and a message naming the argument.
while IFS='|' read -r name word args; do
    # shellcheck disable=SC2086
    run "$name" 2 $args && expect "$name is named" err.txt -F -- "$word"
done <<'CASES'
load 0|--load|--simulate loopback --load 0
load 101|--load|--simulate loopback --load=101
constant 256|--constant|--simulate loopback --constant 256
block size 3|--block-mb|--simulate benchmark --block-mb 3
negative minutes|--minutes|--simulate loopback --minutes -1
letters for minutes|--minutes|--simulate loopback --minutes abc
unknown option|--bogus|--simulate loopback --bogus
unknown pattern|--pattern|--simulate loopback --pattern zigzag
empty slot|--card 5|--simulate=cards=2 loopback --card 5
option of the other test|--block-mb|--simulate loopback --block-mb 8
bad simulated card item|foo|--simulate=foo=1 list
no command|command|--simulate
CASES

if [ "${BRIXLANE_CLI_NATIVE:-1}" = 1 ]; then
    # Ctrl-C during an endless run stops it and the summary still prints.
    timeout --preserve-status -s INT 2 "${cli[@]}" --simulate loopback >"$work/out" 2>"$work/err" </dev/null
    status=$?
    tr -d '\r' <"$work/out" >"$work/out.txt"
    if [ "$status" -eq 0 ] && grep -q "Test passed: PCIe-0" "$work/out.txt"; then
        ok "Ctrl-C stops the run with its summary"
    else
        fail "Ctrl-C: status $status"
    fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

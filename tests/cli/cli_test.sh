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
# check NAME COMMAND... : ok when the command succeeds.
check() {
    local name=$1
    shift
    if "$@"; then ok "$name"; else fail "$name"; fi
}
lines() { [ "$(wc -l <"$work/$1")" -eq "$2" ]; }
# json_check NAME FILE PYTHON : FILE parses as JSON with a real parser, and the Python
# statements hold, with r the parsed value and out, err the last run's texts.
json_check() {
    local name=$1 file=$2 code=$3
    if python3 - "$work/$file" "$work/out.txt" "$work/err.txt" >"$work/py.txt" 2>&1 <<PYTHON
import json, re, sys
with open(sys.argv[1], encoding="utf-8") as f:
    r = json.load(f)
out = open(sys.argv[2], encoding="utf-8").read()
err = open(sys.argv[3], encoding="utf-8").read()
$code
PYTHON
    then ok "$name"; else fail "$name: $(tail -3 "$work/py.txt" | tr '\n' ' ')"; fi
}

guid='{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}'

run list 0 --simulate=cards=2 list && check "list prints one display name a line" eval \
    'lines out.txt 2 && head -1 "$work/out.txt" | grep -qxF "PCIe-0, Windows ID:$guid"'
# The card table keeps 64 cards; the 65th is never read.
run "list of 65 cards" 0 --simulate=cards=65 list && check "list stops at the table's 64" lines out.txt 64

run "no card" 3 --simulate=cards=0 list &&
    expect "no card names itself on standard error" err.txt -x "No Korvenix PCIe test cards have been detected."

run info 0 --simulate=link=gen3x8,devctl=0x2810 info && check "info prints the seven information lines" \
    eval 'lines out.txt 7 && grep -qx "Link Width: x8" "$work/out.txt" && grep -qx "Max Payload Size: 128 bytes" "$work/out.txt"'

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
    for line in Maximum Average Minimum; do expect "read summary: $line" out.txt -F "$line read data rate: "; done &&
    expect_not "no combined line" out.txt -F "Average combined R/W data rate" &&
    expect_not "no write lines" out.txt -F "Write blocks"

run "failed transfers fail the benchmark" 1 --simulate=fail-write=5 benchmark --minutes 0.02 \
    --direction write --block-mb 1 --stop-on-error &&
    expect "failed transfer logged" out.txt -F " ReadBenchmark failed 31"

run "log file" 0 --simulate loopback --minutes 0.02 --log "$work/event.log" &&
    check "log file in the export format" eval 'head -c 28 "$work/event.log" | od -c | grep -q "\\\\r  \\\\n" &&
        head -1 "$work/event.log" | grep -q "^KORVENIX Brixlane Log file" &&
        grep -q "PASS       - Test passed: PCIe-0" "$work/event.log"'

# Production line: JSON results, limits, link expectations, diagnosis, every card.
# Text from the card survives: the driver's version text may hold quotes, backslashes and
# characters above 127. Wine decodes a program's arguments by the locale, so name a UTF-8 one.
driver='V"1\2 caf'$'\xc3\xa9'
if LC_ALL=C.UTF-8 run "clean run with JSON" 0 "--simulate=driver=$driver" loopback --minutes 0.02 \
    --json "$work/clean.json"; then
    json_check "JSON counts equal the summary lines" clean.json '
assert isinstance(r, list) and len(r) == 1
c = r[0]
assert c["program"] == {"name": "brixlanetool-cli", "version": "V1.0", "build": 1001}, c["program"]
assert c["card"]["slot"] == 0 and c["card"]["name"].startswith("PCIe-0, Windows ID:{")
assert (c["card"]["link_speed_gen"], c["card"]["link_width"]) == (4, 4)
assert c["card"]["driver_version"] == "V\"1\\2 caf\u00e9", c["card"]["driver_version"]
assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d", c["start_time"]), c["start_time"]
assert 0 < c["duration_s"] < 60
ops = int(re.search(r"PASS       - (\d+) Operations\.", out).group(1))
rd, wr, vf = map(int, re.search(r"(\d+) Read error\(s\)\. (\d+) Write error\(s\)\. (\d+) Verification error\(s\)\.", out).groups())
res = c["results"]
assert res["passes"] == ops > 0, (res["passes"], ops)
assert res["errors"] == {"total": 0, "read": rd, "write": wr, "verification": vf}, res["errors"]
assert len(res["error_status"]) == 18 and not any(res["error_status"].values())
rt = res["round_trip"]
assert rt["measured_passes"] == ops
assert rt["min_mib_per_s"] <= rt["median_mib_per_s"] <= rt["max_mib_per_s"]
assert sum(i["passes"] for i in res["intervals"]) == ops
assert c["verdict"] == "passed" and c["reasons"] == []
'
fi

if run "diagnose wrong bytes" 1 --simulate=corrupt=3 loopback --minutes 0.02 --diagnose \
    --json "$work/corrupt.json"; then
    expect "a pass is described" out.txt -x "diagnose: pass 1: 3 of 262144 bytes wrong:"
    json_check "three located bytes per pass match the incrementing pattern" corrupt.json '
c = r[0]
d = c["diagnosis"]
assert d["wrong_byte_passes"] == c["results"]["passes"] > 0
first = d["described_passes"][0]
assert first["pass"] == 1 and first["wrong_bytes"] == 3 and len(first["locations"]) == 3
for p in d["described_passes"]:
    for b in p["locations"]:
        assert b["expected"] == b["offset"] & 0xFF, b
        assert b["received"] != b["expected"] and b["differing_bits"] == b["expected"] ^ b["received"], b
lines = re.findall(r"^diagnose:   offset 0x([0-9a-f]{8}): expected 0x([0-9a-f]{2}), received 0x([0-9a-f]{2})", out, re.M)
assert len(lines) == 3 * len(d["described_passes"]), len(lines)
assert [(int(o, 16), int(e, 16), int(v, 16)) for o, e, v in lines[:3]] == [(b["offset"], b["expected"], b["received"]) for b in first["locations"]]
vf = int(re.search(r"(\d+) Verification error\(s\)\.", out).group(1))
assert c["results"]["errors"]["verification"] == vf == 3 * c["results"]["passes"]
assert c["verdict"] == "failed" and "verification" in c["reasons"][0]
'
fi

# With the JSON on standard output, the records and the diagnosis make way to standard error.
if run "uncounted error-status bit" 0 --simulate=aer-unc=0x80000 loopback --minutes 0.02 --diagnose \
    --json -; then
    expect "ECRC is a note" err.txt -E "^diagnose: note: .*ECRC Error \(uncorrectable status bit 19\)"
    json_check "ECRC is noted, not counted, and the card passes" out.txt '
assert len(r) == 1
assert "START OF PCIE TEST - LOOPBACK TEST" in err and "Test passed: PCIe-0" in err
c = r[0]
notes = c["diagnosis"]["uncounted_error_status"]
assert notes == [{"register": "uncorrectable", "bit": 19, "name": "ECRC Error", "passes": c["results"]["passes"]}], notes
assert c["results"]["errors"]["total"] == 0 and c["verdict"] == "passed"
'
fi

if run "read rate below its limit" 1 --simulate=rate=1000 benchmark --minutes 0.02 --direction read \
    --block-mb 1 --min-read-rate 1200 --json "$work/slow.json"; then
    expect "the limit is named on standard error" err.txt -E "Average read rate [0-9.]+ MB/s is below the limit of 1200.0 MB/s"
    json_check "the reason is in the JSON" slow.json '
c = r[0]
rd = c["results"]["read"]
assert c["results"]["write"] is None and rd["cycles"] > 0 and rd["failed_transfers"] == 0
avg = float(re.search(r"Average read data rate: ([0-9.]+) MB/s", out).group(1))
assert abs(rd["average_mib_per_s"] - avg) <= 0.05, (rd["average_mib_per_s"], avg)
assert rd["min_mib_per_s"] <= rd["median_mib_per_s"] <= rd["max_mib_per_s"]
groups = re.findall(r"Read blocks (\d+)\u2013(\d+): Min ([0-9.]+) MB/s, Max ([0-9.]+) MB/s", out)
assert len(groups) == len(rd["intervals"]), (len(groups), len(rd["intervals"]))
for g, i in zip(groups, rd["intervals"]):
    assert (int(g[0]), int(g[1])) == (i["first_cycle"], i["last_cycle"])
    assert abs(float(g[2]) - i["min_mib_per_s"]) <= 0.05 and abs(float(g[3]) - i["max_mib_per_s"]) <= 0.05
assert c["verdict"] == "failed" and len(c["reasons"]) == 1
assert re.fullmatch(r"Average read rate [0-9.]+ MB/s is below the limit of 1200\.0 MB/s", c["reasons"][0])
'
fi
# A tenth of the card's rate: an instrumented build on a busy machine reaches far less than the
# link allows, but not that little.
run "read rate above its limit" 0 --simulate=rate=200 benchmark --minutes 0.02 --direction read \
    --block-mb 1 --min-read-rate 20 && ok "a limit met passes"

if run "link below expectation" 1 --simulate=link=gen4x2 loopback --minutes 0.02 \
    --expect-link gen4x4 --json "$work/link.json"; then
    expect "the link is named on standard error" err.txt -F "Link trained at Gen4 x2, expected Gen4 x4"
    expect "the card is still described" out.txt -F "Link Width: x2"
    expect_not "no transfer was made" out.txt -F "START OF PCIE TEST"
    json_check "an untested card fails with its reason" link.json '
c = r[0]
assert c["results"] is None and c["verdict"] == "failed"
assert c["reasons"] == ["Link trained at Gen4 x2, expected Gen4 x4"]
assert (c["card"]["link_speed_gen"], c["card"]["link_width"]) == (4, 2)
'
fi
if run "every card" 0 --simulate=cards=3 loopback --minutes 0.02 --card all --json "$work/all.json" \
    --log "$work/all.log" --expect-link gen4x4; then
    json_check "one object per card" all.json '
assert [c["card"]["slot"] for c in r] == [0, 1, 2]
assert all(c["verdict"] == "passed" and c["results"]["passes"] > 0 for c in r)
assert re.findall(r"Test passed: PCIe-(\d)", out) == ["0", "1", "2"]
'
    check "the log file holds every card's records" eval \
        'grep -q "Test passed: PCIe-0" "$work/all.log" && grep -q "Test passed: PCIe-2" "$work/all.log"'
fi

if run "one faulty card of three" 1 --simulate=cards=3,only=1,fail-write=1 loopback --minutes 0.02 \
    --card all --json "$work/faulty.json"; then
    json_check "only card 1 fails" faulty.json '
assert [c["verdict"] for c in r] == ["passed", "failed", "passed"], [c["verdict"] for c in r]
bad = r[1]
assert bad["results"]["errors"]["write"] == bad["results"]["passes"] > 0
assert bad["reasons"][0].endswith("write error(s)"), bad["reasons"]
'
    expect "each card's verdict on standard error" err.txt -E "PCIe-1, Windows ID:.*: failed: [0-9]+ write error"
fi

# A card that cannot be used, a run that moved nothing, a card that stops answering: exit 1,
# with the reason in the card's line on standard error (bounded by run's 120 s).
while IFS='|' read -r name word args; do
    # shellcheck disable=SC2086
    run "$name" 1 $args && expect "$name is named" err.txt -F -- "$word"
done <<CASES
info on a card that will not open|PCIe-0, Windows ID:$guid: The card could not be opened|--simulate=no-open info
info on a card with a bad signature|: The card's signature is wrong|--simulate=bad-signature info
loopback on a card that will not open|failed: The card could not be opened; |--simulate=no-open loopback --minutes 0.02 --stall-timeout 1
link expected of a card that will not open|failed: The card could not be opened|--simulate=no-open loopback --expect-link gen4x4
benchmark that moved no block|failed read transfer(s); no block moved|--simulate=fail-read=1 benchmark --direction read --block-mb 1 --minutes 0.02
stalled card|no transfer completed in 3 s: the card or its driver|--simulate=stall=600000 loopback --stall-timeout 3 --json $work/stall.json
CASES
# A summary that waits on purpose (a tenth of a second per slot) is no stall.
run "a slow summary" 0 --simulate=cards=40 loopback --card 39 --minutes 0.02 --stall-timeout 3 &&
    ok "a summary that waits is no stall"
json_check "the stall is the stalled card's reason" stall.json '
assert [(c["verdict"], c["results"]) for c in r] == [("failed", None)], r
assert r[0]["reasons"] == ["no transfer completed in 3 s: the card or its driver stopped answering"]
'

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
minutes past the longest run|35791394|--simulate loopback --minutes 35791394.1
unknown option|--bogus|--simulate loopback --bogus
unknown pattern|--pattern|--simulate loopback --pattern zigzag
empty slot|--card 5|--simulate=cards=2 loopback --card 5
option of the other test|--block-mb|--simulate loopback --block-mb 8
bad simulated card item|foo|--simulate=foo=1 list
no command|command|--simulate
loopback limit on a benchmark|--min-loopback-rate|--simulate benchmark --min-loopback-rate 100
read limit on a loopback|--min-read-rate|--simulate loopback --min-read-rate 100
write limit without a write phase|--min-write-rate|--simulate benchmark --direction read --min-write-rate 9
diagnose on a benchmark|--diagnose|--simulate benchmark --diagnose
malformed rate limit|--min-read-rate|--simulate benchmark --min-read-rate fast
malformed link|--expect-link|--simulate loopback --expect-link gen9x4
stall timeout of a fraction|--stall-timeout|--simulate loopback --stall-timeout 1.5
JSON for info|--json|--simulate info --json x.json
every card for info|--card all|--simulate info --card all
unwritable JSON file|--json|--simulate loopback --json /nonexistent-folder/results.json
CASES

# interrupt NAME STATUS TEXT WAIT_FOR GAP ARGS...: starts an endless run, and once WAIT_FOR is on
# standard output sends Ctrl-C (twice, GAP seconds apart, when GAP is given); the run must
# leave with STATUS and TEXT in its output.
interrupt() {
    local name=$1 expected=$2 text=$3 wait_for=$4 gap=$5
    shift 5
    "${cli[@]}" "$@" >"$work/out" 2>"$work/err" </dev/null &
    local pid=$!
    for _ in $(seq 600); do grep -q "$wait_for" "$work/out" && break; sleep 0.1; done
    kill -INT "$pid"
    if [ -n "$gap" ]; then sleep "$gap"; kill -INT "$pid"; fi
    for _ in $(seq 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null
    wait "$pid"
    status=$?
    cat "$work/out" "$work/err" | tr -d '\r' >"$work/out.txt"
    check "$name (status $status)" eval '[ "$status" -eq "$expected" ] && grep -q "$text" "$work/out.txt"'
}
if [ "${BRIXLANE_CLI_NATIVE:-1}" = 1 ]; then
    interrupt "Ctrl-C stops the run with its summary" 0 "Test passed: PCIe-0" "Loopback blocks 1" "" \
        --simulate loopback
    # A second Ctrl-C, a while after the first (twice the runner's gap between two interrupts
    # that count as two), leaves at once, here during a stalled transfer.
    interrupt "a second Ctrl-C leaves without the summary" 1 "interrupted twice" "START OF PCIE TEST" 1 \
        --simulate=stall=20000 loopback
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

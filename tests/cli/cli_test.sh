#!/usr/bin/env bash
# End-to-end checks of brixlanetool-cli on the simulated card: what a production-line script
# sees (standard output, standard error, exit status, the log file). Usage:
#   cli_test.sh [RUNNER...] CLI     e.g. cli_test.sh cmake/wine-run.sh build-win/brixlanetool-cli.exe
set -u
cli=("$@")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

# run NAME EXPECTED_STATUS ARGS... : runs the CLI (bounded) into out.txt, err.txt; checks the status.
run() {
    local name=$1 expected=$2
    shift 2
    timeout -s KILL 120 "${cli[@]}" "$@" >"$work/out" 2>"$work/err" </dev/null
    status=$?
    tr -d '\r' <"$work/out" >"$work/out.txt"
    tr -d '\r' <"$work/err" >"$work/err.txt"
    [ "$status" -eq "$expected" ] || { fail "$name: exit status $status, expected $expected"; return 1; }
}
ok() { passed=$((passed + 1)); echo "ok   $1"; }
fail() {
    failed=$((failed + 1))
    echo "FAIL $1"
    sed 's/^/     out: /' "$work/out.txt" | tail -5
    sed 's/^/     err: /' "$work/err.txt" | tail -5
}
# check NAME COMMAND... : ok when the command succeeds; expect NAME FILE GREP-ARGS...: a match.
check() { local name=$1; shift; if "$@"; then ok "$name"; else fail "$name"; fi; }
expect() { local name=$1 file=$2; shift 2; check "$name: $* in $file" grep -q "$@" "$work/$file"; }
lines() { [ "$(wc -l <"$work/$1")" -eq "$2" ]; }
# json_check NAME FILE PYTHON : FILE parses as JSON with a real parser, and the Python
# statements hold, with r the parsed value and out, err the last run's texts.
json_check() {
    if python3 - "$work/$2" "$work/out.txt" "$work/err.txt" >"$work/py.txt" 2>&1 <<PYTHON
import json, re, sys
r = json.load(open(sys.argv[1], encoding="utf-8"))
out, err = (open(p, encoding="utf-8").read() for p in sys.argv[2:])
$3
PYTHON
    then ok "$1"; else fail "$1: $(tail -3 "$work/py.txt" | tr '\n' ' ')"; fi
}

guid='{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}'
run list 0 --simulate=cards=2 list && check "list prints one display name a line" eval \
    'lines out.txt 2 && head -1 "$work/out.txt" | grep -qxF "PCIe-0, Windows ID:$guid"'
# The card table keeps 64 cards; the 65th is never read.
run "list of 65 cards" 0 --simulate=cards=65 list && check "list stops at the table's 64" lines out.txt 64
run info 0 --simulate=link=gen3x8,devctl=0x2810 info && check "info prints the seven information lines" \
    eval 'lines out.txt 7 && grep -qx "Link Width: x8" "$work/out.txt" && grep -qx "Max Payload Size: 128 bytes" "$work/out.txt"'
run "failed transfers fail the benchmark" 1 --simulate=fail-write=5 benchmark --minutes 0.02 \
    --direction write --block-mb 1 --stop-on-error && expect "failed transfer" out.txt -F " ReadBenchmark failed 31"

# The driver's version text may hold quotes, backslashes and characters above 127. Wine
# decodes a program's arguments by the locale, so name a UTF-8 one. The log file is in the
# export format: CRLF lines under the program's header.
driver='V"1\2 caf'$'\xc3\xa9'
LC_ALL=C.UTF-8 run "clean run with JSON" 0 "--simulate=link=gen3x8,driver=$driver" loopback --minutes 0.02 \
    --json "$work/clean.json" --log "$work/event.log" && json_check "JSON describes program, card and start" clean.json '
(c,) = r
assert c["program"] == {"name": "brixlanetool-cli", "version": "V1.0", "build": 1001}, c["program"]
k = c["card"]
assert (k["slot"], k["link_speed_gen"], k["link_width"], k["driver_version"]) == (0, 3, 8, "V\"1\\2 caf\u00e9"), k
assert re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d", c["start_time"]), c["start_time"]
rt = c["results"]["round_trip"]
assert rt["min_mib_per_s"] <= rt["median_mib_per_s"] <= rt["max_mib_per_s"] and 0 < c["duration_s"] < 60
assert sum(i["passes"] for i in c["results"]["intervals"]) == c["results"]["passes"] > 0
assert re.search(r": PASS       - Test passed: PCIe-0, Windows ID:", out) and "Loopback blocks 1\u201310: Min " in out
log = open(sys.argv[1].replace("clean.json", "event.log"), "rb").read()
assert log.startswith(b"KORVENIX Brixlane Log file") and b"\r\n" in log[:28] and b"PASS       - Test passed: PCIe-0" in log'

if run "diagnose wrong bytes" 1 --simulate=corrupt=3 loopback --minutes 0.02 --diagnose --json "$work/corrupt.json"; then
    json_check "three located bytes per pass match the incrementing pattern" corrupt.json '
c, first = r[0], r[0]["diagnosis"]["described_passes"][0]
d = c["diagnosis"]
assert "diagnose: pass 1: 3 of 262144 bytes wrong:\n" in out and "PCIe data transfer error: 3 of 262144 bytes incorrect." in out
assert d["wrong_byte_passes"] == c["results"]["passes"] > 0 and first["pass"] == 1 and first["wrong_bytes"] == 3
for b in (b for p in d["described_passes"] for b in p["locations"]):
    assert b["expected"] == b["offset"] & 0xFF != b["received"] and b["differing_bits"] == b["expected"] ^ b["received"], b
lines = re.findall(r"^diagnose:   offset 0x([0-9a-f]{8}): expected 0x([0-9a-f]{2}), received 0x([0-9a-f]{2})", out, re.M)
assert len(lines) == 3 * len(d["described_passes"]), len(lines)
assert [tuple(int(x, 16) for x in l) for l in lines[:3]] == [(b["offset"], b["expected"], b["received"]) for b in first["locations"]]
assert c["results"]["errors"]["verification"] == 3 * c["results"]["passes"] and "verification" in c["reasons"][0]
more = d["wrong_byte_passes"] - 10  # only the first ten passes are described; the count goes on
assert len(d["described_passes"]) == 10 and f"diagnose: {more} more passes with wrong bytes were not described (only the first 10 are)\n" in out'
fi

# With the JSON on standard output, the records and the diagnosis make way to standard error.
# Surprise Down (uncorrectable bit 5), ECRC (19) and a reserved correctable bit (1) are noted
# once when first seen and once with their count at the end, never counted.
run "uncounted error-status bits" 0 --simulate=aer-unc=0x80020,aer-cor=0x2 loopback --minutes 0.02 --diagnose \
    --json - && json_check "uncounted bits are notes, and the card passes" out.txt '
(c,) = r
n = c["results"]["passes"]
assert "START OF PCIE TEST - LOOPBACK TEST" in err and "Test passed: PCIe-0" in err
assert c["diagnosis"]["uncounted_error_status"] == [{"register": g, "bit": b, "name": m, "passes": n} for g, b, m in (
    ("uncorrectable", 5, "Surprise Down Error"), ("uncorrectable", 19, "ECRC Error"), ("correctable", 1, "Reserved"))]
notes = re.findall(r"^diagnose: note: (.*)$", err, re.M)
bits = ["Surprise Down Error (uncorrectable status bit 5)", "ECRC Error (uncorrectable status bit 19)", "Reserved (correctable status bit 1)"]
assert notes == [f"pass 1: {m} reported; the event log does not count it" for m in bits] + [
    f"{m} was reported in {n} of {n} passes; not counted as an error" for m in bits], notes
assert c["results"]["errors"]["total"] == 0 and c["verdict"] == "passed"'

# A read-only benchmark: read figures only, and a limit it does not reach named.
run "read rate below its limit" 1 --simulate=rate=1000 benchmark --minutes 0.02 --direction read \
    --block-mb 1 --min-read-rate 1200 --json "$work/slow.json" && json_check "the reason is in the JSON" slow.json '
(c,) = r
rd = c["results"]["read"]
assert c["results"]["write"] is None and rd["cycles"] > 0 and rd["failed_transfers"] == 0
assert re.search(r"Average read rate [0-9.]+ MB/s is below the limit of 1200.0 MB/s", err)
assert "Maximum read data rate: " in out and "Minimum read data rate: " in out
assert "Average combined R/W data rate" not in out and "Write blocks" not in out
avg = float(re.search(r"Average read data rate: ([0-9.]+) MB/s", out).group(1))
assert abs(rd["average_mib_per_s"] - avg) <= 0.05 and rd["min_mib_per_s"] <= rd["median_mib_per_s"] <= rd["max_mib_per_s"]
groups = re.findall(r"Read blocks (\d+)\u2013(\d+): Min ([0-9.]+) MB/s, Max ([0-9.]+) MB/s", out)
assert len(groups) == len(rd["intervals"]), (len(groups), len(rd["intervals"]))
for g, i in zip(groups, rd["intervals"]):
    assert (int(g[0]), int(g[1])) == (i["first_cycle"], i["last_cycle"])
    assert abs(float(g[2]) - i["min_mib_per_s"]) <= 0.05 and abs(float(g[3]) - i["max_mib_per_s"]) <= 0.05
assert c["verdict"] == "failed" and len(c["reasons"]) == 1
assert re.fullmatch(r"Average read rate [0-9.]+ MB/s is below the limit of 1200\.0 MB/s", c["reasons"][0])'
# A tenth of the card's rate: a busy instrumented build reaches far less than the link, not that little.
run "a read rate above its limit passes" 0 --simulate=rate=200 benchmark --minutes 0.02 --direction read \
    --block-mb 1 --min-read-rate 20 && ok "a limit met passes"

# A card that cannot be used, a run that moved nothing, a card that stops answering: exit 1,
# with the reason in the card's line on standard error (bounded by run's 120 s). Bad usage:
# exit 2 and a message naming the argument (the parser's own refusals are in its unit test).
while IFS='|' read -r status name word args; do
    # shellcheck disable=SC2086
    run "$name" "$status" $args && expect "$name" err.txt -F -- "$word"
done <<CASES
1|info on a card that will not open|PCIe-0, Windows ID:$guid: The card could not be opened|--simulate=no-open info
1|info on a card with a bad signature|: The card's signature is wrong|--simulate=bad-signature info
1|loopback on a card that will not open|failed: The card could not be opened; |--simulate=no-open loopback --minutes 0.02 --stall-timeout 1
1|link expected of a card that will not open|failed: The card could not be opened|--simulate=no-open loopback --expect-link gen4x4 --diagnose --json $work/noopen.json
1|benchmark that moved no block|failed read transfer(s); no block moved|--simulate=fail-read=1 benchmark --direction read --block-mb 1 --minutes 0.02
1|stalled card|no transfer completed in 3 s: the card or its driver|--simulate=stall=600000 loopback --stall-timeout 3 --json $work/stall.json
2|no card in slot 5|--card 5|--simulate=cards=2 loopback --card 5
2|bad simulated-card option|foo|--simulate=foo=1 list
2|JSON file in no folder|--json|--simulate loopback --json /nonexistent-folder/results.json
CASES
json_check "an unopened card has no facts, results or diagnosis" noopen.json '
(c,) = r
assert (c["card"]["link_width"], c["card"]["driver_version"], c["results"], c["diagnosis"]) == (None,) * 4, c'
json_check "the stall is the stalled card's reason" stall.json '
assert [(c["verdict"], c["results"], c["reasons"]) for c in r] == [("failed", None, ["no transfer completed in 3 s: the card or its driver stopped answering"])], r'
# A summary that waits on purpose (a tenth of a second per slot) is no stall.
run "a summary that waits is no stall" 0 --simulate=cards=40 loopback --card 39 --minutes 0.02 \
    --stall-timeout 3 && ok "a summary that waits is no stall"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]

#!/usr/bin/env bash
# Every fault the simulated card can inject, through the command-line runner: each fault x
# loopback/benchmark x with and without --stop-on-error. Each cell must end by itself within
# its bound, exit with the status its outcome calls for (not a signal), and say the truth:
# the summary, the verdict, the logged failures and the JSON results agree with each other
# and with the fault (the unit tests' matrix checks that the card was closed). Usage:
#   cli_fault_matrix.sh [RUNNER...] CLI   (BRIXLANE_MATRIX_JOBS cells at once, default 2)
set -u
cli=("$@")
here=$(cd "$(dirname "$0")" && pwd)
status_header=$here/../../src/engine/error_status.h
jobs=${BRIXLANE_MATRIX_JOBS:-2}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# 0.02 minutes ends a run 1 to 2 s after its start (the length counts whole seconds), so every
# run has a second to move data; a cell still going after 60 s is hung. A 2 ms pause after
# each pass or cycle (load 90) leaves the test machine's two processors mostly free.
minutes=0.02 hang_bound=60 load=90

# The faults: simulated-card options (before the rate), then the loopback's and the
# benchmark's outcome. pass: exit 0, no counted error. fail: exit 1; the loopback says
# "Test failed", the benchmark logs failed transfers. nocard: exit 3, nothing tested.
# Every fault that fails a benchmark strikes in its first cycle.
cat >"$work/faults" <<'FAULTS'
-|pass|pass
corrupt=3|fail|pass
corrupt=1,corrupt-every=4|fail|pass
fail-read=3|fail|fail
fail-write=3|fail|fail
short-read=3|fail|fail
short-write=3|fail|fail
remove-after=5|fail|fail
remove-after=30|fail|fail
remove-after=120|fail|fail
no-open|fail|fail
bad-signature|fail|fail
cards=0|nocard|nocard
cards=65|pass|pass
cards=2,only=1,fail-write=1|pass|pass
aer-unc=0x80020,aer-cor=0x2000000|pass|pass
FAULTS
# Each error-status bit the loopback counts fails it on its own (the benchmark reads no
# error status). Taken from the engine's table, with the name the JSON results give it.
sed -nE 's/.*\{kUncorrectableStatusOffset, (0x[0-9A-Fa-f]+),.*/aer-unc=\1/p; s/.*\{kCorrectableStatusOffset, (0x[0-9A-Fa-f]+),.*/aer-cor=\1/p' \
    "$status_header" >"$work/bits"
sed -nE 's/.*L"PCIe error: ([^"(]*) \((Unc|C)orrectable\)".*/\1/p' "$status_header" >"$work/bit_names"
bit_count=$(wc -l <"$work/bits")
[ "$bit_count" -gt 0 ] && [ "$bit_count" -eq "$(wc -l <"$work/bit_names")" ] ||
    { echo "FAIL the error-status bits could not be read from $status_header"; exit 1; }
paste -d'|' "$work/bits" "$work/bit_names" | sed 's/|/|fail|pass|/' >>"$work/faults"

# cell N OPTIONS TEST STOP EXPECT BIT_NAME: runs one cell within its bound and leaves its
# outputs, exit status and wall time in its folder for the checks.
cell() {
    local n=$1 options=$2 test=$3 stop=$4 expect=$5 bit_name=$6
    local dir=$work/cells/$n sim=rate=unlimited start=$SECONDS
    mkdir -p "$dir"
    [ "$options" = - ] || sim=$sim,$options
    local args=("--simulate=$sim" "$test" --minutes "$minutes" --load "$load" --json "$dir/results.json")
    [ "$test" = loopback ] || args+=(--block-mb 1)
    # The diagnosis tells in how many passes bytes came back wrong.
    [ "$stop" = 0 ] || args+=(--stop-on-error $([ "$test" = loopback ] && echo --diagnose))
    timeout -k 5 "$hang_bound" "${cli[@]}" "${args[@]}" >"$dir/out" 2>"$dir/err" </dev/null
    local status=$?
    printf '%s\n' "$options" "$test" "$stop" "$expect" "$bit_name" "$status" \
        "$((SECONDS - start))" >"$dir/cell"
}

started=$SECONDS
n=0
while IFS='|' read -r options loopback benchmark bit_name; do
    for test in loopback benchmark; do
        expect=$loopback && [ "$test" = loopback ] || expect=$benchmark
        for stop in 0 1; do
            n=$((n + 1))
            while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n; done
            cell "$n" "$options" "$test" "$stop" "$expect" "${bit_name:-}" &
        done
    done
done <"$work/faults"
wait

# One checker for every cell: what each run printed, its JSON results and its exit status.
python3 - "$work/cells" "$n" "$bit_count" "$hang_bound" "$((SECONDS - started))" <<'PYTHON'
import json, os, re, sys

cells_dir, wall = sys.argv[1], sys.argv[5]
count, bit_count, hang_bound = map(int, sys.argv[2:5])


def check(test, stop, expect, bit_name, status, elapsed, out, err, json_path):
    lines = lambda pattern: re.findall(pattern, out, re.M)

    # timeout's status, or its KILL when the runner outlived the TERM.
    assert status != 124 and (status != 137 or elapsed < hang_bound), f"still running after {hang_bound}s"
    assert status <= 128, f"ended by signal {status - 128}"
    want = {"pass": 0, "fail": 1, "nocard": 3}[expect]
    assert status == want, f"exit status {status}, expected {want}"
    assert "Test passed" not in out or expect == "pass", "a failing run printed Test passed"

    if expect == "nocard":
        assert "No Korvenix PCIe test cards have been detected." in err, "no-card message missing"
        assert "START OF PCIE" not in out, "a test started without a card"
        assert not os.path.exists(json_path) or json.load(open(json_path)) == [], "JSON results without a card"
        return

    (c,) = json.load(open(json_path, encoding="utf-8"))
    assert (c["card"]["slot"], c["test"]) == (0, test), (c["card"]["slot"], c["test"])
    assert c["settings"]["stop_on_error"] == stop, c["settings"]
    assert c["verdict"] == ("passed" if expect == "pass" else "failed"), c["verdict"]
    assert (c["reasons"] == []) == (expect == "pass"), c["reasons"]
    res = c["results"]
    assert expect != "pass" or not lines(r"^.*: ERROR      - "), "ERROR records in a clean run"

    if test == "loopback":
        assert len(lines(r"Test (passed|failed): ")) == 1, "not exactly one verdict"
        ops = lines(r"- (\d+) Operations\.$")
        counts = lines(r"- (\d+) Read error\(s\)\. (\d+) Write error\(s\)\. (\d+) Verification error\(s\)\.$")
        assert len(ops) == 1 and len(counts) == 1, "summary lines missing"
        rd, wr, vf = map(int, counts[0])
        e = res["errors"]
        assert res["passes"] == int(ops[0]) > 0, (res["passes"], ops)
        assert (e["read"], e["write"], e["verification"]) == (rd, wr, vf), (e, counts)
        assert len(res["error_status"]) == bit_count, sorted(res["error_status"])
        # Every counted error is a failed read-back, a failed write, a wrong byte or a
        # pass's error-status bit.
        assert e["total"] == rd + wr + vf + sum(res["error_status"].values()), e
        assert (e["total"] == 0) == (expect == "pass"), e
        assert lines(r"Test passed: PCIe-0" if expect == "pass" else rf"ERROR      - {e['total']} error\(s\)\.$"), "verdict or count line missing"
        if bit_name:
            # The bit comes with every pass whose status could be read.
            seen = res["error_status"][bit_name]
            assert seen == res["passes"] - res["error_status_unread"] > 0, (bit_name, seen, res["passes"])
            logged = len(lines(rf"ERROR      - PCIe error: {re.escape(bit_name)} \("))
            assert logged == seen, f"{bit_name} logged {logged} times, counted in {seen} passes"
            others = {k: v for k, v in res["error_status"].items() if k != bit_name}
            assert not any(others.values()), others
        if stop and expect == "fail":
            # The first pass with an error is the last: every error came from one pass.
            assert rd + wr <= 1, (rd, wr)
            assert max(res["error_status"].values()) <= 1, res["error_status"]
            assert c["diagnosis"]["wrong_byte_passes"] <= 1, c["diagnosis"]
            if vf:
                first = c["diagnosis"]["described_passes"][0]["pass"]
                assert first == res["passes"], f"wrong bytes in pass {first} of {res['passes']}"
    else:
        assert "Test passed" not in out and "Test failed" not in out, "a benchmark gave a verdict"
        assert len(lines(r"- Overall benchmark result:$")) == 1, "no benchmark summary"
        logged = len(lines(r"-  ReadBenchmark failed "))
        directions = [d for d in (res["read"], res["write"]) if d is not None]
        failed = sum(d["failed_transfers"] for d in directions)
        assert logged == failed, f"{logged} failures logged, {failed} counted"
        assert (failed == 0) == (expect == "pass"), f"{failed} failed transfers"
        assert expect != "pass" or all(d["cycles"] > 0 for d in directions), res
        # The faults strike in the first cycle, and with --stop-on-error it is the last.
        assert expect == "pass" or not stop or all(d["cycles"] <= 1 for d in directions), res


passed = 0
for n in range(1, count + 1):
    folder = os.path.join(cells_dir, str(n))
    options, test, stop, expect, bit_name, status, elapsed = open(os.path.join(folder, "cell")).read().split("\n")[:7]
    name = ("clean" if options == "-" else options) + " " + test + " --stop-on-error" * (stop == "1")
    out, err = (open(os.path.join(folder, f), encoding="utf-8", errors="replace").read().replace("\r", "")
                for f in ("out", "err"))
    try:
        check(test, stop == "1", expect, bit_name, int(status), int(elapsed), out, err,
              os.path.join(folder, "results.json"))
    except Exception as problem:  # an assertion, or JSON that does not parse
        print(f"FAIL {name}: {type(problem).__name__}: {problem}"[:600])
        print("".join(f"     out: {l}\n" for l in [l for l in out.splitlines() if "blocks " not in l][-6:]) +
              "".join(f"     err: {l}\n" for l in err.splitlines()[-4:]), end="")
        continue
    passed += 1
    print(f"ok   {name} ({elapsed}s)")

print(f"{count} cells: {passed} passed, {count - passed} failed ({wall}s)")
sys.exit(0 if passed == count else 1)
PYTHON

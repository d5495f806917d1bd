#!/usr/bin/python3
# Every fault the simulated card can inject, through the command-line runner: each fault x
# loopback/benchmark x with and without --stop-on-error. Each cell must end by itself within
# its bound, exit with the status its outcome calls for (not a signal), and its summary,
# verdict, logged failures and JSON results must agree with each other and with the fault.
#   cli_fault_matrix.py [RUNNER...] CLI   (BRIXLANE_MATRIX_JOBS cells at once, default 2)
import concurrent.futures, json, os, re, shutil, subprocess, sys, tempfile, time

cli, work = sys.argv[1:], tempfile.mkdtemp()
status_header = os.path.join(os.path.dirname(__file__), "../../src/engine/error_status.h")
# 0.02 minutes ends a run 1 to 2 s after its start, so every run moves data for a second; a
# cell still going after 60 s is hung. Load 90 leaves the two test processors mostly free.
MINUTES, HANG_BOUND, LOAD = "0.02", 60, "90"
# Simulated-card options, then the loopback's and the benchmark's outcome. pass: exit 0, no
# counted error; fail: exit 1 ("Test failed", or failed transfers logged); nocard: exit 3.
# Every fault that fails a benchmark strikes in its first cycle. Then each error-status bit
# the loopback counts, from the engine's table with the name the JSON results give it (the
# benchmark reads no error status).
FAULTS = [row.split("|") + [""] for row in """
-|pass|pass corrupt=3|fail|pass corrupt=1,corrupt-every=4|fail|pass fail-read=3|fail|fail
fail-write=3|fail|fail short-read=3|fail|fail short-write=3|fail|fail remove-after=5|fail|fail
remove-after=30|fail|fail remove-after=120|fail|fail no-open|fail|fail bad-signature|fail|fail
cards=0|nocard|nocard cards=65|pass|pass cards=2,only=1,fail-write=1|pass|pass
aer-unc=0x80020,aer-cor=0x2000000|pass|pass""".split()]
BITS = re.findall(r'\{k(Unc|C)orrectableStatusOffset, (0x[0-9A-Fa-f]+),\s*L"PCIe error: ([^"(]*) \(',
                  open(status_header).read())
FAULTS += [[f"aer-{ {'Unc': 'unc', 'C': 'cor'}[reg]}={mask}", "fail", "pass", name] for reg, mask, name in BITS]
CELLS = [(options, test, stop, {"loopback": loopback, "benchmark": benchmark}[test], bit_name)
         for options, loopback, benchmark, bit_name in FAULTS
         for test in ("loopback", "benchmark") for stop in (False, True)]


def run_cell(n, options, test, stop, *_):
    """One run within its bound: its status (None when hung), outputs and JSON file."""
    json_path = os.path.join(work, f"{n}.json")
    args = ["--simulate=rate=unlimited" + ("" if options == "-" else "," + options), test, "--minutes", MINUTES, "--load", LOAD, "--json", json_path]
    args += ["--block-mb", "1"] * (test == "benchmark")
    # With --stop-on-error the loopback's diagnosis tells in how many passes bytes were wrong.
    args += (["--stop-on-error"] + ["--diagnose"] * (test == "loopback")) * stop
    start = time.monotonic()
    try:
        p = subprocess.run(cli + args, stdin=subprocess.DEVNULL, capture_output=True, timeout=HANG_BOUND)
        status, out, err = p.returncode, p.stdout, p.stderr
    except subprocess.TimeoutExpired as hung:
        status, out, err = None, hung.stdout or b"", hung.stderr or b""
    text = lambda b: b.decode("utf-8", errors="replace").replace("\r", "")
    return status, text(out), text(err), json_path, time.monotonic() - start


def check(test, stop, expect, bit_name, status, out, err, json_path):
    lines = lambda pattern: re.findall(pattern, out, re.M)
    assert status is not None, f"still running after {HANG_BOUND}s"
    assert 0 <= status <= 128, f"ended by signal {-status if status < 0 else status - 128}"
    assert status == (want := {"pass": 0, "fail": 1, "nocard": 3}[expect]), f"exit status {status}, expected {want}"
    assert "Test passed" not in out or expect == "pass", "a failing run printed Test passed"
    if expect == "nocard":
        assert "No Korvenix PCIe test cards have been detected." in err, "no-card message missing"
        assert "START OF PCIE" not in out, "a test started without a card"
        assert not os.path.exists(json_path) or json.load(open(json_path)) == [], "JSON results without a card"
        return
    (c,) = json.load(open(json_path, encoding="utf-8"))
    assert (c["card"]["slot"], c["test"], c["settings"]["stop_on_error"]) == (0, test, stop), c["settings"]
    assert (c["verdict"], c["reasons"] == []) == (("passed", True) if expect == "pass" else ("failed", False)), c["reasons"]
    res = c["results"]
    assert expect != "pass" or not lines(r"^.*: ERROR      - "), "ERROR records in a clean run"
    if test == "loopback":
        assert len(lines(r"Test (passed|failed): ")) == 1, "not exactly one verdict"
        ops = lines(r"- (\d+) Operations\.$")
        counts = lines(r"- (\d+) Read error\(s\)\. (\d+) Write error\(s\)\. (\d+) Verification error\(s\)\.$")
        assert len(ops) == 1 and len(counts) == 1, "summary lines missing"
        rd, wr, vf = map(int, counts[0])
        e, status_bits = res["errors"], res["error_status"]
        assert res["passes"] == int(ops[0]) > 0, (res["passes"], ops)
        assert (e["read"], e["write"], e["verification"]) == (rd, wr, vf), (e, counts)
        assert len(status_bits) == len(BITS) > 0, sorted(status_bits)
        # Every counted error is a failed read-back or write, a wrong byte or a status bit.
        assert e["total"] == rd + wr + vf + sum(status_bits.values()), e
        assert (e["total"] == 0) == (expect == "pass"), e
        assert lines(r"Test passed: PCIe-0" if expect == "pass" else rf"ERROR      - {e['total']} error\(s\)\.$"), "verdict or count line missing"
        if bit_name:  # the bit comes with every pass whose status could be read
            seen = status_bits[bit_name]
            assert seen == res["passes"] - res["error_status_unread"] > 0, (bit_name, seen, res["passes"])
            logged = len(lines(rf"ERROR      - PCIe error: {re.escape(bit_name)} \("))
            assert logged == seen, f"{bit_name} logged {logged} times, counted in {seen} passes"
            assert not any(v for k, v in status_bits.items() if k != bit_name), status_bits
        if stop and expect == "fail":  # the first pass with an error is the last
            assert rd + wr <= 1 and max(status_bits.values()) <= 1, (rd, wr, status_bits)
            assert c["diagnosis"]["wrong_byte_passes"] <= 1, c["diagnosis"]
            first = vf and c["diagnosis"]["described_passes"][0]["pass"]
            assert not vf or first == res["passes"], f"wrong bytes in pass {first} of {res['passes']}"
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


started, passed = time.monotonic(), 0
with concurrent.futures.ThreadPoolExecutor(int(os.environ.get("BRIXLANE_MATRIX_JOBS", "2"))) as pool:
    runs = [pool.submit(run_cell, n, *cell) for n, cell in enumerate(CELLS)]
    for (options, test, stop, expect, bit_name), done in zip(CELLS, runs):
        name = ("clean" if options == "-" else options) + " " + test + " --stop-on-error" * stop
        status, out, err, json_path, elapsed = done.result()
        try:  # an assertion, or JSON that does not parse
            check(test, stop, expect, bit_name, status, out, err, json_path)
            passed += 1
            print(f"ok   {name} ({elapsed:.0f}s)", flush=True)
        except Exception as problem:
            print(f"FAIL {name}: {type(problem).__name__}: {problem}"[:600])
            print("".join(f"     out: {l}\n" for l in [l for l in out.splitlines() if "blocks " not in l][-6:]) +
                  "".join(f"     err: {l}\n" for l in err.splitlines()[-4:]), end="", flush=True)
shutil.rmtree(work)
print(f"{len(CELLS)} cells: {passed} passed, {len(CELLS) - passed} failed ({time.monotonic() - started:.0f}s)")
sys.exit(0 if passed == len(CELLS) else 1)

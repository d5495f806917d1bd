#!/usr/bin/python3
# brixlanetool-cli's results for CI servers and its live views, read with real parsers (Debian's
# junitparser, json) and checked against the summary lines the run printed. Usage:
#   junit_test.py [RUNNER...] CLI      (BRIXLANE_CLI_NATIVE=0 under Wine: no signals, no pty)
import json, os, pty, re, signal, subprocess, time, tty
from junitparser import JUnitXml, Failure, Skipped
from runner import check, cli, finish, native, path, run

RECORD = re.compile(r"^\w{3} \w{3} [ \d]\d \d\d:\d\d:\d\d \d{4}: \w+ *- ")
PROGRESS = re.compile(r"card 0  \d+:\d\d:\d\d of 0:00:\d\d  passes \d+  errors \d+  (?:[\d.]+ MB/s|-)")
summaries = lambda out: [int(n) for n in re.findall(r"PASS       - (\d+) Operations\.", out)]
cases = lambda name: list(list(JUnitXml.fromfile(path(name)))[0])
# Text from the card reaches the XML: the driver's version text with markup, quotes and a
# character above 127. A control character XML 1.0 cannot hold becomes U+FFFD; only a native
# file name holds one.
driver = "<b>&\"'caf\u00e9"
sim = "cards=3,only=1,corrupt=2,driver=" + driver
log = path("a&b\x01.log" if native else "a&b.log")


@check("three cards, card 1 fails alone with its reasons, as junitparser reads them")
def _():
    out, err = run("--simulate=" + sim, "loopback", "--card", "all", "--minutes", "0.02", "--expect-link",
                   "gen4x4", "--junit", path("r.xml"), "--json", path("r.json"), "--log", log, status=1)
    cards = json.load(open(path("r.json"), encoding="utf-8"))
    (suite,) = list(JUnitXml.fromfile(path("r.xml")))
    props = {p.name: p.value for p in suite.properties()}
    assert (props["simulate"], props["test"], props["card"], props["minutes"], props["pattern"]) == (
        sim, "loopback", "all", "0.02", "incrementing"), props
    assert props["log"] == log.replace("\x01", "\ufffd") and props["program"].startswith("brixlanetool-cli V")
    ops, verification = summaries(out), re.findall(r"(\d+) Verification error\(s\)\.", out)
    assert [c.name for c in suite] == [c["card"]["name"] for c in cards] and len(cards) == 3, cards
    for i, (case, card) in enumerate(zip(suite, cards)):
        assert abs(case.time - card["duration_s"]) < 0.002, (case.time, card["duration_s"])
        text = case.system_out
        assert "driver_version: " + driver + "\n" in text and f"  passes: {ops[i]}\n" in text, text
        assert f"{ops[i]} Operations." in text and f"errors.verification: {verification[i]}\n" in text, text
        assert f"round_trip_us.p99: {card['results']['round_trip_us']['p99']}\n" in text, text
        assert text.rstrip().endswith("Test %s: %s" % (card["verdict"], card["card"]["name"]))
    assert [c.is_passed for c in suite] == [True, False, True]
    assert isinstance(f := list(suite)[1].result[0], Failure) and f.message == "; ".join(cards[1]["reasons"])
    assert int(verification[1]) == 2 * ops[1] > 0
    assert re.search(r"PCIe-1, Windows ID:.*: failed: \d+ verification error", err), err[-300:]
    assert b"Test passed: PCIe-2" in open(log, "rb").read()
    assert not PROGRESS.search(err) and "\r" not in err, err[:300]  # no progress line into a file


@check("a card that fails its link check is a failure with its reason")
def _():
    run("--simulate=link=gen4x2", "loopback", "--minutes", "0.02", "--expect-link", "gen4x4",
        "--junit", path("link.xml"), status=1)
    (case,) = cases("link.xml")
    assert case.result[0].message == "Link trained at Gen4 x2, expected Gen4 x4"
    assert "Figures: none" in case.system_out and "Summary" not in case.system_out


@check("interval lines and the JSON stream add up to the summary")
def _():
    out, err = run("--simulate=corrupt=2", "loopback", "--minutes", "0.05", "--interval", "0.5",
                   "--json-stream", path("s.jsonl"), "--json", path("s.json"), status=1)
    (ops,) = summaries(out)
    errors = int(re.search(r"ERROR      - (\d+) error\(s\)\.", out).group(1))
    lines = re.findall(r"^card 0: ([\d.]+)-([\d.]+) s: (\d+) passes, (\d+) errors, ([\d.]+|-) MB/s$", err, re.M)
    assert len(lines) >= 3 and all(a[1] == b[0] for a, b in zip(lines, lines[1:])), lines
    assert sum(int(l[2]) for l in lines) == ops and sum(int(l[3]) for l in lines) == errors
    rt = json.load(open(path("s.json")))[0]["results"]["round_trip"]
    rates = [float(l[4]) for l in lines if l[4] != "-"]
    assert rates and all(rt["min_mib_per_s"] - 0.1 <= r <= rt["max_mib_per_s"] + 0.1 for r in rates)
    objects = [json.loads(line) for line in open(path("s.jsonl"), encoding="utf-8")]
    intervals = [o for o in objects if o["type"] == "interval"]
    assert [(o["passes"], o["errors"]) for o in intervals] == [(int(l[2]), int(l[3])) for l in lines]
    records = [o["text"] for o in objects if o["type"] == "record"]
    printed = [line[RECORD.match(line).end():] for line in out.splitlines() if RECORD.match(line)]
    assert records == printed and f"{ops} Operations." in records, (records[-8:], printed[-8:])
    assert objects[-1]["type"] == "result" and objects[-1]["result"]["results"]["passes"] == ops


@check("benchmark interval blocks add up to the results'")
def _():
    _, err = run("--simulate", "benchmark", "--direction", "read", "--block-mb", "1", "--minutes",
                 "0.03", "--interval", "0.5", "--json", path("b.json"), status=0)
    blocks = re.findall(r"^card 0: [\d.]+-[\d.]+ s: (\d+) blocks, 0 errors, read [\d.-]+ MB/s$", err, re.M)
    assert blocks and sum(map(int, blocks)) == json.load(open(path("b.json")))[0]["results"]["read"]["blocks"]


@check("--json-stream - : objects on standard output, the records on standard error")
def _():
    out, err = run("--simulate", "loopback", "--minutes", "0.02", "--json-stream", "-", status=0)
    assert {json.loads(line)["type"] for line in out.splitlines()} == {"record", "interval", "result"}, out[-300:]
    assert re.search(r"PASS       - Test passed: PCIe-0", err)


if native:
    def interrupt(args, wait_for, gap=None):  # Ctrl-C once wait_for is out, again after gap s
        with open(path("int.out"), "wb") as out:
            p = subprocess.Popen(cli + args, stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
            bound = time.monotonic() + 60
            while wait_for not in open(path("int.out"), "rb").read():
                assert time.monotonic() < bound and p.poll() is None
                time.sleep(0.05)
            p.send_signal(signal.SIGINT)
            if gap:
                time.sleep(gap)
                p.send_signal(signal.SIGINT)
            return p.wait(timeout=60), open(path("int.out"), encoding="utf-8").read()

    @check("Ctrl-C stops the run with its summary")
    def _():
        status, text = interrupt(["--simulate", "loopback"], b"Loopback blocks 1")
        assert status == 0 and "Test passed: PCIe-0" in text, (status, text[-300:])

    # A second Ctrl-C, twice the runner's gap between two interrupts that count as two after the
    # first, leaves at once, here during a stalled transfer.
    @check("a second Ctrl-C leaves without the summary")
    def _():
        status, text = interrupt(["--simulate=stall=20000", "loopback"], b"START OF PCIE TEST", 1)
        assert status == 1 and "interrupted twice" in text, (status, text[-300:])

    @check("Ctrl-C: the cards not reached are skipped")
    def _():
        status, _ = interrupt(["--simulate=cards=3", "loopback", "--card", "all", "--junit", path("int.xml")],
                              b"Loopback blocks 1")
        first, *rest = cases("int.xml")
        assert status == 1 and first.is_passed and len(rest) == 2
        assert all(isinstance(c.result[0], Skipped) and c.result[0].message == "not tested: interrupted" for c in rest)

    @check("on a terminal one progress line, never mixed with the records")
    def _():
        master, slave = pty.openpty()
        tty.setraw(slave)  # no newline translation: what the runner writes is what is read
        p = subprocess.Popen(cli + ["--simulate", "loopback", "--minutes", "0.03"],
                             stdout=slave, stderr=slave, stdin=subprocess.DEVNULL)
        os.close(slave)
        data = b""
        try:
            while chunk := os.read(master, 65536):
                data += chunk
        except OSError:  # the terminal closes with the runner
            pass
        assert p.wait(timeout=60) == 0
        text = data.decode("utf-8")
        assert len(PROGRESS.findall(text)) >= 2, text[-500:]
        for line in text.split("\n")[:-1]:
            *before, last = line.split("\r")
            assert RECORD.match(last), repr(line)
            assert all(not s.strip() or PROGRESS.fullmatch(s.rstrip()) for s in before), repr(line)
        assert not text.split("\n")[-1].split("\r")[-1].strip(), repr(text[-200:])  # taken off

finish()

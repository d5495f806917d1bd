#!/usr/bin/python3
# brixlanetool-cli's results for CI servers, its live views and its HTML report, read with real
# parsers (Debian's junitparser, json, html.parser) and checked against the summary lines the
# run printed; one run serves the checks of several. Usage:
#   cli_results.py [RUNNER...] CLI       (BRIXLANE_CLI_NATIVE=0 under Wine: no signals, no pty)
import html.parser, json, os, pty, re, signal, subprocess, time, tty
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
    assert [c.is_passed for c in suite] == [True, False, True] and int(verification[1]) == 2 * ops[1] > 0
    assert isinstance(f := list(suite)[1].result[0], Failure) and f.message == "; ".join(cards[1]["reasons"])
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


class Page(html.parser.HTMLParser):
    """The figure cells, the verdict banners, the plots and the texts of the facts table."""

    def __init__(self, name):
        super().__init__()
        self.figures, self.verdicts, self.tags, self.cells, self._key, self._cell = {}, [], [], [], None, None
        self.text = open(path(name), encoding="utf-8").read()
        self.feed(self.text)

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.tags.append(tag)
        self._key = a.get("data-figure")
        self.verdicts += [a["class"].split()[1]] if tag == "div" and "verdict" in a.get("class", "") else []
        self._cell = "" if tag == "td" else self._cell

    def handle_data(self, data):
        if self._key:
            self.figures[self._key], self._key = float(data), None
        if self._cell is not None:
            self._cell += data

    def handle_endtag(self, tag):
        if tag == "td" and self._cell is not None:
            self.cells.append(self._cell)
            self._cell = None


def same_figures(page, results, keys):
    want = {k + "." + p: v for k in keys for p, v in (results[k] or {}).items() if p != "measured_passes"}
    return bool(want) and page.figures == want


# Every fourth read-back corrupt: errors all through the run, not in one burst.
@check("interval lines, the JSON stream and the timeline add up to the summary; errors spread")
def _():
    out, err = run("--simulate=rate=2000,corrupt=1,corrupt-every=4,driver=<a&\"b\u00e9>", "loopback", "--minutes",
                   "0.06", "--expect-link", "gen4x4", "--interval", "0.5", "--json-stream", path("s.jsonl"),
                   "--json", path("s.json"), "--report", path("s.html"), status=1)
    (ops,) = summaries(out)
    errors = int(re.search(r"ERROR      - (\d+) error\(s\)\.", out).group(1))
    lines = re.findall(r"^card 0: ([\d.]+)-([\d.]+) s: (\d+) passes, (\d+) errors, ([\d.]+|-) MB/s$", err, re.M)
    assert len(lines) >= 3 and all(a[1] == b[0] for a, b in zip(lines, lines[1:])), lines
    assert sum(int(l[2]) for l in lines) == ops and sum(int(l[3]) for l in lines) == errors
    card = json.load(open(path("s.json"), encoding="utf-8"))[0]
    r, rt, tl = card["results"], card["results"]["round_trip"], card["results"]["timeline"]
    rates = [float(l[4]) for l in lines if l[4] != "-"]
    assert rates and all(rt["min_mib_per_s"] - 0.1 <= r <= rt["max_mib_per_s"] + 0.1 for r in rates)
    objects = [json.loads(line) for line in open(path("s.jsonl"), encoding="utf-8")]
    intervals = [o for o in objects if o["type"] == "interval"]
    assert [(o["passes"], o["errors"]) for o in intervals] == [(int(l[2]), int(l[3])) for l in lines]
    records = [o["text"] for o in objects if o["type"] == "record"]
    printed = [line[RECORD.match(line).end():] for line in out.splitlines() if RECORD.match(line)]
    assert records == printed and f"{ops} Operations." in records, (records[-8:], printed[-8:])
    assert objects[-1]["type"] == "result" and objects[-1]["result"]["results"]["passes"] == ops
    verification = int(re.search(r"(\d+) Verification error", out).group(1))
    assert sum(p["passes"] for p in tl) == ops == r["passes"] and sum(p["errors"] for p in tl) == verification > 0
    assert len(tl) >= 3 and all(p["errors"] for p in tl if p["passes"] >= 4), tl
    assert any(p["errors"] and p["t_s"] <= 1 for p in tl) and any(p["errors"] and p["t_s"] >= tl[-1]["t_s"] - 1 for p in tl)
    order = [r["round_trip_us"][k] for k in ("p50", "p90", "p99", "p99_9", "max")]
    # 256 KiB each way at 2000 MiB/s: 250 us, less the histogram's 0.4%.
    assert order == sorted(order) and order[0] >= 250 * 0.996, order
    page = Page("s.html")
    assert same_figures(page, r, ["round_trip_us", "round_trip"]) and page.verdicts == ["failed"], page.figures
    assert all(reason.replace("&", "&amp;") in page.text for reason in card["reasons"])
    assert "<a&\"b\u00e9>" in page.cells and "Operations." in page.text, page.cells
    assert page.tags.count("svg") == 2 and "polyline" in page.tags and "script" not in page.tags and 'class="bar"' in page.text
    assert "http" not in page.text.replace("http://www.w3.org/2000/svg", "")


# One stalled pass: the longest round trip far above the 99th percentile. p99 leaves the stall
# out only when it is one pass in well over a hundred: a busy instrumented build may manage fewer.
@check("a stalled pass stands far above p99; --json-stream -: objects on standard output")
def _():
    out, err = run("--simulate=rate=2000,stall=1500", "loopback", "--minutes", "0.06", "--json-stream", "-",
                   "--json", path("t.json"), "--report", path("t.html"), status=0)
    assert {json.loads(line)["type"] for line in out.splitlines()} == {"record", "interval", "result"}, out[-300:]
    assert re.search(r"PASS       - Test passed: PCIe-0", err)
    r = json.load(open(path("t.json"), encoding="utf-8"))[0]["results"]
    rt, page = r["round_trip_us"], Page("t.html")
    assert rt["max"] >= 1.5e6 * 0.99 and (r["passes"] < 200 or rt["max"] > 20 * rt["p99"]), rt
    assert same_figures(page, r, ["round_trip_us", "round_trip"]) and page.verdicts == ["passed"]


@check("benchmark: interval blocks and the timeline add up to the results'; cycle rates' slow tail")
def _():
    _, err = run("--simulate=rate=2000", "benchmark", "--block-mb", "1", "--minutes", "0.06", "--interval", "0.5",
                 "--json", path("b.json"), "--report", path("b.html"), status=0)
    r = json.load(open(path("b.json")))[0]["results"]
    blocks = re.findall(r"^card 0: [\d.]+-[\d.]+ s: (\d+) blocks, 0 errors, read [\d.-]+ MB/s, write [\d.-]+ MB/s$",
                        err, re.M)
    assert blocks and sum(map(int, blocks)) == sum(p["blocks"] for p in r["timeline"]) == r["read"]["blocks"] + r["write"]["blocks"], blocks
    for d in ("read", "write"):
        c = r[d + "_cycle_mib_per_s"]
        tail = [c[k] for k in ("min", "p0_1", "p1", "p10", "p50")]
        assert tail == sorted(tail) and r[d]["min_mib_per_s"] * 0.99 <= c["p0_1"] and c["p50"] <= r[d]["max_mib_per_s"] * 1.01
    page = Page("b.html")
    assert same_figures(page, r, ["read_cycle_mib_per_s", "write_cycle_mib_per_s"]), page.figures
    assert page.tags.count("svg") == 3 and page.tags.count("polyline") == 2


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

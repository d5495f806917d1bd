#!/usr/bin/python3
# End-to-end checks of brixlanetool-cli on the simulated card: what a production-line script
# sees (standard output, standard error, exit status, the log file, the JSON results). Usage:
#   cli_test.py [RUNNER...] CLI     e.g. cli_test.py cmake/wine-run.sh build-win/brixlanetool-cli.exe
import json, re, time
from datetime import datetime
from runner import check, finish, path, run

GUID = "{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}"
load = lambda name: json.load(open(path(name), encoding="utf-8"))


@check("list prints one display name a line, of 65 cards the table's 64; info its seven lines")
def _():
    out, _ = run("--simulate=cards=2", "list", status=0)
    assert len(out.splitlines()) == 2 and out.startswith(f"PCIe-0, Windows ID:{GUID}\n"), out
    assert len(run("--simulate=cards=65", "list", status=0)[0].splitlines()) == 64
    lines = run("--simulate=link=gen3x8,devctl=0x2810", "info", status=0)[0].splitlines()
    assert len(lines) == 7 and "Link Width: x8" in lines and "Max Payload Size: 128 bytes" in lines, lines


@check("failed transfers fail the benchmark")
def _():
    out, _ = run("--simulate=fail-write=5", "benchmark", "--minutes", "0.02", "--direction", "write",
                 "--block-mb", "1", "--stop-on-error", status=1)
    assert " ReadBenchmark failed 31" in out, out[-500:]


# The driver's version text may hold quotes, backslashes and characters above 127. The log
# file is in the export format: CRLF lines under the program's header.
@check("JSON describes program, card and start; the log file in the export format")
def _():
    out, _ = run("--simulate=link=gen3x8,driver=V\"1\\2 caf\u00e9", "loopback", "--minutes", "0.02",
                 "--json", path("clean.json"), "--log", path("event.log"), status=0)
    (c,) = load("clean.json")
    assert c["program"] == {"name": "brixlanetool-cli", "version": "V1.0", "build": 1001}, c["program"]
    k = c["card"]
    assert (k["slot"], k["link_speed_gen"], k["link_width"], k["driver_version"]) == (0, 3, 8, "V\"1\\2 caf\u00e9"), k
    assert abs(datetime.fromisoformat(c["start_time"]).timestamp() - time.time()) < 300 and len(c["start_time"]) == 25, c
    rt = c["results"]["round_trip"]
    assert rt["min_mib_per_s"] <= rt["median_mib_per_s"] <= rt["max_mib_per_s"] and 0 < c["duration_s"] < 60
    assert sum(i["passes"] for i in c["results"]["intervals"]) == c["results"]["passes"] > 0
    assert re.search(r": PASS       - Test passed: PCIe-0, Windows ID:", out) and "Loopback blocks 1\u201310: Min " in out
    log = open(path("event.log"), "rb").read()
    assert log.startswith(b"KORVENIX Brixlane Log file\r\n") and b"PASS       - Test passed: PCIe-0" in log


@check("three located bytes per pass match the incrementing pattern")
def _():
    out, _ = run("--simulate=corrupt=3", "loopback", "--minutes", "0.02", "--diagnose", "--json", path("corrupt.json"), status=1)
    (c,) = load("corrupt.json")
    d = c["diagnosis"]
    first = d["described_passes"][0]
    assert "diagnose: pass 1: 3 of 262144 bytes wrong:\n" in out and "PCIe data transfer error: 3 of 262144 bytes incorrect." in out
    assert d["wrong_byte_passes"] == c["results"]["passes"] > 0 and first["pass"] == 1 and first["wrong_bytes"] == 3
    for b in (b for p in d["described_passes"] for b in p["locations"]):
        assert b["expected"] == b["offset"] & 0xFF != b["received"] and b["differing_bits"] == b["expected"] ^ b["received"], b
    lines = re.findall(r"^diagnose:   offset 0x([0-9a-f]{8}): expected 0x([0-9a-f]{2}), received 0x([0-9a-f]{2})", out, re.M)
    assert len(lines) == 3 * len(d["described_passes"]), len(lines)
    assert [tuple(int(x, 16) for x in l) for l in lines[:3]] == [(b["offset"], b["expected"], b["received"]) for b in first["locations"]]
    assert c["results"]["errors"]["verification"] == 3 * c["results"]["passes"] and "verification" in c["reasons"][0]
    more = d["wrong_byte_passes"] - 10  # only the first ten passes are described; the count goes on
    assert len(d["described_passes"]) == 10 and f"diagnose: {more} more passes with wrong bytes were not described (only the first 10 are)\n" in out


# With the JSON on standard output, the records and the diagnosis make way to standard error.
# Surprise Down (uncorrectable bit 5), ECRC (19) and a reserved correctable bit (1) are noted
# once when first seen and once with their count at the end, never counted.
@check("uncounted bits are notes, and the card passes")
def _():
    out, err = run("--simulate=aer-unc=0x80020,aer-cor=0x2", "loopback", "--minutes", "0.02", "--diagnose", "--json", "-", status=0)
    (c,) = json.loads(out)
    n = c["results"]["passes"]
    assert "START OF PCIE TEST - LOOPBACK TEST" in err and "Test passed: PCIe-0" in err
    assert c["diagnosis"]["uncounted_error_status"] == [{"register": g, "bit": b, "name": m, "passes": n} for g, b, m in (
        ("uncorrectable", 5, "Surprise Down Error"), ("uncorrectable", 19, "ECRC Error"), ("correctable", 1, "Reserved"))]
    notes = re.findall(r"^diagnose: note: (.*)$", err, re.M)
    bits = ["Surprise Down Error (uncorrectable status bit 5)", "ECRC Error (uncorrectable status bit 19)", "Reserved (correctable status bit 1)"]
    assert notes == [f"pass 1: {m} reported; the event log does not count it" for m in bits] + [
        f"{m} was reported in {n} of {n} passes; not counted as an error" for m in bits], notes
    assert c["results"]["errors"]["total"] == 0 and c["verdict"] == "passed"


# A read-only benchmark: read figures only, and the limit it does not reach named.
@check("the reason is in the JSON")
def _():
    out, err = run("--simulate=rate=1000", "benchmark", "--minutes", "0.02", "--direction", "read", "--block-mb", "1",
                   "--min-read-rate", "1200", "--json", path("slow.json"), status=1)
    (c,) = load("slow.json")
    rd = c["results"]["read"]
    assert c["results"]["write"] is None and rd["cycles"] > 0 and rd["failed_transfers"] == 0
    assert re.search(r"Average read rate [0-9.]+ MB/s is below the limit of 1200.0 MB/s", err)
    assert "Maximum read data rate: " in out and "Minimum read data rate: " in out
    assert "Average combined R/W data rate" not in out and "Write blocks" not in out
    avg = float(re.search(r"Average read data rate: ([0-9.]+) MB/s", out).group(1))
    near = lambda printed, json_rate: abs(printed - json_rate) <= 0.051  # printed to a tenth, in the JSON to a thousandth
    assert near(avg, rd["average_mib_per_s"]) and rd["min_mib_per_s"] <= rd["median_mib_per_s"] <= rd["max_mib_per_s"]
    groups = re.findall(r"Read blocks (\d+)\u2013(\d+): Min ([0-9.]+) MB/s, Max ([0-9.]+) MB/s", out)
    assert len(groups) == len(rd["intervals"]), (len(groups), len(rd["intervals"]))
    for g, i in zip(groups, rd["intervals"]):
        assert (int(g[0]), int(g[1])) == (i["first_cycle"], i["last_cycle"])
        assert near(float(g[2]), i["min_mib_per_s"]) and near(float(g[3]), i["max_mib_per_s"])
    assert c["verdict"] == "failed" and len(c["reasons"]) == 1
    assert re.fullmatch(r"Average read rate [0-9.]+ MB/s is below the limit of 1200\.0 MB/s", c["reasons"][0])


# Exit 0: a read limit of a tenth of the card's rate (a busy instrumented build reaches far less
# than the link, not that little); a summary that waits on purpose (a tenth of a second per slot)
# is no stall. Exit 1: a card that cannot be used, a run that moved nothing, a card that stops
# answering, with the reason in the card's line on standard error. Exit 2: bad usage, with a
# message naming the argument (the parser's own refusals are in its unit test).
def refused(status, text, *args):
    _, err = run(*args, status=status)
    assert text in err, err[-500:]


for name, status, text, args in [
    ("a read rate above its limit passes", 0, "", "--simulate=rate=200 benchmark --minutes 0.02 --direction read --block-mb 1 --min-read-rate 20"),
    ("a summary that waits is no stall", 0, "", "--simulate=cards=40 loopback --card 39 --minutes 0.02 --stall-timeout 3"),
    ("info on a card that will not open", 1, f"PCIe-0, Windows ID:{GUID}: The card could not be opened", "--simulate=no-open info"),
    ("info on a card with a bad signature", 1, ": The card's signature is wrong", "--simulate=bad-signature info"),
    ("loopback on a card that will not open", 1, "failed: The card could not be opened; ", "--simulate=no-open loopback --minutes 0.02 --stall-timeout 1"),
    ("link expected of a card that will not open", 1, "failed: The card could not be opened", f"--simulate=no-open loopback --expect-link gen4x4 --diagnose --json {path('noopen.json')}"),
    ("benchmark that moved no block", 1, "failed read transfer(s); no block moved", "--simulate=fail-read=1 benchmark --direction read --block-mb 1 --minutes 0.02"),
    ("stalled card", 1, "no transfer completed in 3 s: the card or its driver", f"--simulate=stall=600000 loopback --stall-timeout 3 --json {path('stall.json')}"),
    ("no card in slot 5", 2, "--card 5", "--simulate=cards=2 loopback --card 5"),
    ("bad simulated-card option", 2, "foo", "--simulate=foo=1 list"),
    ("JSON file in no folder", 2, "--json", "--simulate loopback --json /nonexistent-folder/results.json"),
]:
    check(name)(lambda: refused(status, text, *args.split()))


@check("an unopened card has no facts, results or diagnosis; the stall is the stalled card's reason")
def _():
    (c,) = load("noopen.json")
    assert (c["card"]["link_width"], c["card"]["driver_version"], c["results"], c["diagnosis"]) == (None,) * 4, c
    assert [(c["verdict"], c["results"], c["reasons"]) for c in load("stall.json")] == [
        ("failed", None, ["no transfer completed in 3 s: the card or its driver stopped answering"])]

finish()

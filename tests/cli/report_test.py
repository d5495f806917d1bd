# The runner's new figures and its HTML report on simulated cards, read back with real parsers
# (json, html.parser) and checked against the summary lines the run printed.
# usage: report_test.py [EMULATOR] CLI
import html.parser, json, re
from runner import expect, finish, path, run


class Page(html.parser.HTMLParser):
    """The figure cells, the verdict banners, the plots and the texts of the facts table."""

    def __init__(self, text):
        super().__init__()
        self.figures, self.verdicts, self.tags, self.cells, self._key, self._cell = {}, [], [], [], None, None
        self.text = text
        self.feed(text)

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


def report(name, sim, *args):
    out, _ = run("--simulate=" + sim, *args, "--json", path(name + ".json"), "--report", path(name + ".html"))
    page = Page(open(path(name + ".html"), encoding="utf-8").read())
    return json.load(open(path(name + ".json"), encoding="utf-8"))[0], out, page


def same_figures(page, results, keys):
    want = {k + "." + p: v for k in keys for p, v in (results[k] or {}).items() if p != "measured_passes"}
    return bool(want) and page.figures == want


# Every fourth read-back corrupt: errors all through the run, not in one burst.
card, out, page = report("spread", "rate=2000,corrupt=1,corrupt-every=4,driver=<a&\"b\u00e9>",
                         "loopback", "--minutes", "0.06", "--expect-link", "gen4x4")
r, tl = card["results"], card["results"]["timeline"]
last = lambda pattern: int(re.findall(pattern, out)[-1])
expect("timeline passes and errors add up to the summary's operations and verification errors",
       sum(p["passes"] for p in tl) == last(r"(\d+) Operations\.") == r["passes"] and
       sum(p["errors"] for p in tl) == last(r"(\d+) Verification error") > 0)
expect("errors are spread across the run", len(tl) >= 3 and all(p["errors"] for p in tl if p["passes"] >= 4) and
       any(p["errors"] and p["t_s"] <= 1 for p in tl) and any(p["errors"] and p["t_s"] >= tl[-1]["t_s"] - 1 for p in tl))
order = [r["round_trip_us"][k] for k in ("p50", "p90", "p99", "p99_9", "max")]
# 256 KiB each way at 2000 MiB/s: 250 us, less the histogram's 0.4%.
expect("round-trip percentiles ordered, median no shorter than the link allows",
       order == sorted(order) and order[0] >= 250 * 0.996)
expect("report figures equal the JSON; its banner fails the card with its reasons",
       same_figures(page, r, ["round_trip_us", "round_trip"]) and page.verdicts == ["failed"] and
       all(reason.replace("&", "&amp;") in page.text for reason in card["reasons"]))
expect("report keeps < & \" and non-ASCII in the driver text", "<a&\"b\u00e9>" in page.cells)
expect("report shows the summary lines, two plots, no script",
       "Operations." in page.text and page.tags.count("svg") == 2 and "polyline" in page.tags and
       "script" not in page.tags and "http" not in page.text.replace("http://www.w3.org/2000/svg", ""))

# One stalled pass: the longest round trip far above the 99th percentile. p99 leaves the stall
# out only when it is one pass in well over a hundred: a busy instrumented build may manage fewer.
card, out, page = report("stall", "rate=2000,stall=1500", "loopback", "--minutes", "0.06")
rt = card["results"]["round_trip_us"]
expect("a stalled pass stands far above p99; the report equals the JSON and passes",
       rt["max"] >= 1.5e6 * 0.99 and (card["results"]["passes"] < 200 or rt["max"] > 20 * rt["p99"]) and
       same_figures(page, card["results"], ["round_trip_us", "round_trip"]) and page.verdicts == ["passed"])

# Benchmark: the slow tail of each direction's cycle rates.
card, out, page = report("bench", "rate=2000", "benchmark", "--minutes", "0.06", "--block-mb", "1")
r = card["results"]
for d in ("read", "write"):
    c = r[d + "_cycle_mib_per_s"]
    tail = [c[k] for k in ("min", "p0_1", "p1", "p10", "p50")]
    expect(d + " cycle percentiles ordered within the summary's minimum and maximum", tail == sorted(tail) and
           r[d]["min_mib_per_s"] * 0.99 <= c["p0_1"] and c["p50"] <= r[d]["max_mib_per_s"] * 1.01)
expect("benchmark timeline blocks add up to the JSON's",
       sum(p["blocks"] for p in r["timeline"]) == r["read"]["blocks"] + r["write"]["blocks"])
expect("benchmark report equals the JSON, three plots",
       same_figures(page, r, ["read_cycle_mib_per_s", "write_cycle_mib_per_s"]) and
       page.tags.count("svg") == 3 and page.tags.count("polyline") == 2)
finish()

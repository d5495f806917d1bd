#include "cli/report_html.h"

#include <cmath>
#include <cstdio>

#include "card/card_interface.h"
#include "cli/svg_plot.h"
#include "log/utf8.h"

namespace {

constexpr const char* kReadColor = "#1f5fa8";
constexpr const char* kWriteColor = "#c2571a";

std::string Html(const std::wstring& text) { return EscapeHtml(ToUtf8(text)); }

// Figures as the JSON gives them, to a thousandth.
std::string Fixed(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", RoundedRate(value));
    return text;
}

std::string Row(const std::string& name, const std::string& valueHtml) {
    return "<tr><th>" + name + "</th><td>" + valueHtml + "</td></tr>\n";
}

// A figure cell carries its JSON path, so a reader (or a test) can match the two.
std::string FigureCell(const std::string& key, double value) {
    return "<td data-figure=\"" + key + "\">" + Fixed(value) + "</td>";
}

std::string LinkText(int speed, int width) {
    return "Gen" + std::to_string(speed) + " x" + std::to_string(width);
}

std::string FactsTable(const CliOptions& options, const CardOutcome& o) {
    const CardFacts& c = o.card;
    const bool known = c.linkStatus != 0;
    const std::string unknown = "<span class=\"dim\">unknown</span>";
    std::string rows;
    rows += Row("Slot", std::to_string(c.slot));
    rows += Row("Hardware version", known ? Html(c.hardwareVersion) : unknown);
    rows += Row("Firmware version", known ? Html(c.firmwareVersion) : unknown);
    rows += Row("Driver version", known ? Html(c.driverVersion) : unknown);
    std::string link = known ? LinkText(LinkSpeed(c.linkStatus), LinkWidth(c.linkStatus)) : unknown;
    if (options.expectLink) {
        const bool enough = known && LinkSpeed(c.linkStatus) >= options.expectLink->speed &&
                            LinkWidth(c.linkStatus) >= options.expectLink->width;
        link += " <span class=\"" + std::string(enough ? "ok" : "bad") + "\">(expected " +
                LinkText(options.expectLink->speed, options.expectLink->width) + ")</span>";
    } else {
        link += " <span class=\"dim\">(no link expected)</span>";
    }
    rows += Row("Link", link);
    rows += Row("Max payload / read request",
                known ? std::to_string(MaxPayloadBytes(c.deviceControl)) + " / " +
                            std::to_string(MaxReadRequestBytes(c.deviceControl)) + " bytes"
                      : unknown);
    const std::string start = Iso8601Time(o.startTime);
    rows += Row("Started", start.empty() ? unknown : EscapeHtml(start));
    rows += Row("Duration", Fixed(o.durationSeconds) + " s");
    return "<table class=\"facts\">\n" + rows + "</table>\n";
}

std::string FiguresTable(const ReportCard& card) {
    const RunFigures& f = card.figures;
    std::string html = "<table class=\"figures\">\n";
    if (!f.benchmark) {
        const RoundTripFigures& r = f.roundTripUs;
        html +=
            "<tr><th></th><th>p50</th><th>p90</th><th>p99</th><th>p99.9</th><th>max</th></tr>\n";
        html += "<tr><th>Round trip (\xC2\xB5s)</th>";
        if (r.count) {
            html +=
                FigureCell("round_trip_us.p50", r.p50) + FigureCell("round_trip_us.p90", r.p90) +
                FigureCell("round_trip_us.p99", r.p99) +
                FigureCell("round_trip_us.p99_9", r.p99_9) + FigureCell("round_trip_us.max", r.max);
        } else {
            html += "<td colspan=\"5\" class=\"dim\">no pass measured</td>";
        }
        html += "</tr>\n";
    } else {
        html += "<tr><th></th><th>p50</th><th>p10</th><th>p1</th><th>p0.1</th><th>min</th></tr>\n";
        for (int read = 1; read >= 0; --read) {
            const CycleRateFigures& c = read ? f.readCycles : f.writeCycles;
            if (c.count == 0) continue;
            const std::string key = read ? "read_cycle_mib_per_s." : "write_cycle_mib_per_s.";
            html += std::string("<tr><th>") + (read ? "Read" : "Write") + " cycles (MB/s)</th>" +
                    FigureCell(key + "p50", c.p50) + FigureCell(key + "p10", c.p10) +
                    FigureCell(key + "p1", c.p1) + FigureCell(key + "p0_1", c.p0_1) +
                    FigureCell(key + "min", c.min) + "</tr>\n";
        }
    }
    html += "</table>\n";
    const RateFigures& rates = card.loopbackRates;
    if (!f.benchmark && rates.count) {
        html += "<p>Round-trip rate: min <span data-figure=\"round_trip.min_mib_per_s\">" +
                Fixed(rates.min) +
                "</span>, median <span data-figure=\"round_trip.median_mib_per_s\">" +
                Fixed(rates.median) +
                "</span>, max <span data-figure=\"round_trip.max_mib_per_s\">" + Fixed(rates.max) +
                "</span> MB/s</p>\n";
    }
    return html;
}

std::string Plots(const ReportCard& card) {
    const RunFigures& f = card.figures;
    std::vector<PlotSeries> series(f.benchmark ? 2 : 1);
    series[0] = {f.benchmark ? "read" : "round trip", kReadColor, {}, {}};
    if (f.benchmark) series[1] = {"write", kWriteColor, {}, {}};
    std::vector<double> errors;
    double end = 0;
    for (const TimelinePoint& p : f.timeline) {
        const double middle = static_cast<double>(p.startS) + static_cast<double>(p.spanS) / 2;
        for (size_t i = 0; i < series.size(); ++i) {
            if (!p.rated[i]) continue;
            series[i].x.push_back(middle);
            series[i].y.push_back(RoundedRate(p.Rate(static_cast<int>(i))));
        }
        if (p.errors) errors.push_back(middle);
        end = static_cast<double>(p.startS + p.spanS);
    }
    end = std::max(end, std::ceil(card.outcome.durationSeconds));
    std::string html =
        "<figure>" +
        RatePlotSvg(f.benchmark ? "Cycle rate over time, mean per timeline point"
                                : "Round-trip rate over time, mean per timeline point",
                    series, end, errors) +
        "</figure>\n";
    if (!f.benchmark) {
        const RoundTripFigures& r = f.roundTripUs;
        std::vector<PlotMarker> marks;
        if (r.count) {
            marks = {
                {"p50", r.p50}, {"p90", r.p90}, {"p99", r.p99}, {"p99.9", r.p99_9}, {"max", r.max}};
        }
        html +=
            "<figure>" +
            HistogramSvg("Round-trip times of the passes", "\xC2\xB5s", f.roundTripBars, marks) +
            "</figure>\n";
        return html;
    }
    for (int read = 1; read >= 0; --read) {
        const CycleRateFigures& c = read ? f.readCycles : f.writeCycles;
        if (c.count == 0) continue;
        const std::vector<PlotMarker> marks = {
            {"p50", c.p50}, {"p10", c.p10}, {"p1", c.p1}, {"p0.1", c.p0_1}, {"min", c.min}};
        html += "<figure>" +
                HistogramSvg(read ? "Read cycle rates" : "Write cycle rates", "MB/s",
                             read ? f.readBars : f.writeBars, marks) +
                "</figure>\n";
    }
    return html;
}

std::string Lines(const std::vector<std::wstring>& lines) {
    std::string text;
    for (const std::wstring& line : lines) text += Html(line) + "\n";
    return "<pre>" + text + "</pre>\n";
}

std::string CardSection(const CliOptions& options, const ReportCard& card) {
    const CardOutcome& o = card.outcome;
    const bool passed = o.reasons.empty();
    std::string html = "<section class=\"card\">\n<h2>" + Html(o.card.name) + "</h2>\n";
    html += std::string("<div class=\"verdict ") + (passed ? "passed" : "failed") + "\"><strong>" +
            (passed ? "PASSED" : "FAILED") + "</strong>";
    if (!passed) {
        html += "<ul>";
        for (const std::wstring& r : o.reasons) html += "<li>" + Html(r) + "</li>";
        html += "</ul>";
    }
    html += "</div>\n" + FactsTable(options, o);
    if (o.tested) {
        html += FiguresTable(card) + Plots(card);
    } else {
        html += "<p class=\"dim\">Not tested: no results.</p>\n";
    }
    if (!card.summary.empty()) html += "<h3>Summary</h3>\n" + Lines(card.summary);
    if (options.diagnose) {
        html += "<h3>Diagnosis</h3>\n" + (card.diagnosis.empty()
                                              ? std::string("<p class=\"dim\">none</p>\n")
                                              : Lines(card.diagnosis));
    }
    return html + "</section>\n";
}

constexpr const char* kStyle = R"(
body { font: 14px/1.4 "DejaVu Sans", Arial, sans-serif; color: #222; margin: 24px auto; max-width: 760px; }
h1 { font-size: 22px; margin: 0 0 4px; }
h2 { font-size: 18px; margin: 28px 0 8px; border-bottom: 2px solid #bbb; }
h3 { font-size: 15px; margin: 16px 0 4px; }
.run { color: #555; margin: 0 0 12px; }
.verdict { padding: 8px 12px; border-radius: 4px; margin: 8px 0; }
.verdict ul { margin: 4px 0 0; padding-left: 20px; }
.passed { background: #dff3e0; border: 1px solid #3c8d40; }
.failed { background: #fbe1e1; border: 1px solid #b3261e; }
table { border-collapse: collapse; margin: 8px 0; }
th, td { text-align: left; padding: 2px 10px 2px 0; vertical-align: top; }
.figures td, .figures th { text-align: right; padding: 2px 8px; border-bottom: 1px solid #ddd; }
.figures th:first-child { text-align: left; }
.ok { color: #2e7d32; } .bad { color: #b3261e; font-weight: bold; } .dim { color: #777; }
figure { margin: 10px 0; }
svg.plot { width: 100%; height: auto; font-size: 11px; }
svg .caption { font-size: 13px; font-weight: bold; fill: #222; }
svg .frame { fill: none; stroke: #999; }
svg .grid { stroke: #e4e4e4; } svg .axis { stroke: #999; }
svg .tick { fill: #444; }
svg .error { stroke: #d00; stroke-width: 1.5; } svg .error-key { fill: #d00; }
svg .bar { fill: #7aa6d6; }
svg .marker { stroke: #333; stroke-dasharray: 4 3; } svg .marker-label { fill: #222; }
pre { background: #f5f5f5; padding: 6px 8px; font-size: 12px; white-space: pre-wrap; }
@page { size: A4; margin: 14mm; }
@media print {
  body { margin: 0; max-width: none; font-size: 11pt; }
  section.card + section.card { break-before: page; }
  figure, table, .verdict { break-inside: avoid; }
  .passed, .failed { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
}
)";

}  // namespace

std::string ReportHtml(const CliOptions& options, const std::vector<ReportCard>& cards) {
    const bool loopback = options.command == CliCommand::Loopback;
    size_t failed = 0;
    for (const ReportCard& c : cards) failed += c.outcome.reasons.empty() ? 0 : 1;
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
    html += "<title>Brixlanetool " + std::string(loopback ? "loopback" : "benchmark") +
            " report</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
    html +=
        "<h1>Brixlanetool " + std::string(loopback ? "loopback" : "benchmark") + " report</h1>\n";
    const std::string start =
        cards.empty() ? std::string() : Iso8601Time(cards[0].outcome.startTime);
    html += "<p class=\"run\">" + std::string(kResultsProgramName) + " " + kResultsProgramVersion +
            (start.empty() ? "" : " \xC2\xB7 started " + EscapeHtml(start)) + " \xC2\xB7 " +
            std::to_string(cards.size()) + " card(s) tested, " + std::to_string(failed) +
            " failed</p>\n";
    for (const ReportCard& card : cards) html += CardSection(options, card);
    return html + "</body>\n</html>\n";
}

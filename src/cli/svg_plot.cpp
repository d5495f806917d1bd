#include "cli/svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kWidth = 680;
constexpr double kHeight = 230;
constexpr double kLeft = 64;
constexpr double kRight = 16;
constexpr double kTop = 28;
constexpr double kBottom = 40;
constexpr double kPlotWidth = kWidth - kLeft - kRight;
constexpr double kPlotHeight = kHeight - kTop - kBottom;

std::string Num(double value, int decimals = 1) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, std::isfinite(value) ? value : 0.0);
    return text;
}

// A short label for an axis value: whole numbers as they are, no decimals from 100 up.
std::string Tick(double value) {
    const double magnitude = std::fabs(value);
    if (value == std::floor(value)) return Num(value, 0);
    return Num(value, magnitude >= 100 || magnitude == 0 ? 0 : magnitude >= 1 ? 1 : 3);
}

// 1, 2 or 5 times a power of ten, so that about `ticks` steps cover `range`.
double NiceStep(double range, int ticks) {
    if (!(range > 0)) return 1;
    const double raw = range / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0}) {
        if (raw <= m * power) return m * power;
    }
    return 10 * power;
}

std::string Open(const std::string& caption) {
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"plot\" viewBox=\"0 0 " +
                      Num(kWidth, 0) + " " + Num(kHeight, 0) + "\" role=\"img\">\n";
    svg += "<title>" + EscapeHtml(caption) + "</title>\n";
    svg += "<text x=\"" + Num(kLeft) + "\" y=\"16\" class=\"caption\">" + EscapeHtml(caption) +
           "</text>\n";
    svg += "<rect x=\"" + Num(kLeft) + "\" y=\"" + Num(kTop) + "\" width=\"" + Num(kPlotWidth) +
           "\" height=\"" + Num(kPlotHeight) + "\" class=\"frame\"/>\n";
    return svg;
}

std::string Line(double x1, double y1, double x2, double y2, const std::string& cls) {
    return "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" +
           Num(y2) + "\" class=\"" + cls + "\"/>\n";
}

std::string Label(double x, double y, const std::string& text, const std::string& anchor,
                  const std::string& cls = "tick") {
    return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" text-anchor=\"" + anchor +
           "\" class=\"" + cls + "\">" + EscapeHtml(text) + "</text>\n";
}

// Horizontal grid lines and labels from 0 to `top`; returns the top of the axis used. Counts
// step by whole numbers.
std::string ValueAxis(double top, const std::string& unit, double* axisTop) {
    const double step = unit == "count" ? std::max(1.0, NiceStep(top, 5)) : NiceStep(top, 5);
    *axisTop = std::max(step, std::ceil(top / step) * step);
    std::string svg;
    for (double v = 0; v <= *axisTop + step / 2; v += step) {
        const double y = kTop + kPlotHeight - v / *axisTop * kPlotHeight;
        svg += Line(kLeft, y, kLeft + kPlotWidth, y, "grid");
        svg += Label(kLeft - 6, y + 4, Tick(v), "end");
    }
    svg += "<text transform=\"translate(14 " + Num(kTop + kPlotHeight / 2) +
           ") rotate(-90)\" text-anchor=\"middle\" class=\"tick\">" + EscapeHtml(unit) +
           "</text>\n";
    return svg;
}

}  // namespace

std::string EscapeHtml(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string RatePlotSvg(const std::string& caption, const std::vector<PlotSeries>& series,
                        double endS, const std::vector<double>& errorAtS) {
    std::string svg = Open(caption);
    double top = 0;
    for (const PlotSeries& s : series) {
        for (double y : s.y) top = std::max(top, y);
    }
    double axisTop = 1;
    svg += ValueAxis(top > 0 ? top * 1.05 : 1, "MB/s", &axisTop);
    const double end = endS > 0 ? endS : 1;
    const double step = NiceStep(end, 6);
    for (double t = 0; t <= end + step / 1000; t += step) {
        const double x = kLeft + t / end * kPlotWidth;
        svg += Line(x, kTop + kPlotHeight, x, kTop + kPlotHeight + 4, "axis");
        svg += Label(x, kTop + kPlotHeight + 16, Tick(t), "middle");
    }
    svg += Label(kLeft + kPlotWidth, kHeight - 4, "time since start (s)", "end");
    auto X = [&](double t) { return kLeft + std::clamp(t / end, 0.0, 1.0) * kPlotWidth; };
    auto Y = [&](double v) {
        return kTop + kPlotHeight - std::clamp(v / axisTop, 0.0, 1.0) * kPlotHeight;
    };
    double legendX = kLeft + kPlotWidth;
    for (auto s = series.rbegin(); s != series.rend(); ++s) {
        const size_t n = std::min(s->x.size(), s->y.size());
        if (n == 1) {
            svg += "<circle cx=\"" + Num(X(s->x[0])) + "\" cy=\"" + Num(Y(s->y[0])) +
                   "\" r=\"2.5\" fill=\"" + s->color + "\"/>\n";
        } else if (n > 1) {
            svg += "<polyline fill=\"none\" stroke=\"" + s->color +
                   "\" stroke-width=\"1.5\" points=\"";
            for (size_t i = 0; i < n; ++i) {
                svg += (i ? " " : "") + Num(X(s->x[i])) + "," + Num(Y(s->y[i]));
            }
            svg += "\"/>\n";
        }
        if (series.size() > 1) {
            const double width = 14 + 7.0 * static_cast<double>(s->name.size());
            legendX -= width;
            svg += "<rect x=\"" + Num(legendX) + "\" y=\"9\" width=\"10\" height=\"4\" fill=\"" +
                   s->color + "\"/>\n";
            svg += Label(legendX + 13, 15, s->name, "start");
        }
    }
    if (!errorAtS.empty()) {
        svg += "<g class=\"error-marks\">\n";
        for (double t : errorAtS) {
            svg += Line(X(t), kTop + kPlotHeight - 10, X(t), kTop + kPlotHeight, "error");
        }
        svg += "</g>\n";
        svg += Label(kLeft + 2, kHeight - 4, "\xE2\x96\xAE errors", "start", "tick error-key");
    }
    return svg + "</svg>\n";
}

std::string HistogramSvg(const std::string& caption, const std::string& unit,
                         const std::vector<HistogramBar>& bars,
                         const std::vector<PlotMarker>& markers) {
    std::string svg = Open(caption);
    if (bars.empty())
        return svg + Label(kWidth / 2, kTop + kPlotHeight / 2, "no data", "middle") + "</svg>\n";
    uint64_t most = 0;
    for (const HistogramBar& b : bars) most = std::max(most, b.count);
    double axisTop = 1;
    svg += ValueAxis(static_cast<double>(most), "count", &axisTop);
    const double low = bars.front().low;
    const double high = bars.back().high;
    const double span = std::log(high / low);
    auto X = [&](double v) {
        const double at = span > 0 ? std::log(std::max(v, low) / low) / span : 0.5;
        return kLeft + std::clamp(at, 0.0, 1.0) * kPlotWidth;
    };
    for (const HistogramBar& b : bars) {
        if (b.count == 0) continue;
        const double h = static_cast<double>(b.count) / axisTop * kPlotHeight;
        svg += "<rect class=\"bar\" x=\"" + Num(X(b.low)) + "\" y=\"" +
               Num(kTop + kPlotHeight - h) + "\" width=\"" +
               Num(std::max(1.0, X(b.high) - X(b.low) - 0.5)) + "\" height=\"" + Num(h) + "\"/>\n";
    }
    for (int i = 0; i <= 4; ++i) {
        const double v = low * std::exp(span * i / 4);
        svg += Line(X(v), kTop + kPlotHeight, X(v), kTop + kPlotHeight + 4, "axis");
        svg += Label(X(v), kTop + kPlotHeight + 16, Tick(v),
                     i == 0   ? "start"
                     : i == 4 ? "end"
                              : "middle");
    }
    svg += Label(kLeft + kPlotWidth, kHeight - 4, unit + " (logarithmic)", "end");
    // Labels step down so that markers close together stay readable.
    for (size_t i = 0; i < markers.size(); ++i) {
        const double x = X(markers[i].value);
        svg += Line(x, kTop, x, kTop + kPlotHeight, "marker");
        const bool nearEnd = x > kLeft + kPlotWidth * 0.85;
        svg += Label(nearEnd ? x - 3 : x + 3, kTop + 12 + 12 * static_cast<double>(i % 5),
                     markers[i].label, nearEnd ? "end" : "start", "tick marker-label");
    }
    return svg + "</svg>\n";
}

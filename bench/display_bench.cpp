// Results panel figure: the panel is repainted after every record logged, so a paint must
// cost the same however full the log is. A paint over a full log (10000 records) is timed
// against a paint over 10 records, both showing the same 10 lines, on a canvas that only
// counts what it is asked to draw (so the figure is the panel's own work, not a renderer's).
#include <algorithm>
#include <string>
#include <vector>

#include "bench.h"
#include "display/canvas.h"
#include "display/log_view.h"
#include "display/results_panel.h"
#include "display/throughput_chart.h"
#include "log/logger.h"

namespace {

constexpr int32_t kPanelWidth = 520;
constexpr int32_t kPanelHeight = 48 + 10 * 14 + 9;
constexpr int32_t kVisibleLines = 10;
constexpr int kPaintsPerBatch = 2000;
constexpr int kRounds = 15;

class CountingCanvas final : public Canvas {
  public:
    void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Colour) override {
        work += static_cast<uint64_t>(x0 + y0 + x1 + y1);
    }
    void Rectangle(const CanvasRect& r, Colour fill) override {
        work += static_cast<uint64_t>(r.left + r.bottom) + fill;
    }
    void GradientBand(const CanvasRect& r, Colour, Colour, Colour) override {
        work += static_cast<uint64_t>(r.top);
    }
    void Text(int32_t x, int32_t y, std::wstring_view text, CanvasFont, Colour) override {
        work += static_cast<uint64_t>(x + y) + text.size();
    }
    void SetClip(const CanvasRect& r) override { work += static_cast<uint64_t>(r.right); }
    void ClearClip() override { ++work; }

    uint64_t work = 0;
};

class FixedOwner final : public ModuleOwner {
  public:
    bool ControlScreenRect(int32_t, CanvasRect* rect) override {
        *rect = {kPanelWidth - 80, 60, kPanelWidth, kPanelHeight - 8};
        return true;
    }
    CanvasRect ScreenToClient(const CanvasRect& rect) override { return rect; }
};

void Fill(Logger& log, int records) {
    for (int i = 0; i < records; ++i) {
        const std::wstring text = L"Loopback pass " + std::to_wstring(i) +
                                  L": 262144 bytes, 0 errors, 3456.78 MB/s, AER status clear";
        log.Add(text.c_str(), static_cast<LogCategory>(i % 9));
    }
}

// Seconds per paint of the panel over `log`, its last page in view.
double SecondsPerPaint(Logger& log, CountingCanvas& canvas) {
    theLog = &log;
    linesPerPage = kVisibleLines;
    const int32_t last = std::max(0, log.Count() - kVisibleLines);
    lastPage = last;
    firstShown = last;
    const double start = NowSeconds();
    for (int i = 0; i < kPaintsPerBatch; ++i) PaintResultsPanel(canvas, kPanelWidth, kPanelHeight);
    return (NowSeconds() - start) / kPaintsPerBatch;
}

std::vector<Figure> PanelPaintRatio() {
    Logger* const previousLog = theLog.exchange(nullptr);
    Win32ThroughputChart* const previousChart = theThroughputChart;
    FixedOwner owner;
    Win32ThroughputChart chart(owner, 1109);  // any id: the owner answers every one
    theThroughputChart = &chart;

    Logger full;
    Logger few;
    Fill(full, 10000);
    Fill(few, 10);
    CountingCanvas canvas;
    // Alternating batches; the figure is the median of the pairs' ratios, so a batch the
    // machine's other work spoiled counts little.
    std::vector<double> ratios;
    double bestFew = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const double fullPaint = SecondsPerPaint(full, canvas);
        const double fewPaint = SecondsPerPaint(few, canvas);
        ratios.push_back(fullPaint / fewPaint);
        bestFew = std::min(bestFew, fewPaint);
    }

    theLog = previousLog;
    theThroughputChart = previousChart;
    linesPerPage = 0;
    firstShown = 0;
    lastPage = 0;
    return {
        AtMost("panel_paint_10000_vs_10_ratio", Median(ratios), "x", 1.1),
        Info("panel_paint_10_lines_us", bestFew * 1e6, "us"),
    };
}

static BenchRegistration r{{"panel_paint_10000_vs_10_ratio", "panel_paint_10_lines_us"},
                           PanelPaintRatio};

}  // namespace

#include "display/results_panel.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "display/log_view.h"
#include "display/scaled_canvas.h"
#include "display/throughput_chart.h"
#include "display/window_layout.h"
#include "engine/card_scan.h"
#include "engine/run_state.h"
#include "engine/test_settings.h"
#include "log/logger.h"
#include "recording_canvas.h"

namespace {

constexpr int32_t kChartPlaceholderId = 1109;

// The owner window as the chart sees it: a placeholder control at a screen rectangle, and a
// client area whose origin sits at 100, 50 on the screen.
class FakeOwner : public ModuleOwner {
  public:
    bool ControlScreenRect(int32_t controlId, CanvasRect* screenRect) override {
        ++lookups;
        if (!hasControl || controlId != kChartPlaceholderId) return false;
        *screenRect = placeholder;
        return true;
    }
    CanvasRect ScreenToClient(const CanvasRect& r) override {
        return {r.left - 100, r.top - 50, r.right - 100, r.bottom - 50};
    }

    bool hasControl = true;
    CanvasRect placeholder{700, 250, 781, 550};
    int lookups = 0;
};

// The placeholder above, in the owner's client coordinates.
constexpr int32_t L = 600;
constexpr int32_t T = 200;
constexpr int32_t B = 500;
constexpr int32_t H = B - 30 - 36 - T;  // the scale's height: 234

class ThroughputChartTest : public ::testing::Test {
  protected:
    const RecordingCanvas& PaintNow() {
        canvas.Clear();
        chart.Paint(canvas);
        return canvas;
    }
    // The rectangles after the bar frame: the read bar and then the write bar, where drawn.
    std::vector<RecordingCanvas::Call> Bars() {
        std::vector<RecordingCanvas::Call> bars = PaintNow().Rectangles();
        EXPECT_FALSE(bars.empty());
        if (!bars.empty()) {
            EXPECT_EQ(bars[0].rect, (CanvasRect{L + 49, T + 36, L + 49 + 18, B - 30}));
            EXPECT_EQ(bars[0].colour, kBlack);
            bars.erase(bars.begin());
        }
        return bars;
    }

    FakeOwner owner;
    Win32ThroughputChart chart{owner, kChartPlaceholderId};
    RecordingCanvas canvas;
};

// The chart takes its placeholder's place at its first good paint, once; then only the
// layout moves it. A placeholder without width, height or window draws nothing until then.
TEST_F(ThroughputChartTest, PlaceholderIsLookedUpUntilUsableThenOnlyTheLayoutMovesIt) {
    const std::pair<bool, CanvasRect> cases[] = {{true, {700, 250, 781, 550}},
                                                 {true, {700, 250, 0, 550}},
                                                 {true, {700, 250, 781, 0}},
                                                 {false, {700, 250, 781, 550}}};
    for (const auto& [hasControl, placeholder] : cases) {
        SCOPED_TRACE(testing::Message() << hasControl << " " << placeholder.right);
        FakeOwner owner;
        owner.hasControl = hasControl;
        owner.placeholder = placeholder;
        Win32ThroughputChart placed(owner, kChartPlaceholderId);
        RecordingCanvas first, second;
        placed.Paint(first);
        const bool usable = hasControl && placeholder.bottom > 0 && placeholder.right > 0;
        EXPECT_EQ(first.calls.empty(), !usable);
        owner.hasControl = true;
        owner.placeholder = {700, 250, 781, 550};
        placed.Paint(second);
        EXPECT_EQ(placed.rect, (CanvasRect{L, T, 681, B}));
        owner.placeholder = {0, 0, 10, 10};
        placed.MoveBy(10, 0, 0, 20);
        placed.Paint(second);
        EXPECT_EQ(owner.lookups, usable ? 1 : 2);
        EXPECT_EQ(placed.rect, (CanvasRect{L + 10, T, 681 + 10, B + 20}));
    }
}

TEST_F(ThroughputChartTest, ScaleLabelsStepByATruncatedQuarterOfTheMaximum) {
    const std::pair<int32_t, std::vector<std::wstring>> cases[] = {
        {1000, {L"1000", L"750", L"500", L"250", L"0"}},
        {250, {L"250", L"188", L"126", L"64", L"2"}},
    };
    for (const auto& [maximum, labels] : cases) {
        SCOPED_TRACE(maximum);
        chart.SetScale(maximum, 0, 0);
        const auto texts = PaintNow().Texts();
        ASSERT_GE(texts.size(), 5u);
        for (size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(texts[i].text, labels[i]);
            EXPECT_EQ(texts[i].y, T + 36 + static_cast<int32_t>(H / 4 * i) - 7);
        }
    }
}

TEST_F(ThroughputChartTest, PeakKeepsTheLargestRateUntilCleared) {
    chart.SetRates(300, 450);
    chart.SetRates(200, 100);
    EXPECT_EQ(chart.peakRate, 450);
    EXPECT_TRUE(PaintNow().TextStartingWith(L"450"));
    EXPECT_FALSE(canvas.TextStartingWith(L"NA"));
    chart.ClearRates();
    EXPECT_TRUE(PaintNow().TextStartingWith(L"NA"));
    EXPECT_FALSE(canvas.TextStartingWith(L"450"));
}

TEST_F(ThroughputChartTest, BarColourFollowsTheThresholds) {
    const std::pair<int32_t, Colour> cases[] = {
        {1, Rgb(100, 200, 100)},    // until a link is known every bar is green
        {600, Rgb(100, 200, 100)},  // green from 600
        {599, Rgb(200, 200, 30)},   // yellow
        {500, Rgb(200, 200, 30)},   // yellow from 500
        {499, Rgb(255, 100, 100)},  // red below
    };
    for (const auto& [rate, colour] : cases) {
        SCOPED_TRACE(rate);
        if (rate > 1) chart.SetScale(1000, 600, 500);
        chart.SetRates(rate, rate);
        const auto bars = Bars();
        ASSERT_EQ(bars.size(), 2u);
        EXPECT_EQ(bars[0].colour, colour);
        EXPECT_EQ(bars[1].colour, colour);
    }
}

// The panel's size; the chart's placement within it does not matter here.
constexpr int32_t W = 520;
constexpr int32_t kPanelHeight = 297;

class ResultsPanelTest : public ThroughputChartTest {
  protected:
    void SetUp() override {
        ResetRunState();
        InitTestSettings(TestSettings);
        PublishLinkStatus(0);
        CreateTheLog();
        linesPerPage = 16;
        theThroughputChart = &chart;
    }
    void TearDown() override {
        theThroughputChart = nullptr;
        shuttingDown = false;
        ResetRunState();
        DestroyTheLog();
        linesPerPage = 0;
    }
    const RecordingCanvas& Paint() {
        canvas.Clear();
        PaintResultsPanel(canvas, W, kPanelHeight);
        return canvas;
    }
};

TEST_F(ResultsPanelTest, PaintsTheStripTheChartGreyBandsThenTheLogWithOrWithoutAChart) {
    Paint();
    EXPECT_EQ(canvas.calls.front().rect, (CanvasRect{W - 81, 49, W, kPanelHeight}));
    EXPECT_FALSE(canvas.Lines().empty()) << "no chart";
    const auto bands = canvas.Of(RecordingCanvas::Kind::GradientBand);
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_EQ(std::make_pair(bands[0].colour, bands[1].bottom),
              std::make_pair(Rgb(96, 96, 96), Rgb(192, 192, 192)));
    EXPECT_EQ(canvas.calls.back().rect, (CanvasRect{0, 49, W - 81, kPanelHeight}));
    theThroughputChart = nullptr;
    EXPECT_TRUE(Paint().Lines().empty());
    EXPECT_TRUE(canvas.TextStartingWith(L"Results"));
}

TEST_F(ResultsPanelTest, LinkSelectsTheChartScale) {
    const struct {
        int speed, width;
        int32_t maximum, green, yellow;  // maximum 0: the scale is left as it was
    } cases[] = {
        {1, 1, 250, 150, 100},    {1, 8, 1000, 600, 500},   {1, 0, 1000, 600, 500},
        {2, 1, 500, 300, 250},    {2, 4, 2000, 1200, 1000}, {3, 1, 1000, 800, 750},
        {3, 4, 4000, 3200, 3000}, {4, 1, 2000, 1600, 1500}, {4, 4, 8000, 6200, 6000},
        {4, 2, 0, 0, 0},          {0, 1, 0, 0, 0},          {5, 4, 0, 0, 0},
        {0, 0, 1000, 0, 0},  // no card opened: the starting scale
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "Gen" << c.speed << " x" << c.width);
        chart.SetScale(1234, 7, 3);
        PublishLinkStatus(static_cast<uint16_t>(c.speed | (c.width << 4)));
        Paint();
        const bool kept = c.maximum == 0;
        EXPECT_EQ(chart.scaleMax, kept ? 1234 : c.maximum);
        EXPECT_EQ(chart.greenFrom, kept ? 7 : c.green);
        EXPECT_EQ(chart.yellowFrom, kept ? 3 : c.yellow);
    }
}

TEST_F(ResultsPanelTest, RatesReachTheChartTruncatedAndClampedOnlyWhenAPeakWasMeasured) {
    const struct {
        float peak, read, write;
        bool hasRates;
        int32_t readRate, writeRate;
    } cases[] = {
        {700.9f, 700.9f, 650.2f, true, 700, 650},
        // No overall peak: the bars clear even though a direction still holds a maximum.
        {0, 700.9f, 650.2f, false, 0, 0},
        {1, 1e12f, std::numeric_limits<float>::quiet_NaN(), true, INT32_MAX, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.peak);
        TestCounters.peakRateMBps = c.peak;
        TestCounters.maxReadMBps = c.read;
        TestCounters.maxWriteMBps = c.write;
        Paint();
        EXPECT_EQ(chart.hasRates, c.hasRates);
        EXPECT_EQ(chart.readRate, c.readRate);
        EXPECT_EQ(chart.writeRate, c.writeRate);
    }
}

TEST_F(ResultsPanelTest, HeaderTextsFollowTheRunState) {
    const struct {
        const char* name;
        std::function<void()> set;
        std::wstring text;  // drawn in the header font at x, y
        int32_t x, y;
        const wchar_t* absent;  // a text that must not be drawn then
    } cases[] = {
        {"at rest", [] {}, L"Results", 5, 4, L"Status"},
        {"status", [] { TestCounters.statusText = StatusText::LoopbackComplete; },
         L"Status: LOOPBACK test - Complete" + std::wstring(32, L' '), 210, 4, L"Closing"},
        {"loopback running", [] { TestCounters.statusText = StatusText::Loopback; },
         L"Status: LOOPBACK test" + std::wstring(32, L' '), 210, 4, L"Closing"},
        {"benchmark running", [] { TestCounters.statusText = StatusText::Benchmark; },
         L"Status: BENCHMARK test" + std::wstring(32, L' '), 210, 4, L"Closing"},
        {"duration", [] { TestCounters.elapsedSeconds = 3725; }, L"Duration: 001h 02m 05s", 5, 28,
         L"Closing"},
        {"a thousand hours", [] { TestCounters.elapsedSeconds = 1000 * 3600 + 59; },
         L"Duration: 1000h 00m 59s", 5, 28, L"Closing"},
        {"operations", [] { TestCounters.operations = 1000000; }, L"Operations: 1000000", 190, 28,
         L"Closing"},
        {"above a million they move left", [] { TestCounters.operations = 123456789012ULL; },
         L"Operations: 123456789012", 175, 28, L"Closing"},
        {"errors", [] { TestCounters.errors = 3; }, L"Errors: 3", 390, 28, L"Closing"},
        {"the benchmark counts blocks both ways and shows no errors",
         [] {
             TestSettings.testMode = 1;
             TestCounters.operations = 5000000;
             TestCounters.readBlocks = 700000;
             TestCounters.writeBlocks = 400001;
         },
         L"Operations: 1100001", 190, 28, L"Errors"},
        {"closing with a test still alive",
         [] {
             shuttingDown = true;
             TestControl.activeThreads = 1;
         },
         L"Closing tests", 5, 28, L"Duration"},
        {"closing with none left",
         [] {
             shuttingDown = true;
             TestControl.activeThreads = 0;
         },
         L"Duration: 000h 00m 00s", 5, 28, L"Closing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        SetUp();
        c.set();
        const auto drawn = Paint().TextStartingWith(c.text.substr(0, 8));
        ASSERT_TRUE(drawn);
        EXPECT_EQ(drawn->text, c.text);
        EXPECT_EQ(drawn->x, c.x);
        EXPECT_EQ(drawn->y, c.y);
        EXPECT_EQ(drawn->font, CanvasFont::HeaderFont);
        EXPECT_FALSE(canvas.TextStartingWith(c.absent));
    }
}

// On a 150 % screen the panel is the same picture one and a half times larger: every call
// scaled to the nearest pixel, nothing left in 96-dpi pixels, and shapes that meet at 96 dpi
// (bars on the frame's bottom, log lines one below the other) still meet.
TEST_F(ResultsPanelTest, AtOneAndAHalfTimesTheDpiThePanelIsTheSamePictureScaled) {
    TestCounters.peakRateMBps = TestCounters.maxReadMBps = 700;
    TestCounters.maxWriteMBps = 333;
    for (int i = 0; i < 3; ++i) theLog.load()->Add(L"line", kLogInformation);
    const std::vector<RecordingCanvas::Call> plain = Paint().calls;
    canvas.Clear();
    ScaledCanvas scaled(canvas, 144);
    PaintResultsPanel(scaled, W, kPanelHeight);
    ASSERT_EQ(canvas.calls.size(), plain.size());
    // Every call scaled to the nearest pixel, nothing left in 96-dpi pixels.
    auto near = [](int32_t device, int32_t units) { return std::abs(2 * device - 3 * units) <= 1; };
    for (size_t i = 0; i < plain.size(); ++i) {
        const auto &a = plain[i], &b = canvas.calls[i];
        EXPECT_TRUE(b.kind == a.kind && b.text == a.text && b.colour == a.colour) << i;
        EXPECT_TRUE(near(b.rect.left, a.rect.left) && near(b.rect.top, a.rect.top) &&
                    near(b.rect.right, a.rect.right) && near(b.rect.bottom, a.rect.bottom) &&
                    near(b.x, a.x) && near(b.y, a.y))
            << i;
        EXPECT_TRUE(a.clip ? b.clip && near(b.clip->right, a.clip->right) : !b.clip) << i;
    }
    // Shapes that meet at 96 dpi still meet: log lines one below the other, the bars on the
    // frame's bottom and side by side.
    const std::vector<RecordingCanvas::Call> rects = canvas.Rectangles();
    for (size_t i = 1; i < rects.size(); ++i) {
        const CanvasRect &above = rects[i - 1].rect, &below = rects[i].rect;
        EXPECT_TRUE(above.left != 0 || below.left != 0 || below.top == above.bottom) << i;
    }
    ASSERT_GE(rects.size(), 4u);  // the strip, the bar frame, the read and the write bar
    EXPECT_EQ(std::make_pair(rects[2].rect.bottom, rects[3].rect.bottom),
              std::make_pair(rects[1].rect.bottom, rects[1].rect.bottom));
    EXPECT_EQ(rects[2].rect.right, rects[3].rect.left);
}

TEST(WindowLayout, OnAScaledScreenLinesAndTheChartCountIn96DpiUnits) {
    const struct {
        int32_t dpi, value, pixels, covering, whole;  // UnitsToPixels, UnitsCovering, WholeUnitsIn
    } cases[] = {
        {96, -7, -7, -7, -7},   {96, 81, 81, 81, 81},       {144, 81, 122, 54, 54},
        {144, -7, -10, -4, -5}, {144, 701, 1052, 468, 467}, {192, 14, 28, 7, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.value << " at " << c.dpi);
        EXPECT_EQ(UnitsToPixels(c.value, c.dpi), c.pixels);
        EXPECT_EQ(UnitsCovering(c.value, c.dpi), c.covering);
        EXPECT_EQ(WholeUnitsIn(c.value, c.dpi), c.whole);
    }
    // Two scaled lines taller gives two more lines; the chart moves by the panel's growth in units.
    LayoutInput input{1134, 757, 1134, 715, {}, 781, 446, 144};
    LayoutPlan plan = PlanLayout(input);
    EXPECT_EQ(plan.linesPerPage, LinesPerPage(297) + 2);
    EXPECT_EQ(plan.chartDy, 28);
    input.newClientWidth += 100;
    plan = PlanLayout(input);
    EXPECT_EQ(plan.chartDx, UnitsCovering(881, 144) - UnitsCovering(781, 144));
}

}  // namespace

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

using K = RecordingCanvas::Kind;
constexpr int32_t kChartId = 1109;

// The owner's client area sits at 100, 50 on the screen.
struct FakeOwner : ModuleOwner {
    explicit FakeOwner(CanvasRect at = {700, 250, 781, 550}) : placeholder(at) {}
    bool ControlScreenRect(int32_t id, CanvasRect* screenRect) override {
        ++lookups;
        if (id != kChartId) return false;
        *screenRect = placeholder;
        return true;
    }
    CanvasRect ScreenToClient(const CanvasRect& r) override {
        return {r.left - 100, r.top - 50, r.right - 100, r.bottom - 50};
    }
    CanvasRect placeholder;
    int lookups = 0;
};

// The placeholder in client coordinates, and the scale's height.
constexpr int32_t L = 600, T = 200, B = 500, H = B - 30 - 36 - T;

class ThroughputChartTest : public ::testing::Test {
  protected:
    const RecordingCanvas& PaintNow() {
        canvas = RecordingCanvas();
        chart.Paint(canvas);
        return canvas;
    }
    FakeOwner owner;
    Win32ThroughputChart chart{owner, kChartId};
    RecordingCanvas canvas;
};

// The chart takes its placeholder's place at its first good paint, once; then only the
// layout moves it. A placeholder without width or height draws nothing until then.
TEST_F(ThroughputChartTest, PlaceholderIsLookedUpUntilUsableBarColoursPeakAndScaleLabels) {
    for (const CanvasRect& at :
         {CanvasRect{700, 250, 781, 550}, {700, 250, 0, 550}, {700, 250, 781, 0}}) {
        FakeOwner owner{at};
        Win32ThroughputChart placed(owner, kChartId);
        RecordingCanvas canvas;
        placed.Paint(canvas);
        const size_t drawnAtFirst = canvas.calls.size();
        owner.placeholder = {700, 250, 781, 550};
        placed.Paint(canvas);
        const CanvasRect placedAt = placed.rect;
        owner.placeholder = {0, 0, 10, 10};
        placed.MoveBy(10, 0, 0, 20);
        placed.Paint(canvas);
        const bool usable = at.right > 0 && at.bottom > 0;
        EXPECT_EQ(std::make_tuple(drawnAtFirst > 0, placedAt, placed.rect, owner.lookups),
                  std::make_tuple(usable, CanvasRect{L, T, 681, B},
                                  CanvasRect{L + 10, T, 691, B + 20}, usable ? 1 : 2));
    }

    // Until a link is known every bar is green; then green from 600, yellow from 500, red below.
    // The peak keeps the largest rate until cleared; labels step by a truncated quarter of the
    // maximum.
    const Colour green = Rgb(100, 200, 100), yellow = Rgb(200, 200, 30), red = Rgb(255, 100, 100);
    const std::pair<int32_t, Colour> cases[] = {
        {1, green}, {600, green}, {599, yellow}, {500, yellow}, {499, red}};
    for (const auto& [rate, colour] : cases) {
        if (rate > 1) chart.SetScale(1000, 600, 500);
        chart.SetRates(rate, rate);
        const auto bars = PaintNow().Of(K::Rectangle);  // the frame, the read and the write bar
        ASSERT_EQ(bars.size(), 3u) << rate;
        EXPECT_EQ(bars[0].rect, (CanvasRect{L + 49, T + 36, L + 49 + 18, B - 30}));
        EXPECT_EQ(std::vector<Colour>({bars[0].colour, bars[1].colour, bars[2].colour}),
                  std::vector<Colour>({kBlack, colour, colour}))
            << rate;
    }
    chart.ClearRates();
    EXPECT_TRUE(PaintNow().TextStartingWith(L"NA") && !canvas.TextStartingWith(L"600"));
    chart.SetRates(300, 450);
    chart.SetRates(200, 100);
    EXPECT_TRUE(PaintNow().TextStartingWith(L"450") && !canvas.TextStartingWith(L"NA"));
    const std::pair<int32_t, std::vector<std::wstring>> labels[] = {
        {1000, {L"1000", L"750", L"500", L"250", L"0"}},
        {250, {L"250", L"188", L"126", L"64", L"2"}}};
    for (const auto& [maximum, expected] : labels) {
        chart.SetScale(maximum, 0, 0);
        const auto texts = PaintNow().Of(K::Text);
        ASSERT_GE(texts.size(), 5u);
        for (size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(std::make_pair(texts[i].text, texts[i].y),
                      std::make_pair(expected[i], T + 36 + static_cast<int32_t>(H / 4 * i) - 7));
        }
    }
}

constexpr int32_t W = kPanelWidth;

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
        ResetRunState();
        DestroyTheLog();
        theThroughputChart = nullptr;
        shuttingDown = false;
        linesPerPage = 0;
    }
    const RecordingCanvas& Paint() {
        canvas = RecordingCanvas();
        PaintResultsPanel(canvas, W, kPanelHeight);
        return canvas;
    }
};

// The link selects the scale; with no overall peak the bars clear even though a direction
// still holds a maximum; rates are truncated and clamped.
TEST_F(ResultsPanelTest, LinkSelectsTheChartScaleRatesNeedAPeakAndHeadersFollowTheRunState) {
    const int32_t cases[][5] = {
        // speed, width, maximum, green, yellow; 0: the scale is kept
        {1, 1, 250, 150, 100},    {1, 8, 1000, 600, 500},   {1, 0, 1000, 600, 500},
        {2, 1, 500, 300, 250},    {2, 4, 2000, 1200, 1000}, {3, 1, 1000, 800, 750},
        {3, 4, 4000, 3200, 3000}, {4, 1, 2000, 1600, 1500}, {4, 4, 8000, 6200, 6000},
        {4, 2, 0, 0, 0},          {0, 1, 0, 0, 0},          {5, 4, 0, 0, 0},
        {0, 0, 1000, 0, 0}};  // the last: no card opened, the starting scale
    for (const auto& c : cases) {
        chart.SetScale(1234, 7, 3);
        PublishLinkStatus(static_cast<uint16_t>(c[0] | (c[1] << 4)));
        Paint();
        EXPECT_EQ(std::vector<int32_t>({chart.scaleMax, chart.greenFrom, chart.yellowFrom}),
                  c[2] == 0 ? std::vector<int32_t>({1234, 7, 3})
                            : std::vector<int32_t>({c[2], c[3], c[4]}))
            << "Gen" << c[0] << " x" << c[1];
    }
    const std::tuple<float, float, float, bool, int32_t, int32_t> rates[] = {
        {700.9f, 700.9f, 650.2f, true, 700, 650},
        {0, 700.9f, 650.2f, false, 0, 0},
        {1, 1e12f, std::numeric_limits<float>::quiet_NaN(), true, INT32_MAX, 0}};
    for (const auto& [peak, read, write, hasRates, readRate, writeRate] : rates) {
        TestCounters.peakRateMBps = peak;
        TestCounters.maxReadMBps = read;
        TestCounters.maxWriteMBps = write;
        Paint();
        EXPECT_EQ(std::make_tuple(chart.hasRates, chart.readRate, chart.writeRate),
                  std::make_tuple(hasRates, readRate, writeRate))
            << peak;
    }

    const std::wstring pad(32, L' ');
    auto closing = [](int alive) {
        return [alive] {
            shuttingDown = true;
            TestControl.activeThreads = alive;
        };
    };
    auto status = [](StatusText text) { return [text] { TestCounters.statusText = text; }; };
    auto benchmark = [] {  // counts blocks both ways and shows no errors
        TestSettings.testMode = 1;
        TestCounters.operations = 5000000;
        TestCounters.readBlocks = 700000;
        TestCounters.writeBlocks = 400001;
    };
    const struct {
        std::function<void()> set;
        std::wstring text;  // drawn in the header font at x, y
        int32_t x, y;
        const wchar_t* absent = L"Closing";  // a text that must not be drawn then
    } headers[] = {
        {[] {}, L"Results", 5, 4, L"Status"},
        {status(StatusText::LoopbackComplete), L"Status: LOOPBACK test - Complete" + pad, 210, 4},
        {status(StatusText::Loopback), L"Status: LOOPBACK test" + pad, 210, 4},
        {status(StatusText::Benchmark), L"Status: BENCHMARK test" + pad, 210, 4},
        {[] { TestCounters.elapsedSeconds = 3725; }, L"Duration: 001h 02m 05s", 5, 28},
        {[] { TestCounters.elapsedSeconds = 3600059; }, L"Duration: 1000h 00m 59s", 5, 28},
        {[] { TestCounters.operations = 1000000; }, L"Operations: 1000000", 190, 28},
        {[] { TestCounters.operations = 123456789012ULL; }, L"Operations: 123456789012", 175, 28},
        {[] { TestCounters.errors = 3; }, L"Errors: 3", 390, 28},
        {benchmark, L"Operations: 1100001", 190, 28, L"Errors"},
        {closing(1), L"Closing tests", 5, 28, L"Duration"},
        {closing(0), L"Duration: 000h 00m 00s", 5, 28}};
    for (const auto& c : headers) {
        SCOPED_TRACE(testing::Message() << c.text.c_str());
        TearDown();
        SetUp();
        c.set();
        const auto drawn = Paint().TextStartingWith(c.text.substr(0, 8));
        ASSERT_TRUE(drawn);
        EXPECT_EQ(std::make_tuple(drawn->text, drawn->x, drawn->y, drawn->font),
                  std::make_tuple(c.text, c.x, c.y, CanvasFont::HeaderFont));
        EXPECT_FALSE(canvas.TextStartingWith(c.absent));
    }
}

// The strip, the chart, grey bands, then the log. On a 150 % screen the panel is the same
// picture scaled, every call to the nearest pixel, and shapes that meet at 96 dpi (bars on the
// frame's bottom, log lines one below the other) meet.
TEST_F(ResultsPanelTest, PaintsInOrderAndAtOneAndAHalfTimesTheDpiTheSamePictureScaled) {
    TestCounters.peakRateMBps = TestCounters.maxReadMBps = 700;
    TestCounters.maxWriteMBps = 333;
    for (int i = 0; i < 3; ++i) theLog.load()->Add(L"line", kLogInformation);
    const std::vector<RecordingCanvas::Call> plain = Paint().calls;
    const auto bands = canvas.Of(K::GradientBand);
    ASSERT_TRUE(bands.size() == 2u && !canvas.Of(K::Line).empty());
    EXPECT_EQ(
        std::make_tuple(plain.front().rect, bands[0].colour, bands[1].bottom, plain.back().rect),
        std::make_tuple(CanvasRect{W - 81, 49, W, kPanelHeight}, Rgb(96, 96, 96),
                        Rgb(192, 192, 192), CanvasRect{0, 91, W - 81, kPanelHeight}));
    canvas = RecordingCanvas();
    ScaledCanvas scaled(canvas, 144);
    PaintResultsPanel(scaled, W, kPanelHeight);
    ASSERT_EQ(canvas.calls.size(), plain.size());
    auto near = [](int32_t device, int32_t units) { return std::abs(2 * device - 3 * units) <= 1; };
    for (size_t i = 0; i < plain.size(); ++i) {
        const auto &a = plain[i], &b = canvas.calls[i];
        EXPECT_TRUE(b.kind == a.kind && b.text == a.text && b.colour == a.colour &&
                    near(b.rect.left, a.rect.left) && near(b.rect.top, a.rect.top) &&
                    near(b.rect.right, a.rect.right) && near(b.rect.bottom, a.rect.bottom) &&
                    near(b.x, a.x) && near(b.y, a.y) &&
                    (a.clip ? b.clip && near(b.clip->right, a.clip->right) : !b.clip))
            << i;
    }
    const auto rects = canvas.Of(K::Rectangle);
    for (size_t i = 1; i < rects.size(); ++i) {
        const CanvasRect &above = rects[i - 1].rect, &below = rects[i].rect;
        EXPECT_TRUE(above.left != 0 || below.left != 0 || below.top == above.bottom) << i;
    }
    ASSERT_GE(rects.size(), 4u);  // the strip, the bar frame, the read and the write bar
    EXPECT_EQ(std::make_tuple(rects[2].rect.bottom, rects[3].rect.bottom, rects[2].rect.right),
              std::make_tuple(rects[1].rect.bottom, rects[1].rect.bottom, rects[3].rect.left));
    theThroughputChart = nullptr;
    EXPECT_TRUE(Paint().Of(K::Line).empty());
}

TEST(WindowLayout, OnAScaledScreenLinesAndTheChartCountIn96DpiUnits) {
    const int32_t cases[][5] = {// dpi, value, UnitsToPixels, UnitsCovering, WholeUnitsIn
                                {96, -7, -7, -7, -7},       {96, 81, 81, 81, 81},
                                {144, 81, 122, 54, 54},     {144, -7, -10, -4, -5},
                                {144, 701, 1052, 468, 467}, {192, 14, 28, 7, 7}};
    for (const auto& c : cases) {
        EXPECT_EQ(std::make_tuple(UnitsToPixels(c[1], c[0]), UnitsCovering(c[1], c[0]),
                                  WholeUnitsIn(c[1], c[0])),
                  std::make_tuple(c[2], c[3], c[4]))
            << c[1] << " at " << c[0];
    }
    // Two scaled lines taller gives two more lines; the chart moves by the panel's growth in units.
    LayoutInput input{1134, 757, 1134, 715, {}, 781, 446, 144};
    LayoutPlan plan = PlanLayout(input);
    EXPECT_EQ(std::make_pair(plan.linesPerPage, plan.chartDy),
              std::make_pair(LinesPerPage(297) + 2, 28));
    input.newClientWidth += 100;
    EXPECT_EQ(PlanLayout(input).chartDx, UnitsCovering(881, 144) - UnitsCovering(781, 144));
}

}  // namespace

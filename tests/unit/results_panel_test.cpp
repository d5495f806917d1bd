#include "display/results_panel.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <string>

#include "card/card_connection.h"
#include "display/log_view.h"
#include "display/throughput_chart.h"
#include "engine/run_state.h"
#include "engine/test_settings.h"
#include "log/logger.h"
#include "recording_canvas.h"

namespace {

// A main window whose placeholder lies over the panel's chart strip.
class StripOwner : public ModuleOwner {
  public:
    bool ControlScreenRect(int32_t, CanvasRect* screenRect) override {
        *screenRect = {440, 60, 520, 290};
        return true;
    }
    CanvasRect ScreenToClient(const CanvasRect& r) override { return r; }
};

constexpr int32_t W = 520;
constexpr int32_t H = 297;

class ResultsPanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetRunState();
        InitTestSettings(TestSettings);
        theCard.linkRecord = {};
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
        PaintResultsPanel(canvas, W, H);
        return canvas;
    }

    StripOwner owner;
    Win32ThroughputChart chart{owner, kChartPlaceholderId};
    RecordingCanvas canvas;
};

TEST_F(ResultsPanelTest, PaintsTheStripTheChartTwoGreyBandsThenTheLog) {
    Paint();
    EXPECT_EQ(canvas.calls.front().rect, (CanvasRect{W - 81, 49, W, H}));
    EXPECT_FALSE(canvas.Lines().empty()) << "no chart";
    const auto bands = canvas.Of(RecordingCanvas::Kind::GradientBand);
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_EQ(bands[0].rect, (CanvasRect{0, 1, W, 25}));
    EXPECT_EQ(bands[1].rect, (CanvasRect{0, 25, W, 49}));
    for (const auto& band : bands) {
        EXPECT_EQ(band.colour, Rgb(96, 96, 96));
        EXPECT_EQ(band.bottom, Rgb(192, 192, 192));
        EXPECT_EQ(band.fallback, Rgb(192, 192, 192));
    }
    EXPECT_EQ(canvas.calls.back().rect, (CanvasRect{0, 49, W - 81, H})) << "the log area last";

    theThroughputChart = nullptr;  // the panel paints without a chart too
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
        {3, 8, 0, 0, 0},          {4, 2, 0, 0, 0},          {0, 1, 0, 0, 0},
        {5, 4, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "Gen" << c.speed << " x" << c.width);
        chart.SetScale(1234, 7, 3);
        WriteLe16(theCard.linkRecord.bytes + kLinkStatusOffset,
                  static_cast<uint16_t>(c.speed | (c.width << 4)));
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
        EXPECT_FALSE(canvas.HasTextContaining(c.absent));
    }
}

}  // namespace

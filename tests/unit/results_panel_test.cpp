#include "display/results_panel.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>

#include "card/card_connection.h"
#include "card/card_interface.h"
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

void SetLink(int speed, int width) {
    WriteLe16(theCard.linkRecord.bytes + kLinkStatusOffset,
              static_cast<uint16_t>(speed | (width << 4)));
}

class ResultsPanelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetRunState();
        InitTestSettings(TestSettings);
        shuttingDown = false;
        theCard.linkRecord = {};
        CreateTheLog();
        linesPerPage = 16;
        firstShown = 0;
        lastPage = 0;
        theThroughputChart = &chart;
    }

    void TearDown() override {
        theThroughputChart = nullptr;
        shuttingDown = false;
        ResetRunState();
        theCard.linkRecord = {};
        DestroyTheLog();
        linesPerPage = 0;
    }

    const RecordingCanvas& Paint() {
        canvas.Clear();
        PaintResultsPanel(canvas, W, H);
        return canvas;
    }

    // The header text drawn at band 2's baseline row starting with `prefix`.
    std::optional<RecordingCanvas::Call> Band2Text(const std::wstring& prefix) {
        auto call = Paint().TextStartingWith(prefix);
        if (call) {
            EXPECT_EQ(call->y, 28);
        }
        return call;
    }

    StripOwner owner;
    Win32ThroughputChart chart{owner, kChartPlaceholderId};
    RecordingCanvas canvas;
};

TEST_F(ResultsPanelTest, PaintsStripChartBandsThenLogInThatOrder) {
    Paint();
    ASSERT_GE(canvas.calls.size(), 4u);
    const auto& strip = canvas.calls.front();
    EXPECT_EQ(strip.kind, RecordingCanvas::Kind::Rectangle);
    EXPECT_EQ(strip.rect, (CanvasRect{W - 81, 49, W, H}));
    EXPECT_EQ(strip.colour, kWhite);
    // The chart's scale line comes next, then the two bands; the log area closes the paint.
    EXPECT_EQ(canvas.calls[1].kind, RecordingCanvas::Kind::Line);
    const auto bands = canvas.Of(RecordingCanvas::Kind::GradientBand);
    ASSERT_EQ(bands.size(), 2u);
    EXPECT_EQ(bands[0].rect, (CanvasRect{0, 1, W, 25}));
    EXPECT_EQ(bands[1].rect, (CanvasRect{0, 25, W, 49}));
    for (const auto& band : bands) {
        EXPECT_EQ(band.colour, Rgb(96, 96, 96));
        EXPECT_EQ(band.bottom, Rgb(192, 192, 192));
        EXPECT_EQ(band.fallback, Rgb(192, 192, 192));
    }
    size_t firstBand = 0;
    while (canvas.calls[firstBand].kind != RecordingCanvas::Kind::GradientBand) ++firstBand;
    for (size_t i = 0; i < firstBand; ++i) {
        EXPECT_NE(canvas.calls[i].font, CanvasFont::HeaderFont) << "header text before bands";
    }
    const auto& last = canvas.calls.back();
    EXPECT_EQ(last.kind, RecordingCanvas::Kind::Rectangle);
    EXPECT_EQ(last.rect.left, 0);
    EXPECT_EQ(last.rect.right, W - 81);
    EXPECT_EQ(last.rect.bottom, H);
    EXPECT_EQ(last.colour, kWhite);
}

TEST_F(ResultsPanelTest, LinkSelectsTheChartScale) {
    struct Case {
        int speed;
        int width;
        int32_t maximum;  // 0: the scale is left as it was
        int32_t green;
        int32_t yellow;
    };
    const Case cases[] = {
        {1, 1, 250, 150, 100},    {1, 8, 1000, 600, 500},   {1, 0, 1000, 600, 500},
        {2, 1, 500, 300, 250},    {2, 4, 2000, 1200, 1000}, {3, 1, 1000, 800, 750},
        {3, 4, 4000, 3200, 3000}, {4, 1, 2000, 1600, 1500}, {4, 4, 8000, 6200, 6000},
        {3, 8, 0, 0, 0},          {4, 2, 0, 0, 0},          {4, 16, 0, 0, 0},
        {0, 1, 0, 0, 0},          {5, 4, 0, 0, 0},          {15, 1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "Gen" << c.speed << " x" << c.width);
        chart.SetScale(1234, 7, 3);
        SetLink(c.speed, c.width);
        Paint();
        if (c.maximum == 0) {
            EXPECT_EQ(chart.scaleMax, 1234);
            EXPECT_EQ(chart.greenFrom, 7);
            EXPECT_EQ(chart.yellowFrom, 3);
        } else {
            EXPECT_EQ(chart.scaleMax, c.maximum);
            EXPECT_EQ(chart.greenFrom, c.green);
            EXPECT_EQ(chart.yellowFrom, c.yellow);
            EXPECT_TRUE(canvas.TextStartingWith(std::to_wstring(c.maximum)));
        }
    }
}

TEST_F(ResultsPanelTest, RatesReachTheChartTruncatedOnlyWhenAPeakWasMeasured) {
    TestCounters.maxReadMBps = 700.9f;
    TestCounters.maxWriteMBps = 650.2f;
    TestCounters.peakRateMBps = 700.9f;
    Paint();
    EXPECT_TRUE(chart.hasRates);
    EXPECT_EQ(chart.readRate, 700);
    EXPECT_EQ(chart.writeRate, 650);
    EXPECT_TRUE(canvas.TextStartingWith(L"700"));

    // No overall peak: the bars clear even though a direction still holds a maximum.
    TestCounters.peakRateMBps = 0;
    Paint();
    EXPECT_FALSE(chart.hasRates);
    EXPECT_EQ(chart.readRate, 0);
    EXPECT_EQ(chart.writeRate, 0);
    EXPECT_TRUE(canvas.TextStartingWith(L"NA"));
}

TEST_F(ResultsPanelTest, RatesThatDoNotFitAWholeNumberAreClamped) {
    TestCounters.peakRateMBps = 1.0f;
    TestCounters.maxReadMBps = 1e12f;
    TestCounters.maxWriteMBps = std::numeric_limits<float>::quiet_NaN();
    Paint();
    EXPECT_EQ(chart.readRate, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(chart.writeRate, 0);
}

TEST_F(ResultsPanelTest, BandOneShowsResultsAndTheStatusOnlyWhenThereIsOne) {
    Paint();
    const auto results = canvas.TextStartingWith(L"Results");
    ASSERT_TRUE(results);
    EXPECT_EQ(results->x, 5);
    EXPECT_EQ(results->y, 4);
    EXPECT_EQ(results->font, CanvasFont::HeaderFont);
    EXPECT_EQ(results->colour, kBlack);
    EXPECT_FALSE(canvas.HasTextContaining(L"Status"));

    TestCounters.statusText = StatusText::LoopbackComplete;
    Paint();
    const auto status = canvas.TextStartingWith(L"Status: ");
    ASSERT_TRUE(status);
    EXPECT_EQ(status->text, L"Status: LOOPBACK test - Complete" + std::wstring(32, L' '));
    EXPECT_EQ(status->x, 210);
    EXPECT_EQ(status->y, 4);
    EXPECT_EQ(status->font, CanvasFont::HeaderFont);
}

TEST_F(ResultsPanelTest, DurationPrintsHoursWithAtLeastThreeDigits) {
    struct Case {
        int64_t seconds;
        const wchar_t* text;
    };
    const Case cases[] = {
        {0, L"Duration: 000h 00m 00s"},
        {3661, L"Duration: 001h 01m 01s"},
        {100 * 3600, L"Duration: 100h 00m 00s"},
        {1000 * 3600 + 59, L"Duration: 1000h 00m 59s"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        TestCounters.elapsedSeconds = c.seconds;
        const auto duration = Band2Text(L"Duration: ");
        ASSERT_TRUE(duration);
        EXPECT_EQ(duration->text, c.text);
        EXPECT_EQ(duration->x, 5);
        EXPECT_EQ(duration->font, CanvasFont::HeaderFont);
    }
}

TEST_F(ResultsPanelTest, LoopbackOperationsMoveLeftAboveAMillion) {
    struct Case {
        uint64_t operations;
        int32_t x;
    };
    const Case cases[] = {{0, 190}, {1000000, 190}, {1000001, 175}, {123456789012ULL, 175}};
    TestSettings.testMode = 0;
    TestCounters.errors = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operations);
        TestCounters.operations = c.operations;
        const auto operations = Band2Text(L"Operations: ");
        ASSERT_TRUE(operations);
        EXPECT_EQ(operations->text, L"Operations: " + std::to_wstring(c.operations));
        EXPECT_EQ(operations->x, c.x);
        const auto errors = canvas.TextStartingWith(L"Errors: ");
        ASSERT_TRUE(errors);
        EXPECT_EQ(errors->text, L"Errors: 3");
        EXPECT_EQ(errors->x, 390);
        EXPECT_EQ(errors->y, 28);
    }
}

TEST_F(ResultsPanelTest, BenchmarkCountsReadAndWriteBlocksAndShowsNoErrors) {
    TestSettings.testMode = 1;
    TestCounters.operations = 5000000;
    TestCounters.errors = 9;
    TestCounters.readBlocks = 700000;
    TestCounters.writeBlocks = 400001;
    const auto operations = Band2Text(L"Operations: ");
    ASSERT_TRUE(operations);
    EXPECT_EQ(operations->text, L"Operations: 1100001");
    EXPECT_EQ(operations->x, 190) << "the benchmark figure never moves left";
    EXPECT_FALSE(canvas.HasTextContaining(L"Errors"));
}

TEST_F(ResultsPanelTest, ClosingWithATestStillAliveShowsOnlyClosingTests) {
    struct Case {
        bool closing;
        int32_t threads;
        bool closingText;
    };
    const Case cases[] = {{true, 1, true}, {true, 4, true}, {true, 0, false}, {false, 1, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.closing << " " << c.threads);
        shuttingDown = c.closing;
        TestControl.activeThreads = c.threads;
        Paint();
        const auto closing = canvas.TextStartingWith(L"Closing tests");
        EXPECT_EQ(closing.has_value(), c.closingText);
        EXPECT_EQ(canvas.HasTextContaining(L"Duration"), !c.closingText);
        EXPECT_EQ(canvas.HasTextContaining(L"Operations"), !c.closingText);
        if (closing) {
            EXPECT_EQ(closing->x, 5);
            EXPECT_EQ(closing->y, 28);
        }
    }
}

TEST_F(ResultsPanelTest, LogLinesAreDrawnBelowTheBands) {
    theLog.load()->Add(L"Korvenix Brixlanetool V1.0 1001", kLogInformation);
    Paint();
    const auto line = canvas.TextStartingWith(L"Korvenix");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->x, 5);
    EXPECT_EQ(line->y, 49);
    EXPECT_EQ(line->font, CanvasFont::LogFont);
}

TEST_F(ResultsPanelTest, WithoutAChartThePanelStillPaints) {
    theThroughputChart = nullptr;
    Paint();
    EXPECT_TRUE(canvas.Lines().empty());
    EXPECT_TRUE(canvas.TextStartingWith(L"Results"));
}

}  // namespace

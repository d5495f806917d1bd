#include "display/throughput_chart.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_canvas.h"

namespace {

// The owner window as the chart sees it: a placeholder control at a screen rectangle, and a
// client area whose origin sits at `clientOrigin` on the screen.
class FakeOwner : public ModuleOwner {
  public:
    bool ControlScreenRect(int32_t controlId, CanvasRect* screenRect) override {
        askedFor = controlId;
        ++lookups;
        if (!hasControl) return false;
        *screenRect = placeholder;
        return true;
    }
    CanvasRect ScreenToClient(const CanvasRect& r) override {
        return {r.left - originX, r.top - originY, r.right - originX, r.bottom - originY};
    }

    bool hasControl = true;
    CanvasRect placeholder{700, 250, 781, 550};
    int32_t originX = 100;
    int32_t originY = 50;
    int32_t askedFor = 0;
    int lookups = 0;
};

// The placeholder above, in the owner's client coordinates.
constexpr int32_t L = 600;
constexpr int32_t T = 200;
constexpr int32_t B = 500;
constexpr int32_t H = B - 30 - 36 - T;  // the scale's height: 234

class ThroughputChartTest : public ::testing::Test {
  protected:
    // Paints once on a fresh recording.
    const RecordingCanvas& PaintNow() {
        canvas.Clear();
        chart.Paint(canvas);
        return canvas;
    }

    // The rectangles after the bar frame: the read bar and then the write bar, where drawn.
    std::vector<RecordingCanvas::Call> Bars() {
        std::vector<RecordingCanvas::Call> bars = PaintNow().Rectangles();
        EXPECT_FALSE(bars.empty());
        if (!bars.empty()) bars.erase(bars.begin());
        return bars;
    }

    FakeOwner owner;
    Win32ThroughputChart chart{owner, kChartPlaceholderId};
    RecordingCanvas canvas;
};

TEST_F(ThroughputChartTest, FirstPaintTakesThePlaceholderInClientCoordinates) {
    PaintNow();
    EXPECT_EQ(owner.askedFor, kChartPlaceholderId);
    EXPECT_TRUE(chart.rectValid);
    EXPECT_EQ(chart.rect, (CanvasRect{L, T, 681, B}));
    // From then on the placeholder is not asked again: only the layout's moves count.
    owner.placeholder = {0, 0, 10, 10};
    PaintNow();
    EXPECT_EQ(owner.lookups, 1);
    EXPECT_EQ(chart.rect.left, L);
}

TEST_F(ThroughputChartTest, UnusablePlaceholderDrawsNothingUntilARefreshSucceeds) {
    struct Case {
        const char* name;
        bool hasControl;
        CanvasRect placeholder;
    };
    const Case cases[] = {
        {"right 0", true, {700, 250, 0, 550}},
        {"bottom 0", true, {700, 250, 781, 0}},
        {"all 0", true, {0, 0, 0, 0}},
        {"no control", false, {700, 250, 781, 550}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeOwner badOwner;
        badOwner.hasControl = c.hasControl;
        badOwner.placeholder = c.placeholder;
        Win32ThroughputChart unplaced(badOwner, kChartPlaceholderId);
        RecordingCanvas first;
        unplaced.Paint(first);
        EXPECT_TRUE(first.calls.empty());
        EXPECT_FALSE(unplaced.rectValid);

        badOwner.hasControl = true;
        badOwner.placeholder = {700, 250, 781, 550};
        RecordingCanvas second;
        unplaced.Paint(second);
        EXPECT_TRUE(unplaced.rectValid);
        EXPECT_FALSE(second.calls.empty());
        EXPECT_EQ(unplaced.rect, (CanvasRect{L, T, 681, B}));
    }
}

TEST_F(ThroughputChartTest, MoveByShiftsSidewaysAndStretchesTheBottom) {
    PaintNow();
    chart.MoveBy(10, 0, 0, 20);
    EXPECT_EQ(chart.rect, (CanvasRect{L + 10, T, 681 + 10, B + 20}));
    // The gauge follows: its scale line now runs from the new bottom to the unchanged top.
    const auto lines = PaintNow().Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rect, (CanvasRect{L + 10 + 44, B + 20 - 30, L + 10 + 44, T + 36}));
}

TEST_F(ThroughputChartTest, ScaleLineAndTicksStandOnTheAxis) {
    const auto lines = PaintNow().Lines();
    // The scale line, four major marks with four minor marks each, the bottom major mark.
    ASSERT_EQ(lines.size(), 1u + 4u * 5u + 1u);
    EXPECT_EQ(lines.front().rect, (CanvasRect{L + 44, B - 30, L + 44, T + 36}));
    EXPECT_EQ(lines.back().rect, (CanvasRect{L + 44, B - 30, L + 35, B - 30}));

    std::vector<int32_t> majorYs;
    std::vector<int32_t> minorYs;
    for (size_t i = 1; i < lines.size(); ++i) {
        const CanvasRect& tick = lines[i].rect;
        EXPECT_EQ(tick.left, L + 44);
        EXPECT_EQ(tick.top, tick.bottom) << "ticks are horizontal";
        EXPECT_EQ(lines[i].colour, kBlack);
        if (tick.right == L + 44 - 9) {
            majorYs.push_back(tick.top);
        } else {
            EXPECT_EQ(tick.right, L + 44 - 3);
            minorYs.push_back(tick.top);
        }
    }
    const int32_t major = H / 4;   // 58
    const int32_t minor = H / 20;  // 11
    EXPECT_EQ(majorYs, (std::vector<int32_t>{T + 36, T + 36 + major, T + 36 + 2 * major,
                                             T + 36 + 3 * major, B - 30}));
    ASSERT_EQ(minorYs.size(), 16u);
    EXPECT_EQ(minorYs[0], T + 36 + minor);
    EXPECT_EQ(minorYs[3], T + 36 + 4 * minor);
    EXPECT_EQ(minorYs[4], T + 36 + major + minor);
}

TEST_F(ThroughputChartTest, BarFrameIsTwoBarsWideAndBlack) {
    const auto rects = PaintNow().Rectangles();
    ASSERT_EQ(rects.size(), 1u) << "no rates: only the frame";
    EXPECT_EQ(rects[0].rect, (CanvasRect{L + 49, T + 36, L + 49 + 18, B - 30}));
    EXPECT_EQ(rects[0].colour, kBlack);
}

TEST_F(ThroughputChartTest, ScaleLabelsStepByATruncatedQuarterOfTheMaximum) {
    struct Case {
        int32_t maximum;
        std::vector<std::wstring> labels;
    };
    const Case cases[] = {
        {1000, {L"1000", L"750", L"500", L"250", L"0"}},
        {250, {L"250", L"188", L"126", L"64", L"2"}},
        {8000, {L"8000", L"6000", L"4000", L"2000", L"0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.maximum);
        chart.SetScale(c.maximum, 0, 0);
        const auto texts = PaintNow().Texts();
        ASSERT_GE(texts.size(), 5u);
        for (size_t i = 0; i < 5; ++i) {
            EXPECT_EQ(texts[i].text, c.labels[i]);
            EXPECT_EQ(texts[i].x, L + 2);
            EXPECT_EQ(texts[i].y, T + 36 + static_cast<int32_t>(H / 4 * i) - 7);
            EXPECT_EQ(texts[i].font, CanvasFont::ChartFont);
            EXPECT_EQ(texts[i].colour, kBlack);
        }
    }
}

TEST_F(ThroughputChartTest, FixedTextsSitAtTheirCorners) {
    PaintNow();
    const auto title = canvas.TextStartingWith(L"Max. Rate");
    const auto units = canvas.TextStartingWith(L"(MB/s)");
    const auto barLabel = canvas.TextStartingWith(L"R/W");
    ASSERT_TRUE(title && units && barLabel);
    EXPECT_EQ(title->x, L + 14);
    EXPECT_EQ(title->y, T + 2);
    EXPECT_EQ(units->x, L + 2);
    EXPECT_EQ(units->y, B - 22);
    EXPECT_EQ(barLabel->x, L + 46);
    EXPECT_EQ(barLabel->y, B - 29);
}

TEST_F(ThroughputChartTest, PeakKeepsTheLargestRateUntilCleared) {
    chart.ClearRates();
    chart.SetRates(300, 450);
    EXPECT_EQ(chart.peakRate, 450);
    chart.SetRates(200, 100);
    EXPECT_EQ(chart.peakRate, 450);
    PaintNow();
    const auto peak = canvas.TextStartingWith(L"450");
    ASSERT_TRUE(peak);
    EXPECT_EQ(peak->x, L + 25);
    EXPECT_EQ(peak->y, T + 2 + 14);
    EXPECT_FALSE(canvas.TextStartingWith(L"NA"));

    chart.ClearRates();
    EXPECT_EQ(chart.peakRate, 0);
    PaintNow();
    const auto na = canvas.TextStartingWith(L"NA");
    ASSERT_TRUE(na);
    EXPECT_EQ(na->x, L + 34);
    EXPECT_EQ(na->y, T + 2 + 14);
    EXPECT_FALSE(canvas.TextStartingWith(L"450"));
}

TEST_F(ThroughputChartTest, BarColourFollowsTheThresholds) {
    struct Case {
        int32_t rate;
        Colour colour;
    };
    const Case cases[] = {
        {600, Rgb(100, 200, 100)},  // green from 600
        {599, Rgb(200, 200, 30)},   // yellow
        {500, Rgb(200, 200, 30)},   // yellow from 500
        {499, Rgb(255, 100, 100)},  // red below
        {1, Rgb(255, 100, 100)},
    };
    chart.SetScale(1000, 600, 500);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rate);
        chart.SetRates(c.rate, c.rate);
        const auto bars = Bars();
        ASSERT_EQ(bars.size(), 2u);
        EXPECT_EQ(bars[0].colour, c.colour);
        EXPECT_EQ(bars[1].colour, c.colour);
    }
}

TEST_F(ThroughputChartTest, BarHeightIsTheRatesShareOfTheScale) {
    struct Case {
        int32_t read;
        int32_t write;
        int32_t readHeight;  // -1: no bar
        int32_t writeHeight;
    };
    const Case cases[] = {
        {0, 0, -1, -1},            // a rate at the scale's bottom draws no bar
        {1000, 0, H, -1},          // the top of the scale fills the frame
        {5000, 1, H, H / 1000},    // above the top stays a full bar
        {500, 250, H / 2, H / 4},  // 117, 58 (58.5 truncated)
        {-5, 333, -1, static_cast<int32_t>(0.333f * H)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.read << "/" << c.write);
        chart.SetRates(c.read, c.write);
        const auto bars = Bars();
        size_t next = 0;
        if (c.readHeight >= 0) {
            ASSERT_LT(next, bars.size());
            EXPECT_EQ(bars[next].rect, (CanvasRect{L + 49, B - 30 - c.readHeight, L + 58, B - 30}));
            ++next;
        }
        if (c.writeHeight >= 0) {
            ASSERT_LT(next, bars.size());
            EXPECT_EQ(bars[next].rect,
                      (CanvasRect{L + 58, B - 30 - c.writeHeight, L + 67, B - 30}));
            ++next;
        }
        EXPECT_EQ(bars.size(), next);
    }
}

TEST_F(ThroughputChartTest, UntilALinkIsKnownTheScaleIsAThousandAndEveryBarGreen) {
    chart.SetRates(1, 999);
    const auto bars = Bars();
    ASSERT_FALSE(canvas.Texts().empty());
    EXPECT_EQ(canvas.Texts()[0].text, L"1000");
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0].colour, chart.greenBrush);
    EXPECT_EQ(bars[1].colour, chart.greenBrush);
}

}  // namespace

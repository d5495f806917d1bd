#include "display/throughput_chart.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording_canvas.h"

namespace {

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

TEST_F(ThroughputChartTest, FirstPaintTakesThePlaceholderOnceThenOnlyTheLayoutMovesIt) {
    PaintNow();
    EXPECT_TRUE(chart.rectValid);
    EXPECT_EQ(chart.rect, (CanvasRect{L, T, 681, B}));
    owner.placeholder = {0, 0, 10, 10};
    chart.MoveBy(10, 0, 0, 20);
    const auto lines = PaintNow().Lines();
    EXPECT_EQ(owner.lookups, 1);
    EXPECT_EQ(chart.rect, (CanvasRect{L + 10, T, 681 + 10, B + 20}));
    // The gauge follows: its scale line now runs from the new bottom to the unchanged top.
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].rect, (CanvasRect{L + 10 + 44, B + 20 - 30, L + 10 + 44, T + 36}));
}

TEST_F(ThroughputChartTest, UnusablePlaceholderDrawsNothingUntilARefreshSucceeds) {
    const std::pair<bool, CanvasRect> cases[] = {
        {true, {700, 250, 0, 550}}, {true, {700, 250, 781, 0}}, {false, {700, 250, 781, 550}}};
    for (const auto& [hasControl, placeholder] : cases) {
        SCOPED_TRACE(testing::Message() << hasControl << " " << placeholder.right);
        FakeOwner badOwner;
        badOwner.hasControl = hasControl;
        badOwner.placeholder = placeholder;
        Win32ThroughputChart unplaced(badOwner, kChartPlaceholderId);
        RecordingCanvas first, second;
        unplaced.Paint(first);
        EXPECT_TRUE(first.calls.empty());
        badOwner.hasControl = true;
        badOwner.placeholder = {700, 250, 781, 550};
        unplaced.Paint(second);
        EXPECT_FALSE(second.calls.empty());
        EXPECT_EQ(unplaced.rect, (CanvasRect{L, T, 681, B}));
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
        {600, Rgb(100, 200, 100)},  // green from 600
        {599, Rgb(200, 200, 30)},   // yellow
        {500, Rgb(200, 200, 30)},   // yellow from 500
        {499, Rgb(255, 100, 100)},  // red below
        {1, Rgb(255, 100, 100)},
    };
    chart.SetScale(1000, 600, 500);
    for (const auto& [rate, colour] : cases) {
        SCOPED_TRACE(rate);
        chart.SetRates(rate, rate);
        const auto bars = Bars();
        ASSERT_EQ(bars.size(), 2u);
        EXPECT_EQ(bars[0].colour, colour);
        EXPECT_EQ(bars[1].colour, colour);
    }
}

TEST_F(ThroughputChartTest, UntilALinkIsKnownTheScaleIsAThousandAndEveryBarGreen) {
    chart.SetRates(1, 999);
    const auto bars = Bars();
    EXPECT_EQ(canvas.Texts()[0].text, L"1000");
    ASSERT_EQ(bars.size(), 2u);
    EXPECT_EQ(bars[0].colour, chart.greenBrush);
    EXPECT_EQ(bars[1].colour, chart.greenBrush);
}

TEST_F(ThroughputChartTest, BarHeightIsTheRatesShareOfTheScale) {
    const struct {
        int32_t read;
        int32_t write;
        int32_t readHeight;  // -1: no bar
        int32_t writeHeight;
    } cases[] = {
        {0, 0, -1, -1},            // a rate at the scale's bottom draws no bar
        {1000, 0, H, -1},          // the top of the scale fills the frame
        {5000, 1, H, H / 1000},    // above the top stays a full bar
        {500, 250, H / 2, H / 4},  // 117, 58 (58.5 truncated)
        {-5, 333, -1, static_cast<int32_t>(0.333f * H)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.read << "/" << c.write);
        chart.SetRates(c.read, c.write);
        std::vector<CanvasRect> expected;
        if (c.readHeight >= 0) expected.push_back({L + 49, B - 30 - c.readHeight, L + 58, B - 30});
        if (c.writeHeight >= 0) {
            expected.push_back({L + 58, B - 30 - c.writeHeight, L + 67, B - 30});
        }
        std::vector<CanvasRect> drawn;
        for (const auto& bar : Bars()) drawn.push_back(bar.rect);
        EXPECT_EQ(drawn, expected);
    }
}

}  // namespace

// The results panel as the screen shows it: the chart strip keeps to the right edge, a taller
// window shows more log lines, the wheel scrolls the log a line a notch, log lines and bars
// have their colours, and all of it grows with the screen's dpi; and what runs look like,
// saved as screenshots for the README.
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "display/log_view.h"
#include "display/scaled_canvas.h"
#include "display/window_layout.h"
#include "program_test_win.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kPassGreen = RGB(128, 255, 128);
constexpr COLORREF kErrorRed = RGB(255, 64, 64);
constexpr COLORREF kLoopbackCyan = RGB(150, 255, 255);
constexpr COLORREF kBarColours[] = {RGB(100, 200, 100), RGB(200, 200, 30), RGB(255, 100, 100)};
// The middle of the read and of the write bar, counted right from the scale's axis.
constexpr int kReadBarFromAxis = 9;
constexpr int kWriteBarFromAxis = 18;
// The axis ends at the bottom in a major tick this long.
constexpr int kMajorTickPixels = 9;

// The gauge's vertical axis: a column of the panel that is black for a long run (no text is
// that tall) and ends in a major tick to its left, which tells it from the frame lines of the
// panel and of the bars (where lines meet, the black goes on).
struct Axis {
    int x = -1;
    int top = -1;
    int bottom = -1;
};

// Pixels on a screen of `dpi` for a length in the panel's 96-dpi units.
int Px(int units, int dpi) { return UnitsToPixels(units, dpi); }

Axis FindAxis(const gui::Picture& panel, int dpi = kBaseDpi) {
    constexpr int kMinimumRun = 60;
    // Columns left of the axis the tick surely reaches and surely does not (8 and 10 at 96 dpi;
    // scaled, its length rounds either way).
    const int tick = Px(kMajorTickPixels, dpi) * (kMajorTickPixels - 1) / kMajorTickPixels;
    const int beyond = Px(kMajorTickPixels, dpi) + 1;
    for (int x = tick; x < panel.Width(); ++x) {
        int run = 0;
        for (int y = 0; y <= panel.Height(); ++y) {
            if (y < panel.Height() && panel.At(x, y) == kBlack) {
                ++run;
                continue;
            }
            const int top = y - run;
            const int bottom = y - 1;
            if (run >= kMinimumRun && panel.At(x - tick, bottom) == kBlack &&
                panel.At(x - beyond, bottom) != kBlack) {
                return {x, top, bottom};
            }
            run = 0;
        }
    }
    return {};
}

// The background colour of every log line the panel shows, top to bottom.
std::vector<COLORREF> LogLineColours(const gui::Picture& panel, int dpi = kBaseDpi) {
    std::vector<COLORREF> colours;
    for (int line = 0;; ++line) {
        const int y =
            Px(kLogAreaTopPixels + kLogLineHeightPixels * line + kLogLineHeightPixels / 2, dpi);
        if (y >= panel.Height()) break;
        const COLORREF colour = panel.At(2, y);
        if (colour == kWhite) break;
        colours.push_back(colour);
    }
    return colours;
}

bool IsBarColour(COLORREF colour) {
    for (COLORREF bar : kBarColours) {
        if (colour == bar) return true;
    }
    return false;
}

class ResultsPanelTest : public gui::ProgramTest {
  protected:
    // Card 1 corrupts every transfer; card 0 is sound.
    void SetUp() override { Launch(L"--simulate=cards=2,only=1,corrupt=3"); }

    HWND Panel() const { return Control(IDC_RESULTS_PANEL); }
    HWND ScrollBar() const { return Control(IDC_LOG_SCROLLBAR); }
    gui::Picture CapturePanel() const { return gui::CaptureClient(Panel()); }

    // More records than the panel shows, even two lines taller: each change of card logs
    // that card's seven lines.
    void FillLog() {
        const size_t shown = LogLineColours(CapturePanel(), dpi_).size();
        for (int card = 1; app_->Log().size() < shown + 3 * 7; card = 1 - card) {
            const size_t before = app_->Log().size();
            SelectCard(card);
            ASSERT_TRUE(gui::WaitUntil([&] { return app_->Log().size() == before + 7; }));
        }
        ASSERT_TRUE(app_->Barrier());
    }

    void Wheel(int delta) const { PostMessageW(window_, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), 0); }

    // Whether the chart shows both bars, each in one of its three colours.
    bool ShowsBothBars(const gui::Picture& panel) const {
        const Axis axis = FindAxis(panel, dpi_);
        const int y = axis.bottom - 2;
        return axis.x >= 0 && IsBarColour(panel.At(axis.x + Px(kReadBarFromAxis, dpi_), y)) &&
               IsBarColour(panel.At(axis.x + Px(kWriteBarFromAxis, dpi_), y));
    }

    void TurnOnDetailedLogging() {
        app_->Click(IDC_CONFIGURE);
        HWND dialog = app_->WaitForDialog(L"Brixlane configuration");
        ASSERT_NE(dialog, nullptr);
        PostMessageW(GetDlgItem(dialog, IDC_DETAILED_LOGGING), BM_CLICK, 0, 0);
        ASSERT_TRUE(
            gui::WaitUntil([&] { return gui::Checked(GetDlgItem(dialog, IDC_DETAILED_LOGGING)); }));
        PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        ASSERT_TRUE(
            gui::WaitUntil([&] { return app_->FindDialog(L"Brixlane configuration") == nullptr; }));
    }

    int dpi_ = kBaseDpi;  // the screen's, which the program reads when it starts
};

TEST_F(ResultsPanelTest, ChartStripFollowsTheRightEdgeAndTheBottom) {
    const int width = gui::ClientSize(Panel()).cx;
    const Axis before = FindAxis(CapturePanel());
    ASSERT_GE(before.x, width - kPanelChartStripPixels) << "no gauge in the chart strip";

    // The panel repaints once the window's queue is empty, which can be after the barrier.
    Resize(100, 0);
    Axis wider;
    gui::WaitUntil([&] { return (wider = FindAxis(CapturePanel())).x == before.x + 100; });
    EXPECT_EQ(wider.x, before.x + 100);
    EXPECT_EQ(wider.top, before.top);
    EXPECT_EQ(wider.bottom, before.bottom);

    Resize(0, 28);
    Axis taller;
    gui::WaitUntil([&] { return (taller = FindAxis(CapturePanel())).bottom == wider.bottom + 28; });
    EXPECT_EQ(taller.x, wider.x);
    EXPECT_EQ(taller.top, wider.top);
    EXPECT_EQ(taller.bottom, wider.bottom + 28);
}

TEST_F(ResultsPanelTest, TallerWindowShowsTwoMoreLogLinesAndKeepsTheNewestInView) {
    FillLog();
    // Each picture is taken once the panel shows what the scroll bar says (a repaint can
    // come after the barrier).
    size_t shown = 0;
    int position = 0;
    EXPECT_TRUE(gui::WaitUntil([&] {
        shown = LogLineColours(CapturePanel()).size();
        position = gui::ScrollPosition(ScrollBar());
        return position == static_cast<int>(app_->Log().size() - shown);
    })) << "not at the newest";

    Resize(0, 28);
    size_t taller = 0;
    gui::WaitUntil([&] { return (taller = LogLineColours(CapturePanel()).size()) == shown + 2; });
    EXPECT_EQ(taller, shown + 2);
    EXPECT_EQ(gui::ScrollPosition(ScrollBar()), position - 2);
}

TEST_F(ResultsPanelTest, WheelScrollsTheLogALineANotchWithinItsEnds) {
    FillLog();
    const int last = gui::ScrollPosition(ScrollBar());
    ASSERT_GT(last, 2);
    auto positionAfter = [&](int delta) {
        Wheel(delta);
        EXPECT_TRUE(app_->Barrier());
        return gui::ScrollPosition(ScrollBar());
    };
    // Towards the user is up; half a notch waits for the other half.
    EXPECT_EQ(positionAfter(120), last - 1);
    EXPECT_EQ(positionAfter(60), last - 1);
    EXPECT_EQ(positionAfter(60), last - 2);
    // However far the wheel turns, one message moves one line.
    EXPECT_EQ(positionAfter(-360), last - 1);
    EXPECT_EQ(positionAfter(-120), last);
    EXPECT_EQ(positionAfter(-120), last) << "scrolled past the newest record";
    for (int i = 0; i < last; ++i) Wheel(120);
    EXPECT_EQ(positionAfter(120), 0) << "scrolled past the oldest record";
}

TEST_F(ResultsPanelTest, PassAndErrorLinesShowGreenAndRed) {
    StartRun();
    WaitForCategory(L"Loopback");
    StopRun();
    ASSERT_GE(app_->WaitForRecord(L"Test passed: "), 0);
    std::vector<COLORREF> colours = LogLineColours(CapturePanel());
    ASSERT_FALSE(colours.empty());
    EXPECT_EQ(colours.back(), kPassGreen) << std::hex << colours.back();
    gui::SaveScreenshot(window_, L"loopback_passed");

    SelectCard(1);
    ASSERT_TRUE(app_->Barrier());
    StartRun();
    ASSERT_GE(app_->WaitForRecord(L"PCIe data transfer error: "), 0);
    StopRun();
    ASSERT_GE(app_->WaitForRecord(L"Test failed: "), 0);
    colours = LogLineColours(CapturePanel());
    ASSERT_FALSE(colours.empty());
    EXPECT_EQ(colours.back(), kErrorRed) << std::hex << colours.back();
    gui::SaveScreenshot(window_, L"loopback_failed");
}

TEST_F(ResultsPanelTest, BenchmarkShowsBothBarsDuringAndAfterTheRun) {
    app_->Click(IDC_BENCHMARK_RADIO);
    ASSERT_TRUE(app_->Barrier());
    StartRun();
    // The first rates come with the first finished phase of each direction.
    EXPECT_TRUE(gui::WaitUntil([&] { return ShowsBothBars(CapturePanel()); }, 60000))
        << "no bars during the benchmark";
    gui::SaveScreenshot(window_, L"benchmark_running");
    StopRun();
    ASSERT_GE(app_->WaitForRecord(L"Overall benchmark result:"), 0);
    EXPECT_TRUE(ShowsBothBars(CapturePanel())) << "the bars went with the run";
    gui::SaveScreenshot(window_, L"benchmark_finished");
}

TEST_F(ResultsPanelTest, TenThousandRecordsScrolledToTheMiddle) {
    TurnOnDetailedLogging();
    StartRun();
    // A detailed loopback logs a line a pass.
    ASSERT_TRUE(gui::WaitUntil([&] { return app_->Log().size() > 10100; }, 120000));
    StopRun();
    ASSERT_TRUE(app_->Barrier());

    const int last = gui::ScrollPosition(ScrollBar());
    const int shown = static_cast<int>(LogLineColours(CapturePanel()).size());
    EXPECT_EQ(last + shown, 10000) << "the view does not end at the newest of 10000 records";
    const int middle = last / 2;
    PostMessageW(window_, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, middle),
                 reinterpret_cast<LPARAM>(ScrollBar()));
    PostMessageW(window_, WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0),
                 reinterpret_cast<LPARAM>(ScrollBar()));
    ASSERT_TRUE(app_->Barrier());
    EXPECT_EQ(gui::ScrollPosition(ScrollBar()), middle);
    const std::vector<COLORREF> colours = LogLineColours(CapturePanel());
    EXPECT_EQ(static_cast<int>(colours.size()), shown);
    for (COLORREF colour : colours) EXPECT_EQ(colour, kLoopbackCyan) << std::hex << colour;
    gui::SaveScreenshot(window_, L"log_10000_records_middle");
}

// The window on a scaled screen: the GUI tests run once more at 144 and at 192 dpi (CTest's
// gui_tests_144dpi and gui_tests_192dpi), and this test runs only then.
class ScaledScreenTest : public ResultsPanelTest {
  protected:
    void SetUp() override {
        HDC screen = GetDC(nullptr);
        dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        if (dpi_ == kBaseDpi) GTEST_SKIP() << "a 96-dpi screen";
        ResultsPanelTest::SetUp();
    }

    // No black pixel in row y from column `left` to `right` (both included).
    static bool NoBlackInRow(const gui::Picture& panel, int y, int left, int right) {
        for (int x = left; x <= right; ++x) {
            if (panel.At(x, y) == kBlack) return false;
        }
        return true;
    }
};

TEST_F(ScaledScreenTest, ChartBandsAndLogGrowWithTheDpiAndNothingIsCut) {
    const int dpi = dpi_;
    app_->Click(IDC_BENCHMARK_RADIO);
    ASSERT_TRUE(app_->Barrier());
    StartRun();
    EXPECT_TRUE(gui::WaitUntil([&] { return ShowsBothBars(CapturePanel()); }, 60000))
        << "no bars during the benchmark";
    if (dpi == 144) gui::SaveScreenshot(window_, L"benchmark_running_150_percent");
    StopRun();

    const gui::Picture panel = CapturePanel();
    const int width = panel.Width();
    const int units = UnitsCovering(width, dpi);
    const int strip = Px(units - kPanelChartStripPixels, dpi);  // its left outline
    // The scale is as tall as the chart's placeholder in 96-dpi units less its two margins,
    // scaled back to the screen.
    const Axis axis = FindAxis(panel, dpi);
    ASSERT_GE(axis.x, strip) << "no gauge in the chart strip";
    const RECT frame = gui::RectIn(Control(IDC_CHART_FRAME), window_);
    const int scaleUnits = UnitsCovering(frame.bottom, dpi) - UnitsCovering(frame.top, dpi) - 66;
    EXPECT_NEAR(axis.bottom - axis.top, Px(scaleUnits, dpi), 2) << "the scale did not grow";
    // Each of the five labels left of its major tick, none cut at the strip's left edge.
    for (int i = 0; i < 5; ++i) {
        const int y = axis.top + (axis.bottom - axis.top) * i / 4;
        bool label = false;
        for (int row = y - Px(5, dpi); row <= y + Px(5, dpi); ++row) {
            label = label || !NoBlackInRow(panel, row, strip + 2, axis.x - Px(10, dpi));
        }
        EXPECT_TRUE(label) << "no label at the major tick " << i;
    }
    // Texts reach neither the edges of the strip nor the bottom row of their band: a text cut
    // there would go on past it.
    for (int y = Px(kLogAreaTopPixels, dpi) + 1; y < panel.Height() - 1; ++y) {
        EXPECT_NE(panel.At(strip + 1, y), kBlack) << "cut at the strip's left, row " << y;
        EXPECT_NE(panel.At(width - 2, y), kBlack) << "cut at the panel's right, row " << y;
    }
    EXPECT_TRUE(NoBlackInRow(panel, Px(25, dpi) - 1, 1, width - 2)) << "status band cut";
    EXPECT_TRUE(NoBlackInRow(panel, Px(kLogAreaTopPixels, dpi) - 1, 1, width - 2))
        << "counters band cut";

    // A full log shows as many lines as fit at the scaled line height, each in its colour.
    // (Two scaled lines more for a taller window is the layout's unit test: under Wine a
    // SetWindowPos from this process reaches a window of another dpi rescaled.)
    FillLog();
    EXPECT_EQ(static_cast<int>(LogLineColours(CapturePanel(), dpi).size()),
              LinesPerPage(WholeUnitsIn(gui::ClientSize(Panel()).cy, dpi)));
}

// Not a test but a figure for brixlanetool-bench (scripts/gui-bench.sh runs it): passes per
// second of a loopback with detailed logging against one without, over the same run length,
// from the log's own summary. Every pass then logs a line, and the window must not repaint
// for each one.
double PassesPerSecond(const std::vector<gui::LoggedRecord>& log) {
    unsigned long long operations = 0;
    int hours = 0, minutes = 0, seconds = 0;
    const std::wstring operationsTail = L" Operations.";
    for (const gui::LoggedRecord& record : log) {
        const std::wstring& text = record.text;
        if (text.size() > operationsTail.size() &&
            text.compare(text.size() - operationsTail.size(), operationsTail.size(),
                         operationsTail) == 0) {
            operations = std::wcstoull(text.c_str(), nullptr, 10);
        }
        std::swscanf(text.c_str(), L"Duration: %dh %dm %ds", &hours, &minutes, &seconds);
    }
    const int total = hours * 3600 + minutes * 60 + seconds;
    return total > 0 ? static_cast<double>(operations) / total : 0.0;
}

TEST_F(ResultsPanelTest, DISABLED_DetailedLoggingPassRate) {
    double rates[2] = {};
    for (int detailed = 0; detailed < 2; ++detailed) {
        Launch(L"--simulate");
        if (detailed) TurnOnDetailedLogging();
        SetDuration(L"0.25");  // ends at the first refresh tick after 15 whole seconds
        StartRun();
        ASSERT_TRUE(WaitForCaption(L"Start", 180000));
        ASSERT_GE(app_->WaitForRecord(L"Test passed: "), 0);
        rates[detailed] = PassesPerSecond(app_->Log());
    }
    ASSERT_GT(rates[0], 0.0);
    std::printf("gui_detailed_logging_ratio %.3f (%.0f against %.0f passes/s)\n",
                rates[1] / rates[0], rates[1], rates[0]);
}

}  // namespace

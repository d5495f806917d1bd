// The program driven from outside on the simulated card. A case is a row: the arguments and
// steps, each something a user or the system does or something the window, its dialogs or its
// log must then show, run on a fresh program. What the portable tests check through the same
// code (log texts, the panel's drawing, the export's bytes, the closing sequence's bounds, the
// card scan's and option parser's messages) is not repeated here.
#include <gtest/gtest.h>
// The common controls and shell headers need windows.h before them.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
// clang-format on

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/resources/resource.h"
#include "display/log_view.h"
#include "display/scaled_canvas.h"
#include "display/window_layout.h"
#include "engine/card_scan.h"
#include "gui_harness_win.h"

namespace {

using gui::LoggedRecord;
using gui::WaitUntil;

constexpr const wchar_t* kConfig = L"Brixlane configuration";
constexpr const wchar_t* kAbout = L"About Brixlane";
constexpr const wchar_t* kSave = L"Select a log file name";
constexpr const wchar_t* kPassed = L"Test passed: PCIe-0, Windows ID:{";
constexpr const wchar_t* kConstantWarning =
    L"The constant test pattern value must be between 0 and 255.";
// What a run disables; Start/Stop and About stay usable.
constexpr int kTestInputs[] = {IDC_DEVICE_LIST,   IDC_DURATION_LABEL, IDC_MINUTES_LABEL,
                               IDC_DURATION_EDIT, IDC_LOOPBACK_RADIO, IDC_BENCHMARK_RADIO,
                               IDC_CONFIGURE,     IDC_SAVE_LOG,       IDC_EXIT};
constexpr COLORREF kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0);
constexpr COLORREF kBarColours[] = {RGB(100, 200, 100), RGB(200, 200, 30), RGB(255, 100, 100)};

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class GuiTest;
struct Step;
using Action = void (*)(GuiTest&, const Step&);
// A step is plain data: its action and what the action acts on or reads: a control of the
// target (the open dialog, else the main window), a text, a number (a key, count, position,
// exit status) and a second text (a record's category, a box's caption if not the error one).
struct Step {
    Action act;
    int id;
    const wchar_t* text;
    LPARAM value;
    const wchar_t* more;
};
// An action, which a row names with what it needs: Is(IDC_X, L"text"), Count(L"prefix", 1).
struct Act {
    Action fn;
    Step operator()(int id = 0, const wchar_t* text = L"", LPARAM value = 0,
                    const wchar_t* more = L"") const {
        return {fn, id, text, value, more};
    }
    Step operator()(int id, LPARAM value) const { return {fn, id, L"", value, L""}; }
    Step operator()(const wchar_t* text, LPARAM value = 0, const wchar_t* more = L"") const {
        return {fn, 0, text, value, more};
    }
};
template <typename... Steps>
std::vector<Step> Seq(Steps... steps) {
    return {steps...};
}

struct Case {
    const char* name;
    std::wstring arguments;
    std::vector<Step> steps;
    // No main window expected at start-up; only on a scaled screen (the dpi runs); with a
    // live log file, which the steps read.
    bool bare = false, scaled = false, logFile = true;
};

void PrintTo(const Case& row, std::ostream* out) { *out << row.name; }

class GuiTest : public ::testing::TestWithParam<Case> {
  public:
    HWND Target() const { return dialog_ ? dialog_ : window_; }
    HWND Item(int id) const { return id ? GetDlgItem(Target(), id) : Target(); }
    HWND Control(int id) const { return GetDlgItem(window_, id); }
    void Run(const std::vector<Step>& steps) {
        for (size_t i = 0; i < steps.size() && !HasFatalFailure(); ++i) {
            SCOPED_TRACE("step " + std::to_string(i + 1));
            steps[i].act(*this, steps[i]);
        }
    }

    std::unique_ptr<gui::AppUnderTest> app_;
    HWND window_ = nullptr, dialog_ = nullptr;
    size_t mark_ = 0;
    int dpi_ = kBaseDpi;  // the screen's, which the program reads when it starts
};

// A fresh program for each case; unless bare, its main window up and idle after the scan.
TEST_P(GuiTest, Run) {
    HDC screen = GetDC(nullptr);
    dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    if (GetParam().scaled && dpi_ == kBaseDpi) GTEST_SKIP() << "a 96-dpi screen";
    app_ = std::make_unique<gui::AppUnderTest>(GetParam().arguments, GetParam().logFile);
    ASSERT_TRUE(app_->Started());
    if (!GetParam().bare) {
        ASSERT_NE(window_ = app_->WaitForMainWindow(), nullptr) << "no main window";
        ASSERT_TRUE(!GetParam().logFile ||
                    app_->WaitForRecord(L"Max Read Request Size: ", gui::kLongTimeoutMs) >= 0);
    }
    Run(GetParam().steps);
}

constexpr Act Click{[](GuiTest& t, const Step& s) { PostMessageW(t.Item(s.id), BM_CLICK, 0, 0); }};
constexpr Act Key{[](GuiTest& t, const Step& s) {
    PostMessageW(t.Item(s.id), WM_KEYDOWN, static_cast<WPARAM>(s.value), 1);
    PostMessageW(t.Item(s.id), WM_KEYUP, static_cast<WPARAM>(s.value), 0xC0000001);
}};
// WM_SETTEXT sends the edit's notifications, as typing would.
constexpr Act Type{[](GuiTest& t, const Step& s) {
    gui::Send(t.Item(s.id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.text));
}};
// Through the target's dialog manager, as Tab would; waits unless a box is to take the focus.
constexpr Act Focus{[](GuiTest& t, const Step& s) {
    PostMessageW(t.Target(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(t.Item(s.id)), TRUE);
    EXPECT_TRUE(s.value || WaitUntil([&] { return gui::FocusOf(t.Target()) == t.Item(s.id); }));
}};
constexpr Act Notify{[](GuiTest& t, const Step& s) {
    PostMessageW(t.Target(), WM_COMMAND, MAKEWPARAM(s.id, s.value),
                 reinterpret_cast<LPARAM>(t.Item(s.id)));
}};
// The message `id` with `value` posted to the main window, as the system would.
constexpr Act Post{[](GuiTest& t, const Step& s) {
    PostMessageW(t.window_, static_cast<UINT>(s.id), static_cast<WPARAM>(s.value), 0);
}};
// The load trackbar's notification `id` (a TB_ code) of position `value`.
constexpr Act Scroll{[](GuiTest& t, const Step& s) {
    PostMessageW(t.Target(), WM_HSCROLL, MAKEWPARAM(s.id, s.value),
                 reinterpret_cast<LPARAM>(t.Item(IDC_LOAD_TRACKBAR)));
}};
constexpr Act MoveTrackbar{[](GuiTest& t, const Step& s) {
    gui::Send(t.Item(IDC_LOAD_TRACKBAR), TBM_SETPOS, TRUE, s.value);
    t.Run({Scroll(TB_THUMBPOSITION, s.value)});
}};
constexpr Act Select{[](GuiTest& t, const Step& s) {
    gui::Send(t.Control(IDC_DEVICE_LIST), CB_SETCURSEL, static_cast<WPARAM>(s.value));
    t.Run({Notify(IDC_DEVICE_LIST, CBN_SELCHANGE)});
}};
// Start or Stop pressed: the caption turns to the other (after a stop's summary).
void Press(GuiTest& t, const wchar_t* caption, const wchar_t* then) {
    ASSERT_EQ(gui::WindowText(t.Control(IDC_START_STOP)), caption);
    PostMessageW(t.Control(IDC_START_STOP), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return gui::WindowText(t.Control(IDC_START_STOP)) == then; },
                          gui::kLongTimeoutMs))
        << "still " << Narrow(caption);
}
constexpr Act Start{[](GuiTest& t, const Step&) { Press(t, L"Start", L"Stop"); }};
constexpr Act Stop{[](GuiTest& t, const Step&) { Press(t, L"Stop", L"Start"); }};
constexpr Act Mark{[](GuiTest& t, const Step&) { t.mark_ = t.app_->Log().size(); }};

// A dialog opens and becomes the target, or closes and leaves the main window the target.
constexpr Act Dialog{[](GuiTest& t, const Step& s) {
    ASSERT_NE(t.dialog_ = t.app_->WaitForDialog(s.text), nullptr);
}};
constexpr Act Closed{[](GuiTest& t, const Step& s) {
    ASSERT_TRUE(WaitUntil([&] { return t.app_->Dialogs(s.text).empty(); })) << "still open";
    t.dialog_ = nullptr;
}};
constexpr Act Main{
    [](GuiTest& t, const Step&) { ASSERT_NE(t.window_ = t.app_->WaitForMainWindow(), nullptr); }};
constexpr Act Is{[](GuiTest& t, const Step& s) {
    EXPECT_TRUE(WaitUntil([&] { return gui::WindowText(t.Item(s.id)) == s.text; }))
        << "control " << s.id << " shows " << Narrow(gui::WindowText(t.Item(s.id)));
}};
void Answers(GuiTest& t, int id, UINT message, LRESULT value) {
    EXPECT_TRUE(WaitUntil([&] { return gui::Send(t.Item(id), message) == value; }))
        << "control " << id << " answers " << gui::Send(t.Item(id), message);
}
constexpr Act LoadAt{
    [](GuiTest& t, const Step& s) { Answers(t, IDC_LOAD_TRACKBAR, TBM_GETPOS, s.value); }};
constexpr Act CardsListed{
    [](GuiTest& t, const Step& s) { Answers(t, IDC_DEVICE_LIST, CB_GETCOUNT, s.value); }};
// The mode radio `id` checked, the other not.
constexpr Act Mode{[](GuiTest& t, const Step& s) {
    for (int id : {IDC_LOOPBACK_RADIO, IDC_BENCHMARK_RADIO})
        Answers(t, id, BM_GETCHECK, id == s.id);
}};
// Start/Stop and About enabled; what a run disables enabled as `value` says.
constexpr Act Inputs{[](GuiTest& t, const Step& s) {
    auto expect = [&](int id, bool want) {
        EXPECT_TRUE(WaitUntil([&] { return (IsWindowEnabled(t.Control(id)) != FALSE) == want; }))
            << "control " << id << (want ? " disabled" : " enabled");
    };
    expect(IDC_START_STOP, true);
    expect(IDC_ABOUT, true);
    for (int id : kTestInputs) expect(id, s.value != 0);
}};
// A message box owned by the target (if up) that says `text`; the only one; dismissed.
constexpr Act Box{[](GuiTest& t, const Step& s) {
    const std::wstring caption = *s.more ? s.more : kErrorCaption;
    HWND box = t.app_->WaitForDialog(caption);
    ASSERT_NE(box, nullptr) << "no message box";
    const std::wstring text = gui::MessageBoxText(box);
    EXPECT_NE(text.find(s.text), std::wstring::npos) << Narrow(text);
    EXPECT_TRUE(!t.window_ || GetWindow(box, GW_OWNER) == t.Target()) << "owner";
    EXPECT_TRUE(!t.window_ || t.app_->Barrier());
    EXPECT_EQ(t.app_->Dialogs(caption).size(), 1u) << "more than one box";
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitUntil([&] { return t.app_->Dialogs(caption).empty(); }));
}};
constexpr Act Alive{[](GuiTest& t, const Step&) {
    EXPECT_TRUE(t.app_->Barrier() && t.app_->Running()) << "it ended";
}};
// With the queue handled, no such dialog, shown or not.
constexpr Act NoBox{[](GuiTest& t, const Step& s) {
    ASSERT_TRUE(t.app_->Barrier());
    EXPECT_TRUE(t.app_->Dialogs(s.text, true).empty()) << "a dialog opened";
}};
constexpr Act Record{[](GuiTest& t, const Step& s) {
    EXPECT_TRUE(
        WaitUntil([&] { return !gui::Matching(t.app_->Log(), s.text, s.more, t.mark_).empty(); },
                  gui::kLongTimeoutMs))
        << "no record " << Narrow(s.text) << " of " << Narrow(s.more);
}};
constexpr Act Category{[](GuiTest& t, const Step& s) { t.Run({Record(L"", 0, s.text)}); }};
constexpr Act Count{[](GuiTest& t, const Step& s) {
    ASSERT_TRUE(!t.app_->Running() || t.app_->Barrier());
    EXPECT_EQ(gui::Matching(t.app_->Log(), s.text, s.more).size(), static_cast<size_t>(s.value))
        << Narrow(s.text);
}};
// Exactly `value` more records than at the mark, once the queue is handled.
constexpr Act Grown{[](GuiTest& t, const Step& s) {
    const size_t records = static_cast<size_t>(s.value);
    EXPECT_TRUE(WaitUntil([&] { return t.app_->Log().size() >= t.mark_ + records; }));
    ASSERT_TRUE(t.app_->Barrier());
    EXPECT_EQ(t.app_->Log().size(), t.mark_ + records);
}};
// The program ends with status `value` within `id` ms.
constexpr Act Exit{[](GuiTest& t, const Step& s) {
    DWORD code = 99;
    ASSERT_TRUE(t.app_->WaitForExit(static_cast<DWORD>(s.id), &code)) << "still running";
    EXPECT_EQ(code, static_cast<DWORD>(s.value));
}};
// Arguments the program cannot use: a box naming the problem, then exit status 2.
constexpr Act Refused{[](GuiTest& t, const Step& s) {
    t.Run({Box(s.text, 0, L"Brixlanetool"), Exit(15000, 2)});
}};
// A screenshot of the target; with a `value`, only on a screen of that dpi.
constexpr Act Shot{[](GuiTest& t, const Step& s) {
    if (!s.value || s.value == t.dpi_) gui::SaveScreenshot(t.Target(), s.text);
}};
constexpr Act Enlarge{[](GuiTest& t, const Step&) {
    SetWindowPos(t.window_, nullptr, 0, 0, 2500, 1550, SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(t.app_->Barrier());
}};
constexpr Act FocusMoved{[](GuiTest& t, const Step&) {
    EXPECT_TRUE(WaitUntil([&] {
        const HWND focus = gui::FocusOf(t.window_);
        return focus && focus != t.Control(IDC_DURATION_EDIT);
    })) << "Tab did not move the focus on";
}};

int Px(int units, int dpi) { return UnitsToPixels(units, dpi); }

// The gauge's vertical axis: a column black for a long run (no text is that tall) that ends
// in a major tick (9 units) to its left, which tells it from the frame lines.
struct Axis {
    int x = -1, top = -1, bottom = -1;
};
Axis FindAxis(const gui::Picture& panel, int dpi) {
    const int tick = Px(9, dpi) * 8 / 9;  // surely reached by the tick, scaled either way
    const int beyond = Px(9, dpi) + 1;
    for (int x = tick; x < panel.width; ++x) {
        for (int y = 0, run = 0; y <= panel.height; ++y) {
            if (y < panel.height && panel.At(x, y) == kBlack) {
                ++run;
                continue;
            }
            if (run >= 60 && panel.At(x - tick, y - 1) == kBlack &&
                panel.At(x - beyond, y - 1) != kBlack) {
                return {x, y - run, y - 1};
            }
            run = 0;
        }
    }
    return {};
}

std::vector<COLORREF> LogLineColours(const gui::Picture& panel, int dpi) {
    std::vector<COLORREF> colours;
    for (int line = 0;; ++line) {
        const int y =
            Px(kLogAreaTopPixels + kLogLineHeightPixels * line + kLogLineHeightPixels / 2, dpi);
        if (y >= panel.height || panel.At(2, y) == kWhite) break;
        colours.push_back(panel.At(2, y));
    }
    return colours;
}

gui::Picture Panel(const GuiTest& t) { return gui::CaptureClient(t.Control(IDC_RESULTS_PANEL)); }
size_t LinesShown(const GuiTest& t) { return LogLineColours(Panel(t), t.dpi_).size(); }
int ScrollPosition(const GuiTest& t) {
    return static_cast<int>(gui::Send(t.Control(IDC_LOG_SCROLLBAR), SBM_GETPOS));
}

// Both benchmark bars shown, each in one of its three colours (9 and 18 units right of the axis).
constexpr Act BothBars{[](GuiTest& t, const Step&) {
    EXPECT_TRUE(WaitUntil([&] {
        const gui::Picture panel = Panel(t);
        const Axis axis = FindAxis(panel, t.dpi_);
        auto bar = [&](int units) {
            const COLORREF colour = panel.At(axis.x + Px(units, t.dpi_), axis.bottom - 2);
            return std::count(std::begin(kBarColours), std::end(kBarColours), colour) > 0;
        };
        return axis.x >= 0 && bar(9) && bar(18);
    })) << "no bars";
}};

// The newest log line's background is `value`.
constexpr Act LastLineIs{[](GuiTest& t, const Step& s) {
    std::vector<COLORREF> colours;
    EXPECT_TRUE(WaitUntil([&] {
        colours = LogLineColours(Panel(t), t.dpi_);
        return !colours.empty() && colours.back() == static_cast<COLORREF>(s.value);
    })) << std::hex
        << (colours.empty() ? 0 : colours.back());
}};

// More records than the panel shows, even two lines taller: each change of card logs that
// card's seven lines (cards=2).
constexpr Act FillLog{[](GuiTest& t, const Step&) {
    const size_t shown = LinesShown(t);
    for (int card = 1; t.app_->Log().size() < shown + 3 * 7 && !t.HasFatalFailure();
         card = 1 - card) {
        t.Run({Mark(), Select(0, card), Grown(0, 7)});
    }
}};

// How each control follows a window 100 wider and 28 taller: moved right, widened, lengthened.
struct Follow {
    int id, dx, widen, grow;
};
constexpr Follow kFollows[] = {
    {IDC_START_STOP, 100, 0, 0},     {IDC_CONFIGURE, 100, 0, 0},    {IDC_SAVE_LOG, 100, 0, 0},
    {IDC_ABOUT, 100, 0, 0},          {IDC_EXIT, 100, 0, 0},         {IDC_LOG_SCROLLBAR, 100, 0, 28},
    {IDC_RESULTS_PANEL, 0, 100, 28}, {IDC_SELECT_GROUP, 0, 0, 0},   {IDC_DEVICE_LABEL, 0, 0, 0},
    {IDC_DEVICE_LIST, 0, 0, 0},      {IDC_DURATION_LABEL, 0, 0, 0}, {IDC_DURATION_EDIT, 0, 0, 0},
    {IDC_MINUTES_LABEL, 0, 0, 0},    {IDC_MODE_GROUP, 0, 0, 0},     {IDC_LOOPBACK_RADIO, 0, 0, 0},
    {IDC_BENCHMARK_RADIO, 0, 0, 0},  {IDC_CARD_PICTURE, 0, 0, 0},   {IDC_CHART_FRAME, 0, 0, 0},
};

// The window is kept to its least size, and a drag of its corner by (100, 28) moves, widens
// and lengthens each control as kFollows says, the chart with it, and shows two lines more
// with the newest record still in view; a minimise and restore changes nothing.
constexpr Act LayoutFollowsTheWindow{[](GuiTest& t, const Step&) {
    const UINT keep = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(t.window_, nullptr, 0, 0, 300, 200, keep);
    ASSERT_TRUE(t.app_->Barrier());
    RECT outer = {};
    GetWindowRect(t.window_, &outer);
    EXPECT_EQ(std::make_pair(outer.right - outer.left, outer.bottom - outer.top),
              std::make_pair(750L, 530L))
        << "smaller than the least size";
    auto rects = [&] {
        std::vector<RECT> all;
        for (const Follow& f : kFollows) all.push_back(gui::RectIn(t.Control(f.id), t.window_));
        return all;
    };
    // Each picture once the panel shows what the scroll bar says (a repaint can come late).
    size_t shown = 0;
    int position = 0;
    ASSERT_TRUE(WaitUntil([&] {
        shown = LinesShown(t);
        position = ScrollPosition(t);
        return position == static_cast<int>(t.app_->Log().size() - shown);
    })) << "not at the newest record";
    const std::vector<RECT> before = rects();
    const Axis axis = FindAxis(Panel(t), t.dpi_);
    ASSERT_GE(axis.x, gui::ClientSize(t.Control(IDC_RESULTS_PANEL)).cx - kPanelChartStripPixels)
        << "no gauge in the chart strip";

    const SIZE client = gui::ClientSize(t.window_);
    SetWindowPos(t.window_, nullptr, 0, 0, 750 + 100, 530 + 28, keep);
    ASSERT_TRUE(WaitUntil([&] {
        const SIZE now = gui::ClientSize(t.window_);
        return now.cx == client.cx + 100 && now.cy == client.cy + 28 && t.app_->Barrier();
    }));
    const std::vector<RECT> after = rects();
    for (size_t i = 0; i < after.size(); ++i) {
        const Follow& f = kFollows[i];
        const RECT& b = before[i];
        const RECT want = {b.left + f.dx, b.top, b.right + f.dx + f.widen, b.bottom + f.grow};
        EXPECT_TRUE(EqualRect(&after[i], &want)) << "control " << f.id;
    }
    Axis moved;
    EXPECT_TRUE(WaitUntil([&] {
        moved = FindAxis(Panel(t), t.dpi_);
        return moved.x == axis.x + 100 && moved.bottom == axis.bottom + 28 && moved.top == axis.top;
    })) << "the chart moved to "
        << moved.x << ", " << moved.top << ".." << moved.bottom;
    EXPECT_TRUE(WaitUntil([&] { return LinesShown(t) == shown + 2; })) << LinesShown(t);
    EXPECT_EQ(ScrollPosition(t), position - 2);

    ShowWindow(t.window_, SW_MINIMIZE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(t.window_) != FALSE; }));
    ShowWindow(t.window_, SW_RESTORE);
    ASSERT_TRUE(WaitUntil([&] { return IsIconic(t.window_) == FALSE; }) && t.app_->Barrier());
    const std::vector<RECT> restored = rects();
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_TRUE(EqualRect(&restored[i], &after[i])) << "control " << kFollows[i].id;
    }
}};

// Towards the user is up; half a notch waits for the other half; one message moves one line
// however far the wheel turned; neither end is passed.
constexpr Act WheelScrollsALineANotch{[](GuiTest& t, const Step&) {
    const int last = ScrollPosition(t);
    ASSERT_GT(last, 2);
    auto after = [&](int delta) {
        PostMessageW(t.window_, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), 0);
        EXPECT_TRUE(t.app_->Barrier());
        return ScrollPosition(t);
    };
    const std::pair<int, int> turns[] = {{120, last - 1},  {60, last - 1}, {60, last - 2},
                                         {-360, last - 1}, {-120, last},   {-120, last}};
    for (const auto& [delta, position] : turns) EXPECT_EQ(after(delta), position) << delta;
    for (int i = 0; i < last; ++i) PostMessageW(t.window_, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    EXPECT_EQ(after(120), 0) << "scrolled past the oldest record";
}};

// On a scaled screen the chart's scale, its labels, the header bands and the log lines grow
// with the dpi, and no text is cut at the edges of its strip or band.
constexpr Act ScaledPanelCutsNothing{[](GuiTest& t, const Step&) {
    const int dpi = t.dpi_;
    const gui::Picture panel = Panel(t);
    const int width = panel.width;
    const int strip = Px(UnitsCovering(width, dpi) - kPanelChartStripPixels, dpi);
    const Axis axis = FindAxis(panel, dpi);
    ASSERT_GE(axis.x, strip) << "no gauge in the chart strip";
    // The scale: the chart placeholder's height in units, less its margins, scaled back.
    const RECT frame = gui::RectIn(t.Control(IDC_CHART_FRAME), t.window_);
    const int scaleUnits = UnitsCovering(frame.bottom, dpi) - UnitsCovering(frame.top, dpi) - 66;
    EXPECT_NEAR(axis.bottom - axis.top, Px(scaleUnits, dpi), 2) << "the scale did not grow";
    auto blackIn = [&](int top, int bottom, int left, int right) {
        for (int y = top; y <= bottom; ++y) {
            for (int x = left; x <= right; ++x) {
                if (panel.At(x, y) == kBlack) return true;
            }
        }
        return false;
    };
    for (int i = 0; i < 5; ++i) {
        const int y = axis.top + (axis.bottom - axis.top) * i / 4;
        EXPECT_TRUE(blackIn(y - Px(5, dpi), y + Px(5, dpi), strip + 2, axis.x - Px(10, dpi)))
            << "no label at the major tick " << i;
    }
    const int logTop = Px(kLogAreaTopPixels, dpi);
    EXPECT_FALSE(blackIn(logTop + 1, panel.height - 2, strip + 1, strip + 1)) << "cut at the strip";
    EXPECT_FALSE(blackIn(logTop + 1, panel.height - 2, width - 2, width - 2)) << "cut at the right";
    EXPECT_FALSE(blackIn(Px(25, dpi) - 1, Px(25, dpi) - 1, 1, width - 2)) << "status band cut";
    EXPECT_FALSE(blackIn(logTop - 1, logTop - 1, 1, width - 2)) << "counters band cut";
}};

constexpr Act ScaledLogFillsThePanel{[](GuiTest& t, const Step&) {
    const int units = WholeUnitsIn(gui::ClientSize(t.Control(IDC_RESULTS_PANEL)).cy, t.dpi_);
    EXPECT_EQ(static_cast<int>(LinesShown(t)), LinesPerPage(units));
}};

// The program's line, the card's name as the list shows it, then the card's seven lines.
constexpr Act StartUpNamesTheFirstCard{[](GuiTest& t, const Step&) {
    HWND devices = t.Control(IDC_DEVICE_LIST);
    ASSERT_EQ(gui::Send(devices, CB_GETCOUNT), 1);
    EXPECT_EQ(gui::Send(devices, CB_GETCURSEL), 0);
    const std::vector<LoggedRecord> log = t.app_->Log();
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[1].text, gui::ComboEntry(devices, 0));
}};

// Modal, owned by the main window, without a system menu; the last of its block sizes.
constexpr Act ConfigurationIsModal{[](GuiTest& t, const Step&) {
    EXPECT_FALSE(IsWindowEnabled(t.window_));
    EXPECT_EQ(GetWindow(t.dialog_, GW_OWNER), t.window_);
    EXPECT_EQ(GetWindowLongW(t.dialog_, GWL_STYLE) & (WS_SYSMENU | WS_CAPTION), WS_CAPTION);
    EXPECT_EQ(gui::ComboEntry(t.Item(IDC_BLOCK_SIZE_LIST), 6), L"64MB");
}};

// What the configuration dialog shows: [0] a fresh start's (incrementing is checked although
// the constant radio says "(default)"), [1] ChangeAll's.
struct Settings {
    const wchar_t *load, *constant;
    int blockIndex, direction, pattern;
    bool detailed, stop;
};
constexpr Settings kSettings[] = {
    {L"100", L"170", 3, IDC_READ_WRITE_RADIO, IDC_INCREMENTING_RADIO, false, false},
    {L"37", L"99", 6, IDC_WRITE_RADIO, IDC_RANDOM_RADIO, true, true}};

constexpr Act Shows{[](GuiTest& t, const Step& step) {
    const Settings& s = kSettings[step.value];
    t.Run({Is(IDC_LOAD_EDIT, s.load), Is(IDC_CONSTANT_EDIT, s.constant)});
    Answers(t, IDC_LOAD_TRACKBAR, TBM_GETPOS, std::stoi(s.load));
    Answers(t, IDC_BLOCK_SIZE_LIST, CB_GETCURSEL, s.blockIndex);
    Answers(t, IDC_DETAILED_LOGGING, BM_GETCHECK, s.detailed);
    Answers(t, IDC_STOP_ON_ERROR, BM_GETCHECK, s.stop);
    for (int id : {IDC_READ_RADIO, IDC_WRITE_RADIO, IDC_READ_WRITE_RADIO, IDC_CONSTANT_RADIO,
                   IDC_INCREMENTING_RADIO, IDC_RANDOM_RADIO}) {
        Answers(t, id, BM_GETCHECK, id == s.direction || id == s.pattern);
    }
}};
// Every control changed as a user would, to kSettings[1].
constexpr Act ChangeAll{[](GuiTest& t, const Step&) {
    t.Run({MoveTrackbar(0, 37)});
    gui::Send(t.Item(IDC_BLOCK_SIZE_LIST), CB_SETCURSEL, 6);
    t.Run({Click(IDC_WRITE_RADIO), Click(IDC_RANDOM_RADIO), Type(IDC_CONSTANT_EDIT, L"99"),
           Click(IDC_DETAILED_LOGGING), Click(IDC_STOP_ON_ERROR)});
}};
constexpr Act OpenConfiguration{[](GuiTest& t, const Step&) {
    t.Run({Click(IDC_CONFIGURE), Dialog(kConfig)});
}};
constexpr Act CloseWith{[](GuiTest& t, const Step& s) { t.Run({Click(s.id), Closed(kConfig)}); }};
// A 0.01-minute run ends at the refresh timer's first tick after 0 whole seconds; five
// seconds are the bound for about one.
constexpr Act ShortRunEndsByItself{[](GuiTest& t, const Step&) {
    Press(t, L"Start", L"Stop");
    EXPECT_TRUE(
        WaitUntil([&] { return gui::WindowText(t.Control(IDC_START_STOP)) == L"Start"; }, 5000))
        << "the refresh timer was starved";
}};

// The about box opens; given a screenshot's name it is checked: owned by the main window,
// without a system menu, showing the version. It closes with the key `value`, or else with OK.
constexpr Act About{[](GuiTest& t, const Step& s) {
    t.Run({Click(IDC_ABOUT), Dialog(kAbout)});
    if (*s.text && !t.HasFatalFailure()) {
        EXPECT_EQ(GetWindowLongW(t.dialog_, GWL_STYLE) & WS_SYSMENU, 0);
        EXPECT_EQ(GetWindow(t.dialog_, GW_OWNER), t.window_);
        t.Run({Is(IDC_VERSION_TEXT, L"Brixlanetool V1.0 (1001) WIN64"),
               Is(IDC_WEB_ADDRESS, L"www.korvenix.example"),
               Is(IDC_NOTICE_TEXT, L"\u00A9 2026 Korvenix. All rights reserved."), Shot(s.text)});
    }
    t.Run({s.value ? Key(0, s.value) : Click(IDOK), Closed(kAbout)});
}};

// Save pressed; in its dialog, owned by the main window, the proposal is BrixlaneLog.txt in a
// folder of our own under the documents, made for it; `path` named and Save pressed.
void SaveAs(GuiTest& t, const std::wstring& path) {
    t.Run({Click(IDC_SAVE_LOG), Dialog(kSave)});
    if (t.HasFatalFailure()) return;
    EXPECT_EQ(GetWindow(t.dialog_, GW_OWNER), t.window_);
    wchar_t documents[MAX_PATH] = {};
    ASSERT_TRUE(SUCCEEDED(
        SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)));
    const DWORD folder =
        GetFileAttributesW((std::wstring(documents) + L"\\Korvenix\\Brixlanetool").c_str());
    EXPECT_TRUE(folder != INVALID_FILE_ATTRIBUTES && (folder & FILE_ATTRIBUTE_DIRECTORY) != 0);
    // The file name control: a combo box (cmb13) in the Explorer-style dialog, else edt1.
    HWND name = t.Item(0x47C) ? t.Item(0x47C) : t.Item(0x480);
    ASSERT_NE(name, nullptr) << "no file name control";
    const std::wstring proposed = gui::WindowText(name);
    EXPECT_TRUE(proposed.size() >= 15 &&
                proposed.substr(proposed.size() - 15) == L"BrixlaneLog.txt")
        << Narrow(proposed);
    gui::Send(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(t.dialog_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(t.Item(IDOK)));
}

// The saved file holds every record of the live log (its bytes are the export's unit test).
// Then another program holds that file open and shares it with nobody: after the dialog's own
// question (the file exists) the program says it could not save, naming the file.
constexpr Act SaveThenSaveToAHeldFile{[](GuiTest& t, const Step&) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    const std::wstring path =
        folder + (L"bxl-export-" + std::to_wstring(GetCurrentProcessId())) + L".txt";
    DeleteFileW(path.c_str());
    SaveAs(t, path);
    t.Run({Closed(kSave), NoBox(kErrorCaption)});  // the export comes first
    const std::string content = gui::ReadWholeFile(path);
    const size_t live = t.app_->Log().size();
    ASSERT_GE(live, 12u) << "the run logged too little";
    EXPECT_NE(content.find("Number of records logged: " + std::to_string(live) + "\r\n"),
              std::string::npos);
    HANDLE held = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SaveAs(t, path);
    const HWND save = t.dialog_;
    t.dialog_ = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
        for (HWND ask : t.app_->Dialogs(kSave)) {
            if (ask != save && GetDlgItem(ask, IDYES)) PostMessageW(ask, WM_COMMAND, IDYES, 0);
        }
        return !t.app_->Dialogs(kErrorCaption).empty();
    }));
    const std::wstring says = L"The event log could not be saved to\n" + path;
    t.Run({Box(says.c_str())});
    LARGE_INTEGER size = {};
    GetFileSizeEx(held, &size);
    EXPECT_EQ(size.QuadPart, 0) << "something was written into the held file";
    CloseHandle(held);
    DeleteFileW(path.c_str());
}};

constexpr const wchar_t* kResultsCards = L"--simulate=cards=2,only=1,corrupt=3";  // 1 corrupts
constexpr LPARAM kGreen = RGB(128, 255, 128), kRed = RGB(255, 64, 64);

const std::vector<Case> kCases = {
    {"StartsIdleRunsDisabledSavesShowsAboutRefusesANegativeDurationAndExits", L"--simulate",
     Seq(Mode(IDC_LOOPBACK_RADIO), Is(IDC_DURATION_EDIT, L"0"), Inputs(0, 1),
         StartUpNamesTheFirstCard(), Shot(L"main_window_at_rest"), Start(), Inputs(),
         Category(L"Loopback"), Stop(), Count(kPassed, 1), Count(L"Test failed"), Inputs(0, 1),
         SaveThenSaveToAHeldFile(), About(L"about_box", VK_RETURN), About(L"", VK_ESCAPE), About(),
         Type(IDC_DURATION_EDIT, L"-1"), Notify(IDC_DURATION_EDIT, EN_KILLFOCUS),
         Box(L"The duration must be 0 or greater."), Is(IDC_DURATION_EDIT, L"0"),
         Type(IDC_DURATION_EDIT, L"abc"), Notify(IDC_DURATION_EDIT, EN_KILLFOCUS),
         NoBox(kErrorCaption), Is(IDC_DURATION_EDIT, L"abc"), Click(IDC_EXIT), Exit(15000))},
    // Each pass logs a line and asks for a repaint of a screen-sized window, with no log file to
    // slow the test thread: the window port must still leave the refresh timer its turn to end
    // the run (unpaced, a run here took from 2 to over 15 s).
    {"FloodOfLogRecordsStillLetsTheRefreshTimerEndTheRun", L"--simulate",
     Seq(Enlarge(), OpenConfiguration(), Click(IDC_DETAILED_LOGGING), CloseWith(IDOK),
         Type(IDC_DURATION_EDIT, L"0.01"), ShortRunEndsByItself(), ShortRunEndsByItself(),
         ShortRunEndsByItself()),
     false, false, false},
    // Each change of card logs that card's seven lines; a selection of the same card, nothing.
    {"AnotherCardLogsItsLinesLayoutFollowsTheWindowAndTheWheelScrollsALineANotch", kResultsCards,
     Seq(FillLog(), Mark(), Notify(IDC_DEVICE_LIST, CBN_SELCHANGE), Grown(),
         LayoutFollowsTheWindow(), WheelScrollsALineANotch())},
    // Enter is command 1, which does nothing: never Exit, wherever the focus is, nor Stop.
    {"EnterLeavesItOpenTabMovesOnPowerChangeStopsAndCloseEndsWithoutASummary", L"--simulate",
     Seq(Focus(IDC_DURATION_EDIT), Key(IDC_DURATION_EDIT, VK_RETURN), Alive(),
         Focus(IDC_DEVICE_LIST), Key(IDC_DEVICE_LIST, VK_RETURN), Alive(),
         Focus(IDC_LOOPBACK_RADIO), Key(IDC_LOOPBACK_RADIO, VK_RETURN), Alive(),
         Focus(IDC_DURATION_EDIT), Key(IDC_DURATION_EDIT, VK_TAB), FocusMoved(), Start(),
         Category(L"Loopback"), Key(0, VK_RETURN), Alive(), Stop(), Count(kPassed, 1), Mark(),
         Start(), Category(L"Loopback"), Post(WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE),
         Record(L"Suspend", 0, L"ERROR"), Is(IDC_START_STOP, L"Start"), Count(kPassed, 2), Mark(),
         Start(), Category(L"Loopback"), Post(WM_CLOSE), Exit(5000), Count(L"Test passed", 2),
         Count(L"Test failed"))},
    // The first transfer blocks for 5 minutes, far beyond the closing waits (about 22.5 s):
    // the window is destroyed with the thread still inside it.
    {"ClosingGivesUpOnAStalledLoopback", L"--simulate=stall=300000",
     Seq(Start(), Record(L"Testing device "), Post(WM_CLOSE), Exit(120000))},
    {"NoCardIsReportedAndStartAsksForOne", L"--simulate=cards=0",
     Seq(Box(kNoCardsMessage), Main(), Record(kNoCardsRecord, 0, L"ERROR"), CardsListed(),
         Click(IDC_START_STOP),
         Box(L"Please select a PCIe device from the available devices list", 0,
             L"No card selected"),
         Is(IDC_START_STOP, L"Start")),
     true},
    {"UnknownArgumentIsRefused", L"--bogus", Seq(Refused(L"Unknown argument: --bogus")), true},
    {"LogFileWithoutANameIsRefused", L"--log-file=", Seq(Refused(L"--log-file")), true},
    {"UnknownSimulationItemIsRefusedByName", L"--simulate=warp=9", Seq(Refused(L"warp")), true},
    // Escape goes through the main window's dialog manager as command 2, Configure's id.
    {"ConfigurationOpensOnEscapeKeepsLoadInStepChecksTheConstantStoresOnOk", L"--simulate",
     Seq(Key(0, VK_ESCAPE), Dialog(kConfig), Shows(), ConfigurationIsModal(),
         Shot(L"config_dialog"), Key(0, VK_ESCAPE), Closed(kConfig), Start(), Inputs(),
         Key(0, VK_ESCAPE), NoBox(kConfig), Stop(), OpenConfiguration(), Focus(IDC_LOAD_EDIT),
         Type(IDC_LOAD_EDIT, L"40"), LoadAt(0, 40), Type(IDC_LOAD_EDIT, L"250"), LoadAt(0, 100),
         Is(IDC_LOAD_EDIT, L"250"), Focus(IDC_DETAILED_LOGGING), Is(IDC_LOAD_EDIT, L"100"),
         Focus(IDC_LOAD_EDIT), Type(IDC_LOAD_EDIT, L"55"), Focus(IDC_DETAILED_LOGGING),
         Is(IDC_LOAD_EDIT, L"55"), LoadAt(0, 55), MoveTrackbar(0, 37), Is(IDC_LOAD_EDIT, L"37"),
         // While dragging the edit follows the notification's position, and its change is not
         // sent back to the trackbar; the end of the drag reads the trackbar.
         Scroll(TB_THUMBTRACK, 42), Is(IDC_LOAD_EDIT, L"42"), Alive(), LoadAt(0, 37),
         Scroll(TB_ENDTRACK), Is(IDC_LOAD_EDIT, L"37"), Focus(IDC_CONSTANT_EDIT),
         Type(IDC_CONSTANT_EDIT, L"256"), Focus(IDC_STOP_ON_ERROR, 1), Box(kConstantWarning),
         Is(IDC_CONSTANT_EDIT, L"170"),
         // The box takes the focus from the edit, which reports it lost a second time.
         Focus(IDC_CONSTANT_EDIT), Type(IDC_CONSTANT_EDIT, L"300"),
         Notify(IDC_CONSTANT_EDIT, EN_KILLFOCUS), Box(kConstantWarning), NoBox(kErrorCaption),
         Is(IDC_CONSTANT_EDIT, L"170"), Focus(IDC_CONSTANT_EDIT), Type(IDC_CONSTANT_EDIT, L"255"),
         Focus(IDC_STOP_ON_ERROR), NoBox(kErrorCaption), Is(IDC_CONSTANT_EDIT, L"255"), ChangeAll(),
         Shows(0, 1), CloseWith(IDCANCEL), OpenConfiguration(), Shows(), ChangeAll(),
         CloseWith(IDOK), OpenConfiguration(), Shows(0, 1),
         // Enter is OK, which checks what leaving each edit checks: 257 is refused, the dialog
         // stays and stores nothing.
         Focus(IDC_CONSTANT_EDIT), Type(IDC_CONSTANT_EDIT, L"257"),
         Key(IDC_CONSTANT_EDIT, VK_RETURN), Box(kConstantWarning), Is(IDC_CONSTANT_EDIT, L"170"),
         CloseWith(IDCANCEL), OpenConfiguration(), Shows(0, 1),
         // A load of -5 is clamped as leaving the edit would, with a valid constant stored.
         Type(IDC_CONSTANT_EDIT, L"200"), Focus(IDC_LOAD_EDIT), Type(IDC_LOAD_EDIT, L"-5"),
         Key(IDC_LOAD_EDIT, VK_RETURN), Closed(kConfig), NoBox(kErrorCaption), OpenConfiguration(),
         Is(IDC_LOAD_EDIT, L"1"), LoadAt(0, 1), Is(IDC_CONSTANT_EDIT, L"200"), Focus(IDC_LOAD_EDIT),
         Type(IDC_LOAD_EDIT, L"100"), Key(IDC_LOAD_EDIT, VK_RETURN), Closed(kConfig),
         OpenConfiguration(), Is(IDC_LOAD_EDIT, L"100"), CloseWith(IDCANCEL),
         // The settings reach the test: a benchmark now only writes.
         Click(IDC_BENCHMARK_RADIO), Start(), Record(L"WRITING TO PCIE DEVICE"), Stop(),
         Count(L"READING THEN WRITING"))},
    {"BenchmarkShowsBothBarsAndPassAndErrorLinesShowGreenAndRed", kResultsCards,
     Seq(Click(IDC_BENCHMARK_RADIO), Mode(IDC_BENCHMARK_RADIO), Start(), BothBars(),
         Shot(L"benchmark_running"), Stop(), Record(L"Overall benchmark result:"), BothBars(),
         Count(L"", 0, L"Loopback"), Click(IDC_LOOPBACK_RADIO), Start(), Category(L"Loopback"),
         Stop(), Record(L"Test passed: "), LastLineIs(0, kGreen), Select(0, 1), Alive(), Start(),
         Record(L"PCIe data transfer error: "), Stop(), Record(L"Test failed: "),
         LastLineIs(0, kRed), Shot(L"loopback_failed"))},
    // The window on a scaled screen: CTest's gui_tests_144dpi and gui_tests_192dpi run this in
    // a program started at that dpi; on a 96-dpi screen it is skipped.
    {"ScaledScreenChartBandsAndLogGrowWithTheDpiAndNothingIsCut", kResultsCards,
     Seq(Click(IDC_BENCHMARK_RADIO), Alive(), Start(), BothBars(),
         Shot(L"benchmark_running_150_percent", 144), Stop(), ScaledPanelCutsNothing(), FillLog(),
         ScaledLogFillsThePanel()),
     false, true},
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }
INSTANTIATE_TEST_SUITE_P(Window, GuiTest, ::testing::ValuesIn(kCases), CaseName);

}  // namespace

// The program driven from outside on the simulated card. A case is a row: the arguments and
// steps, each something a user or the system does or something the window, its dialogs or its
// log must then show, run on a fresh program. What the portable tests check through the same
// code (log texts, the panel's drawing, the export's bytes) is not repeated here.
#include <gtest/gtest.h>
// The common controls and shell headers need windows.h before them.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
// clang-format on

#include <algorithm>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/resources/resource.h"
#include "display/log_view.h"
#include "display/scaled_canvas.h"
#include "display/window_layout.h"
#include "gui_harness_win.h"

namespace {

using gui::AppUnderTest;
using gui::LoggedRecord;
using gui::WaitUntil;

constexpr const wchar_t* kError = L"Brixlane Error";
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

bool Matches(const LoggedRecord& r, const std::wstring& prefix, const std::wstring& category) {
    return r.text.compare(0, prefix.size(), prefix) == 0 &&
           (category.empty() || r.category == category);
}
std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class GuiTest;
// Control ids of a step are the target's: the open dialog, else the main window.
using Step = std::function<void(GuiTest&)>;

struct Case {
    const char* name;
    std::wstring arguments;
    std::vector<Step> steps;
    // No main window expected at start-up; only on a scaled screen (the --dpi runs); with a
    // live log file, which the steps read.
    bool bare = false, scaled = false, logFile = true;
};

void PrintTo(const Case& row, std::ostream* out) { *out << row.name; }

class GuiTest : public ::testing::TestWithParam<Case> {
  public:
    HWND Target() const { return dialog_ ? dialog_ : window_; }
    HWND Item(int id) const { return id ? GetDlgItem(Target(), id) : Target(); }
    HWND Control(int id) const { return GetDlgItem(window_, id); }
    int Count(const std::wstring& prefix, const std::wstring& category) const {
        int found = 0;
        for (const LoggedRecord& record : app_->Log()) found += Matches(record, prefix, category);
        return found;
    }

    std::unique_ptr<AppUnderTest> app_;
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
    app_ = std::make_unique<AppUnderTest>(GetParam().arguments, GetParam().logFile);
    ASSERT_TRUE(app_->Started());
    if (!GetParam().bare) {
        ASSERT_NE(window_ = app_->WaitForMainWindow(), nullptr) << "no main window";
        ASSERT_TRUE(!GetParam().logFile ||
                    app_->WaitForRecord(L"Max Read Request Size: ", gui::kLongTimeoutMs) >= 0);
    }
    for (size_t i = 0; i < GetParam().steps.size() && !HasFatalFailure(); ++i) {
        SCOPED_TRACE("step " + std::to_string(i + 1));
        GetParam().steps[i](*this);
    }
}

Step Click(int id) {
    return [=](GuiTest& t) { PostMessageW(t.Item(id), BM_CLICK, 0, 0); };
}
Step Key(WPARAM key, int id = 0) {
    return [=](GuiTest& t) {
        PostMessageW(t.Item(id), WM_KEYDOWN, key, 1);
        PostMessageW(t.Item(id), WM_KEYUP, key, 0xC0000001);
    };
}
// WM_SETTEXT sends the edit's notifications, as typing would.
Step Type(int id, std::wstring text) {
    return [=](GuiTest& t) {
        gui::Send(t.Item(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    };
}
// Through the target's dialog manager, as Tab would; waits unless a box is to take the focus.
Step Focus(int id, bool wait = true) {
    return [=](GuiTest& t) {
        PostMessageW(t.Target(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(t.Item(id)), TRUE);
        EXPECT_TRUE(!wait || WaitUntil([&] { return gui::FocusOf(t.Target()) == t.Item(id); }));
    };
}
Step Post(UINT message, WPARAM wParam = 0, int id = 0) {
    return [=](GuiTest& t) {
        PostMessageW(t.Target(), message, wParam, id ? reinterpret_cast<LPARAM>(t.Item(id)) : 0);
    };
}
Step Notify(int id, int code) { return Post(WM_COMMAND, MAKEWPARAM(id, code), id); }
Step HScroll(int code, int position) {
    return Post(WM_HSCROLL, MAKEWPARAM(code, position), IDC_LOAD_TRACKBAR);
}
Step SendTo(int id, UINT message, WPARAM wParam, LPARAM lParam = 0) {
    return [=](GuiTest& t) { gui::Send(t.Item(id), message, wParam, lParam); };
}
std::vector<Step> Select(int card) {
    return {SendTo(IDC_DEVICE_LIST, CB_SETCURSEL, card), Notify(IDC_DEVICE_LIST, CBN_SELCHANGE)};
}
// Start or Stop pressed: the caption turns to the other (after a stop's summary).
Step Press(const wchar_t* caption, const wchar_t* then) {
    return [=](GuiTest& t) {
        ASSERT_EQ(gui::WindowText(t.Control(IDC_START_STOP)), caption);
        PostMessageW(t.Control(IDC_START_STOP), BM_CLICK, 0, 0);
        ASSERT_TRUE(WaitUntil([&] { return gui::WindowText(t.Control(IDC_START_STOP)) == then; },
                              gui::kLongTimeoutMs))
            << "still " << Narrow(caption);
    };
}
Step Start() { return Press(L"Start", L"Stop"); }
Step Stop() { return Press(L"Stop", L"Start"); }
Step Mark() {
    return [](GuiTest& t) { t.mark_ = t.app_->Log().size(); };
}

// A dialog opens and becomes the target, or closes and leaves the main window the target.
Step Dialog(std::wstring caption) {
    return [=](GuiTest& t) { ASSERT_NE(t.dialog_ = t.app_->WaitForDialog(caption), nullptr); };
}
Step Closed(std::wstring caption) {
    return [=](GuiTest& t) {
        ASSERT_TRUE(WaitUntil([&] { return t.app_->Dialogs(caption).empty(); })) << "still open";
        t.dialog_ = nullptr;
    };
}
Step Main() {
    return [](GuiTest& t) { ASSERT_NE(t.window_ = t.app_->WaitForMainWindow(), nullptr); };
}
Step Is(int id, std::wstring text) {
    return [=](GuiTest& t) {
        EXPECT_TRUE(WaitUntil([&] { return gui::WindowText(t.Item(id)) == text; }))
            << "control " << id << " shows " << Narrow(gui::WindowText(t.Item(id)));
    };
}
Step Sends(int id, UINT message, LRESULT value) {
    return [=](GuiTest& t) {
        EXPECT_TRUE(WaitUntil([&] { return gui::Send(t.Item(id), message) == value; }))
            << "control " << id << " answers " << gui::Send(t.Item(id), message);
    };
}
Step Checked(int id, bool checked = true) { return Sends(id, BM_GETCHECK, checked); }
Step Enabled(int id, bool enabled) {
    return [=](GuiTest& t) {
        EXPECT_TRUE(WaitUntil([&] { return (IsWindowEnabled(t.Control(id)) != FALSE) == enabled; }))
            << "control " << id << (enabled ? " disabled" : " enabled");
    };
}
std::vector<Step> AllEnabled(bool enabled) {
    std::vector<Step> steps = {Enabled(IDC_START_STOP, true), Enabled(IDC_ABOUT, true)};
    for (int id : kTestInputs) steps.push_back(Enabled(id, enabled));
    return steps;
}
// A message box owned by the target (if up) that says `says`; the only one; dismissed.
Step Box(std::wstring caption, std::wstring says) {
    return [=](GuiTest& t) {
        HWND box = t.app_->WaitForDialog(caption);
        ASSERT_NE(box, nullptr) << "no message box";
        const std::wstring text = gui::MessageBoxText(box);
        EXPECT_NE(text.find(says), std::wstring::npos) << Narrow(text);
        EXPECT_TRUE(!t.window_ || GetWindow(box, GW_OWNER) == t.Target()) << "owner";
        EXPECT_TRUE(!t.window_ || t.app_->Barrier());
        EXPECT_EQ(t.app_->Dialogs(caption).size(), 1u) << "more than one box";
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitUntil([&] { return t.app_->Dialogs(caption).empty(); }));
    };
}
Step Alive() {
    return [](GuiTest& t) { EXPECT_TRUE(t.app_->Barrier() && t.app_->Running()) << "it ended"; };
}
// With the queue handled, no such dialog, shown or not.
Step NoBox(std::wstring caption) {
    return [=](GuiTest& t) {
        ASSERT_TRUE(t.app_->Barrier());
        EXPECT_TRUE(t.app_->Dialogs(caption, true).empty()) << "a dialog opened";
    };
}
Step Record(std::wstring prefix, std::wstring category = {}) {
    return [=](GuiTest& t) {
        EXPECT_TRUE(WaitUntil([&] { return t.Count(prefix, category) > 0; }, gui::kLongTimeoutMs))
            << "no record " << Narrow(prefix) << " of " << Narrow(category);
    };
}
Step Category(std::wstring category) { return Record({}, std::move(category)); }
Step Count(std::wstring prefix, int count, std::wstring category = {}) {
    return [=](GuiTest& t) {
        ASSERT_TRUE(!t.app_->Running() || t.app_->Barrier());
        EXPECT_EQ(t.Count(prefix, category), count) << Narrow(prefix);
    };
}
// Exactly `records` more records than at the mark, once the queue is handled.
Step Grown(size_t records) {
    return [=](GuiTest& t) {
        EXPECT_TRUE(WaitUntil([&] { return t.app_->Log().size() >= t.mark_ + records; }));
        ASSERT_TRUE(t.app_->Barrier());
        EXPECT_EQ(t.app_->Log().size(), t.mark_ + records);
    };
}
Step Exit(DWORD status, DWORD bound) {
    return [=](GuiTest& t) {
        DWORD code = 99;
        ASSERT_TRUE(t.app_->WaitForExit(bound, &code)) << "still running";
        EXPECT_EQ(code, status);
    };
}
Step Shot(std::wstring name) {
    return [=](GuiTest& t) { gui::SaveScreenshot(t.Target(), name); };
}

void Append(std::vector<Step>& steps, Step step) { steps.push_back(std::move(step)); }
void Append(std::vector<Step>& steps, const std::vector<Step>& more) {
    steps.insert(steps.end(), more.begin(), more.end());
}
template <typename... Parts>
std::vector<Step> Seq(Parts&&... parts) {
    std::vector<Step> steps;
    (Append(steps, std::forward<Parts>(parts)), ...);
    return steps;
}

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

// The background colour of every log line the panel shows, top to bottom.
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
bool ShowsBothBars(const GuiTest& t) {
    const gui::Picture panel = Panel(t);
    const Axis axis = FindAxis(panel, t.dpi_);
    auto bar = [&](int units) {
        const COLORREF colour = panel.At(axis.x + Px(units, t.dpi_), axis.bottom - 2);
        return std::find(std::begin(kBarColours), std::end(kBarColours), colour) !=
               std::end(kBarColours);
    };
    return axis.x >= 0 && bar(9) && bar(18);
}
Step BothBars() {
    return Step(
        [](GuiTest& t) { EXPECT_TRUE(WaitUntil([&] { return ShowsBothBars(t); })) << "no bars"; });
}

Step LastLineIs(COLORREF colour) {
    return [colour](GuiTest& t) {
        std::vector<COLORREF> colours;
        EXPECT_TRUE(WaitUntil([&] {
            colours = LogLineColours(Panel(t), t.dpi_);
            return !colours.empty() && colours.back() == colour;
        })) << std::hex
            << (colours.empty() ? 0 : colours.back());
    };
}

// More records than the panel shows, even two lines taller: each change of card logs that
// card's seven lines (cards=2).
Step FillLog() {
    return [](GuiTest& t) {
        const size_t shown = LinesShown(t);
        for (int card = 1; t.app_->Log().size() < shown + 3 * 7 && !t.HasFatalFailure();
             card = 1 - card) {
            for (const Step& step : Seq(Mark(), Select(card), Grown(7))) step(t);
        }
    };
}

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
void LayoutFollowsTheWindow(GuiTest& t) {
    const UINT keep = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(t.window_, nullptr, 0, 0, 300, 200, keep);
    ASSERT_TRUE(t.app_->Barrier());
    RECT outer = {};
    GetWindowRect(t.window_, &outer);
    EXPECT_EQ(outer.right - outer.left, 750) << "narrower than the least width";
    EXPECT_EQ(outer.bottom - outer.top, 530) << "lower than the least height";
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
}

// Towards the user is up; half a notch waits for the other half; one message moves one line
// however far the wheel turned; neither end is passed.
void WheelScrollsALineANotch(GuiTest& t) {
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
}

// A full log of 10000 records (a detailed loopback logs a line a pass) scrolled to its middle
// shows as many lines as before, all loopback lines.
void TenThousandRecordsScrolledToTheMiddle(GuiTest& t) {
    const int last = ScrollPosition(t);
    const int shown = static_cast<int>(LinesShown(t));
    EXPECT_EQ(last + shown, 10000) << "the view does not end at the newest of 10000 records";
    const LPARAM bar = reinterpret_cast<LPARAM>(t.Control(IDC_LOG_SCROLLBAR));
    PostMessageW(t.window_, WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, last / 2), bar);
    PostMessageW(t.window_, WM_VSCROLL, MAKEWPARAM(SB_ENDSCROLL, 0), bar);
    ASSERT_TRUE(t.app_->Barrier());
    EXPECT_EQ(ScrollPosition(t), last / 2);
    EXPECT_EQ(LogLineColours(Panel(t), t.dpi_),
              std::vector<COLORREF>(static_cast<size_t>(shown), RGB(150, 255, 255)));
}

// On a scaled screen the chart's scale, its labels, the header bands and the log lines grow
// with the dpi, and no text is cut at the edges of its strip or band.
void ScaledPanelCutsNothing(GuiTest& t) {
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
}

void ScaledLogFillsThePanel(GuiTest& t) {
    const int units = WholeUnitsIn(gui::ClientSize(t.Control(IDC_RESULTS_PANEL)).cy, t.dpi_);
    EXPECT_EQ(static_cast<int>(LinesShown(t)), LinesPerPage(units));
}

// The program's line, the card's name as the list shows it, then the card's seven lines.
void StartUpNamesTheFirstCard(GuiTest& t) {
    HWND devices = t.Control(IDC_DEVICE_LIST);
    ASSERT_EQ(gui::Send(devices, CB_GETCOUNT), 1);
    EXPECT_EQ(gui::Send(devices, CB_GETCURSEL), 0);
    const std::vector<LoggedRecord> log = t.app_->Log();
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[1].text, gui::ComboEntry(devices, 0));
    EXPECT_TRUE(Matches(log[1], L"PCIe-0, Windows ID:{", {})) << Narrow(log[1].text);
}

// Modal, owned by the main window, without a system menu; its block sizes.
void ConfigurationIsModal(GuiTest& t) {
    EXPECT_FALSE(IsWindowEnabled(t.window_));
    EXPECT_EQ(GetWindow(t.dialog_, GW_OWNER), t.window_);
    EXPECT_EQ(GetWindowLongW(t.dialog_, GWL_STYLE) & (WS_SYSMENU | WS_CAPTION), WS_CAPTION);
    std::vector<std::wstring> sizes;
    for (int i = 0; i < gui::Send(t.Item(IDC_BLOCK_SIZE_LIST), CB_GETCOUNT); ++i) {
        sizes.push_back(gui::ComboEntry(t.Item(IDC_BLOCK_SIZE_LIST), i));
    }
    EXPECT_EQ(sizes, (std::vector<std::wstring>{L"1MB", L"2MB", L"4MB", L"8MB", L"16MB", L"32MB",
                                                L"64MB"}));
}

// What the configuration dialog shows. A fresh start's: incrementing is checked although the
// constant radio says "(default)".
struct Settings {
    const wchar_t *load, *constant;
    int blockIndex, direction, pattern;
    bool detailed, stop;
};
constexpr Settings kDefaults = {L"100", L"170", 3, IDC_READ_WRITE_RADIO, IDC_INCREMENTING_RADIO,
                                false,  false};
constexpr Settings kChanged = {L"37", L"99", 6, IDC_WRITE_RADIO, IDC_RANDOM_RADIO, true, true};

std::vector<Step> Shows(const Settings& s) {
    std::vector<Step> steps = {Is(IDC_LOAD_EDIT, s.load),
                               Is(IDC_CONSTANT_EDIT, s.constant),
                               Sends(IDC_LOAD_TRACKBAR, TBM_GETPOS, std::stoi(s.load)),
                               Sends(IDC_BLOCK_SIZE_LIST, CB_GETCURSEL, s.blockIndex),
                               Checked(IDC_DETAILED_LOGGING, s.detailed),
                               Checked(IDC_STOP_ON_ERROR, s.stop)};
    for (int id : {IDC_READ_RADIO, IDC_WRITE_RADIO, IDC_READ_WRITE_RADIO, IDC_CONSTANT_RADIO,
                   IDC_INCREMENTING_RADIO, IDC_RANDOM_RADIO}) {
        steps.push_back(Checked(id, id == s.direction || id == s.pattern));
    }
    return steps;
}
// Every control changed as a user would, to kChanged.
const std::vector<Step> kChangeAll = {SendTo(IDC_LOAD_TRACKBAR, TBM_SETPOS, TRUE, 37),
                                      HScroll(TB_THUMBPOSITION, 37),
                                      SendTo(IDC_BLOCK_SIZE_LIST, CB_SETCURSEL, 6),
                                      Click(IDC_WRITE_RADIO),
                                      Click(IDC_RANDOM_RADIO),
                                      Type(IDC_CONSTANT_EDIT, L"99"),
                                      Click(IDC_DETAILED_LOGGING),
                                      Click(IDC_STOP_ON_ERROR)};
const std::vector<Step> kOpenConfiguration = {Click(IDC_CONFIGURE), Dialog(kConfig)};
std::vector<Step> CloseWith(int button) { return {Click(button), Closed(kConfig)}; }
const std::vector<Step> kDetailedLogging = Seq(kOpenConfiguration, Click(IDC_DETAILED_LOGGING),
                                               Checked(IDC_DETAILED_LOGGING), CloseWith(IDOK));

// A 0.01-minute run ends at the refresh timer's first tick after 0 whole seconds; five
// seconds are the bound for about one.
const std::vector<Step> kShortRunEndsByItself = {
    Start(), [](GuiTest& t) {
        EXPECT_TRUE(
            WaitUntil([&] { return gui::WindowText(t.Control(IDC_START_STOP)) == L"Start"; }, 5000))
            << "the refresh timer was starved";
    }};
// The load typed, then the edit left: it then shows `left`.
std::vector<Step> LoadLeft(const wchar_t* typed, const wchar_t* left) {
    return {Focus(IDC_LOAD_EDIT), Type(IDC_LOAD_EDIT, typed), Focus(IDC_DETAILED_LOGGING),
            Is(IDC_LOAD_EDIT, left)};
}

void OwnedWithoutSystemMenu(GuiTest& t) {
    EXPECT_EQ(GetWindowLongW(t.dialog_, GWL_STYLE) & WS_SYSMENU, 0);
    EXPECT_EQ(GetWindow(t.dialog_, GW_OWNER), t.window_);
}
// The about box shows the version and closes with `close`.
std::vector<Step> AboutClosedBy(Step close) {
    return Seq(Click(IDC_ABOUT), Dialog(kAbout), Step(OwnedWithoutSystemMenu),
               Is(IDC_VERSION_TEXT, L"Brixlanetool V1.0 (1001) WIN64"),
               Is(IDC_WEB_ADDRESS, L"www.korvenix.example"),
               Is(IDC_NOTICE_TEXT, L"\u00A9 2026 Korvenix. All rights reserved."),
               Shot(L"about_box"), std::move(close), Closed(kAbout));
}

std::wstring TemporaryPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return folder + (name + std::to_wstring(GetCurrentProcessId())) + L".txt";
}

// Save pressed; in its dialog, owned by the main window, the proposal is BrixlaneLog.txt in a
// folder of our own under the documents, made for it; `path` named and Save pressed.
void SaveAs(GuiTest& t, const std::wstring& path) {
    for (const Step& step : {Click(IDC_SAVE_LOG), Dialog(kSave)}) step(t);
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

// The saved file: four lines of header, then every record of the live log (the bytes of each
// line are the export's unit test).
void SavedFileHoldsTheLog(GuiTest& t) {
    const std::wstring path = TemporaryPath(L"bxl-export-");
    DeleteFileW(path.c_str());
    SaveAs(t, path);
    for (const Step& step : {Closed(kSave), NoBox(kError)}) step(t);  // the export comes first
    const std::string content = gui::ReadWholeFile(path);
    DeleteFileW(path.c_str());
    const size_t live = t.app_->Log().size();
    ASSERT_GE(live, 12u) << "the run logged too little";
    size_t lines = 0;
    for (size_t at = 0; (at = content.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines, live + 4);
    EXPECT_NE(content.find("Number of records logged: " + std::to_string(live) + "\r\n"),
              std::string::npos);
}

// Another program holds the file open and shares it with nobody: after the dialog's own
// question (the file exists) the program says it could not save, naming the file.
void HeldFileIsReportedByName(GuiTest& t) {
    const std::wstring path = TemporaryPath(L"bxl-held-");
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
        return !t.app_->Dialogs(kError).empty();
    }));
    Box(kError, L"The event log could not be saved to\n" + path)(t);
    LARGE_INTEGER size = {};
    GetFileSizeEx(held, &size);
    EXPECT_EQ(size.QuadPart, 0) << "something was written into the held file";
    CloseHandle(held);
    DeleteFileW(path.c_str());
}
// Arguments the program cannot use: a box naming the problem, then exit status 2.
std::vector<Step> Refused(std::wstring says) {
    return {Box(L"Brixlanetool", says), Exit(2, 15000)};
}

constexpr const wchar_t* kResultsCards = L"--simulate=cards=2,only=1,corrupt=3";  // 1 corrupts

const std::vector<Case> kCases = {
    {"StartsIdleWithTheFirstCardListedAndDescribed", L"--simulate",
     Seq(Checked(IDC_LOOPBACK_RADIO), Checked(IDC_BENCHMARK_RADIO, false),
         Is(IDC_DURATION_EDIT, L"0"), Is(IDC_START_STOP, L"Start"), AllEnabled(true),
         Step(StartUpNamesTheFirstCard), Shot(L"main_window_at_rest"))},
    {"RunDisablesTheTestInputsUntilItsSummary", L"--simulate",
     Seq(Start(), AllEnabled(false), Category(L"Loopback"), Stop(), Count(kPassed, 1),
         Count(L"Test failed", 0), AllEnabled(true))},
    // Each pass logs a line and asks for a repaint of a screen-sized window, with no log file to
    // slow the test thread: the window port must still leave the refresh timer its turn to end
    // the run (unpaced, a run here took from 2 to over 15 s).
    {"FloodOfLogRecordsStillLetsTheRefreshTimerEndTheRun", L"--simulate",
     Seq(Step([](GuiTest& t) {
             SetWindowPos(t.window_, nullptr, 0, 0, 2500, 1550, SWP_NOZORDER | SWP_NOACTIVATE);
             ASSERT_TRUE(t.app_->Barrier());
         }),
         kDetailedLogging, Type(IDC_DURATION_EDIT, L"0.01"), kShortRunEndsByItself,
         kShortRunEndsByItself, kShortRunEndsByItself),
     false, false, false},
    {"NegativeDurationIsWarnedAboutAndOtherTextsAreNot", L"--simulate",
     Seq(Type(IDC_DURATION_EDIT, L"-1"), Notify(IDC_DURATION_EDIT, EN_KILLFOCUS),
         Box(kError, L"The duration must be 0 or greater."), Is(IDC_DURATION_EDIT, L"0"),
         Type(IDC_DURATION_EDIT, L"abc"), Notify(IDC_DURATION_EDIT, EN_KILLFOCUS), NoBox(kError),
         Is(IDC_DURATION_EDIT, L"abc"))},
    {"LayoutFollowsTheWindowSize", kResultsCards, Seq(FillLog(), Step(LayoutFollowsTheWindow))},
    {"ClosingDuringALoopbackEndsPromptlyWithoutASummary", L"--simulate",
     Seq(Start(), Category(L"Loopback"), Post(WM_CLOSE), Exit(0, 5000), Count(L"Test passed", 0),
         Count(L"Test failed", 0))},
    // The first transfer blocks for 5 minutes, far beyond the closing waits (about 22.5 s); the
    // closing sequence's unit test stalls a benchmark too.
    {"ClosingGivesUpOnAStalledLoopback", L"--simulate=stall=300000",
     Seq(Start(), Record(L"Testing device "), Post(WM_CLOSE), Exit(0, 120000))},
    {"PowerStatusChangeStopsTheRunAndLogsSuspend", L"--simulate",
     Seq(Start(), Category(L"Loopback"), Post(WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE),
         Record(L"Suspend", L"ERROR"), Is(IDC_START_STOP, L"Start"), Count(kPassed, 1))},
    // Enter is command 1, which does nothing: never Exit, wherever the focus is, nor Stop.
    {"EnterLeavesTheProgramOpenAndTabMovesTheFocus", L"--simulate",
     Seq(Focus(IDC_DURATION_EDIT), Key(VK_RETURN, IDC_DURATION_EDIT), Alive(),
         Focus(IDC_DEVICE_LIST), Key(VK_RETURN, IDC_DEVICE_LIST), Alive(),
         Focus(IDC_LOOPBACK_RADIO), Key(VK_RETURN, IDC_LOOPBACK_RADIO), Alive(),
         Focus(IDC_DURATION_EDIT), Key(VK_TAB, IDC_DURATION_EDIT), Step([](GuiTest& t) {
             EXPECT_TRUE(WaitUntil([&] {
                 const HWND focus = gui::FocusOf(t.window_);
                 return focus && focus != t.Control(IDC_DURATION_EDIT);
             })) << "Tab did not move the focus on";
         }),
         Start(), Category(L"Loopback"), Key(VK_RETURN), Alive(), Is(IDC_START_STOP, L"Stop"),
         Stop(), Count(kPassed, 1))},
    {"ExitButtonEndsTheProgram", L"--simulate", Seq(Click(IDC_EXIT), Exit(0, 15000))},
    {"SelectingAnotherCardLogsItsLinesAndReselectingNothing", L"--simulate=cards=2",
     Seq(Mark(), Select(1), Grown(7), Mark(), Notify(IDC_DEVICE_LIST, CBN_SELCHANGE), Grown(0))},
    {"SelectingACardThatWillNotOpenLogsWhy", L"--simulate=cards=2,only=1,no-open",
     Seq(Mark(), Select(1), Record(L"The card could not be opened.", L"ERROR"), Grown(1))},
    {"NoCardIsReportedAndStartAsksForOne", L"--simulate=cards=0",
     Seq(Box(kError,
             L"No Korvenix PCIe Gen4 test cards have been detected.\n\nPlease check you have "
             L"installed:\n- a Korvenix PCIe Gen 4 test card and\n- the latest Korvenix PCIe "
             L"test card device drivers.\n"),
         Main(), Record(L"No Korvenix PCIe test cards have been detected.", L"ERROR"),
         Sends(IDC_DEVICE_LIST, CB_GETCOUNT, 0), Click(IDC_START_STOP),
         Box(L"No card selected", L"Please select a PCIe device from the available devices list"),
         Is(IDC_START_STOP, L"Start")),
     true},
    {"UnknownArgumentIsRefused", L"--bogus", Refused(L"Unknown argument: --bogus"), true},
    {"LogFileWithoutANameIsRefused", L"--log-file=", Refused(L"--log-file"), true},
    {"BadSimulationItemsAreRefusedByName", L"--simulate=cards=many", Refused(L"cards"), true},
    {"UnknownSimulationItemIsRefusedByName", L"--simulate=warp=9", Refused(L"warp"), true},
    // Escape goes through the main window's dialog manager as command 2, Configure's id.
    {"EscapeOpensTheConfigurationWithTheDefaultsOnlyWhileNoTestRuns", L"--simulate",
     Seq(Key(VK_ESCAPE), Dialog(kConfig), Shows(kDefaults),
         Sends(IDC_LOAD_TRACKBAR, TBM_GETRANGEMIN, 1),
         Sends(IDC_LOAD_TRACKBAR, TBM_GETRANGEMAX, 100),
         Sends(IDC_LOAD_TRACKBAR, TBM_GETNUMTICS, 11), Step(ConfigurationIsModal),
         Shot(L"config_dialog"), Key(VK_ESCAPE), Closed(kConfig), Start(),
         Enabled(IDC_CONFIGURE, false), Key(VK_ESCAPE), NoBox(kConfig), Stop())},
    {"LoadTrackbarAndEditKeepInStep", L"--simulate",
     Seq(kOpenConfiguration, Focus(IDC_LOAD_EDIT), Type(IDC_LOAD_EDIT, L"40"),
         Sends(IDC_LOAD_TRACKBAR, TBM_GETPOS, 40), Type(IDC_LOAD_EDIT, L"250"),
         Sends(IDC_LOAD_TRACKBAR, TBM_GETPOS, 100), Is(IDC_LOAD_EDIT, L"250"),
         LoadLeft(L"250", L"100"), LoadLeft(L"55", L"55"), Sends(IDC_LOAD_TRACKBAR, TBM_GETPOS, 55),

         SendTo(IDC_LOAD_TRACKBAR, TBM_SETPOS, TRUE, 37), HScroll(TB_THUMBPOSITION, 37),
         Is(IDC_LOAD_EDIT, L"37"),
         // While dragging the edit follows the notification's position, and its change is
         // not sent back to the trackbar; the end of the drag reads the trackbar.
         HScroll(TB_THUMBTRACK, 42), Is(IDC_LOAD_EDIT, L"42"), Alive(),
         Sends(IDC_LOAD_TRACKBAR, TBM_GETPOS, 37), HScroll(TB_ENDTRACK, 0),
         Is(IDC_LOAD_EDIT, L"37"), CloseWith(IDCANCEL))},
    {"ConstantOutsideZeroTo255IsWarnedAboutOnceAndReset", L"--simulate",
     Seq(kOpenConfiguration, Focus(IDC_CONSTANT_EDIT), Type(IDC_CONSTANT_EDIT, L"256"),
         Focus(IDC_STOP_ON_ERROR, false), Box(kError, kConstantWarning),
         Is(IDC_CONSTANT_EDIT, L"170"),
         // The box takes the focus from the edit, which reports it lost a second time.
         Focus(IDC_CONSTANT_EDIT), Type(IDC_CONSTANT_EDIT, L"300"),
         Notify(IDC_CONSTANT_EDIT, EN_KILLFOCUS), Box(kError, kConstantWarning), NoBox(kError),
         Is(IDC_CONSTANT_EDIT, L"170"), Focus(IDC_CONSTANT_EDIT), Type(IDC_CONSTANT_EDIT, L"255"),
         Focus(IDC_STOP_ON_ERROR), NoBox(kError), Is(IDC_CONSTANT_EDIT, L"255"),
         CloseWith(IDCANCEL))},
    {"CancelChangesNothingAndOkStoresEverySetting", L"--simulate",
     Seq(kOpenConfiguration, kChangeAll, Shows(kChanged), CloseWith(IDCANCEL), kOpenConfiguration,
         Shows(kDefaults), kChangeAll, CloseWith(IDOK), kOpenConfiguration, Shows(kChanged),
         // Enter is OK, which checks what leaving each edit checks: 257 is refused, the
         // dialog stays and stores nothing.
         Focus(IDC_CONSTANT_EDIT), Type(IDC_CONSTANT_EDIT, L"257"),
         Key(VK_RETURN, IDC_CONSTANT_EDIT), Box(kError, kConstantWarning),
         Is(IDC_CONSTANT_EDIT, L"170"), CloseWith(IDCANCEL), kOpenConfiguration, Shows(kChanged),
         // A load of -5 is clamped as leaving the edit would, with a valid constant stored.
         Type(IDC_CONSTANT_EDIT, L"200"), Focus(IDC_LOAD_EDIT), Type(IDC_LOAD_EDIT, L"-5"),
         Key(VK_RETURN, IDC_LOAD_EDIT), Closed(kConfig), NoBox(kError), kOpenConfiguration,
         Is(IDC_LOAD_EDIT, L"1"), Sends(IDC_LOAD_TRACKBAR, TBM_GETPOS, 1),
         Is(IDC_CONSTANT_EDIT, L"200"), Focus(IDC_LOAD_EDIT), Type(IDC_LOAD_EDIT, L"100"),
         Key(VK_RETURN, IDC_LOAD_EDIT), Closed(kConfig), kOpenConfiguration,
         Is(IDC_LOAD_EDIT, L"100"), CloseWith(IDCANCEL),
         // The settings reach the test: a benchmark now only writes.
         Click(IDC_BENCHMARK_RADIO), Start(), Record(L"WRITING TO PCIE DEVICE"), Stop(),
         Count(L"READING THEN WRITING", 0))},
    {"AboutBoxShowsTheVersionAndClosesOnEnterEscapeAndOk", L"--simulate",
     Seq(AboutClosedBy(Key(VK_RETURN)), AboutClosedBy(Key(VK_ESCAPE)), AboutClosedBy(Click(IDOK)))},
    {"SavedFileHoldsTheEventLog", L"--simulate",
     Seq(Start(), Category(L"Loopback"), Stop(), Step(SavedFileHoldsTheLog))},
    {"FileThatCannotBeWrittenIsReportedByName", L"--simulate", Seq(Step(HeldFileIsReportedByName))},
    {"WheelScrollsTheLogALineANotchWithinItsEnds", kResultsCards,
     Seq(FillLog(), Step(WheelScrollsALineANotch))},
    {"PassAndErrorLinesShowGreenAndRed", kResultsCards,
     Seq(Start(), Category(L"Loopback"), Stop(), Record(L"Test passed: "),
         LastLineIs(RGB(128, 255, 128)), Select(1), Alive(), Start(),
         Record(L"PCIe data transfer error: "), Stop(), Record(L"Test failed: "),
         LastLineIs(RGB(255, 64, 64)), Shot(L"loopback_failed"))},
    {"BenchmarkShowsBothBarsDuringAndAfterTheRun", kResultsCards,
     Seq(Click(IDC_BENCHMARK_RADIO), Checked(IDC_BENCHMARK_RADIO),
         Checked(IDC_LOOPBACK_RADIO, false), Start(), BothBars(), Shot(L"benchmark_running"),
         Stop(), Record(L"Overall benchmark result:"), BothBars(), Count(L"", 0, L"Loopback"))},
    {"TenThousandRecordsScrolledToTheMiddle", kResultsCards,
     Seq(kDetailedLogging, Start(), Step([](GuiTest& t) {
             ASSERT_TRUE(WaitUntil([&] { return t.app_->Log().size() > 10100; }, 120000));
         }),
         Stop(), Alive(), Step(TenThousandRecordsScrolledToTheMiddle),
         Shot(L"log_10000_records_middle"))},
};

// The window on a scaled screen: CTest's gui_tests_144dpi and gui_tests_192dpi run these in a
// program started at that dpi; on a 96-dpi screen they are skipped.
const std::vector<Case> kScaledCases = {
    {"ChartBandsAndLogGrowWithTheDpiAndNothingIsCut", kResultsCards,
     Seq(Click(IDC_BENCHMARK_RADIO), Alive(), Start(), BothBars(), Step([](GuiTest& t) {
             if (t.dpi_ == 144) gui::SaveScreenshot(t.window_, L"benchmark_running_150_percent");
         }),
         Stop(), Step(ScaledPanelCutsNothing), FillLog(), Step(ScaledLogFillsThePanel)),
     false, true},
};

std::string CaseName(const ::testing::TestParamInfo<Case>& info) { return info.param.name; }
INSTANTIATE_TEST_SUITE_P(Window, GuiTest, ::testing::ValuesIn(kCases), CaseName);
INSTANTIATE_TEST_SUITE_P(ScaledScreen, GuiTest, ::testing::ValuesIn(kScaledCases), CaseName);

}  // namespace

// The main window driven from outside, on the simulated card: its start-up state, a run
// started and stopped from the button, the duration check, the layout when the window is
// resized, closing during a run, and the power-status notification.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "program_test_win.h"

namespace {

using gui::AppUnderTest;
using gui::LoggedRecord;

constexpr const wchar_t* kErrorCaption = L"Brixlane Error";
constexpr const wchar_t* kIdentification = L"Korvenix Brixlanetool V1.0 1001";
constexpr const wchar_t* kFirstCardPrefix = L"PCIe-0, Windows ID:{";
constexpr const wchar_t* kTestPassed = L"Test passed: PCIe-0, Windows ID:{";
constexpr const wchar_t* kNoCardsMessage =
    L"No Korvenix PCIe Gen4 test cards have been detected.\n\nPlease check you have "
    L"installed:\n- a Korvenix PCIe Gen 4 test card and\n- the latest Korvenix PCIe test card "
    L"device drivers.\n";
constexpr const wchar_t* kInformationLines[] = {
    L"Card Hardware Version: ", L"Card Firmware Version: ", L"Device Driver Version: ",
    L"Link Speed: Gen",         L"Link Width: x",           L"Max Payload Size: ",
    L"Max Read Request Size: ",
};

// What a run disables, and what stays usable so the run can be stopped and the about box
// opened.
constexpr int kTestInputs[] = {IDC_DEVICE_LIST,   IDC_DURATION_LABEL, IDC_MINUTES_LABEL,
                               IDC_DURATION_EDIT, IDC_LOOPBACK_RADIO, IDC_BENCHMARK_RADIO,
                               IDC_CONFIGURE,     IDC_SAVE_LOG,       IDC_EXIT};
constexpr int kAlwaysEnabled[] = {IDC_START_STOP, IDC_ABOUT};

// Controls that follow the right edge, and those that stay where the template put them.
constexpr int kRightHandControls[] = {IDC_START_STOP, IDC_CONFIGURE, IDC_SAVE_LOG,
                                      IDC_ABOUT,      IDC_EXIT,      IDC_LOG_SCROLLBAR};
constexpr int kFixedControls[] = {IDC_SELECT_GROUP,   IDC_DEVICE_LABEL,   IDC_DEVICE_LIST,
                                  IDC_DURATION_LABEL, IDC_DURATION_EDIT,  IDC_MINUTES_LABEL,
                                  IDC_MODE_GROUP,     IDC_LOOPBACK_RADIO, IDC_BENCHMARK_RADIO,
                                  IDC_CARD_PICTURE,   IDC_CHART_FRAME};

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

int CountRecords(const std::vector<LoggedRecord>& records, const std::wstring& prefix) {
    int count = 0;
    for (const LoggedRecord& record : records) count += StartsWith(record.text, prefix) ? 1 : 0;
    return count;
}

class MainWindowTest : public gui::ProgramTest {
  protected:
    void SetUp() override { Launch(); }
};

TEST_F(MainWindowTest, StartsIdleWithTheFirstCardListedAndDescribed) {
    EXPECT_TRUE(gui::Checked(Control(IDC_LOOPBACK_RADIO)));
    EXPECT_FALSE(gui::Checked(Control(IDC_BENCHMARK_RADIO)));
    EXPECT_EQ(gui::WindowText(Control(IDC_DURATION_EDIT)), L"0");
    EXPECT_EQ(Caption(), L"Start");
    EXPECT_TRUE(IsWindowEnabled(Control(IDC_START_STOP)));
    for (int id : kTestInputs) EXPECT_TRUE(IsWindowEnabled(Control(id))) << "control " << id;

    HWND devices = Control(IDC_DEVICE_LIST);
    ASSERT_EQ(gui::ComboCount(devices), 1);
    const std::wstring entry = gui::ComboEntry(devices, 0);
    EXPECT_TRUE(StartsWith(entry, kFirstCardPrefix)) << entry.c_str();
    EXPECT_EQ(entry.back(), L'}');
    EXPECT_EQ(SendMessageW(devices, CB_GETCURSEL, 0, 0), 0);

    // The identification line, the card's name, then its seven lines, in this order.
    const std::vector<LoggedRecord> log = app_->Log();
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[0].text, kIdentification);
    EXPECT_EQ(log[1].text, entry);
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_TRUE(StartsWith(log[2 + i].text, kInformationLines[i])) << log[2 + i].text.c_str();
    }
    for (const LoggedRecord& record : log) EXPECT_EQ(record.category, L"Information");

    gui::SaveScreenshot(window_, L"main_window_at_rest");
}

TEST_F(MainWindowTest, StartDisablesTheTestInputsAndStopRestoresThemAfterTheSummary) {
    StartRun();
    for (int id : kTestInputs) {
        EXPECT_TRUE(gui::WaitUntil([&] { return !IsWindowEnabled(Control(id)); }))
            << "control " << id << " still enabled";
    }
    for (int id : kAlwaysEnabled) EXPECT_TRUE(IsWindowEnabled(Control(id))) << "control " << id;
    WaitForCategory(L"Loopback");
    gui::SaveScreenshot(window_, L"main_window_running");

    StopRun();
    // The live log is written on the logging thread before it posts the caption change, so
    // whatever the caption shows, the log already holds: the summary came first.
    const std::vector<LoggedRecord> log = app_->Log();
    EXPECT_EQ(CountRecords(log, kTestPassed), 1);
    EXPECT_EQ(CountRecords(log, L"Test failed"), 0);
    for (int id : kTestInputs) {
        EXPECT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(Control(id)) != FALSE; }))
            << "control " << id << " still disabled";
    }
}

TEST_F(MainWindowTest, RunEndsByItselfWhenItsDurationHasPassed) {
    // 0.01 minutes: the refresh timer ends the run at the first tick after 0 whole seconds.
    SetDuration(L"0.01");
    StartRun();
    EXPECT_TRUE(gui::WaitUntil([&] { return Caption() == L"Start"; }, 60000))
        << "the refresh timer never ended the run";
    EXPECT_EQ(CountRecords(app_->Log(), kTestPassed), 1);
}

TEST_F(MainWindowTest, NegativeDurationIsWarnedAboutAndResetToZero) {
    for (const wchar_t* text : {L"-1", L"-0.5", L"  -1e30"}) {
        SetDuration(text);
        app_->PostCommand(IDC_DURATION_EDIT, EN_KILLFOCUS);
        HWND box = app_->WaitForDialog(kErrorCaption);
        ASSERT_NE(box, nullptr) << "no warning for " << std::wstring(text).size() << " chars";
        EXPECT_EQ(gui::MessageBoxText(box).substr(0, 34), L"The duration must be 0 or greater.");
        // The text is reset only once the warning has been dismissed.
        EXPECT_EQ(gui::WindowText(Control(IDC_DURATION_EDIT)), text);
        gui::DismissMessageBox(box);
        EXPECT_TRUE(
            gui::WaitUntil([&] { return gui::WindowText(Control(IDC_DURATION_EDIT)) == L"0"; }));
        EXPECT_TRUE(gui::WaitUntil([&] { return app_->FindDialog(kErrorCaption) == nullptr; }));
    }
}

TEST_F(MainWindowTest, AnyOtherDurationTextIsAcceptedAndARunStartsAndStopsWithIt) {
    // Letters read as 0 (no limit), so do infinities and NaN; 63 digits and 1e30 are merely
    // long runs; a fraction is a fraction of a minute.
    const std::wstring texts[] = {L"2.5", L"abc", L"1e30", L"inf", L"nan", std::wstring(63, L'9'),
                                  L"0"};
    for (const std::wstring& text : texts) {
        SetDuration(text);
        app_->PostCommand(IDC_DURATION_EDIT, EN_KILLFOCUS);
        // A warning would be open before the barrier's message could be handled.
        ASSERT_TRUE(app_->Barrier());
        EXPECT_EQ(app_->FindDialog(kErrorCaption), nullptr) << "warning for " << text.size();
        EXPECT_EQ(gui::WindowText(Control(IDC_DURATION_EDIT)), text);
    }
    for (const wchar_t* text : {L"1e30", L"nan"}) {
        SetDuration(text);
        StartRun();
        WaitForCategory(L"Loopback");
        StopRun();
    }
    EXPECT_EQ(CountRecords(app_->Log(), kTestPassed), 2);
}

TEST_F(MainWindowTest, WindowCannotBeMadeSmallerThan750By530) {
    SetWindowPos(window_, nullptr, 0, 0, 300, 200, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(app_->Barrier());
    const SIZE size = gui::WindowSize(window_);
    EXPECT_EQ(size.cx, 750);
    EXPECT_EQ(size.cy, 530);
}

class LayoutTest : public MainWindowTest {
  protected:
    struct Snapshot {
        SIZE client;
        std::vector<RECT> rects;  // by kRightHandControls, then kFixedControls, then the panel
    };

    Snapshot Take() const {
        Snapshot snapshot;
        snapshot.client = gui::ClientSize(window_);
        for (int id : kRightHandControls)
            snapshot.rects.push_back(gui::RectIn(Control(id), window_));
        for (int id : kFixedControls) snapshot.rects.push_back(gui::RectIn(Control(id), window_));
        snapshot.rects.push_back(gui::RectIn(Control(IDC_RESULTS_PANEL), window_));
        return snapshot;
    }
};

void ExpectMoved(const RECT& before, const RECT& after, int dx, int grow, const char* what) {
    EXPECT_EQ(after.left, before.left + dx) << what;
    EXPECT_EQ(after.right, before.right + dx) << what;
    EXPECT_EQ(after.top, before.top) << what;
    EXPECT_EQ(after.bottom, before.bottom + grow) << what;
}

TEST_F(LayoutTest, WideningMovesTheButtonsAndScrollBarAndWidensThePanelOnly) {
    const Snapshot before = Take();
    Resize(100, 0);
    const Snapshot after = Take();
    size_t i = 0;
    for (int id : kRightHandControls) {
        ExpectMoved(before.rects[i], after.rects[i], 100, 0, std::to_string(id).c_str());
        ++i;
    }
    for (int id : kFixedControls) {
        ExpectMoved(before.rects[i], after.rects[i], 0, 0, std::to_string(id).c_str());
        ++i;
    }
    const RECT panelBefore = before.rects[i];
    const RECT panelAfter = after.rects[i];
    EXPECT_EQ(panelAfter.left, panelBefore.left);
    EXPECT_EQ(panelAfter.top, panelBefore.top);
    EXPECT_EQ(panelAfter.right, panelBefore.right + 100);
    EXPECT_EQ(panelAfter.bottom, panelBefore.bottom);
    gui::SaveScreenshot(window_, L"main_window_widened");
}

TEST_F(LayoutTest, TallerWindowGrowsThePanelAndScrollBarDownwards) {
    const Snapshot before = Take();
    Resize(0, 28);
    const Snapshot after = Take();
    size_t i = 0;
    for (int id : kRightHandControls) {
        const int grow = id == IDC_LOG_SCROLLBAR ? 28 : 0;
        ExpectMoved(before.rects[i], after.rects[i], 0, grow, std::to_string(id).c_str());
        ++i;
    }
    for (int id : kFixedControls) {
        ExpectMoved(before.rects[i], after.rects[i], 0, 0, std::to_string(id).c_str());
        ++i;
    }
    ExpectMoved(before.rects[i], after.rects[i], 0, 28, "panel");
}

TEST_F(LayoutTest, MinimiseAndRestoreLeaveEveryControlWhereItWas) {
    const Snapshot before = Take();
    ShowWindow(window_, SW_MINIMIZE);
    ASSERT_TRUE(gui::WaitUntil([&] { return IsIconic(window_) != FALSE; }));
    ShowWindow(window_, SW_RESTORE);
    ASSERT_TRUE(gui::WaitUntil([&] { return IsIconic(window_) == FALSE; }));
    ASSERT_TRUE(app_->Barrier());
    const Snapshot after = Take();
    EXPECT_EQ(after.client.cx, before.client.cx);
    EXPECT_EQ(after.client.cy, before.client.cy);
    for (size_t i = 0; i < before.rects.size(); ++i) {
        ExpectMoved(before.rects[i], after.rects[i], 0, 0, std::to_string(i).c_str());
    }
}

TEST_F(MainWindowTest, ClosingDuringALoopbackEndsTheProgramPromptly) {
    StartRun();
    WaitForCategory(L"Loopback");
    PostMessageW(window_, WM_CLOSE, 0, 0);
    DWORD exitCode = 99;
    ASSERT_TRUE(app_->WaitForExit(gui::kCloseBoundMs, &exitCode)) << "still running";
    EXPECT_EQ(exitCode, 0u);
    // From the moment of closing nothing is logged: the stopped run writes no summary.
    const std::vector<LoggedRecord> log = app_->Log();
    EXPECT_EQ(CountRecords(log, L"Test passed"), 0);
    EXPECT_EQ(CountRecords(log, L"Test failed"), 0);
}

// The card's first transfer blocks for 5 minutes, far beyond the closing sequence's bounded
// waits for the test threads (2 s, then up to 20.5 s): closing gives up on the stalled thread
// and the process still ends, with no crash from the late thread, for either test.
class StalledCloseTest : public gui::ProgramTest, public ::testing::WithParamInterface<int> {
  protected:
    void SetUp() override { Launch(L"--simulate=stall=300000"); }
};

TEST_P(StalledCloseTest, ClosingDuringAStalledTransferEndsTheProgramWithinTheClosingWaits) {
    app_->Click(GetParam());
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Checked(Control(GetParam())); }));
    StartRun();
    ASSERT_GE(app_->WaitForRecord(L"Testing device "), 0);
    PostMessageW(window_, WM_CLOSE, 0, 0);
    DWORD exitCode = 99;
    // The closing sequence waits at most about 22.5 s in all; the stall would take 5 minutes.
    ASSERT_TRUE(app_->WaitForExit(120000, &exitCode)) << "closing waited for the stalled thread";
    EXPECT_EQ(exitCode, 0u);
}

INSTANTIATE_TEST_SUITE_P(BothTests, StalledCloseTest,
                         ::testing::Values(IDC_LOOPBACK_RADIO, IDC_BENCHMARK_RADIO));

TEST_F(MainWindowTest, PowerStatusChangeStopsTheRunAndLogsSuspend) {
    StartRun();
    WaitForCategory(L"Loopback");
    PostMessageW(window_, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0);
    const int suspend = app_->WaitForRecord(L"Suspend");
    ASSERT_GE(suspend, 0);
    EXPECT_EQ(app_->Log()[static_cast<size_t>(suspend)].category, L"ERROR");
    ASSERT_TRUE(WaitForCaption(L"Start")) << "the run did not end";
    const int passed = app_->WaitForRecord(kTestPassed);
    EXPECT_GT(passed, suspend);
    EXPECT_EQ(CountRecords(app_->Log(), kTestPassed), 1);
}

TEST_F(MainWindowTest, BenchmarkRadioRunsTheBenchmark) {
    app_->Click(IDC_BENCHMARK_RADIO);
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::Checked(Control(IDC_BENCHMARK_RADIO)); }));
    EXPECT_FALSE(gui::Checked(Control(IDC_LOOPBACK_RADIO)));
    StartRun();
    WaitForCategory(L"Benchmark");
    StopRun();
    for (const LoggedRecord& record : app_->Log()) EXPECT_NE(record.category, L"Loopback");
}

TEST_F(MainWindowTest, EnterLeavesTheProgramOpenAndTabStillMovesTheFocus) {
    // Enter is command 1, which does nothing: it must not press Exit, wherever the focus is.
    for (int id : {IDC_DURATION_EDIT, IDC_DEVICE_LIST, IDC_LOOPBACK_RADIO}) {
        ASSERT_TRUE(gui::MoveFocus(window_, Control(id))) << "control " << id;
        gui::PressKey(Control(id), VK_RETURN);
        ASSERT_TRUE(app_->Barrier()) << "Enter on control " << id << " ended the program";
        EXPECT_TRUE(app_->Running());
    }
    ASSERT_TRUE(gui::MoveFocus(window_, Control(IDC_DURATION_EDIT)));
    gui::PressKey(Control(IDC_DURATION_EDIT), VK_TAB);
    EXPECT_TRUE(gui::WaitUntil([&] {
        const HWND focus = gui::FocusOf(window_);
        return focus && focus != Control(IDC_DURATION_EDIT);
    })) << "Tab did not move the focus on";

    StartRun();
    WaitForCategory(L"Loopback");
    const size_t before = app_->Log().size();
    gui::PressKey(window_, VK_RETURN);
    ASSERT_TRUE(app_->Barrier());
    EXPECT_EQ(Caption(), L"Stop");
    const std::vector<LoggedRecord> log = app_->Log();
    for (size_t i = before; i < log.size(); ++i) {
        EXPECT_EQ(log[i].category, L"Loopback") << "Enter logged " << log[i].text.c_str();
    }
    StopRun();
}

TEST_F(MainWindowTest, ExitButtonEndsTheProgram) {
    app_->Click(IDC_EXIT);
    DWORD exitCode = 99;
    ASSERT_TRUE(app_->WaitForExit(gui::kEffectTimeoutMs, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

class TwoCardTest : public MainWindowTest {
  protected:
    void SetUp() override { Launch(L"--simulate=cards=2"); }
};

TEST_F(TwoCardTest, SelectingAnotherCardLogsItsLinesAndReselectingLogsNothing) {
    HWND devices = Control(IDC_DEVICE_LIST);
    ASSERT_EQ(gui::ComboCount(devices), 2);
    EXPECT_TRUE(StartsWith(gui::ComboEntry(devices, 1), L"PCIe-1, Windows ID:{"));
    const size_t before = app_->Log().size();

    SelectCard(1);
    ASSERT_TRUE(gui::WaitUntil([&] { return app_->Log().size() == before + 7; }));
    std::vector<LoggedRecord> log = app_->Log();
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_TRUE(StartsWith(log[before + i].text, kInformationLines[i]));
    }

    app_->PostCommand(IDC_DEVICE_LIST, CBN_SELCHANGE);
    ASSERT_TRUE(app_->Barrier());
    EXPECT_EQ(app_->Log().size(), before + 7);
}

class UnopenableCardTest : public MainWindowTest {
  protected:
    void SetUp() override { Launch(L"--simulate=cards=2,only=1,no-open"); }
};

TEST_F(UnopenableCardTest, SelectingACardThatWillNotOpenLogsWhyNotTheEarlierCardsLines) {
    const size_t before = app_->Log().size();
    SelectCard(1);
    ASSERT_GE(app_->WaitForRecord(L"The card could not be opened."), 0);
    ASSERT_TRUE(app_->Barrier());
    const std::vector<LoggedRecord> log = app_->Log();
    ASSERT_EQ(log.size(), before + 1) << "more than the one record: " << log.back().text.c_str();
    EXPECT_EQ(log.back().category, L"ERROR");
}

TEST(NoCardTest, NoCardIsReportedAndStartAsksForACard) {
    AppUnderTest app(L"--simulate=cards=0");
    ASSERT_TRUE(app.Started());
    // The scan's message box holds start-up until it is dismissed.
    HWND box = app.WaitForDialog(kErrorCaption, gui::kStartTimeoutMs);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(gui::MessageBoxText(box), kNoCardsMessage);
    gui::DismissMessageBox(box);
    ASSERT_GE(app.WaitForRecord(L"No Korvenix PCIe test cards have been detected."), 0);
    HWND window = app.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(gui::ComboCount(app.Control(IDC_DEVICE_LIST)), 0);
    EXPECT_EQ(app.Log().back().category, L"ERROR");

    app.Click(IDC_START_STOP);
    HWND noCard = app.WaitForDialog(L"No card selected");
    ASSERT_NE(noCard, nullptr);
    EXPECT_EQ(gui::MessageBoxText(noCard),
              L"Please select a PCIe device from the available devices list");
    gui::DismissMessageBox(noCard);
    EXPECT_TRUE(gui::WaitUntil([&] { return app.FindDialog(L"No card selected") == nullptr; }));
    EXPECT_EQ(gui::WindowText(app.Control(IDC_START_STOP)), L"Start");
}

}  // namespace

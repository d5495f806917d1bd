// The configuration dialog, the about box and Save Log, driven from outside on the simulated
// card: Escape opens the configuration at rest and not during a run, the first opening shows
// the defaults, the load's trackbar and edit keep in step, the constant pattern value is
// checked, Cancel changes nothing and OK stores everything, the about box shows the version
// and closes three ways, and Save Log writes the event log through the real save dialog or
// says that it could not.
#include <gtest/gtest.h>
// The common controls and shell headers need windows.h before them.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
// clang-format on

#include <cwchar>
#include <initializer_list>
#include <memory>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "program_test_win.h"

namespace {

using gui::AppUnderTest;
using gui::PressKey;

constexpr const wchar_t* kConfigCaption = L"Brixlane configuration";
constexpr const wchar_t* kAboutCaption = L"About Brixlane";
constexpr const wchar_t* kSaveCaption = L"Select a log file name";
constexpr const wchar_t* kErrorCaption = L"Brixlane Error";
constexpr const wchar_t* kConstantMessage =
    L"The constant test pattern value must be between 0 and 255.";
constexpr const wchar_t* kNotSavedMessage = L"The event log could not be saved to\n";
constexpr const wchar_t* kIdentification = L"Korvenix Brixlanetool V1.0 1001";
constexpr const wchar_t* kBlockSizes[] = {L"1MB",  L"2MB",  L"4MB", L"8MB",
                                          L"16MB", L"32MB", L"64MB"};
// The common save dialog's file name control: a combo box (cmb13) in the Explorer-style
// dialog of current Windows, an edit (edt1) in older templates.
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;

// What the configuration dialog shows, read back across the process boundary.
struct Shown {
    std::wstring load;
    int trackbar = 0;
    std::wstring blockSize;
    int direction = 0;  // the id of the checked direction radio, 0 for none
    int pattern = 0;    // the id of the checked pattern radio, 0 for none
    std::wstring constant;
    bool detailedLogging = false;
    bool stopOnError = false;
    bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Shown& shown) {
    auto narrow = [](const std::wstring& text) { return std::string(text.begin(), text.end()); };
    return out << "{load " << narrow(shown.load) << ", trackbar " << shown.trackbar << ", block "
               << narrow(shown.blockSize) << ", direction " << shown.direction << ", pattern "
               << shown.pattern << ", constant " << narrow(shown.constant) << ", detailed "
               << shown.detailedLogging << ", stop " << shown.stopOnError << "}";
}

// The defaults of a fresh start: incrementing is checked although the constant radio's
// caption says "(default)".
Shown DefaultsShown() {
    Shown shown;
    shown.load = L"100";
    shown.trackbar = 100;
    shown.blockSize = L"8MB";
    shown.direction = IDC_READ_WRITE_RADIO;
    shown.pattern = IDC_INCREMENTING_RADIO;
    shown.constant = L"170";
    return shown;
}

int CheckedOf(HWND dialog, std::initializer_list<int> ids) {
    int checked = 0;
    for (int id : ids) {
        if (gui::Checked(GetDlgItem(dialog, id))) checked = checked == 0 ? id : -1;  // -1: two
    }
    return checked;
}

Shown ReadShown(HWND dialog) {
    Shown shown;
    shown.load = gui::WindowText(GetDlgItem(dialog, IDC_LOAD_EDIT));
    shown.trackbar = static_cast<int>(gui::Send(GetDlgItem(dialog, IDC_LOAD_TRACKBAR), TBM_GETPOS));
    HWND list = GetDlgItem(dialog, IDC_BLOCK_SIZE_LIST);
    const int selected = static_cast<int>(gui::Send(list, CB_GETCURSEL));
    shown.blockSize = selected >= 0 ? gui::ComboEntry(list, selected) : L"";
    shown.direction = CheckedOf(dialog, {IDC_READ_RADIO, IDC_WRITE_RADIO, IDC_READ_WRITE_RADIO});
    shown.pattern =
        CheckedOf(dialog, {IDC_CONSTANT_RADIO, IDC_INCREMENTING_RADIO, IDC_RANDOM_RADIO});
    shown.constant = gui::WindowText(GetDlgItem(dialog, IDC_CONSTANT_EDIT));
    shown.detailedLogging = gui::Checked(GetDlgItem(dialog, IDC_DETAILED_LOGGING));
    shown.stopOnError = gui::Checked(GetDlgItem(dialog, IDC_STOP_ON_ERROR));
    return shown;
}

std::wstring TemporaryPath(const wchar_t* name) {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder) + name + std::to_wstring(GetCurrentProcessId()) + L".txt";
}

std::string ReadWholeFile(const std::wstring& path) {
    std::string content;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return content;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        content.append(buffer, got);
    }
    CloseHandle(file);
    return content;
}

// Lines ended by "\n" (a "\r" before it removed); text after the last line end is not a line.
std::vector<std::string> Lines(const std::string& content) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = content.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// A live log line (UTF-8) as the single-byte export writes it: one byte per character, '?'
// for a character above 255.
std::string AsExported(const std::string& utf8) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        length);
    std::string bytes;
    for (size_t i = 0; i < wide.size(); ++i) {
        const wchar_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) ++i;  // one character, two units
        bytes += c <= 0xFF ? static_cast<char>(c) : '?';
    }
    return bytes;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A fresh program on one simulated card, idle after start-up.
class DialogsTest : public gui::ProgramTest {
  protected:
    void SetUp() override { Launch(); }

    HWND Item(int id) const { return GetDlgItem(dialog_, id); }

    void OpenConfiguration() {
        app_->Click(IDC_CONFIGURE);
        dialog_ = app_->WaitForDialog(kConfigCaption);
        ASSERT_NE(dialog_, nullptr) << "no configuration dialog";
    }

    // Waits until `caption` has no dialog left: the modal loop has ended.
    bool WaitUntilClosed(const wchar_t* caption) const {
        return gui::WaitUntil([&] { return app_->FindDialog(caption) == nullptr; });
    }

    void ClickInDialog(HWND dialog, int id) const {
        PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    }

    void FocusItem(int id) const {
        ASSERT_TRUE(gui::MoveFocus(dialog_, Item(id))) << "control " << id << " has no focus";
    }
    // The same without waiting: when a message box is to take the focus on the way.
    void MoveFocusTo(int id) const {
        PostMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(id)), TRUE);
    }

    // Types into an edit as far as the dialog is concerned: WM_SETTEXT, which sends the
    // edit's update and change notifications.
    void Type(int id, const std::wstring& text) const { gui::SetText(Item(id), text); }

    bool WaitForText(int id, const std::wstring& text) const {
        return gui::WaitUntil([&] { return gui::WindowText(Item(id)) == text; });
    }
    int Trackbar() const {
        return static_cast<int>(gui::Send(Item(IDC_LOAD_TRACKBAR), TBM_GETPOS));
    }
    void HScroll(int code, int position) const {
        PostMessageW(dialog_, WM_HSCROLL, MAKEWPARAM(code, position),
                     reinterpret_cast<LPARAM>(Item(IDC_LOAD_TRACKBAR)));
    }

    void CloseWith(int buttonId) {
        ClickInDialog(dialog_, buttonId);
        ASSERT_TRUE(WaitUntilClosed(kConfigCaption)) << "the dialog stayed open";
        dialog_ = nullptr;
    }

    // A top-level dialog window of the program with this caption, shown or not.
    bool HasWindowNamed(const wchar_t* caption) const {
        for (HWND found = nullptr;
             (found = FindWindowExW(nullptr, found, L"#32770", caption)) != nullptr;) {
            DWORD owner = 0;
            GetWindowThreadProcessId(found, &owner);
            if (owner == app_->ProcessId()) return true;
        }
        return false;
    }

    HWND dialog_ = nullptr;
};

// --- Configuration dialog -----------------------------------------------------------------

TEST_F(DialogsTest, EscapeOpensTheConfigurationWithTheDefaultsOnlyWhileNoTestRuns) {
    // Escape goes through the main window's dialog manager, which sends command 2.
    PressKey(window_, VK_ESCAPE);
    dialog_ = app_->WaitForDialog(kConfigCaption);
    ASSERT_NE(dialog_, nullptr) << "Escape did not open the configuration dialog";

    EXPECT_EQ(ReadShown(dialog_), DefaultsShown());
    HWND list = Item(IDC_BLOCK_SIZE_LIST);
    ASSERT_EQ(gui::ComboCount(list), 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(gui::ComboEntry(list, i), kBlockSizes[i]);
    EXPECT_EQ(gui::Send(Item(IDC_LOAD_TRACKBAR), TBM_GETRANGEMIN), 1);
    EXPECT_EQ(gui::Send(Item(IDC_LOAD_TRACKBAR), TBM_GETRANGEMAX), 100);
    // 1, then every 10 to 100: ticks between the ends at 11, 21, ... 91.
    EXPECT_EQ(gui::Send(Item(IDC_LOAD_TRACKBAR), TBM_GETNUMTICS), 11);

    // Modal, owned by the main window, without a system menu, centred over the main window.
    EXPECT_FALSE(IsWindowEnabled(window_));
    EXPECT_EQ(GetWindow(dialog_, GW_OWNER), window_);
    const LONG style = GetWindowLongW(dialog_, GWL_STYLE);
    EXPECT_EQ(style & WS_SYSMENU, 0);
    EXPECT_NE(style & WS_CAPTION, 0);
    RECT main = {};
    RECT own = {};
    GetWindowRect(window_, &main);
    GetWindowRect(dialog_, &own);
    EXPECT_EQ(own.left, main.left + ((main.right - main.left) - (own.right - own.left)) / 2);
    EXPECT_EQ(own.top, main.top + ((main.bottom - main.top) - (own.bottom - own.top)) / 2);

    gui::SaveScreenshot(dialog_, L"config_dialog");
    PressKey(dialog_, VK_ESCAPE);  // the dialog's own Escape is its Cancel
    ASSERT_TRUE(WaitUntilClosed(kConfigCaption)) << "Escape did not close the dialog";
    EXPECT_TRUE(gui::WaitUntil([&] { return IsWindowEnabled(window_) != FALSE; }));

    // During a run Configure is disabled, and Escape must not get round it.
    StartRun();
    ASSERT_TRUE(gui::WaitUntil([&] { return !IsWindowEnabled(Control(IDC_CONFIGURE)); }));
    PressKey(window_, VK_ESCAPE);
    ASSERT_TRUE(app_->Barrier());
    // A modal dialog shows itself only once its queue runs dry, which a busy run may put off:
    // look for the window whether it is visible yet or not.
    EXPECT_FALSE(HasWindowNamed(kConfigCaption)) << "Escape opened it during a run";
    if (HWND opened = FindWindowW(L"#32770", kConfigCaption)) {
        PostMessageW(opened, WM_COMMAND, IDCANCEL, 0);
    }
    StopRun();
}

TEST_F(DialogsTest, LoadTrackbarAndEditKeepInStep) {
    OpenConfiguration();
    FocusItem(IDC_LOAD_EDIT);

    // Typing a load moves the trackbar; a load beyond its range takes it to the end while the
    // edit keeps what was typed.
    Type(IDC_LOAD_EDIT, L"40");
    EXPECT_TRUE(gui::WaitUntil([&] { return Trackbar() == 40; })) << Trackbar();
    Type(IDC_LOAD_EDIT, L"250");
    EXPECT_TRUE(gui::WaitUntil([&] { return Trackbar() == 100; })) << Trackbar();
    EXPECT_EQ(gui::WindowText(Item(IDC_LOAD_EDIT)), L"250");

    // Leaving the edit clamps it to 100...
    FocusItem(IDC_DETAILED_LOGGING);
    EXPECT_TRUE(WaitForText(IDC_LOAD_EDIT, L"100")) << gui::WindowText(Item(IDC_LOAD_EDIT)).c_str();
    EXPECT_EQ(Trackbar(), 100);

    // ... and to 1 from below.
    FocusItem(IDC_LOAD_EDIT);
    Type(IDC_LOAD_EDIT, L"0");
    FocusItem(IDC_DETAILED_LOGGING);
    EXPECT_TRUE(WaitForText(IDC_LOAD_EDIT, L"1")) << gui::WindowText(Item(IDC_LOAD_EDIT)).c_str();
    EXPECT_EQ(Trackbar(), 1);

    // A load within the range is left as it is.
    FocusItem(IDC_LOAD_EDIT);
    Type(IDC_LOAD_EDIT, L"55");
    FocusItem(IDC_DETAILED_LOGGING);
    ASSERT_TRUE(app_->Barrier());
    EXPECT_EQ(gui::WindowText(Item(IDC_LOAD_EDIT)), L"55");
    EXPECT_EQ(Trackbar(), 55);

    // Text that is no number, or a negative one, reads as 0 and becomes 1; a long number
    // is read whole when the edit is left, though only its first four digits move the bar.
    for (const auto& [typed, left] :
         {std::pair{L"abc", L"1"}, {L"-5", L"1"}, {L"99999999999", L"100"}}) {
        FocusItem(IDC_LOAD_EDIT);
        Type(IDC_LOAD_EDIT, typed);
        FocusItem(IDC_DETAILED_LOGGING);
        EXPECT_TRUE(WaitForText(IDC_LOAD_EDIT, left))
            << gui::WindowText(Item(IDC_LOAD_EDIT)).c_str();
    }

    // The thumb dropped at 37 writes 37.
    gui::Send(Item(IDC_LOAD_TRACKBAR), TBM_SETPOS, TRUE, 37);
    HScroll(TB_THUMBPOSITION, 37);
    EXPECT_TRUE(WaitForText(IDC_LOAD_EDIT, L"37")) << gui::WindowText(Item(IDC_LOAD_EDIT)).c_str();
    EXPECT_EQ(Trackbar(), 37);

    // While dragging, the edit follows the position the notification carries, and the edit's
    // own change is not sent back to the trackbar.
    HScroll(TB_THUMBTRACK, 42);
    EXPECT_TRUE(WaitForText(IDC_LOAD_EDIT, L"42")) << gui::WindowText(Item(IDC_LOAD_EDIT)).c_str();
    ASSERT_TRUE(app_->Barrier());
    EXPECT_EQ(Trackbar(), 37);
    // The end of the drag reads the trackbar's own position.
    HScroll(TB_ENDTRACK, 0);
    EXPECT_TRUE(WaitForText(IDC_LOAD_EDIT, L"37")) << gui::WindowText(Item(IDC_LOAD_EDIT)).c_str();
    CloseWith(IDCANCEL);
}

TEST_F(DialogsTest, ConstantOutsideZeroTo255IsWarnedAboutOnceAndReset) {
    OpenConfiguration();
    const std::wstring tooLarge(63, L'9');
    for (const wchar_t* text : {L"256", L"-1", L"99999999999", tooLarge.c_str()}) {
        FocusItem(IDC_CONSTANT_EDIT);
        Type(IDC_CONSTANT_EDIT, text);
        MoveFocusTo(IDC_STOP_ON_ERROR);
        HWND box = app_->WaitForDialog(kErrorCaption);
        ASSERT_NE(box, nullptr) << "no warning for " << std::string(text, text + wcslen(text));
        EXPECT_EQ(gui::MessageBoxText(box).substr(0, wcslen(kConstantMessage)), kConstantMessage);
        EXPECT_EQ(GetWindow(box, GW_OWNER), dialog_);
        // The text is put right once the warning has been read.
        EXPECT_EQ(gui::WindowText(Item(IDC_CONSTANT_EDIT)), text);
        gui::DismissMessageBox(box);
        EXPECT_TRUE(WaitForText(IDC_CONSTANT_EDIT, L"170"));
        ASSERT_TRUE(WaitUntilClosed(kErrorCaption));
    }

    // The warning takes the focus from the edit, which reports losing it a second time while
    // the first box is still up: still one box.
    FocusItem(IDC_CONSTANT_EDIT);
    Type(IDC_CONSTANT_EDIT, L"300");
    PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_CONSTANT_EDIT, EN_KILLFOCUS),
                 reinterpret_cast<LPARAM>(Item(IDC_CONSTANT_EDIT)));
    HWND box = app_->WaitForDialog(kErrorCaption);
    ASSERT_NE(box, nullptr);
    ASSERT_TRUE(app_->Barrier());
    EXPECT_EQ(app_->FindDialogs(kErrorCaption).size(), 1u);
    gui::DismissMessageBox(box);
    EXPECT_TRUE(WaitForText(IDC_CONSTANT_EDIT, L"170"));
    ASSERT_TRUE(WaitUntilClosed(kErrorCaption));
    ASSERT_TRUE(app_->Barrier());
    EXPECT_TRUE(app_->FindDialogs(kErrorCaption).empty());

    // The edges of the range are accepted, and so is text that is no number (it reads as 0).
    for (const wchar_t* text : {L"255", L"0", L"abc"}) {
        FocusItem(IDC_CONSTANT_EDIT);
        Type(IDC_CONSTANT_EDIT, text);
        FocusItem(IDC_STOP_ON_ERROR);
        ASSERT_TRUE(app_->Barrier());
        EXPECT_EQ(app_->FindDialog(kErrorCaption), nullptr);
        EXPECT_EQ(gui::WindowText(Item(IDC_CONSTANT_EDIT)), text);
    }
    CloseWith(IDCANCEL);
}

TEST_F(DialogsTest, CancelChangesNothingAndOkStoresEverySetting) {
    // Every control changed, as a user would, then Cancel.
    Shown changed;
    changed.load = L"37";
    changed.trackbar = 37;
    changed.blockSize = L"64MB";
    changed.direction = IDC_WRITE_RADIO;
    changed.pattern = IDC_RANDOM_RADIO;
    changed.constant = L"99";
    changed.detailedLogging = true;
    changed.stopOnError = true;
    auto change = [&] {
        gui::Send(Item(IDC_LOAD_TRACKBAR), TBM_SETPOS, TRUE, 37);
        HScroll(TB_THUMBPOSITION, 37);
        gui::Send(Item(IDC_BLOCK_SIZE_LIST), CB_SETCURSEL, 6);
        ClickInDialog(dialog_, IDC_WRITE_RADIO);
        ClickInDialog(dialog_, IDC_RANDOM_RADIO);
        Type(IDC_CONSTANT_EDIT, L"99");
        ClickInDialog(dialog_, IDC_DETAILED_LOGGING);
        ClickInDialog(dialog_, IDC_STOP_ON_ERROR);
        ASSERT_TRUE(app_->Barrier());
        ASSERT_EQ(ReadShown(dialog_), changed);
    };
    OpenConfiguration();
    change();
    CloseWith(IDCANCEL);
    OpenConfiguration();
    EXPECT_EQ(ReadShown(dialog_), DefaultsShown()) << "Cancel kept a change";

    // The same changes with OK are all there at the next opening.
    change();
    CloseWith(IDOK);
    OpenConfiguration();
    EXPECT_EQ(ReadShown(dialog_), changed) << "OK lost a change";

    // Enter is OK, and OK checks what leaving each edit checks. A constant of 257 brings the
    // warning and keeps the dialog open with nothing stored; Cancel then keeps the old 99.
    FocusItem(IDC_CONSTANT_EDIT);
    Type(IDC_CONSTANT_EDIT, L"257");
    PressKey(Item(IDC_CONSTANT_EDIT), VK_RETURN);
    HWND box = app_->WaitForDialog(kErrorCaption);
    ASSERT_NE(box, nullptr) << "OK stored 257 without a word";
    EXPECT_EQ(gui::MessageBoxText(box).substr(0, wcslen(kConstantMessage)), kConstantMessage);
    gui::DismissMessageBox(box);
    EXPECT_TRUE(WaitForText(IDC_CONSTANT_EDIT, L"170"));
    ASSERT_TRUE(WaitUntilClosed(kErrorCaption));
    ASSERT_TRUE(app_->Barrier());
    ASSERT_NE(app_->FindDialog(kConfigCaption), nullptr) << "the refused OK closed the dialog";
    CloseWith(IDCANCEL);
    OpenConfiguration();
    EXPECT_EQ(ReadShown(dialog_), changed) << "a refused OK stored something";

    // A load of -5 is clamped to 1 as leaving the edit would, and a valid constant is stored.
    Type(IDC_CONSTANT_EDIT, L"200");
    FocusItem(IDC_LOAD_EDIT);
    Type(IDC_LOAD_EDIT, L"-5");
    PressKey(Item(IDC_LOAD_EDIT), VK_RETURN);
    ASSERT_TRUE(WaitUntilClosed(kConfigCaption)) << "Enter did not close the dialog";
    EXPECT_EQ(app_->FindDialog(kErrorCaption), nullptr);
    OpenConfiguration();
    EXPECT_EQ(gui::WindowText(Item(IDC_LOAD_EDIT)), L"1");
    EXPECT_EQ(Trackbar(), 1);
    EXPECT_EQ(gui::WindowText(Item(IDC_CONSTANT_EDIT)), L"200");
    // A valid load is stored as typed; 100 also keeps the run below from pausing.
    FocusItem(IDC_LOAD_EDIT);
    Type(IDC_LOAD_EDIT, L"100");
    PressKey(Item(IDC_LOAD_EDIT), VK_RETURN);
    ASSERT_TRUE(WaitUntilClosed(kConfigCaption)) << "Enter did not close the dialog";
    OpenConfiguration();
    EXPECT_EQ(gui::WindowText(Item(IDC_LOAD_EDIT)), L"100");
    CloseWith(IDCANCEL);

    // The settings reach the test: a benchmark now only writes.
    app_->Click(IDC_BENCHMARK_RADIO);
    ASSERT_TRUE(app_->Barrier());
    StartRun();
    EXPECT_GE(app_->WaitForRecord(L"WRITING TO PCIE DEVICE"), 0);
    StopRun();
    EXPECT_EQ(app_->WaitForRecord(L"READING THEN WRITING", 0), -1);
}

// --- About box ------------------------------------------------------------------------------

TEST_F(DialogsTest, AboutBoxShowsTheVersionAndClosesOnEnterEscapeAndOk) {
    const struct {
        const char* how;
        bool key;
        WPARAM value;  // the key, or the button id
    } ways[] = {{"Enter", true, VK_RETURN}, {"Escape", true, VK_ESCAPE}, {"OK", false, IDOK}};
    for (const auto& way : ways) {
        app_->Click(IDC_ABOUT);
        HWND about = app_->WaitForDialog(kAboutCaption);
        ASSERT_NE(about, nullptr) << "no about box";
        const std::wstring version = gui::WindowText(GetDlgItem(about, IDC_VERSION_TEXT));
        EXPECT_EQ(version, L"Brixlanetool V1.0 (1001) WIN64");
        EXPECT_EQ(gui::WindowText(GetDlgItem(about, IDC_WEB_ADDRESS)), L"www.korvenix.example");
        EXPECT_EQ(gui::WindowText(GetDlgItem(about, IDC_NOTICE_TEXT)),
                  L"\u00A9 2026 Korvenix. All rights reserved.");
        EXPECT_EQ(GetWindowLongW(about, GWL_STYLE) & WS_SYSMENU, 0);
        EXPECT_EQ(GetWindow(about, GW_OWNER), window_);
        if (way.value == VK_RETURN) {
            // The program names itself the same way in the log's first line.
            const std::vector<gui::LoggedRecord> log = app_->Log();
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log[0].text, kIdentification);
            gui::SaveScreenshot(about, L"about_box");
        }
        if (way.key) {
            PressKey(about, way.value);
        } else {
            ClickInDialog(about, static_cast<int>(way.value));
        }
        EXPECT_TRUE(WaitUntilClosed(kAboutCaption)) << way.how << " did not close it";
    }
}

// --- Save Log -------------------------------------------------------------------------------

class SaveLogTest : public DialogsTest {
  protected:
    // Presses Save Log, checks the proposal, names `path` and presses Save.
    void SaveAs(const std::wstring& path) {
        app_->Click(IDC_SAVE_LOG);
        save_ = app_->WaitForDialog(kSaveCaption);
        ASSERT_NE(save_, nullptr) << "no save dialog";
        EXPECT_EQ(GetWindow(save_, GW_OWNER), window_);

        // The proposal lives in a folder of our own under the documents, made for it.
        wchar_t documents[MAX_PATH] = {};
        ASSERT_TRUE(SUCCEEDED(
            SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents)));
        const std::wstring folder = std::wstring(documents) + L"\\Korvenix\\Brixlanetool";
        const DWORD attributes = GetFileAttributesW(folder.c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES &&
                    (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            << "no folder " << std::string(folder.begin(), folder.end());

        HWND name = GetDlgItem(save_, kFileNameCombo);
        if (!name) name = GetDlgItem(save_, kFileNameEdit);
        ASSERT_NE(name, nullptr) << "no file name control";
        const std::wstring proposed = gui::WindowText(name);
        EXPECT_TRUE(EndsWith(proposed, L"BrixlaneLog.txt"))
            << "proposed: " << std::string(proposed.begin(), proposed.end());
        gui::SetText(name, path);
        PostMessageW(save_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(save_, IDOK)));
    }

    HWND save_ = nullptr;
};

TEST_F(SaveLogTest, SavedFileHoldsTheEventLogLineForLine) {
    // A short run first, so that the log holds more than the start-up lines: 0.01 minutes
    // ends at the first tick after the first whole second.
    gui::SetText(Control(IDC_DURATION_EDIT), L"0.01");
    StartRun();
    ASSERT_TRUE(gui::WaitUntil([&] { return gui::WindowText(Control(IDC_START_STOP)) == L"Start"; },
                               60000));

    const std::wstring path = TemporaryPath(L"bxl-export-");
    DeleteFileW(path.c_str());
    SaveAs(path);
    ASSERT_TRUE(WaitUntilClosed(kSaveCaption)) << "the save dialog stayed open";
    // The export runs on the main thread right after the dialog: once a later message has been
    // handled, the file is complete.
    ASSERT_TRUE(app_->Barrier());
    EXPECT_EQ(app_->FindDialog(kErrorCaption), nullptr);

    const std::string content = ReadWholeFile(path);
    ASSERT_FALSE(content.empty()) << "nothing saved";
    EXPECT_EQ(content.substr(content.size() - 2), "\r\n");
    const std::vector<std::string> saved = Lines(content);
    const std::vector<std::string> live = Lines(ReadWholeFile(app_->LogPath()));
    ASSERT_GE(live.size(), 12u) << "the run logged too little";
    ASSERT_EQ(saved.size(), live.size() + 4);
    EXPECT_EQ(saved[0], "KORVENIX Brixlane Log file");
    EXPECT_EQ(saved[1], std::string(26, '='));
    EXPECT_EQ(saved[2], "Number of records logged: " + std::to_string(live.size()));
    EXPECT_EQ(saved[3], "");
    for (size_t i = 0; i < live.size(); ++i) {
        EXPECT_EQ(saved[4 + i], AsExported(live[i])) << "record " << i;
    }
    DeleteFileW(path.c_str());
}

TEST_F(SaveLogTest, FileThatCannotBeWrittenIsReportedByName) {
    // Another program holds the file open and shares it with nobody.
    const std::wstring path = TemporaryPath(L"bxl-held-");
    HANDLE held = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    SaveAs(path);

    // The file exists, so the dialog asks first (a box with the dialog's own caption).
    HWND box = nullptr;
    ASSERT_TRUE(gui::WaitUntil([&] {
        if ((box = app_->FindDialog(kErrorCaption)) != nullptr) return true;
        for (HWND candidate : app_->FindDialogs(kSaveCaption)) {
            if (candidate != save_ && GetDlgItem(candidate, IDYES)) {
                PostMessageW(candidate, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(candidate, IDYES)));
            }
        }
        return false;
    })) << "no error box";
    const std::wstring text = gui::MessageBoxText(box);
    EXPECT_EQ(text.substr(0, wcslen(kNotSavedMessage)), kNotSavedMessage);
    EXPECT_NE(text.find(path), std::wstring::npos)
        << "the box does not name " << std::string(path.begin(), path.end());
    EXPECT_EQ(GetWindow(box, GW_OWNER), window_);
    gui::DismissMessageBox(box);
    EXPECT_TRUE(WaitUntilClosed(kErrorCaption));

    LARGE_INTEGER size = {};
    GetFileSizeEx(held, &size);
    EXPECT_EQ(size.QuadPart, 0) << "something was written into the held file";
    CloseHandle(held);
    DeleteFileW(path.c_str());
}

}  // namespace

// What the GUI tests need to drive brixlanetool.exe from outside, as a user would: start it on
// the simulated card with a live log file, find its windows, post clicks and commands, read
// its controls back across the process boundary, wait (bounded) for effects, read its log,
// and save screenshots. Every process started here is killed when its owner goes away.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace gui {

// Set by main() from the command line.
struct Config {
    std::wstring programPath;    // brixlanetool.exe, as a Windows path
    std::wstring screenshotDir;  // where screenshots go; empty: none
};
Config& TheConfig();

// Generous bounds for effects that take well under a second, and for start-up, which under
// Wine can take a few seconds the first time.
inline constexpr DWORD kEffectTimeoutMs = 15000;
inline constexpr DWORD kStartTimeoutMs = 60000;
// The bound the closing sequence must keep: it waits about 0.6 s once the test thread is gone.
inline constexpr DWORD kCloseBoundMs = 5000;

// Polls `condition` until it holds or `timeoutMs` has passed; true if it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kEffectTimeoutMs);

// One record of the live log file: "time: category- text".
struct LoggedRecord {
    std::wstring category;  // the 11-character name, trailing blanks removed
    std::wstring text;
};

class AppUnderTest {
  public:
    // Starts the program with `arguments` (appended to the program path as they are). With
    // `withLogFile` a fresh log file in the temporary folder is added as --log-file.
    explicit AppUnderTest(const std::wstring& arguments, bool withLogFile = true);
    ~AppUnderTest();
    AppUnderTest(const AppUnderTest&) = delete;
    AppUnderTest& operator=(const AppUnderTest&) = delete;

    bool Started() const { return process_.hProcess != nullptr; }
    DWORD ProcessId() const { return process_.dwProcessId; }

    // The main window (class BRIXLANE) of this process once it is visible and has logged
    // its start-up lines; null if it did not appear in time.
    HWND WaitForMainWindow(DWORD timeoutMs = kStartTimeoutMs);
    HWND MainWindow() const { return mainWindow_; }
    HWND Control(int id) const { return GetDlgItem(mainWindow_, id); }

    // A top-level dialog of this process with the caption (message boxes are class #32770).
    HWND FindDialog(const std::wstring& caption) const;
    HWND WaitForDialog(const std::wstring& caption, DWORD timeoutMs = kEffectTimeoutMs) const;
    // Every such dialog: a box opened over a dialog of the same caption, or a second box.
    std::vector<HWND> FindDialogs(const std::wstring& caption) const;

    // Waits for the process to end; true with its exit code when it did.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    bool Running() const;

    // The live log file (UTF-8, one record a line), as a Windows path.
    const std::wstring& LogPath() const { return logPath_; }
    // Every record of the live log so far, oldest first.
    std::vector<LoggedRecord> Log() const;
    // Waits for a record whose text starts with `prefix`; its index, or -1.
    int WaitForRecord(const std::wstring& prefix, DWORD timeoutMs = kEffectTimeoutMs) const;

    // Click a button the way the keyboard and mouse would reach it: posted, never sent, so
    // the test never waits on the program's modal loops.
    void Click(int id) const;
    void PostCommand(int id, int code) const;

    // Returns once every message posted to the main window's thread before it has been
    // handled: posts a harmless change to the hidden chart placement edit and waits for it.
    bool Barrier() const;

  private:
    PROCESS_INFORMATION process_ = {};
    std::wstring logPath_;
    HWND mainWindow_ = nullptr;
    mutable UINT barrierValue_ = 1000;
};

// SendMessageTimeout that gives up on a hung program; -1 then.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// Posts a key's press and release to a window: it reaches the program's dialog manager as a
// key typed there would.
void PressKey(HWND target, WPARAM key);
// The window that has the keyboard focus in `window`'s thread (GetFocus is per thread).
HWND FocusOf(HWND window);
// Moves the focus to `control` as Tab or a click would, through the dialog manager of the
// dialog's own thread (WM_NEXTDLGCTL), and waits for it to get there.
bool MoveFocus(HWND dialog, HWND control);
// Sets a control's text as a program would (WM_SETTEXT), waiting until it is done.
void SetText(HWND window, const std::wstring& text);

// Control state read across the process boundary.
std::wstring WindowText(HWND window);
std::wstring ComboEntry(HWND combo, int index);
int ComboCount(HWND combo);
bool Checked(HWND button);
// The control's rectangle in the client coordinates of `parent`.
RECT RectIn(HWND control, HWND parent);
SIZE ClientSize(HWND window);
SIZE WindowSize(HWND window);

// The text of a message box (its one static control with text) and its dismissal.
std::wstring MessageBoxText(HWND box);
void DismissMessageBox(HWND box);

// What the screen shows of a window's client area, taken once two captures in a row agree
// (a window being repainted is not caught halfway).
class Picture {
  public:
    Picture() = default;
    Picture(int width, int height, std::vector<BYTE> rows)
        : width_(width), height_(height), rows_(std::move(rows)) {}
    int Width() const { return width_; }
    int Height() const { return height_; }
    // The colour at (x, y) from the top-left corner, as RGB() makes it; white outside.
    COLORREF At(int x, int y) const;

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<BYTE> rows_;  // 24-bit, bottom-up, rows padded to 4 bytes
};
Picture CaptureClient(HWND window);

// The position of a scroll bar control of another process.
int ScrollPosition(HWND scrollBar);

// Saves what the screen shows of `window` as a 24-bit BMP in the screenshot folder.
void SaveScreenshot(HWND window, const std::wstring& name);

}  // namespace gui

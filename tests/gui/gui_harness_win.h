// What the GUI tests need to drive brixlanetool.exe from outside, as a user would: start it on
// the simulated card with a live log file, find its windows, read its controls back across
// the process boundary, wait (bounded) for effects, read its log and its pixels, and save
// screenshots. Every process started here is killed when its owner goes away.
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

// Generous bounds for effects that take well under a second, for start-up (under Wine the
// first start can take a few seconds) and for a run's summary.
inline constexpr DWORD kEffectTimeoutMs = 15000;
inline constexpr DWORD kLongTimeoutMs = 60000;

// Polls `condition` until it holds or `timeoutMs` has passed; true if it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kEffectTimeoutMs);

// One record of the live log file: "time: category- text".
struct LoggedRecord {
    std::wstring category;  // the 11-character name, trailing blanks removed
    std::wstring text;
};

class AppUnderTest {
  public:
    // Starts the program with `arguments` and, unless told not to, a fresh live log file.
    explicit AppUnderTest(const std::wstring& arguments, bool withLogFile = true);
    ~AppUnderTest();
    AppUnderTest(const AppUnderTest&) = delete;
    AppUnderTest& operator=(const AppUnderTest&) = delete;

    bool Started() const { return process_.hProcess != nullptr; }
    // The visible main window (class BRIXLANE) of this process; null if none came in time.
    HWND WaitForMainWindow(DWORD timeoutMs = kLongTimeoutMs);
    HWND MainWindow() const { return mainWindow_; }
    HWND Control(int id) const { return GetDlgItem(mainWindow_, id); }

    // This process's top-level dialogs (class #32770) with the caption; hidden ones too with
    // `hiddenToo` (a modal dialog shows itself only once its queue runs dry).
    std::vector<HWND> Dialogs(const std::wstring& caption, bool hiddenToo = false) const;
    HWND WaitForDialog(const std::wstring& caption, DWORD timeoutMs = kEffectTimeoutMs) const;

    // Waits for the process to end; true with its exit code when it did.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    bool Running() const;

    const std::wstring& LogPath() const { return logPath_; }
    // Every record of the live log so far, oldest first.
    std::vector<LoggedRecord> Log() const;
    // Waits for a record whose text starts with `prefix`; its index, or -1.
    int WaitForRecord(const std::wstring& prefix, DWORD timeoutMs = kEffectTimeoutMs) const;

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
// A file's whole content, read while its writer may go on appending; empty if unreadable.
std::string ReadWholeFile(const std::wstring& path);
// The window that has the keyboard focus in `window`'s thread (GetFocus is per thread).
HWND FocusOf(HWND window);
std::wstring WindowText(HWND window);
std::wstring ComboEntry(HWND combo, int index);
// The control's rectangle in the client coordinates of `parent`.
RECT RectIn(HWND control, HWND parent);
SIZE ClientSize(HWND window);
// The text of a message box: its one static control with text.
std::wstring MessageBoxText(HWND box);

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

// Saves what the screen shows of `window` as a 24-bit BMP in the screenshot folder.
void SaveScreenshot(HWND window, const std::wstring& name);

}  // namespace gui

// Drives brixlanetool.exe from outside as a user would: starts it on the simulated card with a
// live log file, finds its windows, reads its controls, log and pixels, waits (bounded) for
// effects and saves screenshots. No program started here outlives the test program.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace gui {

inline std::wstring programPath;    // brixlanetool.exe, as a Windows path
inline std::wstring screenshotDir;  // empty: no screenshots

// Bounds for effects of well under a second, and for a start (the first under Wine takes a few
// seconds) or a run's summary.
inline constexpr DWORD kEffectTimeoutMs = 15000;
inline constexpr DWORD kLongTimeoutMs = 60000;

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kEffectTimeoutMs);

// One record of the live log file: "time: category- text".
struct LoggedRecord {
    std::wstring category;  // trailing blanks removed
    std::wstring text;
};

class AppUnderTest {
  public:
    explicit AppUnderTest(const std::wstring& arguments, bool withLogFile = true,
                          const std::wstring& program = programPath);
    ~AppUnderTest();
    AppUnderTest(const AppUnderTest&) = delete;
    AppUnderTest& operator=(const AppUnderTest&) = delete;

    bool Started() const { return process_.hProcess != nullptr; }
    bool Running() const;
    // The visible main window (class BRIXLANE); null if none came in time.
    HWND WaitForMainWindow(DWORD timeoutMs = kLongTimeoutMs);
    // Its top-level dialogs with the caption; hidden ones too with `hiddenToo` (a modal dialog
    // shows itself only once its queue runs dry).
    std::vector<HWND> Dialogs(const std::wstring& caption, bool hiddenToo = false) const;
    HWND WaitForDialog(const std::wstring& caption, DWORD timeoutMs = kEffectTimeoutMs) const;
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode);
    std::vector<LoggedRecord> Log() const;  // oldest first
    // The index of the first record whose text starts with `prefix`, or -1.
    int WaitForRecord(const std::wstring& prefix, DWORD timeoutMs = kEffectTimeoutMs) const;
    // Returns once every message posted to the main window's thread before it is handled.
    bool Barrier() const;

  private:
    PROCESS_INFORMATION process_ = {};
    std::wstring logPath_;
    HWND mainWindow_ = nullptr;
    mutable UINT barrierValue_ = 1000;
};

// The indices of the records of `log` from index `from` on whose text starts with `prefix`, of
// `category` if that is not empty.
std::vector<size_t> Matching(const std::vector<LoggedRecord>& log, const std::wstring& prefix,
                             const std::wstring& category = L"", size_t from = 0);
// SendMessageTimeout that gives up on a hung program: -1 then.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
// A file's whole content, read while its writer may go on appending; empty if unreadable.
std::string ReadWholeFile(const std::wstring& path);
HWND FocusOf(HWND window);  // the focus in `window`'s thread (GetFocus is per thread)
std::wstring WindowText(HWND window);
std::wstring ComboEntry(HWND combo, int index);
RECT RectIn(HWND control, HWND parent);  // in `parent`'s client coordinates
SIZE ClientSize(HWND window);
std::wstring MessageBoxText(HWND box);  // waits for it: the box can come before its text

// What the screen shows of a window's client area: 24-bit rows, bottom-up, padded to 4 bytes.
struct Picture {
    int width = 0, height = 0;
    std::vector<BYTE> rows;
    COLORREF At(int x, int y) const;  // from the top-left corner; white outside
};
Picture CaptureClient(HWND window);
// Saves what the screen shows of `window` as a BMP in the screenshot folder.
void SaveScreenshot(HWND window, const std::wstring& name);

}  // namespace gui

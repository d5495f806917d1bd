#include "gui_harness_win.h"

#include <cstdio>
#include <cwchar>

namespace gui {

namespace {

constexpr DWORD kPollMs = 20;
constexpr UINT kSendTimeoutMs = 5000;
constexpr DWORD kKillWaitMs = 10000;
constexpr int kChartFrameId = 1109;  // hidden edit of the main window, used as a barrier
constexpr const wchar_t* kMainWindowClass = L"BRIXLANE";
constexpr const wchar_t* kDialogClass = L"#32770";
// The record line: 24 characters of time, ": ", an 11-character category, "- ", the text.
constexpr size_t kCategoryColumn = 26;
constexpr size_t kCategoryChars = 11;
constexpr size_t kTextColumn = 39;

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result)) {
        return -1;
    }
    return static_cast<LRESULT>(result);
}

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring Utf8ToWide(const std::string& text) {
    if (text.empty()) return {};
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return wide;
}

std::wstring TemporaryLogPath() {
    wchar_t folder[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, folder);
    wchar_t path[MAX_PATH] = {};
    GetTempFileNameW(folder, L"bxl", 0, path);  // creates it empty; the program appends
    return path;
}

// Every program the tests start belongs to one job that dies with this process, so that not
// even a crash of the test program leaves a window behind.
HANDLE TestJob() {
    static HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        if (!created) return created;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits,
                                sizeof(limits));
        return created;
    }();
    return job;
}

struct DialogSearch {
    DWORD processId;
    const std::wstring* caption;
    HWND found;
};

BOOL CALLBACK FindDialogOf(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<DialogSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    if (ClassName(window) != kDialogClass) return TRUE;
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    if (*search->caption != caption) return TRUE;
    search->found = window;
    return FALSE;
}

struct DialogsSearch {
    DWORD processId;
    const std::wstring* caption;
    std::vector<HWND> found;
};

BOOL CALLBACK FindDialogsOf(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<DialogsSearch*>(context);
    DialogSearch one = {search->processId, search->caption, nullptr};
    FindDialogOf(window, reinterpret_cast<LPARAM>(&one));
    if (one.found) search->found.push_back(one.found);
    return TRUE;
}

struct MainSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindMainOf(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<MainSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window) &&
        ClassName(window) == kMainWindowClass) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindTextStatic(HWND child, LPARAM context) {
    auto* text = reinterpret_cast<std::wstring*>(context);
    if (ClassName(child) != L"Static") return TRUE;
    std::wstring own = WindowText(child);
    if (own.empty()) return TRUE;
    *text = own;
    return FALSE;
}

}  // namespace

Config& TheConfig() {
    static Config config;
    return config;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= deadline) return condition();
        Sleep(kPollMs);
    }
}

AppUnderTest::AppUnderTest(const std::wstring& arguments, bool withLogFile) {
    std::wstring commandLine = L"\"" + TheConfig().programPath + L"\"";
    if (!arguments.empty()) commandLine += L" " + arguments;
    if (withLogFile) {
        logPath_ = TemporaryLogPath();
        commandLine += L" --log-file \"" + logPath_ + L"\"";
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    std::vector<wchar_t> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back(L'\0');
    if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &process_)) {
        process_ = {};
        std::fwprintf(stderr, L"cannot start %ls (error %lu)\n", commandLine.c_str(),
                      GetLastError());
        return;
    }
    if (HANDLE job = TestJob()) AssignProcessToJobObject(job, process_.hProcess);
    ResumeThread(process_.hThread);
}

AppUnderTest::~AppUnderTest() {
    if (process_.hProcess) {
        // Whatever the test left behind (a failed assertion, an open message box), the
        // program must not outlive it.
        if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, kKillWaitMs);
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    if (!logPath_.empty()) DeleteFileW(logPath_.c_str());
}

HWND AppUnderTest::WaitForMainWindow(DWORD timeoutMs) {
    if (!Started()) return nullptr;
    MainSearch search = {process_.dwProcessId, nullptr};
    WaitUntil(
        [&] {
            if (!Running()) return true;
            EnumWindows(FindMainOf, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    mainWindow_ = search.found;
    return mainWindow_;
}

HWND AppUnderTest::FindDialog(const std::wstring& caption) const {
    DialogSearch search = {process_.dwProcessId, &caption, nullptr};
    EnumWindows(FindDialogOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> AppUnderTest::FindDialogs(const std::wstring& caption) const {
    DialogsSearch search = {process_.dwProcessId, &caption, {}};
    EnumWindows(FindDialogsOf, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND AppUnderTest::WaitForDialog(const std::wstring& caption, DWORD timeoutMs) const {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindDialog(caption)) != nullptr; }, timeoutMs);
    return found;
}

bool AppUnderTest::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!Started() || WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    GetExitCodeProcess(process_.hProcess, exitCode);
    return true;
}

bool AppUnderTest::Running() const {
    return Started() && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

std::vector<LoggedRecord> AppUnderTest::Log() const {
    std::vector<LoggedRecord> records;
    // The program keeps the file open for appending; share both ways so it may go on.
    HANDLE file = CreateFileW(logPath_.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return records;
    std::string content;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        content.append(buffer, got);
    }
    CloseHandle(file);

    size_t start = 0;
    for (;;) {
        const size_t end = content.find('\n', start);
        if (end == std::string::npos) break;  // a line still being written is not a record
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::wstring wide = Utf8ToWide(line);
        if (wide.size() < kTextColumn) continue;
        LoggedRecord record;
        record.category = wide.substr(kCategoryColumn, kCategoryChars);
        while (!record.category.empty() && record.category.back() == L' ') {
            record.category.pop_back();
        }
        record.text = wide.substr(kTextColumn);
        records.push_back(record);
    }
    return records;
}

int AppUnderTest::WaitForRecord(const std::wstring& prefix, DWORD timeoutMs) const {
    int index = -1;
    WaitUntil(
        [&] {
            const std::vector<LoggedRecord> records = Log();
            for (size_t i = 0; i < records.size(); ++i) {
                if (records[i].text.compare(0, prefix.size(), prefix) == 0) {
                    index = static_cast<int>(i);
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return index;
}

void AppUnderTest::Click(int id) const { PostMessageW(Control(id), BM_CLICK, 0, 0); }

void AppUnderTest::PostCommand(int id, int code) const {
    PostMessageW(mainWindow_, WM_COMMAND, MAKEWPARAM(id, code),
                 reinterpret_cast<LPARAM>(Control(id)));
}

bool AppUnderTest::Barrier() const {
    HWND frame = Control(kChartFrameId);
    if (!frame) return false;
    const UINT value = ++barrierValue_;
    PostMessageW(frame, EM_SETLIMITTEXT, value, 0);
    return WaitUntil([&] { return SendWithTimeout(frame, EM_GETLIMITTEXT, 0, 0) == value; });
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendWithTimeout(window, message, wParam, lParam);
}

void PressKey(HWND target, WPARAM key) {
    PostMessageW(target, WM_KEYDOWN, key, 1);
    PostMessageW(target, WM_KEYUP, key, 0xC0000001);
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

bool MoveFocus(HWND dialog, HWND control) {
    PostMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    return WaitUntil([&] { return FocusOf(dialog) == control; });
}

void SetText(HWND window, const std::wstring& text) {
    SendWithTimeout(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    if (SendWithTimeout(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text)) < 0) return {};
    return text;
}

std::wstring ComboEntry(HWND combo, int index) {
    const LRESULT length = SendWithTimeout(combo, CB_GETLBTEXTLEN, index, 0);
    if (length < 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    if (SendWithTimeout(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data())) < 0) {
        return {};
    }
    text.resize(static_cast<size_t>(length));
    return text;
}

int ComboCount(HWND combo) { return static_cast<int>(SendWithTimeout(combo, CB_GETCOUNT, 0, 0)); }

bool Checked(HWND button) { return SendWithTimeout(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

RECT RectIn(HWND control, HWND parent) {
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

SIZE ClientSize(HWND window) {
    RECT rect = {};
    GetClientRect(window, &rect);
    return {rect.right, rect.bottom};
}

SIZE WindowSize(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

std::wstring MessageBoxText(HWND box) {
    // The box's window is found by its caption as soon as it exists, which can be before its
    // text control does: wait for the text.
    std::wstring text;
    WaitUntil([&] {
        text.clear();
        EnumChildWindows(box, FindTextStatic, reinterpret_cast<LPARAM>(&text));
        return !text.empty();
    });
    return text;
}

void DismissMessageBox(HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); }

namespace {

// What the screen shows inside `rect`, as 24-bit bottom-up rows.
std::vector<BYTE> CaptureScreen(const RECT& rect, BITMAPINFOHEADER* header) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);

    *header = {};
    header->biSize = sizeof(*header);
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = 24;
    header->biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(static_cast<size_t>(stride) * static_cast<size_t>(height));
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Has everything repainted, then captures `rect` until two captures agree (a running log may
// never stop changing; then the last capture is as good as any).
std::vector<BYTE> SettledCapture(HWND window, const RECT& rect, BITMAPINFOHEADER* header) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    std::vector<BYTE> pixels = CaptureScreen(rect, header);
    WaitUntil(
        [&] {
            std::vector<BYTE> again = CaptureScreen(rect, header);
            const bool settled = again == pixels;
            pixels.swap(again);
            return settled;
        },
        3000);
    return pixels;
}

}  // namespace

COLORREF Picture::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return RGB(255, 255, 255);
    const size_t stride = (static_cast<size_t>(width_) * 3 + 3) & ~size_t{3};
    const BYTE* pixel = &rows_[stride * static_cast<size_t>(height_ - 1 - y) + 3 * x];
    return RGB(pixel[2], pixel[1], pixel[0]);
}

Picture CaptureClient(HWND window) {
    RECT rect = {};
    GetClientRect(window, &rect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    if (rect.right <= rect.left || rect.bottom <= rect.top) return {};
    BITMAPINFOHEADER header;
    std::vector<BYTE> pixels = SettledCapture(window, rect, &header);
    return Picture(rect.right - rect.left, rect.bottom - rect.top, std::move(pixels));
}

int ScrollPosition(HWND scrollBar) {
    return static_cast<int>(SendWithTimeout(scrollBar, SBM_GETPOS, 0, 0));
}

void SaveScreenshot(HWND window, const std::wstring& name) {
    if (TheConfig().screenshotDir.empty()) return;
    CreateDirectoryW(TheConfig().screenshotDir.c_str(), nullptr);
    RECT rect = {};
    GetWindowRect(window, &rect);
    if (rect.right <= rect.left || rect.bottom <= rect.top) return;
    BITMAPINFOHEADER header;
    std::vector<BYTE> pixels = SettledCapture(window, rect, &header);

    BITMAPFILEHEADER fileHeader = {};
    fileHeader.bfType = 0x4D42;  // "BM"
    fileHeader.bfOffBits = sizeof(fileHeader) + sizeof(header);
    fileHeader.bfSize = fileHeader.bfOffBits + static_cast<DWORD>(pixels.size());
    const std::wstring path = TheConfig().screenshotDir + L"\\" + name + L".bmp";
    if (std::FILE* out = _wfopen(path.c_str(), L"wb")) {
        std::fwrite(&fileHeader, sizeof(fileHeader), 1, out);
        std::fwrite(&header, sizeof(header), 1, out);
        std::fwrite(pixels.data(), 1, pixels.size(), out);
        std::fclose(out);
    }
}

}  // namespace gui

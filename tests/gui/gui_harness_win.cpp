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

// The top-level windows of a process of one class (and caption, unless null).
struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    const std::wstring* caption;
    bool hiddenToo;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || (!search->hiddenToo && !IsWindowVisible(window)) ||
        ClassName(window) != search->className) {
        return TRUE;
    }
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    if (!search->caption || *search->caption == caption) search->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK FindTextStatic(HWND child, LPARAM context) {
    auto* text = reinterpret_cast<std::wstring*>(context);
    if (ClassName(child) != L"Static") return TRUE;
    *text = WindowText(child);
    return text->empty();
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
    std::wstring commandLine = L"\"" + TheConfig().programPath + L"\" " + arguments;
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
    WaitUntil(
        [&] {
            WindowSearch search = {process_.dwProcessId, kMainWindowClass, nullptr, false, {}};
            EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
            mainWindow_ = search.found.empty() ? nullptr : search.found[0];
            return mainWindow_ || !Running();
        },
        timeoutMs);
    return mainWindow_;
}

std::vector<HWND> AppUnderTest::Dialogs(const std::wstring& caption, bool hiddenToo) const {
    WindowSearch search = {process_.dwProcessId, kDialogClass, &caption, hiddenToo, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND AppUnderTest::WaitForDialog(const std::wstring& caption, DWORD timeoutMs) const {
    std::vector<HWND> found;
    WaitUntil([&] { return !(found = Dialogs(caption)).empty(); }, timeoutMs);
    return found.empty() ? nullptr : found[0];
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
    const std::string content = ReadWholeFile(logPath_);
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

bool AppUnderTest::Barrier() const {
    HWND frame = Control(kChartFrameId);
    if (!frame) return false;
    const UINT value = ++barrierValue_;
    PostMessageW(frame, EM_SETLIMITTEXT, value, 0);
    return WaitUntil([&] { return Send(frame, EM_GETLIMITTEXT, 0, 0) == value; });
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result)) {
        return -1;
    }
    return static_cast<LRESULT>(result);
}

std::string ReadWholeFile(const std::wstring& path) {
    std::string content;
    // The program keeps its files open for appending; share both ways so it may go on.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return content;
    char buffer[65536];
    for (DWORD got = 0; ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0;) {
        content.append(buffer, got);
    }
    CloseHandle(file);
    return content;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    if (Send(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text)) < 0) return {};
    return text;
}

std::wstring ComboEntry(HWND combo, int index) {
    const LRESULT length = Send(combo, CB_GETLBTEXTLEN, index, 0);
    if (length < 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    if (Send(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data())) < 0) {
        return {};
    }
    text.resize(static_cast<size_t>(length));
    return text;
}

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

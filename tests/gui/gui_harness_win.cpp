#include "gui_harness_win.h"

#include <cstdio>

namespace gui {

namespace {

constexpr int kChartFrameId = 1109;  // a hidden edit of the main window: the barrier's target
// A record line: 24 characters of time, ": ", an 11-character category, "- ", the text.
constexpr size_t kCategoryColumn = 26, kCategoryChars = 11, kTextColumn = 39;

// Every program started here joins one job that dies with this process, so that not even a
// crash of the test program leaves a window behind.
HANDLE TestJob() {
    static HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits,
                                sizeof(limits));
        return created;
    }();
    return job;
}

// The top-level windows of process `pid` of one class (and caption, unless null).
std::vector<HWND> TopWindows(DWORD pid, const wchar_t* className, const wchar_t* caption,
                             bool hiddenToo) {
    std::vector<HWND> found;
    for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, className, caption)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner == pid && (hiddenToo || IsWindowVisible(w))) found.push_back(w);
    }
    return found;
}

// Has everything repainted, then captures `rect` of the screen until two captures agree (a
// window being repainted is not caught halfway; a running log may never settle).
std::vector<BYTE> SettledCapture(HWND window, const RECT& rect, BITMAPINFOHEADER* header) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    *header = {};
    header->biSize = sizeof(*header);
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = 24;
    auto capture = [&] {
        HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
        SelectObject(memory, old);
        std::vector<BYTE> pixels(((static_cast<size_t>(width) * 3 + 3) & ~size_t{3}) * height);
        GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                  reinterpret_cast<BITMAPINFO*>(header), DIB_RGB_COLORS);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
        return pixels;
    };
    std::vector<BYTE> pixels = capture();
    WaitUntil(
        [&] {
            std::vector<BYTE> again = capture();
            pixels.swap(again);
            return again == pixels;
        },
        3000);
    return pixels;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline) return condition();
        Sleep(20);
    }
    return true;
}

AppUnderTest::AppUnderTest(const std::wstring& arguments, bool withLogFile,
                           const std::wstring& program) {
    std::wstring line = L"\"" + program + L"\" " + arguments;
    if (withLogFile) {
        wchar_t folder[MAX_PATH] = {}, path[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, folder);
        GetTempFileNameW(folder, L"bxl", 0, path);  // made empty; the program appends
        logPath_ = path;
        line += L" --log-file \"" + logPath_ + L"\"";
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        nullptr, &startup, &process_)) {
        process_ = {};
        std::fwprintf(stderr, L"cannot start %ls (error %lu)\n", line.c_str(), GetLastError());
        return;
    }
    if (HANDLE job = TestJob()) AssignProcessToJobObject(job, process_.hProcess);
    ResumeThread(process_.hThread);
}

AppUnderTest::~AppUnderTest() {
    if (process_.hProcess) {
        // Whatever the test left (a failed assertion, an open box), the program goes with it.
        TerminateProcess(process_.hProcess, 1);
        WaitForSingleObject(process_.hProcess, 10000);
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    if (!logPath_.empty()) DeleteFileW(logPath_.c_str());
}

bool AppUnderTest::Running() const {
    return Started() && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

HWND AppUnderTest::WaitForMainWindow(DWORD timeoutMs) {
    auto find = [&] { return TopWindows(process_.dwProcessId, L"BRIXLANE", nullptr, false); };
    WaitUntil([&] { return !find().empty() || !Running(); }, timeoutMs);
    const std::vector<HWND> found = find();
    mainWindow_ = found.empty() ? nullptr : found[0];
    return mainWindow_;
}

std::vector<HWND> AppUnderTest::Dialogs(const std::wstring& caption, bool hiddenToo) const {
    return TopWindows(process_.dwProcessId, L"#32770", caption.c_str(), hiddenToo);
}

HWND AppUnderTest::WaitForDialog(const std::wstring& caption, DWORD timeoutMs) const {
    std::vector<HWND> found;
    WaitUntil([&] { return !(found = Dialogs(caption)).empty(); }, timeoutMs);
    return found.empty() ? nullptr : found[0];
}

bool AppUnderTest::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    return Started() && WaitForSingleObject(process_.hProcess, timeoutMs) == WAIT_OBJECT_0 &&
           GetExitCodeProcess(process_.hProcess, exitCode);
}

std::vector<LoggedRecord> AppUnderTest::Log() const {
    std::vector<LoggedRecord> records;
    const std::string content = ReadWholeFile(logPath_);
    // A line still being written (no '\n' yet) is not a record.
    for (size_t start = 0, end; (end = content.find('\n', start)) != std::string::npos;
         start = end + 1) {
        const size_t length = end - start - (end > start && content[end - 1] == '\r');
        std::wstring line(length, L'\0');
        line.resize(MultiByteToWideChar(CP_UTF8, 0, content.data() + start,
                                        static_cast<int>(length), line.data(),
                                        static_cast<int>(length)));
        if (line.size() < kTextColumn) continue;
        std::wstring category = line.substr(kCategoryColumn, kCategoryChars);
        category.erase(category.find_last_not_of(L' ') + 1);
        records.push_back({category, line.substr(kTextColumn)});
    }
    return records;
}

int AppUnderTest::WaitForRecord(const std::wstring& prefix, DWORD timeoutMs) const {
    std::vector<size_t> found;
    WaitUntil([&] { return !(found = Matching(Log(), prefix)).empty(); }, timeoutMs);
    return found.empty() ? -1 : static_cast<int>(found[0]);
}

std::vector<size_t> Matching(const std::vector<LoggedRecord>& log, const std::wstring& prefix,
                             const std::wstring& category, size_t from) {
    std::vector<size_t> found;
    for (size_t i = from; i < log.size(); ++i) {
        const LoggedRecord& r = log[i];
        if (r.text.compare(0, prefix.size(), prefix) == 0 &&
            (category.empty() || r.category == category)) {
            found.push_back(i);
        }
    }
    return found;
}

// Posts a harmless change to the hidden chart placement edit and waits until it is made.
bool AppUnderTest::Barrier() const {
    HWND frame = GetDlgItem(mainWindow_, kChartFrameId);
    const UINT value = ++barrierValue_;
    return frame && PostMessageW(frame, EM_SETLIMITTEXT, value, 0) &&
           WaitUntil([&] { return Send(frame, EM_GETLIMITTEXT, 0, 0) == value; });
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result)
               ? static_cast<LRESULT>(result)
               : -1;
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
    return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ? info.hwndFocus
                                                                              : nullptr;
}

std::wstring WindowText(HWND window) {
    wchar_t text[512] = {};
    return Send(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text)) < 0 ? L"" : text;
}

std::wstring ComboEntry(HWND combo, int index) {
    wchar_t text[512] = {};
    if (Send(combo, CB_GETLBTEXTLEN, index) >= 512) return L"(too long)";
    return Send(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text)) < 0 ? L"" : text;
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
    std::wstring text;
    WaitUntil([&] { return !(text = WindowText(GetDlgItem(box, 0xFFFF))).empty(); });
    return text;
}

COLORREF Picture::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return RGB(255, 255, 255);
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    const BYTE* pixel = &rows[stride * static_cast<size_t>(height - 1 - y) + 3 * x];
    return RGB(pixel[2], pixel[1], pixel[0]);
}

Picture CaptureClient(HWND window) {
    RECT rect = {};
    GetClientRect(window, &rect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    if (rect.right <= rect.left || rect.bottom <= rect.top) return {};
    BITMAPINFOHEADER header;
    std::vector<BYTE> rows = SettledCapture(window, rect, &header);
    return {rect.right - rect.left, rect.bottom - rect.top, std::move(rows)};
}

void SaveScreenshot(HWND window, const std::wstring& name) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    if (screenshotDir.empty() || rect.right <= rect.left) return;
    CreateDirectoryW(screenshotDir.c_str(), nullptr);
    BITMAPINFOHEADER header;
    const std::vector<BYTE> pixels = SettledCapture(window, rect, &header);
    BITMAPFILEHEADER file = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    const std::wstring path = screenshotDir + L"\\" + name + L".bmp";
    if (std::FILE* out = _wfopen(path.c_str(), L"wb")) {
        std::fwrite(&file, sizeof(file), 1, out);
        std::fwrite(&header, sizeof(header), 1, out);
        std::fwrite(pixels.data(), 1, pixels.size(), out);
        std::fclose(out);
    }
}

}  // namespace gui

// gui_tests.exe PROGRAM [SCREENSHOT_FOLDER [DPI]] [GoogleTest options]
// PROGRAM is brixlanetool.exe; a Unix path (as CTest passes it under Wine) is reached through
// Wine's drive Z:, which maps the Unix root. The tests run on a screen of DPI (96 unless
// given).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui_harness_win.h"

namespace {

std::wstring WindowsPath(const std::string& path) {
    std::wstring wide(path.begin(), path.end());
    if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

// Under Wine: without a window manager, Wine waits two seconds at every hide of a window it
// considers managed for a window manager that never answers, which would put two idle seconds
// into every close; the prefix is told not to. And Wine's own Tahoma and Marlett (Debian's
// fonts-wine), which not every Wine build finds, go into the prefix's font folder: without
// them the dialog font falls back to a wider face and the screenshots no longer look like
// Windows. brixlanetool.exe, started after this, reads both.
void PrepareThePrefix() {
    if (!GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version")) return;
    const wchar_t unmanaged[] = L"N";
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", L"Managed", REG_SZ, unmanaged,
                    sizeof(unmanaged));
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    for (const wchar_t* font : {L"tahoma.ttf", L"tahomabd.ttf", L"marlett.ttf"}) {
        const std::wstring from = std::wstring(L"Z:\\usr\\share\\wine\\fonts\\") + font;
        const std::wstring to = std::wstring(windows) + L"\\Fonts\\" + font;
        CopyFileW(from.c_str(), to.c_str(), TRUE);  // an existing copy stays
    }
}

constexpr const wchar_t* kDesktopKey = L"Control Panel\\Desktop";
constexpr int kPlainDpi = 96;

// The prefix's screen dpi, which every Wine program reads once, when it starts.
int LogPixels() {
    DWORD dpi = 0, size = sizeof(dpi);
    return RegGetValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", RRF_RT_REG_DWORD, nullptr,
                        &dpi, &size) == ERROR_SUCCESS
               ? static_cast<int>(dpi)
               : kPlainDpi;
}
void SetLogPixels(int dpi) {
    const DWORD value = static_cast<DWORD>(dpi);
    RegSetKeyValueW(HKEY_CURRENT_USER, kDesktopKey, L"LogPixels", REG_DWORD, &value, sizeof(value));
}

// Runs this program again, with the same command line, on a screen of `dpi`; the prefix is put
// back to 96 dpi afterwards. Its exit code, or 1.
int RunAgainAtDpi(int dpi) {
    SetLogPixels(dpi);
    std::wstring line = GetCommandLineW();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    DWORD exitCode = 1;
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    SetLogPixels(kPlainDpi);
    return static_cast<int>(exitCode);
}

// The tests read and move the program's windows and read its pixels as the screen has them.
// Wine maps window coordinates between the dpi of a window and that of the thread asking,
// unless the thread is per-monitor aware.
void SeeDevicePixels() {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    const auto set = reinterpret_cast<SetContext>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    const HANDLE perMonitorAware = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3));
    if (!set || !set(perMonitorAware)) SetProcessDPIAware();
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The dpi asked for; a prefix left at another one (a run cut short) is not the plain run's.
    const int dpi = argc >= 4 ? std::atoi(argv[3]) : kPlainDpi;
    if (dpi != LogPixels()) return RunAgainAtDpi(dpi);
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: gui_tests PROGRAM [SCREENSHOT_FOLDER [DPI]] [gtest options]\n");
        return 2;
    }
    gui::programPath = WindowsPath(argv[1]);
    if (argc >= 3) gui::screenshotDir = WindowsPath(argv[2]);
    SeeDevicePixels();
    PrepareThePrefix();
    return RUN_ALL_TESTS();
}

// gui_tests.exe PROGRAM [SCREENSHOT_FOLDER] [GoogleTest options]
// PROGRAM is brixlanetool.exe; a Unix path (as CTest passes it under Wine) is reached through
// Wine's drive Z:, which maps the Unix root. The screen's dpi is the one Wine gives the test
// program and the programs it starts (cmake/wine-run.sh, BRIXLANE_WINE_DPI).
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "gui_harness_win.h"

namespace {

std::wstring WindowsPath(const std::string& path) {
    std::wstring wide(path.begin(), path.end());
    if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
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
    if (argc < 2) {
        std::fprintf(stderr, "usage: gui_tests PROGRAM [SCREENSHOT_FOLDER] [gtest options]\n");
        return 2;
    }
    gui::programPath = WindowsPath(argv[1]);
    if (argc >= 3) gui::screenshotDir = WindowsPath(argv[2]);
    SeeDevicePixels();
    return RUN_ALL_TESTS();
}

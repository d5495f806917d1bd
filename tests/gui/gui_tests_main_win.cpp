// gui_tests.exe PROGRAM [SCREENSHOT_FOLDER] [GoogleTest options]
// PROGRAM is brixlanetool.exe; a Unix path (as CTest passes it under Wine) is reached through
// Wine's drive Z:, which maps the Unix root.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "gui_harness_win.h"

namespace {

std::wstring WindowsPath(const std::string& path) {
    std::wstring wide(path.begin(), path.end());
    if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    return wide;
}

// Without a window manager, Wine waits two seconds at every hide of a window it considers
// managed (one with a caption or frame) for a window manager that never answers, which would
// put two idle seconds into every close. Under Xvfb there is no window manager to manage
// anything, so the prefix is told not to; brixlanetool.exe, started after this, reads it.
void UnmanagedWindowsUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return;
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\X11 Driver", 0, nullptr, 0,
                        KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return;
    }
    const wchar_t value[] = L"N";
    RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof(value));
    RegCloseKey(key);
}

// Wine's own Tahoma and Marlett (Debian's fonts-wine) are not found by every Wine build; in
// the prefix's font folder they are. Without them the dialog font falls back to a wider
// face and the layout, and the screenshots, no longer look like Windows.
void WineFontsInThePrefix() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (!ntdll || !GetProcAddress(ntdll, "wine_get_version")) return;
    wchar_t windows[MAX_PATH] = {};
    GetWindowsDirectoryW(windows, MAX_PATH);
    for (const wchar_t* font : {L"tahoma.ttf", L"tahomabd.ttf", L"marlett.ttf"}) {
        const std::wstring from = std::wstring(L"Z:\\usr\\share\\wine\\fonts\\") + font;
        const std::wstring to = std::wstring(windows) + L"\\Fonts\\" + font;
        CopyFileW(from.c_str(), to.c_str(), TRUE);  // an existing copy stays
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: gui_tests PROGRAM [SCREENSHOT_FOLDER] [gtest options]\n");
        return 2;
    }
    gui::TheConfig().programPath = WindowsPath(argv[1]);
    if (argc >= 3) gui::TheConfig().screenshotDir = WindowsPath(argv[2]);
    if (GetFileAttributesW(gui::TheConfig().programPath.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "no program at %s\n", argv[1]);
        return 2;
    }
    UnmanagedWindowsUnderWine();
    WineFontsInThePrefix();
    return RUN_ALL_TESTS();
}

// A copy of the program in a folder of its own with a planted Msimg32.dll beside it, Wine told
// (for that copy alone) to prefer a DLL found on disk to its own: the program must still take
// the system's. Wine's libraries load Msimg32 only later, by its name, and then get the one
// the program already holds.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "gui_harness_win.h"

namespace {

TEST(PlantedLibrary, MsimgBesideTheProgramIsNotLoaded) {
    constexpr const wchar_t* kCopyName = L"brixlane_planted.exe";
    wchar_t self[MAX_PATH] = {}, temp[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    GetTempPathW(MAX_PATH, temp);
    const std::wstring own(self), ownFolder = own.substr(0, own.rfind(L'\\') + 1);
    const std::wstring folder =
        temp + (L"brixlane_planted_" + std::to_wstring(GetCurrentProcessId())) + L"\\";
    const std::wstring program = folder + kCopyName, planted = folder + L"Msimg32.dll";
    const std::wstring marker = folder + L"planted_dll_was_loaded", probe = folder + L"probe.dll";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(gui::programPath.c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((ownFolder + L"Msimg32.dll").c_str(), planted.c_str(), FALSE));
    // Under a name Wine has no library of its own for, the planted one announces itself.
    ASSERT_TRUE(CopyFileW(planted.c_str(), probe.c_str(), FALSE));
    HMODULE loaded = LoadLibraryW(probe.c_str());
    ASSERT_NE(loaded, nullptr);
    FreeLibrary(loaded);
    ASSERT_TRUE(DeleteFileW(marker.c_str())) << "the planted library left no marker";

    const std::wstring overrides = std::wstring(L"Software\\Wine\\AppDefaults\\") + kCopyName;
    const wchar_t nativeFirst[] = L"native,builtin";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, (overrides + L"\\DllOverrides").c_str(),
                              L"msimg32", REG_SZ, nativeFirst, sizeof(nativeFirst)),
              ERROR_SUCCESS);
    {
        gui::AppUnderTest app(L"--simulate", true, program);
        ASSERT_TRUE(app.Started());
        // The library is looked up before the window exists; a program that took the planted
        // one may not get that far.
        app.WaitForMainWindow(gui::kEffectTimeoutMs);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, overrides.c_str());
    EXPECT_EQ(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES)
        << "the program loaded the Msimg32.dll beside it";
    for (const std::wstring& file : {marker, planted, probe, program}) DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
}

}  // namespace

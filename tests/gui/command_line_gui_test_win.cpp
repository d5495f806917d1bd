// The program's two opt-in options: the parser itself, and what the program does with
// arguments it cannot use (a message box naming the problem, then exit status 2).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/command_line.h"
#include "gui_harness_win.h"

namespace {

constexpr DWORD kExitBadArguments = 2;
constexpr const wchar_t* kProgramCaption = L"Brixlanetool";

TEST(AppArguments, NoArgumentsMeanTheRealDriverAndNoLogFile) {
    AppOptions options;
    std::wstring error;
    ASSERT_TRUE(ParseAppArguments({}, &options, &error));
    EXPECT_FALSE(options.simulate);
    EXPECT_TRUE(options.logFile.empty());
}

TEST(AppArguments, SimulateTakesItsOptionTextAfterTheEqualsSign) {
    AppOptions options;
    std::wstring error;
    ASSERT_TRUE(ParseAppArguments({L"--simulate"}, &options, &error));
    EXPECT_TRUE(options.simulate);
    EXPECT_TRUE(options.simulateOptions.empty());
    ASSERT_TRUE(ParseAppArguments({L"--simulate=cards=2,link=gen3x8"}, &options, &error));
    EXPECT_TRUE(options.simulate);
    EXPECT_EQ(options.simulateOptions, L"cards=2,link=gen3x8");
}

TEST(AppArguments, LogFileTakesTheNextArgumentOrTheTextAfterEquals) {
    AppOptions options;
    std::wstring error;
    ASSERT_TRUE(
        ParseAppArguments({L"--log-file", L"C:\\a b\\log.txt", L"--simulate"}, &options, &error));
    EXPECT_EQ(options.logFile, L"C:\\a b\\log.txt");
    EXPECT_TRUE(options.simulate);
    ASSERT_TRUE(ParseAppArguments({L"--log-file=x.txt"}, &options, &error));
    EXPECT_EQ(options.logFile, L"x.txt");
}

TEST(AppArguments, MissingFileNameAndUnknownArgumentsAreRefusedByName) {
    struct Case {
        std::vector<std::wstring> arguments;
        std::wstring named;
    };
    const Case cases[] = {
        {{L"--log-file"}, L"--log-file"},
        {{L"--log-file="}, L"--log-file"},
        {{L"--simulate", L"--bogus"}, L"--bogus"},
        {{L"--simulated"}, L"--simulated"},
        {{L"simulate"}, L"simulate"},
    };
    for (const Case& c : cases) {
        AppOptions options;
        options.logFile = L"untouched";
        std::wstring error;
        EXPECT_FALSE(ParseAppArguments(c.arguments, &options, &error)) << c.named.c_str();
        EXPECT_NE(error.find(c.named), std::wstring::npos) << error.c_str();
        EXPECT_EQ(options.logFile, L"untouched");
    }
}

// The program refuses, tells why in a message box, and ends with status 2 once it is closed.
void ExpectRefused(const std::wstring& arguments, const std::wstring& named) {
    gui::AppUnderTest app(arguments, false);
    ASSERT_TRUE(app.Started());
    HWND box = app.WaitForDialog(kProgramCaption, gui::kStartTimeoutMs);
    ASSERT_NE(box, nullptr) << "no message box";
    const std::wstring text = gui::MessageBoxText(box);
    EXPECT_NE(text.find(named), std::wstring::npos) << text.c_str();
    gui::DismissMessageBox(box);
    DWORD exitCode = 0;
    ASSERT_TRUE(app.WaitForExit(gui::kEffectTimeoutMs, &exitCode));
    EXPECT_EQ(exitCode, kExitBadArguments);
}

TEST(ProgramArguments, UnknownArgumentEndsWithStatus2) {
    ExpectRefused(L"--bogus", L"Unknown argument: --bogus");
}

TEST(ProgramArguments, BadSimulationItemIsNamedAndEndsWithStatus2) {
    ExpectRefused(L"--simulate=cards=many", L"cards");
    ExpectRefused(L"--simulate=warp=9", L"warp");
}

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\') + 1); }

// A copy of the program in a folder of its own with a planted Msimg32.dll beside it, Wine told
// (for that copy alone) to prefer a DLL found on disk to its own: the program must still take
// the system's. Wine's libraries load Msimg32 only later, by its name, and then get the one
// the program already holds.
TEST(PlantedLibrary, MsimgBesideTheProgramIsNotLoaded) {
    constexpr const wchar_t* kCopyName = L"brixlane_planted.exe";
    wchar_t self[MAX_PATH] = {}, temp[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        temp + (L"brixlane_planted_" + std::to_wstring(GetCurrentProcessId())) + L"\\";
    const std::wstring program = folder + kCopyName, planted = folder + L"Msimg32.dll";
    const std::wstring marker = folder + L"planted_dll_was_loaded", probe = folder + L"probe.dll";
    CreateDirectoryW(folder.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(gui::TheConfig().programPath.c_str(), program.c_str(), FALSE));
    ASSERT_TRUE(CopyFileW((FolderOf(self) + L"Msimg32.dll").c_str(), planted.c_str(), FALSE));
    // Under a name Wine has no library of its own for, the planted one announces itself.
    ASSERT_TRUE(CopyFileW(planted.c_str(), probe.c_str(), FALSE));
    HMODULE loaded = LoadLibraryW(probe.c_str());
    ASSERT_NE(loaded, nullptr);
    FreeLibrary(loaded);
    ASSERT_TRUE(DeleteFileW(marker.c_str())) << "the planted library left no marker";

    const std::wstring overrides = std::wstring(L"Software\\Wine\\AppDefaults\\") + kCopyName;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (overrides + L"\\DllOverrides").c_str(), 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t nativeFirst[] = L"native,builtin";
    RegSetValueExW(key, L"msimg32", 0, REG_SZ, reinterpret_cast<const BYTE*>(nativeFirst),
                   sizeof(nativeFirst));
    RegCloseKey(key);
    const std::wstring realProgram = gui::TheConfig().programPath;
    gui::TheConfig().programPath = program;
    {
        gui::AppUnderTest app(L"--simulate");
        gui::TheConfig().programPath = realProgram;
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

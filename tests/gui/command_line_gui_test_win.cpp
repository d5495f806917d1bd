// The program's two opt-in options: the parser itself, and what the program does with
// arguments it cannot use (a message box naming the problem, then exit status 2).
#include <gtest/gtest.h>
#include <windows.h>

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

}  // namespace

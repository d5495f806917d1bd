// Program entry of brixlanetool.exe: chooses the card driver, registers the main window's
// class, creates and initialises the window, and runs the message loop.
// clang-format off
#include <windows.h>  // before every other Windows header
// clang-format on
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/main_window_win.h"
#include "app/window_port_win.h"
#include "card/card_driver.h"
#include "card/win32_card_driver.h"
#include "engine/run_state.h"
#include "engine/test_settings.h"
#include "log/logger.h"
#include "sim/sim_options.h"
#include "sim/simulated_card_driver.h"

namespace {

constexpr int kExitStartFailed = 1;
constexpr int kExitBadArguments = 2;
constexpr const wchar_t* kProgramCaption = L"Brixlanetool";

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);

void ShowStartError(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), kProgramCaption, MB_OK | MB_ICONERROR);
}

std::vector<std::wstring> ArgumentsAfterProgramName() {
    std::vector<std::wstring> arguments;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!argv) return arguments;
    for (int i = 1; i < count; ++i) arguments.emplace_back(argv[i]);
    LocalFree(argv);
    return arguments;
}

// GetVersionEx reports what the manifest claims; ntdll's RtlGetVersion reports the truth.
OSVERSIONINFOW SystemVersion() {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion = ntdll ? reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void*>(
                                     GetProcAddress(ntdll, "RtlGetVersion")))
                               : nullptr;
    if (!rtlGetVersion || rtlGetVersion(&version) != 0) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        GetVersionExW(&version);
#pragma GCC diagnostic pop
    }
    return version;
}

void LookUpGradientFill(const OSVERSIONINFOW& version) {
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT || version.dwMajorVersion < 5) return;
    // By its full path in the system folder: a bare name searches the program's own folder
    // first, and test PCs run programs from USB sticks and shared folders, where anyone could
    // have put a Msimg32.dll of their own.
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    const std::wstring path = std::wstring(folder, length) + L"\\Msimg32.dll";
    HMODULE msimg32 = LoadLibraryW(path.c_str());
    if (!msimg32) return;
    gradientFill = reinterpret_cast<GradientFillEntry>(
        reinterpret_cast<void*>(GetProcAddress(msimg32, "GradientFill")));
}

// Chooses the card driver. Drivers and the live log file live until the process ends: a test
// thread still finishing after the window has gone may use them.
bool ApplyOptions(const AppOptions& options, Win32WindowPort* port) {
    if (options.simulate) {
        SimOptions simOptions;
        std::wstring error;
        if (!ParseSimOptions(options.simulateOptions, &simOptions, &error)) {
            ShowStartError(L"--simulate: " + error + L"\n\n" + AppUsage());
            return false;
        }
        UseCardDriver(new SimulatedCardDriver(simOptions));
    } else {
        UseCardDriver(new Win32CardDriver);
    }
    if (!options.logFile.empty()) {
        std::FILE* file = _wfopen(options.logFile.c_str(), L"ab");
        if (!file) {
            ShowStartError(L"--log-file: cannot open " + options.logFile);
            return false;
        }
        port->FollowLogInto(file);
    }
    return true;
}

int RunMessageLoop() {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) != 0) {
        if (got == -1) break;
        if (!IsDialogMessageW(mainWindow, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE module, HINSTANCE, PWSTR commandLine, int showCommand) {
    instance = module;

    // Without arguments nothing is parsed at all: the program is what it always was.
    AppOptions options;
    if (commandLine && *commandLine) {
        std::wstring error;
        if (!ParseAppArguments(ArgumentsAfterProgramName(), &options, &error)) {
            ShowStartError(error + L"\n\n" + AppUsage());
            return kExitBadArguments;
        }
        if (options.showUsage) {
            MessageBoxW(nullptr, AppUsage().c_str(), kProgramCaption, MB_OK | MB_ICONINFORMATION);
            return 0;
        }
    }
    auto* port = new Win32WindowPort(GetCurrentThreadId());
    if (!ApplyOptions(options, port)) return kExitBadArguments;

    ResetRunState();
    shuttingDown = false;
    InitTestSettings(TestSettings);

    const OSVERSIONINFOW version = SystemVersion();
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    if (!RegisterMainWindowClass(module)) {
        ShowStartError(L"The main window class could not be registered (error " +
                       std::to_wstring(GetLastError()) + L").");
        return kExitStartFailed;
    }
    LookUpGradientFill(version);

    // Everything that logs runs from InitMainWindow on; the port is in place before it.
    InstallWindowPort(port);
    mainWindow = CreateDialogW(module, kMainWindowTemplate, nullptr, nullptr);
    if (!mainWindow) {
        ShowStartError(L"The main window could not be created (error " +
                       std::to_wstring(GetLastError()) + L").");
        return kExitStartFailed;
    }
    ShowWindow(mainWindow, showCommand);
    InitMainWindow(mainWindow);
    return RunMessageLoop();
}

// brixlanetool-cli: the command-line runner for automated production-line testing. The same
// engine as the window, driven through a console port.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <thread>

#include "card/card_connection.h"
#include "card/card_driver.h"
#include "card/card_info.h"
#include "card/card_list.h"
#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/console_port.h"
#include "engine/run_control.h"
#include "engine/run_state.h"
#include "engine/test_settings.h"
#include "log/log_export.h"
#include "log/logger.h"
#include "sim/sim_options.h"
#include "sim/simulated_card_driver.h"
#ifdef _WIN32
#include "card/win32_card_driver.h"
#endif

namespace {

constexpr int kExitPassed = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoCard = 3;
constexpr auto kControlTick = std::chrono::milliseconds(10);
// After the run's thread has returned the window to idle it only counts itself out.
constexpr auto kThreadExitBound = std::chrono::seconds(30);

std::atomic<int> interrupts{0};

extern "C" void OnInterrupt(int) {
    ++interrupts;
    std::signal(SIGINT, OnInterrupt);
}

void Error(const std::wstring& text) { Print(stderr, L"brixlanetool-cli: " + text + L"\n"); }

std::unique_ptr<CardDriver> ChooseDriver(const CliOptions& options, int* status) {
    if (options.simulate) {
        SimOptions sim;
        std::wstring error;
        if (!ParseSimOptions(options.simulateOptions, &sim, &error)) {
            Error(L"--simulate: " + error);
            *status = kExitUsage;
            return nullptr;
        }
        return std::make_unique<SimulatedCardDriver>(sim);
    }
#ifdef _WIN32
    return std::make_unique<Win32CardDriver>();
#else
    Error(L"there is no card driver on this system; use --simulate to run on the simulated "
          L"card");
    *status = kExitNoCard;
    return nullptr;
#endif
}

// The card table from a fresh scan; reports why a card cannot be used.
int ChooseCard(const CliOptions& options) {
    const std::vector<std::wstring> paths = DiscoverCards();
    StoreCardPaths(paths);
    if (paths.empty()) {
        Print(stderr, std::wstring(kNoCardsRecord) + L"\n");
        return kExitNoCard;
    }
    if (options.command != CliCommand::List && CardList[options.card].empty()) {
        const size_t kept = paths.size() < kMaxCards ? paths.size() : kMaxCards;
        Error(L"--card " + std::to_wstring(options.card) + L": no card in that slot; cards are in "
              L"slots 0-" + std::to_wstring(kept - 1));
        return kExitUsage;
    }
    return kExitPassed;
}

void ApplySettings(const CliOptions& options) {
    InitTestSettings(TestSettings);
    TestSettings.testMode = options.command == CliCommand::Benchmark ? 1 : 0;
    TestSettings.patternType = options.patternType;
    TestSettings.constantPatternValue = options.constant;
    TestSettings.loopbackLoadPercent = options.load;
    TestSettings.benchmarkBlockMB = options.blockMB;
    TestSettings.benchmarkDirection = options.direction;
    TestSettings.detailedLogging = options.detailed;
    TestSettings.stopOnError = options.stopOnError;
}

// The log file is tried before the run, so a bad path costs no test time.
bool LogFileWritable(const std::wstring& path) {
    Logger probe;
    return WriteLogFile(std::filesystem::path(path), probe);
}

int RunTest(const CliOptions& options, ConsolePort& port) {
    port.Follow(true);
    LogAdd(L"Korvenix Brixlanetool V1.0 1001", kLogInformation);
    AddCardEntry(options.card);
    ShowCardInformation(CardList[options.card]);

    port.SelectDevice(options.card);
    port.SetDurationText(L"0");
    std::signal(SIGINT, OnInterrupt);
    StartTest();
    if (TestControl.stopRequested) {
        Error(L"the test could not be started");
        return kExitFailed;
    }
    // The duration edit holds 7 characters; the runner keeps the length it was given whole.
    TestCounters.runMinutes = static_cast<float>(options.minutes);

    int stopsAsked = 0;
    while (!port.RunFinished()) {
        const int asked = interrupts;
        if (asked > stopsAsked) {
            stopsAsked = asked;
            if (asked >= 2) {
                Error(L"interrupted twice: leaving without the summary");
                port.Flush();
                std::_Exit(kExitFailed);
            }
            StopTest(false);
        }
        if (!TestControl.stopRequested && TestCounters.startTime > 0) CheckRunLength();
        std::this_thread::sleep_for(kControlTick);
    }
    const auto bound = std::chrono::steady_clock::now() + kThreadExitBound;
    while (TestControl.activeThreads > 0 && std::chrono::steady_clock::now() < bound) {
        std::this_thread::sleep_for(kControlTick);
    }
    port.Flush();

    int status = port.ErrorRecords() > 0 ? kExitFailed : kExitPassed;
    if (!options.logFile.empty() && !WriteLogFile(std::filesystem::path(options.logFile),
                                                  *theLog.load())) {
        Error(L"--log: the event log could not be written to \"" + options.logFile + L"\"");
        status = kExitFailed;
    }
    return status;
}

int Run(const CliOptions& options, ConsolePort& port) {
    int status = kExitPassed;
    std::unique_ptr<CardDriver> driver = ChooseDriver(options, &status);
    if (!driver) return status;
    UseCardDriver(driver.get());
    ApplySettings(options);
    status = ChooseCard(options);

    if (status == kExitPassed && options.command == CliCommand::List) {
        for (int i = 0; i < kMaxCards && !CardList[i].empty(); ++i) {
            Print(stdout, CardDisplayName(i) + L"\n");
        }
    } else if (status == kExitPassed && options.command == CliCommand::Info) {
        ShowCardInformation(CardList[options.card]);
        LogRecord record;
        for (int i = -7; i < 0; ++i) {
            if (theLog.load()->CopyRecord(i, &record)) Print(stdout, std::wstring(record.text) + L"\n");
        }
    } else if (status == kExitPassed) {
        if (!options.logFile.empty() && !LogFileWritable(options.logFile)) {
            Error(L"--log \"" + options.logFile + L"\": the file cannot be written");
            status = kExitUsage;
        } else {
            status = RunTest(options, port);
        }
    }
    theCard.Close();
    ReleaseCardList();
    UseCardDriver(nullptr);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::wstring> args = PrepareConsole(argc, argv);
    CliOptions options;
    std::wstring error;
    if (!ParseCliArguments(args, &options, &error)) {
        Error(error);
        Print(stderr, L"Try brixlanetool-cli --help.\n");
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(kCliUsage, stdout);
        Print(stdout, std::wstring(L"\nSimulated card options:\n") + SimOptionsUsage());
        return kExitPassed;
    }

    ConsolePort port;
    SetMainWindowPort(&port);
    ResetRunState();
    shuttingDown = false;
    CreateTheLog();
    const int status = Run(options, port);
    DestroyTheLog();
    SetMainWindowPort(nullptr);
    return status;
}

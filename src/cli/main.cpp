// brixlanetool-cli: the command-line runner for automated production-line testing. The same
// engine as the window, driven through a console port; a run observer keeps what the JSON
// results, the limits and the diagnosis need.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <memory>
#include <thread>

#include "card/card_connection.h"
#include "card/card_driver.h"
#include "card/card_list.h"
#include "cli/card_verdict.h"
#include "cli/cli_options.h"
#include "cli/console.h"
#include "cli/console_port.h"
#include "cli/json_results.h"
#include "cli/junit_results.h"
#include "cli/live_views.h"
#include "cli/report_html.h"
#include "cli/run_recorder.h"
#include "engine/card_scan.h"
#include "engine/product.h"
#include "engine/run_control.h"
#include "engine/run_observer.h"
#include "engine/run_state.h"
#include "engine/test_settings.h"
#include "log/log_export.h"
#include "log/logger.h"
#include "log/wide_format.h"
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
// One request to stop can arrive twice: `timeout` signals the program and then its whole
// process group. Only an interrupt this long after the first counts as a second.
constexpr auto kSecondInterruptGap = std::chrono::milliseconds(500);

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
    Error(
        L"there is no card driver on this system; use --simulate to run on the simulated "
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
    if (options.command != CliCommand::List && !options.allCards &&
        CardList[options.card].empty()) {
        const size_t kept = paths.size() < kMaxCards ? paths.size() : kMaxCards;
        Error(L"--card " + std::to_wstring(options.card) +
              L": no card in that slot; cards are in "
              L"slots 0-" +
              std::to_wstring(kept - 1));
        return kExitUsage;
    }
    return kExitPassed;
}

// The request for one card's run. The run length is kept whole, not cut to what the window's
// duration edit would hold.
RunRequest Request(const CliOptions& options, int slot) {
    RunRequest request;
    request.cardSlot = slot;
    TestSettingsRecord& settings = request.settings;
    InitTestSettings(settings);
    settings.testMode = options.command == CliCommand::Benchmark ? 1 : 0;
    settings.patternType = options.patternType;
    settings.constantPatternValue = options.constant;
    settings.loopbackLoadPercent = options.load;
    settings.benchmarkBlockMB = options.blockMB;
    settings.benchmarkDirection = options.direction;
    settings.detailedLogging = options.detailed;
    settings.stopOnError = options.stopOnError;
    request.runMinutes = static_cast<float>(options.minutes);
    return request;
}

// The log file is tried before the run, so a bad path costs no test time.
bool LogFileWritable(const std::wstring& path) {
    Logger probe;
    return WriteLogFile(std::filesystem::path(path), probe);
}

// Bounded wait until the previous card's thread has counted itself out and returned, so that
// the next Start is not refused and never shares theCard with it.
void WaitForTestThread() {
    const auto bound = std::chrono::steady_clock::now() + kThreadExitBound;
    while ((TestControl.activeThreads > 0 || TestThreadAlive()) &&
           std::chrono::steady_clock::now() < bound) {
        std::this_thread::sleep_for(kControlTick);
    }
}

// Whether the run still makes transfers: a loopback until it leaves its pass loop (its summary
// then waits on purpose, a tenth of a second per slot); a benchmark until its thread has
// joined the last worker, which may be the one stuck in a transfer.
bool TransfersExpected() { return TestCounters.statusText != StatusText::LoopbackComplete; }

// The average rates the JSON results do not give: the loopback's mean round-trip rate (the
// benchmark's averages are in its results).
std::vector<std::string> AverageLines(const CliOptions& options, const LiveCounts& counts) {
    if (options.command != CliCommand::Loopback || counts.measured == 0) return {};
    const double mean = counts.rateSum / static_cast<double>(counts.measured);
    char line[80];
    std::snprintf(line, sizeof line, "round_trip.average_mib_per_s: %.3f", RoundedRate(mean));
    return {line};
}

// Opens a file for the JSON stream; standard output for "-".
std::FILE* OpenStream(const std::wstring& path) {
    if (path == L"-") return stdout;
#ifdef _WIN32
    return _wfopen(path.c_str(), L"wb");
#else
    return std::fopen(ToUtf8(path).c_str(), "wb");
#endif
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The run's summary records, oldest first: from the newest record that opens a summary to the
// newest record. A summary is ten records at most, so only the newest few are searched; none
// when the run logged no summary.
std::vector<LogRecord> SummaryRecords(RecordedTest test) {
    constexpr int kSearched = 40;
    const wchar_t* const opening =
        test == RecordedTest::Loopback ? L"Test Start time:" : L"Overall benchmark result:";
    Logger* log = theLog.load();
    LogRecord record;
    for (int back = 1; log && back <= kSearched && log->CopyRecord(-back, &record); ++back) {
        if (std::wstring_view(record.text).rfind(opening, 0) != 0) continue;
        std::vector<LogRecord> records;
        for (int i = -back; i < 0 && log->CopyRecord(i, &record); ++i) records.push_back(record);
        return records;
    }
    return {};
}

// Everything the runner does for one card: its information lines, the link check, the run,
// the verdict with its reasons. Returns false when the run could not be started at all.
bool TestCard(const CliOptions& options, int slot, ConsolePort& port, RunRecorder& recorder,
              LiveViews& live, CardOutcome* outcome, std::vector<std::wstring>* diagnosis) {
    // Each card starts from the state the program starts in: the counters (the benchmark's
    // minimum survives StartTest), the card connection's rate and records.
    WaitForTestThread();
    if (TestThreadAlive()) {
        Error(L"the previous card's test has not ended; no further card is tested");
        return false;
    }
    ResetRunState();
    theCard.Close();
    theCard = CardConnection();
    const uint64_t errorRecordsBefore = port.ErrorRecords();

    outcome->startTime = static_cast<int64_t>(std::time(nullptr));
    const auto started = std::chrono::steady_clock::now();
    AddCardEntry(slot);
    outcome->card = ShowCardInformation(CardList[slot]);
    outcome->card.slot = slot;
    outcome->card.name = CardDisplayName(slot);

    // A card that trained a lesser link, or did not open to show one, is failed as it is,
    // before any transfer.
    if (options.expectLink) {
        const std::optional<std::wstring> shortfall =
            outcome->card.open != CardOpen::Opened
                ? CardOpenReason(outcome->card.open)
                : LinkShortfall(*options.expectLink, outcome->card.linkStatus);
        if (shortfall) {
            outcome->reasons.push_back(*shortfall);
            outcome->durationSeconds = SecondsSince(started);
            return true;
        }
    }

    std::FILE* lines = port.RecordStream();
    recorder.Begin(
        options.command == CliCommand::Loopback ? RecordedTest::Loopback : RecordedTest::Benchmark,
        options.diagnose, [lines, diagnosis](const std::wstring& line) {
            Print(lines, line + L"\n");
            // Bounded: the diagnosis describes a fixed number of passes and bits.
            if (diagnosis) diagnosis->push_back(line);
        });
    live.BeginCard(slot);
    if (StartRun(Request(options, slot)) != RunStart::Started) {
        Error(L"the test could not be started");
        return false;
    }
    outcome->tested = true;

    // A signal handler cannot wake a condition variable: the wait looks at Ctrl-C each tick,
    // and at the transfer counter, as a transfer that never returns would keep it for ever.
    int stopsAsked = 0;
    std::chrono::steady_clock::time_point firstStop;
    uint64_t transfers = CompletedTransfers();
    auto lastTransfer = std::chrono::steady_clock::now();
    while (!recorder.WaitForEnd(kControlTick)) {
        live.Tick();
        const int asked = interrupts;
        if (asked > stopsAsked) {
            const auto now = std::chrono::steady_clock::now();
            if (stopsAsked == 0) {
                StopTest(false);
                firstStop = now;
            } else if (now - firstStop >= kSecondInterruptGap) {
                SetLiveLine(std::string());
                Error(L"interrupted twice: leaving without the summary");
                port.Flush();
                std::_Exit(kExitFailed);
            }
            stopsAsked = asked;
        }
        if (!TestControl.stopRequested && TestCounters.startTime > 0) CheckRunLength();

        const auto now = std::chrono::steady_clock::now();
        if (CompletedTransfers() != transfers) {
            transfers = CompletedTransfers();
            lastTransfer = now;
        } else if (options.stallTimeoutSeconds > 0 && TransfersExpected() &&
                   now - lastTransfer >= std::chrono::seconds(options.stallTimeoutSeconds)) {
            // The card's thread is inside a driver call that may never return: its results
            // never come, and the caller leaves without waiting for it.
            const std::wstring reason = FormatWide(
                L"no transfer completed in %u s: the card or its driver stopped answering",
                static_cast<unsigned>(options.stallTimeoutSeconds));
            LogAdd(reason.c_str(), kLogError);
            port.Flush();
            live.EndCard();
            outcome->tested = false;
            outcome->stalled = true;
            outcome->reasons.push_back(reason);
            outcome->durationSeconds = SecondsSince(started);
            return true;
        }
    }
    WaitForTestThread();
    port.Flush();
    live.EndCard();
    recorder.Finish();
    outcome->durationSeconds = SecondsSince(started);

    std::vector<std::wstring> reasons = recorder.Outcome().reasons;
    const uint64_t errorRecords = port.ErrorRecords() - errorRecordsBefore;
    if (reasons.empty() && errorRecords > 0) {
        reasons.push_back(std::to_wstring(errorRecords) + L" ERROR record(s) in the event log");
    }
    for (const std::wstring& limit : LimitReasons(options, recorder)) reasons.push_back(limit);
    outcome->reasons = std::move(reasons);
    return true;
}

int RunTests(const CliOptions& options, ConsolePort& port, std::FILE* stream) {
    port.Follow(true);
    LogAdd(kIdentificationLine, kLogInformation);

    std::vector<int> slots;
    for (int i = 0; i < kMaxCards && !CardList[i].empty(); ++i) {
        if (options.allCards || i == options.card) slots.push_back(i);
    }

    RunRecorder recorder;
    LiveViews live(options, recorder, stream);
    SetRunObserver(&live);
    Json results = Json::array();
    std::vector<JunitCase> cases;
    int status = kExitPassed;
    size_t tested = 0;
    bool stalled = false;
    const char* notTested = "not tested: interrupted";
    const bool reporting = !options.reportFile.empty();
    std::vector<ReportCard> report;
    // Outlives the loop: a card that stopped answering may still say something when its
    // transfer returns, until the program leaves.
    std::vector<std::wstring> diagnosis;
    for (int slot : slots) {
        if (interrupts > 0) break;
        CardOutcome outcome;
        diagnosis.clear();
        if (!TestCard(options, slot, port, recorder, live, &outcome,
                      reporting ? &diagnosis : nullptr)) {
            notTested = "not tested: the test could not be started";
            status = kExitFailed;
            break;
        }
        ++tested;
        if (!outcome.reasons.empty()) status = kExitFailed;
        // One line at the end of a card's turn says how it went and why: for every card of
        // many, for one card when it failed.
        if (options.allCards || !outcome.reasons.empty()) {
            std::wstring line =
                outcome.card.name + (outcome.reasons.empty() ? L": passed" : L": failed");
            for (size_t i = 0; i < outcome.reasons.size(); ++i) {
                line += (i == 0 ? L": " : L"; ") + outcome.reasons[i];
            }
            Error(line);
        }
        results.push_back(CardResultJson(options, outcome, recorder));
        live.CardResult(results.back());
        const std::vector<LogRecord> summary =
            outcome.tested ? SummaryRecords(recorder.Test()) : std::vector<LogRecord>();
        JunitCase testcase{ToUtf8(outcome.card.name), results.back(), {}, {}, std::string()};
        if (outcome.tested) {
            for (const LogRecord& r : summary) testcase.summary.push_back(FormatRecordLine(r, true));
            testcase.figures = AverageLines(options, live.Counts());
        }
        cases.push_back(std::move(testcase));
        if (reporting) {
            ReportCard card;
            if (outcome.tested) {
                card.diagnosis = diagnosis;
                card.figures = recorder.Figures();
                card.loopbackRates = recorder.LoopbackRates();
                for (const LogRecord& r : summary) card.summary.push_back(r.text);
            }
            card.outcome = outcome;
            report.push_back(std::move(card));
        }
        if (outcome.stalled) {
            stalled = true;
            notTested = "not tested: an earlier card stopped answering";
            break;
        }
    }
    for (size_t i = tested; i < slots.size(); ++i) {
        cases.push_back({ToUtf8(CardDisplayName(slots[i])), Json(), {}, {}, notTested});
    }
    if (!stalled) WaitForTestThread();
    SetRunObserver(nullptr);
    port.Flush();

    if (tested < slots.size() && (interrupts > 0 || stalled)) {
        Error((stalled ? L"a card stopped answering: " : L"interrupted: ") +
              std::to_wstring(slots.size() - tested) + L" card(s) not tested");
        status = kExitFailed;
    }
    if (!options.logFile.empty() &&
        !WriteLogFile(std::filesystem::path(options.logFile), *theLog.load())) {
        Error(L"--log: the event log could not be written to \"" + options.logFile + L"\"");
        status = kExitFailed;
    }
    if (options.jsonFile == L"-") {
        const std::string text = JsonText(results);
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    } else if (!options.jsonFile.empty() && !WriteTextFile(options.jsonFile, JsonText(results))) {
        Error(L"--json: the results could not be written to \"" + options.jsonFile + L"\"");
        status = kExitFailed;
    }
    if (!options.junitFile.empty() &&
        !WriteTextFile(options.junitFile, JunitText(options, cases))) {
        Error(L"--junit: the results could not be written to \"" + options.junitFile + L"\"");
        status = kExitFailed;
    }
    if (reporting && !WriteTextFile(options.reportFile, ReportHtml(options, report))) {
        Error(L"--report: the report could not be written to \"" + options.reportFile + L"\"");
        status = kExitFailed;
    }
    if (stalled) {
        // Closing theCard or destroying the driver under the stuck thread would crash or hang:
        // leave with what is written, as the operating system ends the thread.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(kExitFailed);
    }
    return status;
}

int Run(const CliOptions& options, ConsolePort& port) {
    int status = kExitPassed;
    std::unique_ptr<CardDriver> driver = ChooseDriver(options, &status);
    if (!driver) return status;
    UseCardDriver(driver.get());
    // The scan and the information lines see the options the runs will have.
    TestSettings = Request(options, options.card).settings;
    status = ChooseCard(options);

    if (status == kExitPassed && options.command == CliCommand::List) {
        for (int i = 0; i < kMaxCards && !CardList[i].empty(); ++i) {
            Print(stdout, CardDisplayName(i) + L"\n");
        }
    } else if (status == kExitPassed && options.command == CliCommand::Info) {
        const CardFacts facts = ShowCardInformation(CardList[options.card]);
        if (facts.open != CardOpen::Opened) {
            Error(CardDisplayName(options.card) + L": " + CardOpenReason(facts.open));
            status = kExitFailed;
        }
        LogRecord record;
        for (int i = -7; i < 0 && status == kExitPassed; ++i) {
            if (theLog.load()->CopyRecord(i, &record)) {
                Print(stdout, std::wstring(record.text) + L"\n");
            }
        }
    } else if (status == kExitPassed) {
        // Both files are tried before the run, so a bad path costs no test time.
        const bool jsonToFile = !options.jsonFile.empty() && options.jsonFile != L"-";
        if (!options.logFile.empty() && !LogFileWritable(options.logFile)) {
            Error(L"--log \"" + options.logFile + L"\": the file cannot be written");
            status = kExitUsage;
        } else if (jsonToFile && !WriteTextFile(options.jsonFile, "[]\n")) {
            Error(L"--json \"" + options.jsonFile + L"\": the file cannot be written");
            status = kExitUsage;
        } else if (!options.junitFile.empty() &&
                   !WriteTextFile(options.junitFile, JunitText(options, {}))) {
            Error(L"--junit \"" + options.junitFile + L"\": the file cannot be written");
            status = kExitUsage;
        } else if (!options.reportFile.empty() &&
                   !WriteTextFile(options.reportFile, ReportHtml(options, {}))) {
            Error(L"--report \"" + options.reportFile + L"\": the file cannot be written");
            status = kExitUsage;
        } else {
            std::FILE* stream =
                options.jsonStreamFile.empty() ? nullptr : OpenStream(options.jsonStreamFile);
            if (!options.jsonStreamFile.empty() && !stream) {
                Error(L"--json-stream \"" + options.jsonStreamFile +
                      L"\": the file cannot be written");
                status = kExitUsage;
            } else {
                port.SetObjectStream(stream);
                status = RunTests(options, port, stream);
                port.SetObjectStream(nullptr);
                if (stream && stream != stdout) std::fclose(stream);
            }
        }
    }
    theCard.Close();
    ReleaseCardList();
    UseCardDriver(nullptr);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // From the very start: a Ctrl-C that comes while the card is still being opened must
    // stop the run with its summary, not end the program without one.
    std::signal(SIGINT, OnInterrupt);
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
    // With the results or the JSON stream on standard output, the records make way to
    // standard error.
    if (options.jsonFile == L"-" || options.jsonStreamFile == L"-") port.SetRecordStream(stderr);
    SetMainWindowPort(&port);
    ResetRunState();
    shuttingDown = false;
    CreateTheLog();
    const int status = Run(options, port);
    DestroyTheLog();
    SetMainWindowPort(nullptr);
    return status;
}

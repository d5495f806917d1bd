// Endurance: a long loopback and a long benchmark on a simulated card that injects faults at a
// steady rate. Every injected error must be found, no more and no fewer; resident memory must
// not grow beyond the fixed log; the log must hold the newest 10000 records. Runs only when
// named (--only endurance_...), for BRIXLANE_ENDURANCE_SECONDS each (default 600).
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"
#include "card/card_connection.h"
#include "card/card_list.h"
#include "cli/report_html.h"
#include "cli/run_recorder.h"
#include "engine/benchmark.h"
#include "engine/loopback.h"
#include "engine/run_observer.h"
#include "engine/run_state.h"
#include "engine/test_settings.h"
#include "log/logger.h"
#include "sim/simulated_card_driver.h"

namespace {

double EnduranceSeconds() {
    const char* text = std::getenv("BRIXLANE_ENDURANCE_SECONDS");
    const double seconds = text ? std::atof(text) : 600.0;
    return seconds > 0 ? seconds : 600.0;
}

// Resident memory in MiB (Linux); 0 where it cannot be read.
double ResidentMiB() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (!statm) return 0;
    long pages = 0;
    long resident = 0;
    const int read = std::fscanf(statm, "%ld %ld", &pages, &resident);
    std::fclose(statm);
    return read == 2 ? resident * 4096.0 / 1048576.0 : 0;
}

// Counts what the run found, pass by pass, without touching the log.
class Tally final : public RunObserver {
public:
    void LoopbackPass(int32_t result, double, const CardConnection&, const ErrorRecord*) override {
        if (result > 0) wrongBytes += static_cast<uint64_t>(result);
    }
    void BenchmarkCycle(bool, uint32_t, float, uint64_t, uint32_t failures) override {
        failedTransfers += failures;
    }
    std::atomic<uint64_t> wrongBytes{0};
    std::atomic<uint64_t> failedTransfers{0};
};

struct EnduranceRun {
    double residentStart = 0;
    double residentEnd = 0;
    int logCount = 0;
    bool newestKept = false;
};

EnduranceRun Run(const SimOptions& options, void (*test)(const std::atomic<int32_t>*),
                 RunObserver& tally, SimCardStats* stats) {
    SimulatedCardDriver driver(options);
    UseCardDriver(&driver);
    StoreCardPaths(DiscoverCards());
    ResetRunState();
    InitTestSettings(TestSettings);
    TestSettings.benchmarkBlockMB = 1;
    shuttingDown = false;
    CreateTheLog();
    SetRunObserver(&tally);
    selectedCard = 0;

    EnduranceRun run;
    TestControl.stopRequested = false;
    std::thread thread(test, &selectedCard);
    // Resident memory once the run has reached its steady state (buffers, card memory, log).
    std::this_thread::sleep_for(std::chrono::seconds(2));
    run.residentStart = ResidentMiB();
    std::this_thread::sleep_for(std::chrono::duration<double>(EnduranceSeconds() - 2));
    run.residentEnd = ResidentMiB();
    TestControl.stopRequested = true;
    thread.join();

    Logger* log = theLog.load();
    run.logCount = log->Count();
    // The ring holds every record while fewer than 10000 were added, else exactly the newest
    // 10000: the oldest held is serial - 10000, and the one before it is gone.
    const uint64_t serial = log->Serial();
    LogRecord record;
    if (serial <= 10000) {
        run.newestKept = run.logCount == static_cast<int>(serial);
    } else {
        run.newestKept = run.logCount == 10000 &&
                         log->CopyRecordBySerial(serial - 10000, &record) &&
                         !log->CopyRecordBySerial(serial - 10001, &record);
    }
    *stats = driver.Stats(0);
    SetRunObserver(nullptr);
    theCard.Close();
    ReleaseCardList();
    DestroyTheLog();
    UseCardDriver(nullptr);
    return run;
}

std::vector<Figure> LoopbackEndurance() {
    // Two wrong bytes in every 1000th read-back, one counted AER bit after every transfer.
    SimOptions options;
    options.corruptBytes = 2;
    options.corruptEvery = 1000;
    options.aerCorrectable = 0x40;
    Tally tally;
    SimCardStats stats;
    const EnduranceRun run = Run(options, LoopbackTest, tally, &stats);
    const uint64_t passes = TestCounters.operations;
    const uint64_t injectedBytes = stats.reads[0] / 1000 * 2;
    const uint64_t injected = injectedBytes + passes;  // every pass reports one AER bit
    const uint64_t found = TestCounters.errors;
    return {Info("endurance_loopback_passes", static_cast<double>(passes), "passes"),
            Info("endurance_loopback_injected", static_cast<double>(injected), "errors"),
            AtLeast("endurance_loopback_found_ratio", injected ? double(found) / injected : 1,
                    "ratio", 1.0),
            AtMost("endurance_loopback_found_excess", double(found) - double(injected), "errors", 0),
            AtMost("endurance_loopback_rss_growth", run.residentEnd - run.residentStart, "MiB", 1.0),
            Info("endurance_loopback_log_records", run.logCount, "records"),
            AtLeast("endurance_loopback_log_newest_kept", run.newestKept, "bool", 1)};
}

std::vector<Figure> BenchmarkEndurance() {
    SimOptions options;
    options.failReadEvery = 500;
    options.failWriteEvery = 700;
    Tally tally;
    SimCardStats stats;
    const EnduranceRun run = Run(options, BenchmarkTest, tally, &stats);
    uint64_t injected = 0;
    for (int c = 1; c <= 3; ++c) injected += stats.reads[c] / 500 + stats.writes[c] / 700;
    const uint64_t found = tally.failedTransfers;
    return {Info("endurance_benchmark_blocks",
                 static_cast<double>(TestCounters.readBlocks + TestCounters.writeBlocks), "blocks"),
            Info("endurance_benchmark_injected", static_cast<double>(injected), "failures"),
            AtLeast("endurance_benchmark_found_ratio", injected ? double(found) / injected : 1,
                    "ratio", 1.0),
            AtMost("endurance_benchmark_found_excess", double(found) - double(injected), "failures",
                   0),
            AtMost("endurance_benchmark_rss_growth", run.residentEnd - run.residentStart, "MiB",
                   1.0),
            Info("endurance_benchmark_log_records", run.logCount, "records"),
            AtLeast("endurance_benchmark_log_newest_kept", run.newestKept, "bool", 1)};
}

// The runner's own observer through a long loopback, an error in every 1000th pass, and the
// report drawn from it: its statistics must not grow, nor the page pass 1 MB.
std::vector<Figure> ReportEndurance() {
    SimOptions options;
    options.corruptBytes = 1;
    options.corruptEvery = 1000;
    RunRecorder recorder;
    recorder.Begin(RecordedTest::Loopback, false, nullptr);
    SimCardStats stats;
    const EnduranceRun run = Run(options, LoopbackTest, recorder, &stats);
    recorder.Finish();
    ReportCard card;
    card.figures = recorder.Figures();
    card.outcome.tested = true;
    card.outcome.durationSeconds = EnduranceSeconds();
    card.outcome.reasons = recorder.Outcome().reasons;
    CliOptions cli;
    cli.command = CliCommand::Loopback;
    const std::string page = ReportHtml(cli, {card});
    return {AtMost("endurance_report_rss_growth", run.residentEnd - run.residentStart, "MiB", 1.0),
            Info("endurance_report_timeline_points",
                 static_cast<double>(card.figures.timeline.size()), "points"),
            AtMost("endurance_report_bytes", static_cast<double>(page.size()), "bytes", 1000000)};
}

BenchRegistration report{
    {"endurance_report_rss_growth", "endurance_report_timeline_points", "endurance_report_bytes"},
    ReportEndurance,
    /*onRequest=*/true};
BenchRegistration loopback{{"endurance_loopback_passes", "endurance_loopback_injected",
                            "endurance_loopback_found_ratio", "endurance_loopback_found_excess",
                            "endurance_loopback_rss_growth", "endurance_loopback_log_records",
                            "endurance_loopback_log_newest_kept"},
                           LoopbackEndurance, /*onRequest=*/true};
BenchRegistration benchmark{{"endurance_benchmark_blocks", "endurance_benchmark_injected",
                             "endurance_benchmark_found_ratio", "endurance_benchmark_found_excess",
                             "endurance_benchmark_rss_growth", "endurance_benchmark_log_records",
                             "endurance_benchmark_log_newest_kept"},
                            BenchmarkEndurance, /*onRequest=*/true};

}  // namespace

// The runner's new figures: the loopback's median round trip against the link the simulated
// card models, and the size of a report whose timeline has reached its bound. The endurance
// run of the report (ten minutes) lives with the other endurance figures.
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "bench.h"
#include "card/card_connection.h"
#include "card/card_list.h"
#include "cli/report_html.h"
#include "engine/loopback.h"
#include "engine/run_observer.h"
#include "engine/run_state.h"
#include "engine/run_statistics.h"
#include "engine/test_settings.h"
#include "log/logger.h"
#include "sim/simulated_card_driver.h"

namespace {

constexpr double kModelledMBps = 2000;
constexpr uint64_t kMeasuredPasses = 3000;  // about 0.75 s at the modelled rate
constexpr double kHangBoundSeconds = 60;

// Feeds the engine's statistics as a front end would, and ends the run after enough passes.
class RoundTrips final : public RunObserver {
  public:
    void LoopbackPass(int32_t result, double rate, const CardConnection& card,
                      const ErrorRecord* status) override {
        statistics.LoopbackPass(0, result, rate, LastRoundTripNs(card), PassErrors(result, status));
        if (statistics.RoundTripsNs().Count() >= kMeasuredPasses) {
            TestControl.stopRequested = true;
            ended = true;
        }
    }
    void BenchmarkCycle(bool, uint32_t, float, uint64_t, uint32_t) override {}
    RunStatistics statistics;
    std::atomic<bool> ended{false};
};

std::vector<Figure> RoundTripModelFigures() {
    SimOptions options;
    options.rateMBps = kModelledMBps;
    SimulatedCardDriver driver(options);
    UseCardDriver(&driver);
    StoreCardPaths(DiscoverCards());
    ResetRunState();
    InitTestSettings(TestSettings);
    shuttingDown = false;
    CreateTheLog();
    selectedCard = 0;
    RoundTrips trips;
    trips.statistics.Begin(false, 0);
    SetRunObserver(&trips);
    TestControl.stopRequested = false;
    std::thread thread(LoopbackTest, &selectedCard);
    const double start = NowSeconds();
    while (!trips.ended && NowSeconds() - start < kHangBoundSeconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    TestControl.stopRequested = true;
    thread.join();
    SetRunObserver(nullptr);
    theCard.Close();
    ReleaseCardList();
    DestroyTheLog();
    UseCardDriver(nullptr);

    // 256 KiB written, then read back, each at the modelled rate.
    const double modelUs = 2 * 0.25 / kModelledMBps * 1e6;
    const RunFigures f = trips.statistics.Figures();
    return {Info("round_trip_median_us", f.roundTripUs.p50, "us"),
            Info("round_trip_p99_us", f.roundTripUs.p99, "us"),
            AtMost("round_trip_model_error_pct", std::fabs(f.roundTripUs.p50 / modelUs - 1) * 100,
                   "%", 10.0)};
}

// Two hours of passes, an error in every second: the timeline at its bound of points, every
// one with an error marker.
std::vector<Figure> FullReportFigures() {
    ReportCard card;
    RunStatistics statistics;
    statistics.Begin(false, 0);
    for (int64_t ms = 0; ms < 2 * 3600 * 1000; ms += 250) {
        statistics.LoopbackPass(ms, ms % 1000 == 0, 900 + ms % 7000 / 70.0, 250000 + ms % 9973 * 20,
                                ms % 1000 == 0);
    }
    card.figures = statistics.Figures();
    card.outcome.tested = true;
    card.outcome.durationSeconds = 7200;
    card.outcome.reasons = {L"7200 verification error(s): wrong bytes read back"};
    CliOptions options;
    options.command = CliCommand::Loopback;
    const std::string page = ReportHtml(options, {card});
    return {
        Info("report_full_timeline_points", static_cast<double>(card.figures.timeline.size()),
             "points"),
        AtMost("report_full_timeline_bytes", static_cast<double>(page.size()), "bytes", 1000000)};
}

BenchRegistration roundTrip{
    {"round_trip_median_us", "round_trip_p99_us", "round_trip_model_error_pct"},
    RoundTripModelFigures};
BenchRegistration fullReport{{"report_full_timeline_points", "report_full_timeline_bytes"},
                             FullReportFigures};

}  // namespace

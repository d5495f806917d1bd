// RunStatistics: what a run's events tell of its behaviour over time, in memory that does not
// grow with the run. Fed by a run observer (the runner's, and later a window's) with the time
// since the run started, it keeps the round-trip time of every loopback pass and the rate of
// every benchmark cycle in log-linear histograms, and a timeline of what completed each second.
#pragma once

#include <cstdint>
#include <vector>

#include "card/card_connection.h"
#include "engine/log_histogram.h"

// At most this many timeline points: past it, neighbouring points merge pairwise.
inline constexpr size_t kTimelinePointLimit = 3600;

// What completed in [startS, startS + spanS) seconds after the run started.
struct TimelinePoint {
    uint64_t startS = 0;
    uint64_t spanS = 0;
    uint64_t transfers = 0;  // loopback passes, or benchmark blocks of both directions
    uint64_t errors = 0;     // counted errors (loopback), failed transfers (benchmark)
    uint64_t rated[2] = {};  // transfers with a rate: [0] loopback or read, [1] write
    double rateSum[2] = {};
    // The mean rate (MB/s) of what completed, [0] loopback or read, [1] write; 0 when none.
    double Rate(int which) const {
        return rated[which] ? rateSum[which] / static_cast<double>(rated[which]) : 0.0;
    }
};

// Seconds of wall time, one point for each that saw something complete. Beyond
// kTimelinePointLimit the resolution doubles: the points of each aligned pair of windows merge,
// adding their spans, so a run of any length keeps at most the limit.
class Timeline {
  public:
    Timeline();
    void Clear();
    // Something completed `elapsedMs` after the run started: `transfers` transfers with
    // `errors` errors; with `rated`, its rate (MB/s) counts toward the point's rate `which`.
    void Add(int64_t elapsedMs, uint64_t transfers, uint64_t errors, bool rated, int which,
             double rateMBps);
    const std::vector<TimelinePoint>& Points() const { return points_; }
    uint64_t ResolutionS() const { return resolutionS_; }

  private:
    void Coarsen();
    std::vector<TimelinePoint> points_;  // reserved once, never grown past the limit
    uint64_t resolutionS_ = 1;
};

// Round-trip times in microseconds; count 0 when no pass was measured.
struct RoundTripFigures {
    uint64_t count = 0;
    double p50 = 0, p90 = 0, p99 = 0, p99_9 = 0, max = 0;
};

// A benchmark direction's cycle rates in MB/s, the slow tail; count 0 when none.
struct CycleRateFigures {
    uint64_t count = 0;
    double p50 = 0, p10 = 0, p1 = 0, p0_1 = 0, min = 0;
};

// One bar of a histogram drawn on a logarithmic axis: values in [low, high), in the
// figures' unit (microseconds or MB/s).
struct HistogramBar {
    double low = 0;
    double high = 0;
    uint64_t count = 0;
};
inline constexpr int kHistogramBars = 40;

// Everything a report or a CI file needs of a finished card, copied out of the statistics so
// that the next card may reuse them.
struct RunFigures {
    bool benchmark = false;
    RoundTripFigures roundTripUs;
    CycleRateFigures readCycles;
    CycleRateFigures writeCycles;
    std::vector<TimelinePoint> timeline;
    std::vector<HistogramBar> roundTripBars;
    std::vector<HistogramBar> readBars;
    std::vector<HistogramBar> writeBars;
};

class RunStatistics {
  public:
    RunStatistics() = default;
    RunStatistics(const RunStatistics&) = delete;
    RunStatistics& operator=(const RunStatistics&) = delete;

    // Before a run: forgets the last one. `blockBytes` turns a benchmark cycle's bytes into
    // blocks (0: unknown, counted as none).
    void Begin(bool benchmark, uint64_t blockBytes);
    // A loopback pass that ended `elapsedMs` into the run: its result (as the run observer
    // hears it), rate, round-trip time (below 0: not measured) and counted errors.
    void LoopbackPass(int64_t elapsedMs, int32_t result, double rateMBps, int64_t roundTripNs,
                      uint64_t errors);
    void BenchmarkCycle(int64_t elapsedMs, bool read, float rateMBps, uint64_t bytes,
                        uint32_t failures);

    const LogHistogram& RoundTripsNs() const { return roundTripsNs_; }
    // Thousandths of a MB/s.
    const LogHistogram& CycleRates(bool read) const { return read ? readRates_ : writeRates_; }
    const Timeline& TimelineKept() const { return timeline_; }
    RunFigures Figures() const;

  private:
    bool benchmark_ = false;
    uint64_t blockBytes_ = 0;
    LogHistogram roundTripsNs_;
    LogHistogram readRates_;
    LogHistogram writeRates_;
    Timeline timeline_;
};

// The last loopback transfer's round trip in nanoseconds, from the card's counter; -1 when
// the counter was never read.
int64_t LastRoundTripNs(const CardConnection& card);

// The errors the loopback counts for one pass: each wrong byte, a failed write or read, each
// counted error-status bit of `status` (null: not read).
uint64_t PassErrors(int32_t result, const ErrorRecord* status);

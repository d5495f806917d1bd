#include "engine/run_statistics.h"

#include <algorithm>
#include <cmath>

#include "engine/error_status.h"

namespace {

constexpr double kRateScale = 1000.0;  // the histograms keep thousandths of a MB/s

uint64_t ScaledRate(double rateMBps) {
    if (!(rateMBps > 0)) return 0;  // also NaN
    return static_cast<uint64_t>(std::llround(std::min(rateMBps, 1e12) * kRateScale));
}

RoundTripFigures RoundTripsOf(const LogHistogram& ns) {
    RoundTripFigures f;
    if (ns.Count() == 0) return f;
    f.count = ns.Count();
    f.p50 = ns.Quantile(0.5) / 1000.0;
    f.p90 = ns.Quantile(0.9) / 1000.0;
    f.p99 = ns.Quantile(0.99) / 1000.0;
    f.p99_9 = ns.Quantile(0.999) / 1000.0;
    f.max = static_cast<double>(ns.Max()) / 1000.0;
    return f;
}

CycleRateFigures CycleRatesOf(const LogHistogram& rates) {
    CycleRateFigures f;
    if (rates.Count() == 0) return f;
    f.count = rates.Count();
    f.p50 = rates.Quantile(0.5) / kRateScale;
    f.p10 = rates.Quantile(0.1) / kRateScale;
    f.p1 = rates.Quantile(0.01) / kRateScale;
    f.p0_1 = rates.Quantile(0.001) / kRateScale;
    f.min = static_cast<double>(rates.Min()) / kRateScale;
    return f;
}

// kHistogramBars bars of equal width on a logarithmic axis from the smallest value to the
// largest; `scale` turns the histogram's unit into the figures'.
std::vector<HistogramBar> BarsOf(const LogHistogram& h, double scale) {
    std::vector<HistogramBar> bars;
    if (h.Count() == 0) return bars;
    const double low = std::max(1.0, static_cast<double>(h.Min()));
    const double high = std::max(low * 1.01, static_cast<double>(h.Max()) + 1.0);
    const double step = std::log(high / low) / kHistogramBars;
    bars.resize(kHistogramBars);
    for (int i = 0; i < kHistogramBars; ++i) {
        bars[i].low = low * std::exp(step * i) / scale;
        bars[i].high = low * std::exp(step * (i + 1)) / scale;
    }
    for (uint32_t bin = h.LowestBin(); bin <= h.HighestBin() && bin < LogHistogram::kBins; ++bin) {
        const uint64_t n = h.BinCount(bin);
        if (n == 0) continue;
        const double middle =
            std::clamp(static_cast<double>(LogHistogram::BinLow(bin)) +
                           static_cast<double>(LogHistogram::BinWidth(bin) - 1) / 2.0,
                       low, high);
        const int i = static_cast<int>(std::log(middle / low) / step);
        bars[std::clamp(i, 0, kHistogramBars - 1)].count += n;
    }
    return bars;
}

}  // namespace

Timeline::Timeline() { points_.reserve(kTimelinePointLimit); }

void Timeline::Clear() {
    points_.clear();
    resolutionS_ = 1;
}

void Timeline::Add(int64_t elapsedMs, uint64_t transfers, uint64_t errors, bool rated, int which,
                   double rateMBps) {
    const uint64_t second = static_cast<uint64_t>(std::max<int64_t>(elapsedMs, 0) / 1000);
    // The clock only moves forward, so only the newest point can take this second; an event
    // reported a little out of order joins it too.
    if (points_.empty() || second / resolutionS_ > points_.back().startS / resolutionS_) {
        if (points_.size() >= kTimelinePointLimit) Coarsen();
    }
    const uint64_t start = second / resolutionS_ * resolutionS_;
    if (points_.empty() || start > points_.back().startS) {
        TimelinePoint p;
        p.startS = start;
        p.spanS = resolutionS_;
        points_.push_back(p);
    }
    TimelinePoint& p = points_.back();
    p.transfers += transfers;
    p.errors += errors;
    if (rated) {
        ++p.rated[which];
        p.rateSum[which] += rateMBps;
    }
}

void Timeline::Coarsen() {
    resolutionS_ *= 2;
    size_t kept = 0;
    for (const TimelinePoint& p : points_) {
        const uint64_t start = p.startS / resolutionS_ * resolutionS_;
        if (kept > 0 && points_[kept - 1].startS == start) {
            // The window already spans both halves: their spans added.
            TimelinePoint& into = points_[kept - 1];
            into.transfers += p.transfers;
            into.errors += p.errors;
            for (int i = 0; i < 2; ++i) {
                into.rated[i] += p.rated[i];
                into.rateSum[i] += p.rateSum[i];
            }
        } else {
            TimelinePoint& into = points_[kept++];
            into = p;
            // The first point of its new window stands for all of it.
            into.startS = start;
            into.spanS = resolutionS_;
        }
    }
    points_.resize(kept);
}

void RunStatistics::Begin(bool benchmark, uint64_t blockBytes) {
    benchmark_ = benchmark;
    blockBytes_ = blockBytes;
    roundTripsNs_.Clear();
    readRates_.Clear();
    writeRates_.Clear();
    timeline_.Clear();
}

void RunStatistics::LoopbackPass(int64_t elapsedMs, int32_t result, double rateMBps,
                                 int64_t roundTripNs, uint64_t errors) {
    // A failed write or read measured nothing; its rate is only the last good one again.
    const bool measured = result >= 0;
    if (measured && roundTripNs >= 0) roundTripsNs_.Add(static_cast<uint64_t>(roundTripNs));
    timeline_.Add(elapsedMs, 1, errors, measured, 0, rateMBps);
}

void RunStatistics::BenchmarkCycle(int64_t elapsedMs, bool read, float rateMBps, uint64_t bytes,
                                   uint32_t failures) {
    (read ? readRates_ : writeRates_).Add(ScaledRate(rateMBps));
    const uint64_t blocks = blockBytes_ ? bytes / blockBytes_ : 0;
    timeline_.Add(elapsedMs, blocks, failures, true, read ? 0 : 1, rateMBps);
}

RunFigures RunStatistics::Figures() const {
    RunFigures f;
    f.benchmark = benchmark_;
    f.timeline = timeline_.Points();
    if (benchmark_) {
        f.readCycles = CycleRatesOf(readRates_);
        f.writeCycles = CycleRatesOf(writeRates_);
        f.readBars = BarsOf(readRates_, kRateScale);
        f.writeBars = BarsOf(writeRates_, kRateScale);
    } else {
        f.roundTripUs = RoundTripsOf(roundTripsNs_);
        f.roundTripBars = BarsOf(roundTripsNs_, 1000.0);
    }
    return f;
}

int64_t LastRoundTripNs(const CardConnection& card) {
    const int64_t ticks = card.endCount - card.startCount;
    const int64_t frequency = card.counterFrequency;
    if (frequency <= 0 || card.endCount == 0 || ticks < 0) return -1;
    // Whole seconds and the remainder apart, so no product can overflow.
    return ticks / frequency * 1000000000 + ticks % frequency * 1000000000 / frequency;
}

uint64_t PassErrors(int32_t result, const ErrorRecord* status) {
    uint64_t errors = result > 0 ? static_cast<uint64_t>(result) : result < 0 ? 1 : 0;
    if (status) ForEachErrorStatusBit(*status, [&](const ErrorStatusBit&) { ++errors; });
    return errors;
}

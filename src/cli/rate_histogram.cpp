#include "cli/rate_histogram.h"

#include <algorithm>
#include <cmath>

RateHistogram::RateHistogram() : bins_(new uint64_t[kBins + 1]()) {}

void RateHistogram::Clear() {
    if (count_ != 0) std::fill(&bins_[lowestBin_], &bins_[highestBin_] + 1, 0);
    count_ = 0;
    min_ = 0;
    max_ = 0;
    lowestBin_ = kBins;
    highestBin_ = 0;
}

void RateHistogram::Add(double rateMBps) {
    const double rate = rateMBps > 0 ? rateMBps : 0.0;  // also NaN
    const uint32_t bin =
        rate >= static_cast<double>(kBins) ? kBins : static_cast<uint32_t>(std::floor(rate));
    ++bins_[bin];
    if (count_ == 0 || rate < min_) min_ = rate;
    if (count_ == 0 || rate > max_) max_ = rate;
    lowestBin_ = std::min(lowestBin_, bin);
    highestBin_ = std::max(highestBin_, bin);
    ++count_;
}

double RateHistogram::Median() const {
    if (count_ == 0) return 0.0;
    const uint64_t rank = (count_ + 1) / 2;
    uint64_t seen = 0;
    uint32_t bin = lowestBin_;
    for (; bin < highestBin_; ++bin) {
        seen += bins_[bin];
        if (seen >= rank) break;
    }
    return std::clamp(static_cast<double>(bin), min_, max_);
}

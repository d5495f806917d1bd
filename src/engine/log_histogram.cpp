#include "engine/log_histogram.h"

#include <algorithm>
#include <cmath>

namespace {

int TopBit(uint64_t value) {
    int bit = 63;
    while (!(value >> bit)) --bit;
    return bit;
}

}  // namespace

LogHistogram::LogHistogram() : bins_(new uint64_t[kBins]()) {}

uint32_t LogHistogram::BinOf(uint64_t value) {
    if (value < kExactBins) return static_cast<uint32_t>(value);
    const int top = TopBit(value);  // 8 or more
    const uint32_t sub = static_cast<uint32_t>(value >> (top - kSubBinBits)) & 127u;
    return kExactBins + static_cast<uint32_t>(top - 8) * 128u + sub;
}

uint64_t LogHistogram::BinLow(uint32_t bin) {
    if (bin < kExactBins) return bin;
    const int top = static_cast<int>((bin - kExactBins) / 128) + 8;
    return (128u + (bin - kExactBins) % 128) * (uint64_t{1} << (top - kSubBinBits));
}

uint64_t LogHistogram::BinWidth(uint32_t bin) {
    if (bin < kExactBins) return 1;
    return uint64_t{1} << ((bin - kExactBins) / 128 + 8 - kSubBinBits);
}

void LogHistogram::Clear() {
    if (count_ != 0) std::fill(&bins_[lowestBin_], &bins_[highestBin_] + 1, 0);
    count_ = 0;
    min_ = 0;
    max_ = 0;
    lowestBin_ = kBins;
    highestBin_ = 0;
}

void LogHistogram::Add(uint64_t value) {
    const uint32_t bin = BinOf(value);
    ++bins_[bin];
    if (count_ == 0 || value < min_) min_ = value;
    if (count_ == 0 || value > max_) max_ = value;
    lowestBin_ = std::min(lowestBin_, bin);
    highestBin_ = std::max(highestBin_, bin);
    ++count_;
}

double LogHistogram::Quantile(double q) const {
    if (count_ == 0) return 0.0;
    const double wanted = std::ceil(std::clamp(q, 0.0, 1.0) * static_cast<double>(count_));
    const uint64_t rank = std::max<uint64_t>(1, static_cast<uint64_t>(wanted));
    uint64_t seen = 0;
    uint32_t bin = lowestBin_;
    for (; bin < highestBin_; ++bin) {
        seen += bins_[bin];
        if (seen >= rank) break;
    }
    const double middle =
        static_cast<double>(BinLow(bin)) + static_cast<double>(BinWidth(bin) - 1) / 2.0;
    return std::clamp(middle, static_cast<double>(min_), static_cast<double>(max_));
}

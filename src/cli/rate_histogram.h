// RateHistogram: counts of rates in whole-MB/s bins, allocated once, so that the median of a
// run of any length costs fixed memory. Minimum and maximum are kept exactly.
#pragma once

#include <cstdint>
#include <memory>

class RateHistogram {
public:
    // Bin i holds rates in [i, i + 1) MB/s, up to 65535; anything faster shares one overflow
    // bin. The ceiling is above what a Gen5 x16 link carries in one direction (about 63,000
    // MB/s), and the loopback's rates are whole MB/s, so its median is exact below it.
    static constexpr uint32_t kBins = 65536;

    RateHistogram();
    RateHistogram(const RateHistogram&) = delete;
    RateHistogram& operator=(const RateHistogram&) = delete;

    // Forgets every rate; only the bins ever used are cleared.
    void Clear();
    // Counts one rate; negative and NaN rates count as 0.
    void Add(double rateMBps);

    uint64_t Count() const { return count_; }
    // Exact; 0 when nothing was counted.
    double Min() const { return count_ ? min_ : 0.0; }
    double Max() const { return count_ ? max_ : 0.0; }
    // The lower median (the ceil(n/2)-th smallest rate) rounded down to whole MB/s, but never
    // outside [Min, Max]. A median in the overflow bin reads as 65536, a lower bound. 0 when
    // nothing was counted.
    double Median() const;

private:
    std::unique_ptr<uint64_t[]> bins_;  // kBins + 1: the last is the overflow bin
    uint64_t count_ = 0;
    double min_ = 0;
    double max_ = 0;
    uint32_t lowestBin_ = kBins;  // the range of bins in use, for Clear and Median
    uint32_t highestBin_ = 0;
};

// LogHistogram: counts of whole numbers (nanoseconds, thousandths of a MB/s) in log-linear bins,
// allocated once, so that percentiles of a run of any length cost fixed memory. Below 256 each
// value has a bin of its own; above, each power of two is cut into 128 equal bins, so a bin is
// at most 1/128 of its values wide and the value it stands for is within 0.4% of any of them.
// Minimum and maximum are kept exactly.
#pragma once

#include <cstdint>
#include <memory>

class LogHistogram {
  public:
    static constexpr int kSubBinBits = 7;  // 128 bins per power of two
    static constexpr uint32_t kExactBins = 256;
    static constexpr uint32_t kBins = kExactBins + (64 - 8) * (1u << kSubBinBits);

    LogHistogram();
    LogHistogram(const LogHistogram&) = delete;
    LogHistogram& operator=(const LogHistogram&) = delete;

    // Forgets every value; only the bins ever used are cleared.
    void Clear();
    void Add(uint64_t value);

    uint64_t Count() const { return count_; }
    uint64_t Min() const { return count_ ? min_ : 0; }
    uint64_t Max() const { return count_ ? max_ : 0; }
    // The ceil(q * n)-th smallest value (the smallest for q = 0), as the middle of its bin,
    // kept within [Min, Max]; 0 when nothing was counted.
    double Quantile(double q) const;

    // The bins in use, for drawing: [LowestBin, HighestBin]; a bin holds [BinLow, BinLow +
    // BinWidth).
    uint32_t LowestBin() const { return lowestBin_; }
    uint32_t HighestBin() const { return highestBin_; }
    uint64_t BinCount(uint32_t bin) const { return bins_[bin]; }
    static uint32_t BinOf(uint64_t value);
    static uint64_t BinLow(uint32_t bin);
    static uint64_t BinWidth(uint32_t bin);

  private:
    std::unique_ptr<uint64_t[]> bins_;
    uint64_t count_ = 0;
    uint64_t min_ = 0;
    uint64_t max_ = 0;
    uint32_t lowestBin_ = kBins;
    uint32_t highestBin_ = 0;
};

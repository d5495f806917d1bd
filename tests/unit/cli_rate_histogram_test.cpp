#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "cli/rate_histogram.h"

namespace {

TEST(RateHistogramTest, MedianIsTheLowerOfTwoRoundedDownButNeverBelowTheMinimum) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> skewed(90, 6800);  // a few slow passes do not move the median
    skewed.insert(skewed.end(), 10, 12);
    const struct {
        const char* name;
        std::vector<double> rates;
        double min, median, max;
    } cases[] = {
        {"empty", {}, 0, 0, 0},
        {"three", {7000, 6500, 7100}, 6500, 7000, 7100},
        {"four: the lower median", {7000, 6500, 7100, 7200}, 6500, 7000, 7200},
        {"skewed", skewed, 12, 6800, 6800},
        {"fractional", {1000.9, 1001.7, 1002.2}, 1000.9, 1001.0, 1002.2},
        {"all in one bin", {1000.6, 1000.7, 1000.8}, 1000.6, 1000.6, 1000.8},
        // Above the ceiling all share the overflow bin: its median is a lower bound.
        {"overflow", {100, 70000, 250000}, 100, RateHistogram::kBins, 250000},
        {"last real bin", {100, 70000, 250000, 65535.5, 1}, 1, 65535, 250000},
        {"negative and NaN count as zero", {-5, nan, 10}, 0, 0, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RateHistogram h;
        for (double r : c.rates) h.Add(r);
        EXPECT_EQ(h.Count(), c.rates.size());
        EXPECT_DOUBLE_EQ(h.Min(), c.min);
        EXPECT_DOUBLE_EQ(h.Median(), c.median);
        EXPECT_DOUBLE_EQ(h.Max(), c.max);
    }
}

TEST(RateHistogramTest, ClearForgetsEveryBinUsed) {
    RateHistogram h;
    for (int i = 0; i < 1000; ++i) h.Add(i * 50.0);  // spread over many bins
    h.Add(1e9);
    h.Clear();
    EXPECT_EQ(h.Count(), 0u);
    // Rates left behind in between (3050, 3100, ...) would pull this median down.
    for (double r : {3001.0, 3999.0, 3999.0}) h.Add(r);
    EXPECT_EQ(h.Median(), 3999.0);
    EXPECT_EQ(h.Min(), 3001.0);
    EXPECT_EQ(h.Max(), 3999.0);
}

}  // namespace

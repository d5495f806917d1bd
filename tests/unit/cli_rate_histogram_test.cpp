#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "cli/rate_histogram.h"

namespace {

TEST(RateHistogramTest, EmptyHasNoFigures) {
    RateHistogram h;
    EXPECT_EQ(h.Count(), 0u);
    EXPECT_EQ(h.Min(), 0.0);
    EXPECT_EQ(h.Median(), 0.0);
    EXPECT_EQ(h.Max(), 0.0);
}

TEST(RateHistogramTest, MedianOfWholeRatesIsExactAndTheLowerOfTwo) {
    RateHistogram h;
    for (double r : {7000.0, 6500.0, 7100.0}) h.Add(r);
    EXPECT_EQ(h.Median(), 7000.0);
    EXPECT_EQ(h.Min(), 6500.0);
    EXPECT_EQ(h.Max(), 7100.0);
    h.Add(7200.0);  // four rates: the lower median
    EXPECT_EQ(h.Median(), 7000.0);
    EXPECT_EQ(h.Count(), 4u);

    // A skewed run: a few slow passes do not move the median, however slow.
    RateHistogram skewed;
    for (int i = 0; i < 90; ++i) skewed.Add(6800);
    for (int i = 0; i < 10; ++i) skewed.Add(12);
    EXPECT_EQ(skewed.Median(), 6800.0);
    EXPECT_EQ(skewed.Min(), 12.0);
}

TEST(RateHistogramTest, FractionalRatesGiveTheMedianRoundedDownButWithinTheRange) {
    RateHistogram h;
    for (double r : {1000.9, 1001.7, 1002.2}) h.Add(r);
    EXPECT_EQ(h.Median(), 1001.0);
    EXPECT_DOUBLE_EQ(h.Min(), 1000.9);
    EXPECT_DOUBLE_EQ(h.Max(), 1002.2);

    // Never below the exact minimum: every rate in one bin.
    RateHistogram one;
    for (double r : {1000.6, 1000.7, 1000.8}) one.Add(r);
    EXPECT_DOUBLE_EQ(one.Median(), 1000.6);
}

TEST(RateHistogramTest, RatesAboveTheCeilingShareTheOverflowBin) {
    RateHistogram h;
    h.Add(100);
    h.Add(70000);
    h.Add(250000);
    EXPECT_EQ(h.Median(), static_cast<double>(RateHistogram::kBins));  // a lower bound
    EXPECT_EQ(h.Max(), 250000.0);                                      // still exact
    h.Add(65535.5);                                                    // the last real bin
    h.Add(1);
    EXPECT_EQ(h.Median(), 65535.0);
}

TEST(RateHistogramTest, NegativeAndNanRatesCountAsZero) {
    RateHistogram h;
    h.Add(-5);
    h.Add(std::numeric_limits<double>::quiet_NaN());
    h.Add(10);
    EXPECT_EQ(h.Count(), 3u);
    EXPECT_EQ(h.Min(), 0.0);
    EXPECT_EQ(h.Median(), 0.0);
}

TEST(RateHistogramTest, ClearForgetsEveryBinUsed) {
    RateHistogram h;
    for (int i = 0; i < 1000; ++i) h.Add(i * 50.0);  // spread over many bins
    h.Add(1e9);
    h.Clear();
    EXPECT_EQ(h.Count(), 0u);
    // Rates left behind in between (3050, 3100, ...) would pull this median down.
    h.Add(3001);
    h.Add(3999);
    h.Add(3999);
    EXPECT_EQ(h.Median(), 3999.0);
    EXPECT_EQ(h.Min(), 3001.0);
    EXPECT_EQ(h.Max(), 3999.0);
}

}  // namespace

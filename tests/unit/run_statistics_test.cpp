#include "engine/run_statistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

// One value alone, and every percentile over a wide spread, within 1% of the exact one.
TEST(LogHistogram, EveryValueWithinOnePercent) {
    LogHistogram h;
    for (uint64_t v : {uint64_t{0}, uint64_t{1}, uint64_t{255}, uint64_t{256}, uint64_t{257},
                       uint64_t{511}, uint64_t{1000}, uint64_t{250'123}, uint64_t{1'500'000'000},
                       uint64_t{12345678901234}, (uint64_t{1} << 63) + 12345, ~uint64_t{0}}) {
        h.Clear();
        h.Add(v);
        EXPECT_LE(std::fabs(h.Quantile(0) - static_cast<double>(v)), static_cast<double>(v) * 0.01)
            << v;
    }
    h.Clear();
    std::vector<uint64_t> all;
    for (uint64_t v = 3; v < 40'000'000'000ull; v += v / 77 + 1) {
        all.push_back(v);
        h.Add(v);
    }
    for (double q : {0.0, 0.1, 0.5, 0.9, 0.99, 0.999, 1.0}) {
        const size_t rank = std::max<size_t>(1, static_cast<size_t>(std::ceil(q * all.size())));
        const double exact = static_cast<double>(all[rank - 1]);
        EXPECT_LE(std::fabs(h.Quantile(q) - exact), exact * 0.01) << q;
    }
    EXPECT_EQ(h.Max(), all.back());
}

// The test is the clock: one pass a second; the 3601st second merges neighbours. Then ten hours
// on, with an hour of silence: never above the limit, nothing lost, nothing for the silent
// hour, windows aligned to their spans; failed passes have no rate.
TEST(Timeline, MergesPairwiseBeyondTheLimitKeepingEveryCount) {
    RunStatistics s;
    s.Begin(false, 0);
    const auto& points = s.TimelineKept().Points();
    for (int64_t second = 0; second < 3600; ++second)
        s.LoopbackPass(second * 1000 + 500, 0, 100.0 + second % 2, 1000, second % 10 == 0);
    ASSERT_EQ(std::make_pair(points.size(), points.back().startS),
              std::make_pair(size_t{3600}, uint64_t{3599}));
    s.LoopbackPass(3600 * 1000, 0, 100, 1000, 0);
    ASSERT_EQ(points.size(), 1801u);
    EXPECT_EQ(
        std::make_tuple(points[1].startS, points[1].spanS, points[1].transfers, points[1].Rate(0)),
        std::make_tuple(2u, 2u, 2u, 100.5));
    for (int64_t second = 3601; second < 36000; ++second)
        if (second / 3600 != 5) s.LoopbackPass(second * 1000, -1, 0, -1, 1);
    EXPECT_LE(points.size(), kTimelinePointLimit);
    uint64_t passes = 0, errors = 0, rated = 0;
    for (const TimelinePoint& p : points) {
        passes += p.transfers;
        errors += p.errors;
        rated += p.rated[0];
        EXPECT_EQ(p.startS % p.spanS, 0u);
        EXPECT_FALSE(p.startS >= 5 * 3600 && p.startS + p.spanS <= 6 * 3600);
    }
    EXPECT_EQ(std::make_tuple(passes, errors, rated, s.RoundTripsNs().Count()),
              std::make_tuple(36000u - 3600, 360u + 36000 - 3601 - 3600, 3601u, 3601u));
}

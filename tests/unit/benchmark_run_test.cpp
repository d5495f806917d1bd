#include "engine/benchmark.h"
#include "engine_world.h"

namespace {

class BenchmarkRunTest : public EngineWorld {
  protected:
    std::vector<std::wstring> Summary() {
        std::vector<std::wstring> lines;
        bool inSummary = false;
        for (const auto& t : Texts(kLogBenchmark)) {
            inSummary = inSummary || t == L"Overall benchmark result:";
            if (inSummary) lines.push_back(t);
        }
        return lines;
    }
};

TEST(BlocksPerCycle, FollowsTheLinkAndStaysBoundedForWideLinks) {
    // Wider than x4 at Gen4 and below counts as x4; never zero, never a division by zero.
    const struct {
        int speed, width;
        uint32_t blocks;
    } links[] = {
        {4, 4, 20}, {3, 4, 10},  {4, 2, 6}, {3, 1, 2},    {1, 1, 1},
        {4, 8, 20}, {5, 16, 20}, {0, 0, 1}, {15, 63, 20},
    };
    for (const auto& l : links) {
        const uint16_t status = static_cast<uint16_t>(l.speed | (l.width << 4));
        EXPECT_EQ(BlocksPerCycle(status), l.blocks) << "Gen" << l.speed << " x" << l.width;
    }
}

TEST_F(BenchmarkRunTest, ReadOnlyCycleMovesTwentyEightMebibyteBlocksPerWorker) {
    UseCards("rate=unlimited");
    TestSettings.benchmarkDirection = 1;
    RunToEnd(BenchmarkTest, 1);

    EXPECT_EQ(TestCounters.readBlocks, 60u);
    EXPECT_EQ(TestCounters.writeBlocks, 0u);
    for (int channel = 1; channel <= 3; ++channel) EXPECT_EQ(driver->Stats(0).reads[channel], 20u);
    EXPECT_TRUE(Has(L"READING FROM PCIE DEVICE", kLogBenchmark));
    EXPECT_EQ(Summary().size(), 6u);
    EXPECT_EQ(TestCounters.peakRateMBps, TestCounters.maxReadMBps);
}

TEST_F(BenchmarkRunTest, StopBeforeTheFirstCycleShowsZeroRatesAndThePreviousMinimum) {
    UseCards("rate=unlimited");
    TestCounters.minReadMBps = 123.4f;
    RunToEnd(BenchmarkTest, 0, /*stopBeforeStart=*/true);

    EXPECT_TRUE(Has(L"READING THEN WRITING TO/FROM PCIE DEVICE", kLogBenchmark));
    const auto summary = Summary();
    ASSERT_EQ(summary.size(), 10u);
    EXPECT_EQ(summary[3], L"Maximum read data rate: 0.0 MB/s (0.00 Gb/s)");
    EXPECT_EQ(summary[4], L"Average read data rate: 0.0 MB/s (0.00 Gb/s)");
    EXPECT_EQ(summary[5], L"Minimum read data rate: 123.4 MB/s (0.99 Gb/s)");
    EXPECT_EQ(summary[6], L"Maximum write data rate: 0.0 MB/s (0.00 Gb/s)");
    EXPECT_EQ(summary[7], L"Average write data rate: 0.0 MB/s (0.00 Gb/s)");
    EXPECT_EQ(summary[8], L"Minimum Write data rate: 0.0 MB/s (0.00 Gb/s)");
    EXPECT_EQ(summary[9], L"Average combined R/W data rate: 0.0 MB/s (0.00 Gb/s)");
}

TEST_F(BenchmarkRunTest, BuffersThatCannotBeAllocatedAreAnErrorAndNoSummary) {
    UseCards("rate=unlimited");
    TestSettings.benchmarkBlockMB = 0;  // no buffer has 0 bytes
    RunToEnd(BenchmarkTest, 0);
    EXPECT_TRUE(Has(L"Benchmark test buffers could not be allocated.", kLogError));
    EXPECT_TRUE(Summary().empty());
}

TEST_F(BenchmarkRunTest, StopOnErrorEndsAfterTheFailingReadPhase) {
    // Every channel's 50th read fails: cycle 3 (blocks 41-60) holds the first failures.
    UseCards("rate=unlimited,fail-read=50");
    TestSettings.benchmarkBlockMB = 1;
    TestSettings.stopOnError = true;
    RunToEnd(BenchmarkTest, 0);

    EXPECT_EQ(TestCounters.readBlocks, 3u * 60 - 3);
    EXPECT_EQ(TestCounters.writeBlocks, 3u * 40);  // cycle 3's write phase never ran
    EXPECT_EQ(CountStartingWith(L" ReadBenchmark failed 31"), 3);
}

TEST_F(BenchmarkRunTest, ASecondRunStartsItsGroupLinesAtCycleOne) {
    UseCards("rate=unlimited,link=gen1x1");
    TestSettings.benchmarkBlockMB = 1;
    TestSettings.benchmarkDirection = 1;
    RunToEnd(BenchmarkTest, 10);
    RunToEnd(BenchmarkTest, 10);
    EXPECT_EQ(CountStartingWith(L"Read blocks 1\u201310: "), 2);
}

TEST_F(BenchmarkRunTest, WaitsForAnOlderTestThreadBeforeTouchingTheCard) {
    UseCards("rate=unlimited");
    TestControl.activeThreads = 1;  // a loopback thread still writing its summary
    TestControl.stopRequested = true;
    std::thread run(BenchmarkTest, &selectedCard);
    ASSERT_TRUE(port.WaitUntil([&](RecordingPort&) {
        return Has(L"Waiting for previous test to complete", kLogBenchmark);
    }));
    EXPECT_EQ(driver->Stats(0).sessions, 0u);
    TestControl.activeThreads = 0;  // the older thread ends
    run.join();
    const auto all = Texts(kLogBenchmark);
    ASSERT_GE(all.size(), 2u);
    EXPECT_EQ(all[0], L"Waiting for previous test to complete");
    EXPECT_EQ(all[1], L"START OF PCIE BENCHMARK TEST");
}

}  // namespace

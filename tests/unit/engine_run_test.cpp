// Loopback and benchmark runs on the simulated card, started by a request as a front end
// starts them: what the outcome counts and what the event log says.

#include "engine/benchmark.h"
#include "engine/error_status.h"
#include "engine_world.h"

namespace {

const std::wstring kDevice = L"PCIe-0, Windows ID:{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}";
using Lines = std::vector<std::wstring>;
uint64_t U(uint64_t n) { return n; }

class EngineRunTest : public EngineWorld {
  protected:
    RunOutcome RunOn(const std::string& options, RunRequest request, int stopAfter) {
        theLog.load()->Clear();
        UseCards("rate=unlimited" + (options.empty() ? "" : "," + options));
        return Run(request, stopAfter);
    }
    // The benchmark's summary: its heading and the lines after it.
    Lines Summary() {
        Lines lines;
        for (const auto& t : Texts(kLogBenchmark)) {
            if (!lines.empty() || t == L"Overall benchmark result:") lines.push_back(t);
        }
        return lines;
    }
};

TEST_F(EngineRunTest, AStopBeforeTheFirstPassOrCycleIsLoggedButTheOutcomeFails) {
    UseCards("rate=unlimited");
    RunOutcome o = Run(Request(), 0, [] { TestControl.stopRequested = true; });
    EXPECT_EQ(std::make_tuple(o.loopback.passes, TestCounters.operations.load(), o.reasons),
              std::make_tuple(U(0), U(0), Lines{L"no pass completed"}));
    EXPECT_TRUE(Has(L"Testing device " + kDevice, kLogLoopback));
    EXPECT_TRUE(Has(L"0 Operations.", kLogPass) && Has(L"Test passed: " + kDevice, kLogPass));
    EXPECT_EQ(CountStartingWith(L"Test Start time: "), 1);
    EXPECT_EQ(CountStartingWith(L"Duration: 000h 00m 00s"), 1);
    EXPECT_EQ(TestCounters.statusText.load(), StatusText::LoopbackComplete);

    // The benchmark shows zero rates and the previous minimum.
    o = Run(Request(1), 0, [] {
        TestCounters.minReadMBps = 123.4f;
        TestControl.stopRequested = true;
    });
    EXPECT_EQ(o.reasons, Lines{L"no block moved"});
    EXPECT_TRUE(Has(L"READING THEN WRITING TO/FROM PCIE DEVICE", kLogBenchmark));
    const Lines summary = Summary();
    ASSERT_EQ(summary.size(), 10u);
    EXPECT_EQ(Lines(summary.begin() + 3, summary.end()),
              (Lines{L"Maximum read data rate: 0.0 MB/s (0.00 Gb/s)",
                     L"Average read data rate: 0.0 MB/s (0.00 Gb/s)",
                     L"Minimum read data rate: 123.4 MB/s (0.99 Gb/s)",
                     L"Maximum write data rate: 0.0 MB/s (0.00 Gb/s)",
                     L"Average write data rate: 0.0 MB/s (0.00 Gb/s)",
                     L"Minimum Write data rate: 0.0 MB/s (0.00 Gb/s)",
                     L"Average combined R/W data rate: 0.0 MB/s (0.00 Gb/s)"}));
}

TEST_F(EngineRunTest, PassesLogGroupLinesFailuresCountByKindAndErrorStatusBitsByName) {
    const RunOutcome o = RunOn("", Request(), 25);
    EXPECT_TRUE(o.loopback.passes == 25 && o.Passed());
    // "Loopback blocks 1–10: Min 2000.0 MB/s, Max 2000.0 MB/s (Roundtrip)"
    auto isGroup = [](const std::wstring& line, const std::wstring& blocks) {
        const std::wstring head = L"Loopback blocks " + blocks + L": Min ";
        const std::wstring tail = L" MB/s (Roundtrip)";
        return line.rfind(head, 0) == 0 && line.find(L" MB/s, Max ") != std::wstring::npos &&
               line.size() > tail.size() && line.substr(line.size() - tail.size()) == tail;
    };
    const Lines groups = Texts(kLogLoopback, L"Loopback blocks ");
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_TRUE(isGroup(groups[0], L"1\u201310") && isGroup(groups[1], L"11\u201320"));
    EXPECT_TRUE(Has(L"25 Operations.", kLogPass));

    // A card that will not open fails every pass as a write error.
    const std::tuple<const char*, int, uint64_t, uint64_t> cases[] = {
        {"fail-read=1", 2, 2, 0}, {"no-open", 4, 0, 4}, {"fail-write=2", 2, 0, 1}};
    RunRequest request = Request();
    request.settings.detailedLogging = true;
    for (const auto& [options, passes, read, write] : cases) {
        SCOPED_TRACE(options);
        const RunOutcome f = RunOn(options, request, passes);
        EXPECT_EQ(
            std::make_tuple(f.loopback.readErrors, f.loopback.writeErrors, uint64_t{f.errors}),
            std::make_tuple(read, write, read + write));
        EXPECT_TRUE(Has(std::to_wstring(read) + L" Read error(s). " + std::to_wstring(write) +
                            L" Write error(s). 0 Verification error(s).",
                        kLogError));
    }
    // The failed write of the last case said nothing but the summary's three lines.
    const auto speeds = Texts(kLogLoopback, L"Write and Read Status: Speed ");
    EXPECT_TRUE(speeds.size() == 2 && speeds[0] == speeds[1]);
    EXPECT_EQ(Texts(kLogError).size(), 3u);

    // Every named error-status bit at once, beside bits the test ignores (Surprise Down, ECRC),
    // named in table order once per pass: ten uncorrectable, then eight correctable.
    Lines expected;
    for (int pass = 0; pass < 2; ++pass) {
        for (const ErrorStatusBit& bit : kErrorStatusBits) expected.push_back(bit.message);
    }
    const RunOutcome bits = RunOn("aer-unc=0x5FF030,aer-cor=0xF1C1", Request(), 2);
    uint64_t counted = 0;
    for (uint64_t n : bits.loopback.countedBits) counted += n;
    EXPECT_EQ(std::make_pair(uint64_t{bits.errors}, counted), std::make_pair(U(36), U(36)));
    Lines errors = Texts(kLogError);
    errors.resize(expected.size());  // then the summary
    EXPECT_EQ(errors, expected);

    // Stop-on-error still finishes the pass, pause included.
    request.settings.stopOnError = true;
    const RunOutcome stopped = RunOn("corrupt=3,aer-cor=0x40", request, 0);
    EXPECT_EQ(std::make_tuple(stopped.loopback.passes, stopped.loopback.verificationErrors,
                              pauses.load()),
              std::make_tuple(U(1), U(3), 1));
    EXPECT_TRUE(Has(L"PCIe error: Bad TLP (Correctable)", kLogError));
}

TEST(BlocksPerCycle, FollowsTheLinkAndStaysBoundedForWideLinks) {
    // Wider than x4 at Gen4 and below counts as x4; never zero, never a division by zero.
    const int links[][3] = {{4, 4, 20}, {3, 4, 10},  {4, 2, 6}, {3, 1, 2},   {1, 1, 1},
                            {4, 8, 20}, {5, 16, 20}, {0, 0, 1}, {15, 63, 20}};
    for (const auto& l : links) {
        const uint16_t status = static_cast<uint16_t>(l[0] | (l[1] << 4));
        EXPECT_EQ(BlocksPerCycle(status), static_cast<uint32_t>(l[2])) << l[0] << "x" << l[1];
    }
}

TEST_F(EngineRunTest, ReadOnlyCyclesRestartedRunsAndFailuresTheOutcomeCounts) {
    RunRequest request = Request(1);
    request.settings.benchmarkDirection = 1;
    RunOutcome o = RunOn("", request, 1);
    EXPECT_EQ(std::make_tuple(o.read.cycles, o.read.bytes, TestCounters.readBlocks.load(),
                              TestCounters.writeBlocks.load()),
              std::make_tuple(U(1), U(60) << 23, U(60), U(0)));
    EXPECT_TRUE(!o.write.ran && o.Passed());
    for (int channel = 1; channel <= 3; ++channel) EXPECT_EQ(driver->Stats(0).reads[channel], 20u);
    EXPECT_TRUE(Has(L"READING FROM PCIE DEVICE", kLogBenchmark));
    EXPECT_EQ(Summary().size(), 6u);
    EXPECT_EQ(TestCounters.peakRateMBps, TestCounters.maxReadMBps);
    // A second run starts its group lines at cycle one.
    request.settings.benchmarkBlockMB = 1;
    UseCards("rate=unlimited,link=gen1x1");
    for (int run = 0; run < 2; ++run) {
        const RunOutcome again = Run(request, 10);
        EXPECT_TRUE(again.read.groups.size() == 1 && again.read.groups[0].firstCycle == 1);
    }
    EXPECT_EQ(CountStartingWith(L"Read blocks 1\u201310: "), 2);

    // A buffer of 0 bytes cannot be allocated: an error and no summary. Every channel's 50th
    // read fails: cycle 3 (blocks 41-60) holds the first failures, and stop-on-error ends the
    // run before cycle 3's write phase.
    request.settings.benchmarkDirection = 0;
    request.settings.benchmarkBlockMB = 0;
    o = RunOn("", request, 0);
    EXPECT_FALSE(o.buffersAllocated);
    EXPECT_EQ(o.reasons.front(), L"The test buffers could not be allocated");
    EXPECT_TRUE(Has(L"Benchmark test buffers could not be allocated.", kLogError));
    EXPECT_TRUE(Summary().empty());

    request.settings.benchmarkBlockMB = 1;
    request.settings.stopOnError = true;
    o = RunOn("fail-read=50", request, 0);
    EXPECT_EQ(std::make_tuple(o.read.failures, o.read.cycles, o.write.cycles),
              std::make_tuple(U(3), U(3), U(2)));
    EXPECT_EQ(o.reasons.front(), L"3 failed read transfer(s)");
    EXPECT_EQ(std::make_pair(TestCounters.readBlocks.load(), TestCounters.writeBlocks.load()),
              std::make_pair(U(3 * 60 - 3), U(3 * 40)));
    EXPECT_EQ(CountStartingWith(L" ReadBenchmark failed 31"), 3);
}

}  // namespace

#include <cwchar>

#include "cli/run_recorder.h"
#include "engine/benchmark_test.h"
#include "engine/loopback_test.h"
#include "engine/run_observer.h"
#include "engine_world.h"

namespace {

// Real runs of the engine over the simulated card, watched by the recorder as the runner
// watches them.
class RunRecorderTest : public EngineWorld {
protected:
    void TearDown() override {
        SetRunObserver(nullptr);
        EngineWorld::TearDown();
    }

    void Watch(RecordedTest test, bool diagnose) {
        recorder.Begin(test, diagnose, [this](const std::wstring& line) { said.push_back(line); });
        SetRunObserver(&recorder);
    }

    int SaidStartingWith(const std::wstring& prefix) const {
        int n = 0;
        for (const auto& s : said) n += s.rfind(prefix, 0) == 0;
        return n;
    }
    bool SaidExactly(const std::wstring& line) const {
        for (const auto& s : said) {
            if (s == line) return true;
        }
        return false;
    }

    RunRecorder recorder;
    std::vector<std::wstring> said;
};

TEST_F(RunRecorderTest, WrongBytesAreLocatedAgainstTheIncrementingPattern) {
    UseCards("rate=unlimited,corrupt=3");
    Watch(RecordedTest::Loopback, true);
    RunToEnd(LoopbackTest, 2);
    recorder.Finish();

    EXPECT_EQ(recorder.Loopback().passes, 2u);
    EXPECT_EQ(recorder.Loopback().verificationErrors, 6u);
    EXPECT_EQ(recorder.Loopback().verificationErrors, TestCounters.errors.load());
    const Diagnosis& d = recorder.Diagnosed();
    EXPECT_EQ(d.wrongBytePasses, 2u);
    ASSERT_EQ(d.describedCount, 2);
    for (int i = 0; i < 2; ++i) {
        const DescribedPass& p = d.described[i];
        EXPECT_EQ(p.pass, static_cast<uint64_t>(i + 1));
        EXPECT_EQ(p.wrongBytes, 3u);
        ASSERT_EQ(p.located, 3);
        uint32_t previous = 0;
        for (int k = 0; k < p.located; ++k) {
            const LocatedByte& b = p.bytes[k];
            EXPECT_EQ(b.expected, b.offset & 0xFF) << "the incrementing pattern at " << b.offset;
            EXPECT_NE(b.received, b.expected);
            if (k > 0) {
                EXPECT_GT(b.offset, previous);  // in block order
            }
            previous = b.offset;
        }
    }
    // One header and three located bytes per pass, as lines.
    EXPECT_TRUE(SaidExactly(L"diagnose: pass 1: 3 of 262144 bytes wrong:"));
    EXPECT_EQ(SaidStartingWith(L"diagnose:   offset 0x"), 6);
    const LocatedByte& first = d.described[0].bytes[0];
    wchar_t line[160];
    std::swprintf(line, 160,
                  L"diagnose:   offset 0x%08x: expected 0x%02x, received 0x%02x, differing bits "
                  L"0x%02x",
                  first.offset, first.expected, first.received, first.expected ^ first.received);
    EXPECT_EQ(SaidStartingWith(line), 1);
}

TEST_F(RunRecorderTest, UncountedErrorStatusBitsAreNamedNotesAndTheRunPasses) {
    // ECRC (uncorrectable 19) and Surprise Down (5), and a reserved correctable bit (1).
    UseCards("rate=unlimited,aer-unc=0x80020,aer-cor=0x2");
    Watch(RecordedTest::Loopback, true);
    RunToEnd(LoopbackTest, 3);
    recorder.Finish();

    EXPECT_EQ(TestCounters.errors, 0u);
    EXPECT_TRUE(
        Has(L"Test passed: PCIe-0, Windows ID:{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}", kLogPass));
    const Diagnosis& d = recorder.Diagnosed();
    EXPECT_EQ(d.uncountedBits[0][19], 3u);
    EXPECT_EQ(d.uncountedBits[0][5], 3u);
    EXPECT_EQ(d.uncountedBits[1][1], 3u);
    for (uint64_t n : recorder.Loopback().countedBits) EXPECT_EQ(n, 0u);

    // Each said once when first seen, and once with its count at the end.
    EXPECT_TRUE(
        SaidExactly(L"diagnose: note: pass 1: ECRC Error (uncorrectable status bit 19) "
                    L"reported; the event log does not count it"));
    EXPECT_TRUE(
        SaidExactly(L"diagnose: note: Surprise Down Error (uncorrectable status bit 5) "
                    L"was reported in 3 of 3 passes; not counted as an error"));
    EXPECT_TRUE(
        SaidExactly(L"diagnose: note: Reserved (correctable status bit 1) was reported "
                    L"in 3 of 3 passes; not counted as an error"));
    EXPECT_EQ(SaidStartingWith(L"diagnose: note: pass "), 3);
}

TEST_F(RunRecorderTest, CountedBitsAreCountedPerPassUnderTheirNames) {
    UseCards("rate=unlimited,aer-unc=0x4000,aer-cor=0x40");  // Completion Timeout, Bad TLP
    Watch(RecordedTest::Loopback, false);
    RunToEnd(LoopbackTest, 4);

    for (size_t i = 0; i < kCountedErrorStatusBits; ++i) {
        const std::wstring name = CountedErrorStatusName(kErrorStatusBits[i]);
        const bool set = name == L"Completion Timeout" || name == L"Bad TLP";
        EXPECT_EQ(recorder.Loopback().countedBits[i], set ? 4u : 0u)
            << std::string(name.begin(), name.end());
    }
    EXPECT_EQ(TestCounters.errors, 8u);
    EXPECT_TRUE(said.empty());  // no diagnosis asked for
}

TEST_F(RunRecorderTest, DescriptionsStopAtTheLimitWhileTheCountGoesOn) {
    UseCards("rate=unlimited,corrupt=1");
    Watch(RecordedTest::Loopback, true);
    RunToEnd(LoopbackTest, kDescribedPassLimit + 5);
    recorder.Finish();

    EXPECT_EQ(recorder.Diagnosed().wrongBytePasses, static_cast<uint64_t>(kDescribedPassLimit + 5));
    EXPECT_EQ(recorder.Diagnosed().describedCount, kDescribedPassLimit);
    EXPECT_EQ(SaidStartingWith(L"diagnose: pass "), kDescribedPassLimit);
    EXPECT_TRUE(SaidExactly(
        L"diagnose: 5 more passes with wrong bytes were not described (only the first 10 are)"));
}

TEST_F(RunRecorderTest, FailedTransfersCountByKindAndMeasureNoRate) {
    UseCards("rate=unlimited,fail-write=2");  // every second write of channel 0 fails
    Watch(RecordedTest::Loopback, false);
    RunToEnd(LoopbackTest, 6);
    recorder.Finish();

    EXPECT_EQ(recorder.Loopback().passes, 6u);
    EXPECT_EQ(recorder.Loopback().writeErrors, 3u);
    EXPECT_EQ(recorder.Loopback().writeErrors, TestCounters.errors.load());
    EXPECT_EQ(recorder.LoopbackRates().count, 3u);  // only the completed transfers
    ASSERT_EQ(recorder.Loopback().minutes.size(), 1u);
    EXPECT_EQ(recorder.Loopback().minutes[0].passes, 6u);
    EXPECT_EQ(recorder.Loopback().minutes[0].rates.count, 3u);
}

// A card that keeps only the two buffers the recorder reads; never opened or closed.
struct FakeCard {
    FakeCard() {
        for (uint32_t i = 0; i < kBytes; ++i) sent[i] = received[i] = static_cast<uint8_t>(i);
        card.buffers[0] = sent;
        card.buffers[1] = received;
        card.bufferSize = kBytes;
    }
    ~FakeCard() {
        card.buffers[0] = card.buffers[1] = nullptr;
        card.bufferSize = 0;
    }
    static constexpr uint32_t kBytes = 4096;
    uint8_t sent[kBytes];
    uint8_t received[kBytes];
    CardConnection card;
};

std::atomic<int64_t> fakeNowMs{0};
int64_t FakeClock() { return fakeNowMs; }

TEST(RunRecorderUnitTest, AStuckDataLineShowsAsTheSameBitInEveryLocatedByte) {
    FakeCard fake;
    for (uint32_t offset : {17u, 900u, 3000u}) fake.received[offset] ^= 0x04;
    fake.received[3001] ^= 0x24;  // bit 2 again, with another
    RunRecorder recorder;
    std::vector<std::wstring> said;
    recorder.Begin(RecordedTest::Loopback, true,
                   [&](const std::wstring& line) { said.push_back(line); });
    recorder.LoopbackPass(4, 7000, fake.card, nullptr);
    recorder.Finish();

    EXPECT_EQ(recorder.Diagnosed().bitsInEvery, 0x04);
    EXPECT_EQ(recorder.Diagnosed().described[0].bytes[3].offset, 3001u);
    bool named = false;
    for (const auto& s : said) {
        named = named || s == L"diagnose: bit 2 differed in every located byte (4): one data "
                              L"line at fault?";
    }
    EXPECT_TRUE(named);
}

TEST(RunRecorderUnitTest, ScatteredWrongBytesBlameNoDataLine) {
    FakeCard fake;
    fake.received[5] ^= 0x01;
    fake.received[6] ^= 0x80;
    RunRecorder recorder;
    std::vector<std::wstring> said;
    recorder.Begin(RecordedTest::Loopback, true,
                   [&](const std::wstring& line) { said.push_back(line); });
    recorder.LoopbackPass(2, 7000, fake.card, nullptr);
    recorder.Finish();
    EXPECT_EQ(recorder.Diagnosed().bitsInEvery, 0);
    for (const auto& s : said) EXPECT_EQ(s.find(L"every located byte"), std::wstring::npos);
}

TEST(RunRecorderUnitTest, PassesFallIntoTheMinuteOfTheRunTheyEndIn) {
    FakeCard fake;
    RunRecorder recorder;
    recorder.SetClock(&FakeClock);
    fakeNowMs = 1000000;  // any origin
    recorder.Begin(RecordedTest::Loopback, false, nullptr);
    const struct {
        int64_t atMs;
        int32_t result;
        double rate;
    } passes[] = {
        {0, 0, 7000},     {30000, 0, 6000},  {59999, -1, 6000},  // minute 0: one failed
        {60000, 0, 5000}, {119999, 0, 5100},                     // minute 1
        {185000, 0, 800},                                        // minute 3; 2 had none
    };
    for (const auto& p : passes) {
        fakeNowMs = 1000000 + p.atMs;
        recorder.LoopbackPass(p.result, p.rate, fake.card, nullptr);
    }
    recorder.Finish();

    const auto& minutes = recorder.Loopback().minutes;
    ASSERT_EQ(minutes.size(), 3u);
    EXPECT_EQ(minutes[0].minute, 0u);
    EXPECT_EQ(minutes[0].passes, 3u);
    EXPECT_EQ(minutes[0].rates.count, 2u);
    EXPECT_EQ(minutes[0].rates.min, 6000.0);
    EXPECT_EQ(minutes[0].rates.median, 6000.0);
    EXPECT_EQ(minutes[0].rates.max, 7000.0);
    EXPECT_EQ(minutes[1].minute, 1u);
    EXPECT_EQ(minutes[1].rates.median, 5000.0);
    EXPECT_EQ(minutes[1].rates.max, 5100.0);
    EXPECT_EQ(minutes[2].minute, 3u);
    EXPECT_EQ(minutes[2].rates.median, 800.0);
    // The whole run's figures span every minute.
    EXPECT_EQ(recorder.LoopbackRates().count, 5u);
    EXPECT_EQ(recorder.LoopbackRates().median, 5100.0);  // of 800, 5000, 5100, 6000, 7000
    EXPECT_EQ(recorder.LoopbackRates().min, 800.0);
    EXPECT_EQ(recorder.Loopback().statusReadFailures, 6u);

    // The next card starts from nothing.
    recorder.Begin(RecordedTest::Loopback, false, nullptr);
    recorder.Finish();
    EXPECT_EQ(recorder.Loopback().passes, 0u);
    EXPECT_TRUE(recorder.Loopback().minutes.empty());
    EXPECT_EQ(recorder.LoopbackRates().count, 0u);
}

TEST_F(RunRecorderTest, BenchmarkGroupsAndAveragesMatchTheLogLines) {
    UseCards("rate=unlimited");
    TestSettings.benchmarkDirection = 0;
    TestSettings.benchmarkBlockMB = 1;
    Watch(RecordedTest::Benchmark, false);
    RunToEnd(BenchmarkTest, 40);  // a pause per phase: 20 cycles of each direction
    recorder.Finish();

    for (bool read : {true, false}) {
        const DirectionFigures& d = read ? recorder.Read() : recorder.Write();
        EXPECT_EQ(d.cycles, 20u);
        EXPECT_EQ(d.bytes, 20u * 60u << 20);  // Gen4 x4: 20 blocks a worker, three workers
        EXPECT_EQ(d.failures, 0u);
        ASSERT_EQ(d.groups.size(), 2u);
        for (const BenchmarkGroup& g : d.groups) {
            wchar_t line[200];
            std::swprintf(line, 200, L"%ls blocks %u\u2013%u: Min %0.1f MB/s, Max %0.1f MB/s",
                          read ? L"Read" : L"Write", g.firstCycle, g.lastCycle,
                          static_cast<double>(g.min), static_cast<double>(g.max));
            EXPECT_TRUE(Has(line, kLogBenchmark)) << "no log line for cycle " << g.firstCycle;
        }
        wchar_t average[200];
        std::swprintf(average, 200, L"Average %ls data rate: %0.1f MB/s", read ? L"read" : L"write",
                      static_cast<double>(static_cast<float>(d.rateSum / d.cycles)));
        EXPECT_EQ(CountStartingWith(average), 1);
        wchar_t maximum[200];
        std::swprintf(maximum, 200, L"Maximum %ls data rate: %0.1f MB/s", read ? L"read" : L"write",
                      static_cast<double>(d.max));
        EXPECT_EQ(CountStartingWith(maximum), 1);
        const RateFigures rates = read ? recorder.ReadRates() : recorder.WriteRates();
        EXPECT_EQ(rates.count, 20u);
        EXPECT_GE(rates.median, rates.min);
        EXPECT_LE(rates.median, rates.max);
    }
}

TEST_F(RunRecorderTest, BenchmarkFailuresAreCountedPerDirection) {
    UseCards("rate=unlimited,fail-read=7");
    TestSettings.benchmarkDirection = 1;
    TestSettings.benchmarkBlockMB = 1;
    Watch(RecordedTest::Benchmark, false);
    RunToEnd(BenchmarkTest, 5);
    recorder.Finish();

    // Each channel's every seventh read fails: 100 reads a channel give 14 each.
    EXPECT_EQ(recorder.Read().failures, 42u);
    EXPECT_EQ(static_cast<int>(recorder.Read().failures),
              CountStartingWith(L" ReadBenchmark failed"));
    EXPECT_EQ(recorder.Read().bytes, (300u - 42u) << 20);
    EXPECT_FALSE(recorder.Write().ran);
}

}  // namespace

#include <algorithm>
#include <cwchar>
#include <tuple>

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

    RunRecorder recorder;
    std::vector<std::wstring> said;
};

TEST_F(RunRecorderTest, UncountedErrorStatusBitsAreNamedNotesAndTheRunPasses) {
    // ECRC (uncorrectable 19) and Surprise Down (5), and a reserved correctable bit (1).
    UseCards("rate=unlimited,aer-unc=0x80020,aer-cor=0x2");
    Watch(RecordedTest::Loopback, true);
    RunToEnd(LoopbackTest, 3);
    recorder.Finish();

    EXPECT_EQ(TestCounters.errors, 0u);
    EXPECT_EQ(CountStartingWith(L"Test passed: PCIe-0"), 1);
    const Diagnosis& d = recorder.Diagnosed();
    EXPECT_EQ(d.uncountedBits[0][19], 3u);
    EXPECT_EQ(d.uncountedBits[1][1], 3u);
    for (uint64_t n : recorder.Loopback().countedBits) EXPECT_EQ(n, 0u);
    // Each said once when first seen, and once with its count at the end.
    EXPECT_EQ(SaidStartingWith(L"diagnose: note: pass 1: ECRC Error (uncorrectable status bit "
                               L"19) reported; the event log does not count it"),
              1);
    EXPECT_EQ(SaidStartingWith(L"diagnose: note: Surprise Down Error (uncorrectable status bit 5) "
                               L"was reported in 3 of 3 passes; not counted as an error"),
              1);
    EXPECT_EQ(SaidStartingWith(L"diagnose: note: Reserved (correctable status bit 1) was "
                               L"reported in 3 of 3 passes; not counted as an error"),
              1);
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
    EXPECT_EQ(SaidStartingWith(L"diagnose: 5 more passes with wrong bytes were not described "
                               L"(only the first 10 are)"),
              1);
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

TEST(RunRecorderUnitTest, OnlyABitWrongInEveryLocatedByteBlamesADataLine) {
    const struct {
        std::vector<std::pair<uint32_t, uint8_t>> flips;  // offset, differing bits
        uint8_t bitsInEvery;
    } cases[] = {
        {{{17, 0x04}, {900, 0x04}, {3000, 0x04}, {3001, 0x24}}, 0x04},
        {{{5, 0x01}, {6, 0x80}}, 0},
    };
    for (const auto& c : cases) {
        FakeCard fake;
        for (const auto& [offset, bits] : c.flips) fake.received[offset] ^= bits;
        RunRecorder recorder;
        std::vector<std::wstring> said;
        recorder.Begin(RecordedTest::Loopback, true,
                       [&](const std::wstring& line) { said.push_back(line); });
        recorder.LoopbackPass(static_cast<int32_t>(c.flips.size()), 7000, fake.card, nullptr);
        recorder.Finish();
        EXPECT_EQ(recorder.Diagnosed().bitsInEvery, c.bitsInEvery);
        const std::wstring blame =
            L"diagnose: bit 2 differed in every located byte (4): one "
            L"data line at fault?";
        EXPECT_EQ(std::count(said.begin(), said.end(), blame), c.bitsInEvery ? 1 : 0);
    }
}

std::atomic<int64_t> fakeNowMs{0};
int64_t FakeClock() { return fakeNowMs; }

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

    // Minute, passes, measured passes, median rate.
    std::vector<std::tuple<uint32_t, uint64_t, uint64_t, double>> minutes;
    for (const auto& m : recorder.Loopback().minutes) {
        minutes.emplace_back(m.minute, m.passes, m.rates.count, m.rates.median);
    }
    EXPECT_EQ(minutes, (std::vector<std::tuple<uint32_t, uint64_t, uint64_t, double>>{
                           {0, 3, 2, 6000.0}, {1, 2, 2, 5000.0}, {3, 1, 1, 800.0}}));
    // The whole run's figures span every minute.
    EXPECT_EQ(recorder.LoopbackRates().count, 5u);
    EXPECT_EQ(recorder.LoopbackRates().median, 5100.0);  // of 800, 5000, 5100, 6000, 7000
    EXPECT_EQ(recorder.Loopback().statusReadFailures, 6u);

    // The next card starts from nothing.
    recorder.Begin(RecordedTest::Loopback, false, nullptr);
    recorder.Finish();
    EXPECT_EQ(recorder.Loopback().passes, 0u);
    EXPECT_TRUE(recorder.Loopback().minutes.empty());
    EXPECT_EQ(recorder.LoopbackRates().count, 0u);
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
    EXPECT_EQ(CountStartingWith(L" ReadBenchmark failed"), 42);
    EXPECT_EQ(recorder.Read().bytes, (300u - 42u) << 20);
    EXPECT_FALSE(recorder.Write().ran);
}

}  // namespace

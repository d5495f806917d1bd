#include <algorithm>
#include <limits>
#include <tuple>

#include "cli/rate_histogram.h"
#include "cli/run_recorder.h"
#include "engine/loopback.h"
#include "engine/run_observer.h"
#include "engine_world.h"

namespace {

// Real runs of the engine over the simulated card, watched by the recorder as the runner
// watches them.
class RunRecorderTest : public EngineWorld {
  protected:
    void Watch() {
        recorder.Begin(RecordedTest::Loopback, true,
                       [this](const std::wstring& line) { said.push_back(line); });
        alsoTell = &recorder;
    }
    int SaidStartingWith(const std::wstring& prefix) const {
        int n = 0;
        for (const auto& s : said) n += s.rfind(prefix, 0) == 0;
        return n;
    }

    RunRecorder recorder;
    std::vector<std::wstring> said;
};

TEST_F(RunRecorderTest, UncountedErrorStatusBitsAreNamedInNotes) {
    // ECRC (uncorrectable 19) and Surprise Down (5), and a reserved correctable bit (1).
    UseCards("rate=unlimited,aer-unc=0x80020,aer-cor=0x2");
    Watch();
    Run(Request(), 3);
    recorder.Finish();

    EXPECT_EQ(recorder.Diagnosed().uncountedBits[1][1], 3u);
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

TEST_F(RunRecorderTest, DescriptionsStopAtTheLimitWhileTheCountGoesOn) {
    UseCards("rate=unlimited,corrupt=1");
    Watch();
    Run(Request(), kDescribedPassLimit + 5);
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
    for (const auto& m : recorder.Minutes()) {
        minutes.emplace_back(m.minute, m.passes, m.rates.count, m.rates.median);
    }
    EXPECT_EQ(minutes, (std::vector<std::tuple<uint32_t, uint64_t, uint64_t, double>>{
                           {0, 3, 2, 6000.0}, {1, 2, 2, 5000.0}, {3, 1, 1, 800.0}}));
    // The whole run's figures span every minute.
    EXPECT_EQ(recorder.LoopbackRates().count, 5u);
    EXPECT_EQ(recorder.LoopbackRates().median, 5100.0);  // of 800, 5000, 5100, 6000, 7000

    // The next card starts from nothing.
    recorder.Begin(RecordedTest::Loopback, false, nullptr);
    recorder.Finish();
    EXPECT_TRUE(recorder.Minutes().empty());
    EXPECT_EQ(recorder.LoopbackRates().count, 0u);
}

TEST(RateHistogramTest, MedianIsTheLowerOfTwoRoundedDownButNeverBelowTheMinimum) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const char* name;
        std::vector<double> rates;
        double min, median, max;
    } cases[] = {
        {"empty", {}, 0, 0, 0},
        {"four: the lower median", {7000, 6500, 7100, 7200}, 6500, 7000, 7200},
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

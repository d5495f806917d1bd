#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iterator>
#include <limits>
#include <tuple>

#include "card/card_connection.h"
#include "cli/rate_histogram.h"
#include "cli/run_recorder.h"

namespace {

// A card that keeps only the two buffers the recorder reads; never opened or closed.
struct FakeCard {
    FakeCard() {
        for (uint32_t i = 0; i < kBytes; ++i) sent[i] = received[i] = static_cast<uint8_t>(i);
        card.buffers[0] = sent;
        card.buffers[1] = received;
        card.bufferSize = kBytes;
    }
    ~FakeCard() { std::fill(std::begin(card.buffers), std::end(card.buffers), nullptr); }
    static constexpr uint32_t kBytes = 4096;
    uint8_t sent[kBytes], received[kBytes];
    CardConnection card;
};

TEST(RunRecorderUnitTest, OnlyABitWrongInEveryLocatedByteBlamesADataLine) {
    // Offset and differing bits of each located byte, and the bit wrong in every one of them.
    const std::pair<std::vector<std::pair<uint32_t, uint8_t>>, uint8_t> cases[] = {
        {{{17, 0x04}, {900, 0x04}, {3000, 0x04}, {3001, 0x24}}, 0x04}, {{{5, 0x01}, {6, 0x80}}, 0}};
    const std::wstring blame =
        L"diagnose: bit 2 differed in every located byte (4): one data line at fault?";
    for (const auto& [flips, bitsInEvery] : cases) {
        FakeCard fake;
        for (const auto& [offset, bits] : flips) fake.received[offset] ^= bits;
        RunRecorder recorder;
        std::vector<std::wstring> said;
        recorder.Begin(RecordedTest::Loopback, true,
                       [&](const std::wstring& s) { said.push_back(s); });
        recorder.LoopbackPass(static_cast<int32_t>(flips.size()), 7000, fake.card, nullptr);
        recorder.Finish();
        EXPECT_EQ(recorder.Diagnosed().bitsInEvery, bitsInEvery);
        // Any blame at all when no bit was wrong in every byte would send a user after a line.
        EXPECT_EQ(std::count_if(said.begin(), said.end(),
                                [](auto& s) { return s.find(L"one data line") != s.npos; }),
                  bitsInEvery ? 1 : 0);
        EXPECT_TRUE(!bitsInEvery || std::count(said.begin(), said.end(), blame) == 1);
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
    // At ms, result, rate: minute 0 with one failed pass, minute 1, none in 2, one in 3.
    const std::tuple<int64_t, int32_t, double> passes[] = {{0, 0, 7000},      {30000, 0, 6000},
                                                           {59999, -1, 6000}, {60000, 0, 5000},
                                                           {119999, 0, 5100}, {185000, 0, 800}};
    for (const auto& [atMs, result, rate] : passes) {
        fakeNowMs = 1000000 + atMs;
        recorder.LoopbackPass(result, rate, fake.card, nullptr);
    }
    recorder.Finish();
    using Minute = std::tuple<uint32_t, uint64_t, uint64_t, double>;  // passes, measured, median
    std::vector<Minute> minutes;
    for (const auto& m : recorder.Minutes())
        minutes.emplace_back(m.minute, m.passes, m.rates.count, m.rates.median);
    EXPECT_EQ(minutes,
              (std::vector<Minute>{{0, 3, 2, 6000.0}, {1, 2, 2, 5000.0}, {3, 1, 1, 800.0}}));
    // The whole run's figures span every minute: the median of 800, 5000, 5100, 6000, 7000.
    EXPECT_EQ(std::make_pair(recorder.LoopbackRates().count, recorder.LoopbackRates().median),
              std::make_pair(uint64_t{5}, 5100.0));
    // The next card starts from nothing.
    recorder.Begin(RecordedTest::Loopback, false, nullptr);
    recorder.Finish();
    EXPECT_TRUE(recorder.Minutes().empty() && recorder.LoopbackRates().count == 0);
}

TEST(RateHistogramTest, MedianIsTheLowerOfTwoRoundedDownButNeverBelowTheMinimum) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Rates, then the minimum, median and maximum they give.
    const std::pair<std::vector<double>, std::tuple<double, double, double>> cases[] = {
        {{}, {0, 0, 0}},
        {{1000.6, 1000.7, 1000.8}, {1000.6, 1000.6, 1000.8}},  // all in one bin
        {{7000, 6500, 7100, 7200}, {6500, 7000, 7200}},        // the lower median
        {{-5, nan, 10}, {0, 0, 10}},                           // negative and NaN count as zero
        {{1000.9, 1001.7, 1002.2}, {1000.9, 1001.0, 1002.2}},
        // Above the ceiling all share the overflow bin: its median is a lower bound.
        {{100, 70000, 250000}, {100, RateHistogram::kBins, 250000}},
        {{100, 70000, 250000, 65535.5, 1}, {1, 65535, 250000}},
    };
    // One histogram, cleared after each row: a bin left behind would pull the next median down.
    RateHistogram h;
    for (const auto& [rates, figures] : cases) {
        for (double r : rates) h.Add(r);
        EXPECT_EQ(h.Count(), rates.size());
        EXPECT_EQ(std::make_tuple(h.Min(), h.Median(), h.Max()), figures) << rates.size();
        h.Clear();
    }
}

}  // namespace

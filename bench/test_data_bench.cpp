// Test-data figures: the three loopback patterns filled into a 256 KiB buffer, in MB/s
// (1 MB = 1048576 bytes), with memset over the same buffer as the raw baseline.
#include <cstring>
#include <string>
#include <vector>

#include "bench.h"
#include "engine/test_data.h"

namespace {

constexpr double kMeasureSeconds = 0.1;
constexpr int kRounds = 5;

template <typename Fill>
double FillRateMBps(CardConnection& card, Fill fill) {
    uint64_t fills = 0;
    const double start = NowSeconds();
    double elapsed = 0;
    do {
        for (int i = 0; i < 64; ++i) fill();
        fills += 64;
        elapsed = NowSeconds() - start;
    } while (elapsed < kMeasureSeconds);
    return static_cast<double>(fills) * card.bufferSize / 1048576.0 / elapsed;
}

BenchRegistration fills{
    {"fill_memset_mbps", "fill_incrementing_mbps", "fill_random_mbps", "fill_constant_mbps"}, [] {
        CardConnection card;
        card.AllocateBuffers(kLoopbackBufferBytes);
        uint8_t* buffer = card.buffers[0];
        // Volatile size: memset of a known size must not be folded away by the compiler.
        volatile uint32_t size = card.bufferSize;
        // Alternating rounds; each figure is the median of its rounds, so a round the
        // machine's other work spoiled (or a lucky one) does not decide it.
        std::vector<double> memsetRates, incrementingRates, randomRates, constantRates;
        for (int round = 0; round < kRounds; ++round) {
            memsetRates.push_back(FillRateMBps(card, [&] { std::memset(buffer, 0x5A, size); }));
            incrementingRates.push_back(
                FillRateMBps(card, [&] { FillPattern(card, kPatternIncrementing, 0); }));
            randomRates.push_back(
                FillRateMBps(card, [&] { FillPattern(card, kPatternRandom, 0); }));
            constantRates.push_back(
                FillRateMBps(card, [&] { FillPattern(card, kPatternConstant, 0xAA); }));
        }
        const double memsetRate = Median(memsetRates);
        const double incrementing = Median(incrementingRates);
        const double random = Median(randomRates);
        const double constant = Median(constantRates);
        card.FreeBuffers();
        return std::vector<Figure>{
            Info("fill_memset_mbps", memsetRate, "MB/s"),
            AtLeast("fill_incrementing_mbps", incrementing, "MB/s", 0.5 * memsetRate),
            AtLeast("fill_random_mbps", random, "MB/s", 500),
            AtLeast("fill_constant_mbps", constant, "MB/s", 0.5 * memsetRate),
        };
    }};

}  // namespace

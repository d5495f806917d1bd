// LoopbackTransfer on a simulated card with no bandwidth limit, against the raw work of a
// loopback pass: two 256 KiB copies through a third buffer and a count of differing bytes.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "bench.h"
#include "card/card_connection.h"
#include "card/card_list.h"
#include "engine/test_data.h"
#include "sim/simulated_card_driver.h"

namespace {

constexpr uint32_t kBytes = 262144;
constexpr double kRoundSeconds = 0.2;
constexpr int kRounds = 7;

Rates PassesPerSecond(const std::function<void()>& pass) {
    const Clocks from = ReadClocks();
    uint64_t passes = 0;
    while (NowSeconds() - from.wall < kRoundSeconds) {
        pass();
        ++passes;
    }
    return RatesBetween(static_cast<double>(passes), from, ReadClocks());
}

std::vector<Figure> LoopbackTransferFigures() {
    SimOptions options;
    options.rateUnlimited = true;
    SimulatedCardDriver driver(options);
    UseCardDriver(&driver);
    StoreCardPaths(DiscoverCards());
    CardConnection card;
    card.Open(CardList[0]);
    card.AllocateBuffersKB(256);
    FillPattern(card, 0, 0);
    // The raw copies go between buffers allocated as the card code's and the card's own
    // memory is (alignment matters to memcpy).
    CardConnection host;
    host.AllocateBuffersKB(256);
    FillPattern(host, 0, 0);
    uint8_t* const sent = host.buffers[0];
    uint8_t* const received = host.buffers[1];
    std::unique_ptr<uint8_t[]> wire(new uint8_t[kBytes]());
    volatile int32_t sink = 0;
    // Rounds alternate between the two; each figure is the median of the rounds (the ratios
    // of each round's pair), so a round the machine's other work spoiled counts little.
    std::vector<double> cardRates, rawRates, ratios, cpuRatios;
    for (int round = 0; round < kRounds; ++round) {
        const Rates cardRate = PassesPerSecond([&] { sink = card.LoopbackTransfer(); });
        const Rates rawRate = PassesPerSecond([&] {
            std::memcpy(wire.get(), sent, kBytes);
            std::memcpy(received, wire.get(), kBytes);
            sink = static_cast<int32_t>(CountMismatches(sent, received, kBytes));
        });
        cardRates.push_back(cardRate.wall);
        rawRates.push_back(rawRate.wall);
        ratios.push_back(cardRate.wall / rawRate.wall);
        cpuRatios.push_back(cardRate.cpu / rawRate.cpu);
    }
    card.Close();
    host.FreeBuffers();
    ReleaseCardList();
    UseCardDriver(nullptr);
    (void)sink;
    return {Info("loopback_transfer_per_s", Median(cardRates), "passes/s"),
            Info("loopback_raw_per_s", Median(rawRates), "passes/s"),
            AtLeast("loopback_transfer_ratio", Median(ratios), "ratio", 0.9),
            AtLeast("loopback_transfer_cpu_ratio", Median(cpuRatios), "ratio", 0.9)};
}

BenchRegistration registration{{"loopback_transfer_per_s", "loopback_raw_per_s",
                                "loopback_transfer_ratio", "loopback_transfer_cpu_ratio"},
                               LoopbackTransferFigures};

}  // namespace

// The test threads at full speed on a simulated card, against raw baselines measured in the
// same run, and the benchmark's reported rates against the link rate the card models.
#include <algorithm>
#include <cmath>
#include <cwchar>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"
#include "card/card_connection.h"
#include "card/card_list.h"
#include "engine/benchmark.h"
#include "engine/loopback.h"
#include "engine/run_state.h"
#include "engine/test_data.h"
#include "engine/test_settings.h"
#include "log/logger.h"
#include "sim/simulated_card_driver.h"

namespace {

constexpr double kRunSeconds = 2.0;
constexpr uint32_t kLoopbackBytes = 262144;

// A world for one run: the simulated card, a fresh log, default settings.
class RunWorld {
public:
    explicit RunWorld(const SimOptions& options) : driver_(options) {
        UseCardDriver(&driver_);
        StoreCardPaths(DiscoverCards());
        ResetRunState();
        InitTestSettings(TestSettings);
        shuttingDown = false;
        CreateTheLog();
        selectedCard = 0;
    }
    ~RunWorld() {
        theCard.Close();
        ReleaseCardList();
        DestroyTheLog();
        UseCardDriver(nullptr);
    }
    // Runs a test thread for about `seconds` and returns the seconds it ran.
    double Run(void (*test)(const std::atomic<int32_t>*), double seconds) {
        TestControl.stopRequested = false;
        const double start = NowSeconds();
        std::thread thread(test, &selectedCard);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        TestControl.stopRequested = true;
        thread.join();
        return NowSeconds() - start;
    }
    double Average(const wchar_t* prefix) {
        Logger* log = theLog.load();
        LogRecord record;
        for (int i = log->Count() - 1; i >= 0; --i) {
            if (log->CopyRecord(i, &record) && std::wcsncmp(record.text, prefix, std::wcslen(prefix)) == 0) {
                return std::wcstod(record.text + std::wcslen(prefix), nullptr);
            }
        }
        return 0;
    }

private:
    SimulatedCardDriver driver_;
};

double RawLoopbackPerSecond(double seconds) {
    std::vector<uint8_t> sent(kLoopbackBytes), wire(kLoopbackBytes), received(kLoopbackBytes);
    for (uint32_t i = 0; i < kLoopbackBytes; ++i) sent[i] = static_cast<uint8_t>(i);
    volatile uint32_t sink = 0;
    uint64_t passes = 0;
    const double start = NowSeconds();
    while (NowSeconds() - start < seconds) {
        std::memcpy(wire.data(), sent.data(), kLoopbackBytes);
        std::memcpy(received.data(), wire.data(), kLoopbackBytes);
        sink = CountMismatches(sent.data(), received.data(), kLoopbackBytes);
        ++passes;
    }
    (void)sink;
    return passes / (NowSeconds() - start);
}

std::vector<Figure> LoopbackThreadFigures() {
    SimOptions options;
    options.rateUnlimited = true;
    double plain = 0;
    double detailed = 0;
    double raw = 0;
    // Alternating rounds, best of each, so the machine's other load falls on all alike.
    for (int round = 0; round < 3; ++round) {
        for (bool withDetail : {false, true}) {
            RunWorld world(options);
            TestSettings.detailedLogging = withDetail;
            const double seconds = world.Run(LoopbackTest, kRunSeconds / 3);
            double& best = withDetail ? detailed : plain;
            best = std::max(best, TestCounters.operations / seconds);
        }
        raw = std::max(raw, RawLoopbackPerSecond(kRunSeconds / 3));
    }
    return {Info("loopback_thread_per_s", plain, "passes/s"),
            AtLeast("loopback_thread_ratio", plain / raw, "ratio", 0.85),
            AtLeast("loopback_thread_detailed_ratio", detailed / raw, "ratio", 0.8)};
}

// Three threads each copying blocks of the benchmark's size, as the three channels would.
double RawBenchmarkMBps(uint32_t blockBytes, double seconds) {
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> blocks{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t) {
        threads.emplace_back([&] {
            std::vector<uint8_t> card(blockBytes, 1), host(blockBytes);
            while (!stop) {
                std::memcpy(host.data(), card.data(), blockBytes);
                ++blocks;
            }
        });
    }
    const double start = NowSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto& t : threads) t.join();
    return blocks * (blockBytes / 1048576.0) / (NowSeconds() - start);
}

std::vector<Figure> BenchmarkThroughputFigures() {
    SimOptions options;
    options.rateUnlimited = true;
    double measured = 0;
    double raw = 0;
    for (int round = 0; round < 2; ++round) {
        {
            RunWorld world(options);
            TestSettings.benchmarkDirection = 1;
            world.Run(BenchmarkTest, kRunSeconds / 2);
            measured = std::max(measured, world.Average(L"Average read data rate: "));
        }
        raw = std::max(raw, RawBenchmarkMBps(8u << 20, kRunSeconds / 2));
    }
    return {Info("benchmark_unlimited_mbps", measured, "MB/s"),
            AtLeast("benchmark_throughput_ratio", measured / raw, "ratio", 0.85)};
}

std::vector<Figure> BenchmarkRateFigures() {
    SimOptions options;
    options.rateMBps = 2000;
    RunWorld world(options);
    world.Run(BenchmarkTest, 3.0);
    const double read = world.Average(L"Average read data rate: ");
    const double write = world.Average(L"Average write data rate: ");
    const double worst = std::max(std::abs(read / 2000 - 1), std::abs(write / 2000 - 1));
    return {Info("benchmark_modelled_read_mbps", read, "MB/s"),
            Info("benchmark_modelled_write_mbps", write, "MB/s"),
            AtMost("benchmark_rate_error_pct", worst * 100, "%", 2.0)};
}

BenchRegistration loopbackThread{
    {"loopback_thread_per_s", "loopback_thread_ratio", "loopback_thread_detailed_ratio"},
    LoopbackThreadFigures};
BenchRegistration benchmarkThroughput{
    {"benchmark_unlimited_mbps", "benchmark_throughput_ratio"}, BenchmarkThroughputFigures};
BenchRegistration benchmarkRate{
    {"benchmark_modelled_read_mbps", "benchmark_modelled_write_mbps", "benchmark_rate_error_pct"},
    BenchmarkRateFigures};

}  // namespace

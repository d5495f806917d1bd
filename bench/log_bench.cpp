// Event-log figures: how fast records go in through LogAdd (with the null window port), on one
// thread and on four threads sharing the log lock.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bench.h"
#include "log/logger.h"

namespace {

constexpr double kMeasureSeconds = 0.5;
constexpr int kBatch = 4096;  // records between clock reads

// A typical loopback line: about 70 characters, no control characters.
constexpr wchar_t kLine[] =
    L"Loopback pass 1234: 262144 bytes, 0 errors, 3456.78 MB/s, AER status clear";

void AddBatches(const std::atomic<bool>& stop, std::atomic<uint64_t>& total) {
    uint64_t added = 0;
    while (!stop.load(std::memory_order_relaxed)) {
        for (int i = 0; i < kBatch; ++i) LogAdd(kLine, 1);
        added += kBatch;
    }
    total += added;
}

// Adds records from `threads` threads for about kMeasureSeconds; total records per second.
// The measuring thread sleeps meanwhile rather than polling the clock, so that on a small
// machine it takes no processor time from the adders.
double LogAddRate(int threads) {
    CreateTheLog();
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> total{0};
    std::vector<std::thread> adders;
    const double start = NowSeconds();
    for (int t = 0; t < threads; ++t) adders.emplace_back([&] { AddBatches(stop, total); });
    std::this_thread::sleep_for(std::chrono::duration<double>(kMeasureSeconds));
    stop = true;
    for (auto& t : adders) t.join();
    const double elapsed = NowSeconds() - start;
    DestroyTheLog();
    return static_cast<double>(total.load()) / elapsed;
}

BenchRegistration logAdd{{"logadd_per_s", "logadd_4threads_per_s"}, [] {
                             return std::vector<Figure>{
                                 AtLeast("logadd_per_s", LogAddRate(1), "records/s", 2e6),
                                 // The one log lock serialises the copies; four threads
                                 // should still get at least half the single-thread rate.
                                 AtLeast("logadd_4threads_per_s", LogAddRate(4), "records/s", 1e6),
                             };
                         }};

}  // namespace

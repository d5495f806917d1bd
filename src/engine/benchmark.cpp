#include "engine/benchmark.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <thread>

#include "card/card_connection.h"
#include "card/card_list.h"
#include "engine/auto_reset_event.h"
#include "engine/card_scan.h"
#include "engine/log_line.h"
#include "engine/main_window_port.h"
#include "engine/run_observer.h"
#include "engine/run_state.h"
#include "engine/test_data.h"
#include "engine/test_settings.h"

namespace {

constexpr int kFirstChannel = 1;
constexpr int kLastChannel = 3;
constexpr int kWorkersPerDirection = kLastChannel - kFirstChannel + 1;
constexpr uint8_t kBenchmarkFillByte = 4;

// One worker's record. The benchmark thread writes channel and blocksPerCycle before the
// worker starts; afterwards only the worker writes, and the benchmark thread reads the
// counters only after that worker's done event, which orders the accesses.
struct BenchmarkWorker {
    int32_t channel = 0;
    uint32_t blocksPerCycle = 0;
    uint32_t blocksDone = 0;
    uint32_t cycleBytes = 0;
    uint32_t cycleFailures = 0;
};

enum class Direction { Read, Write };

// Everything of one direction for one run: its events, workers and statistics.
struct Phase {
    Phase(Direction d, const wchar_t* format, std::atomic<uint64_t>* blockCounter,
          std::atomic<float>* maxCounter, std::atomic<float>* minCounter, DirectionOutcome* out)
        : direction(d),
          lineFormat(format),
          blocks(blockCounter),
          maxRate(maxCounter),
          minRate(minCounter),
          outcome(out) {}

    Direction direction;
    const wchar_t* lineFormat;
    std::atomic<uint64_t>* blocks;
    std::atomic<float>* maxRate;
    std::atomic<float>* minRate;
    AutoResetEvent start[kChannelCount];
    AutoResetEvent done[kChannelCount];
    BenchmarkWorker workers[kWorkersPerDirection];
    std::thread threads[kWorkersPerDirection];
    DirectionOutcome* outcome;  // cycles, bytes, failures, rates and groups
    RateWindow window;          // the current group of ten cycles
    float latestRate = 0;
};

void Worker(Phase* phase, BenchmarkWorker* worker) {
    ++TestControl.activeThreads;
    worker->blocksDone = 0;
    const int channel = worker->channel;
    // Every release is answered with a done, and a worker ends only after answering the one
    // in which it saw the stop. Ending as soon as the stop is seen after a done would race
    // the benchmark thread: when it checked the flag just before the stop and released the
    // next cycle, it would wait for this worker's done for ever. The wake-up at the end of
    // the run is such a release.
    for (bool last = false; !last;) {
        phase->start[channel].Wait();
        last = TestControl.stopRequested;
        worker->cycleBytes = 0;
        worker->cycleFailures = 0;
        for (uint32_t i = 0; i < worker->blocksPerCycle && !TestControl.stopRequested; ++i) {
            const uint32_t moved = phase->direction == Direction::Read
                                       ? theCard.ReadChannel(channel)
                                       : theCard.WriteChannel(channel);
            // The driver answered, with data or with a failure: the card has not stalled.
            CountCompletedTransfer();
            if (moved != 0) {
                ++worker->blocksDone;
                worker->cycleBytes += moved;
            } else {
                // Both directions log the same text, as engineers' scripts look for it.
                LogLine(kLogError, L" ReadBenchmark failed %d",
                        static_cast<int>(ActiveCardDriver().LastError()));
                ++worker->cycleFailures;
            }
        }
        phase->done[channel].Signal();
    }
    --TestControl.activeThreads;
}

void StartWorkers(Phase& phase, uint32_t blocksPerCycle) {
    for (int i = 0; i < kWorkersPerDirection; ++i) {
        phase.workers[i].channel = kFirstChannel + i;
        phase.workers[i].blocksPerCycle = blocksPerCycle;
        phase.threads[i] = std::thread(Worker, &phase, &phase.workers[i]);
    }
}

// One timed cycle of one direction; false when the run was already asked to stop.
bool RunCycle(Phase& phase, uint32_t cycle) {
    if (TestControl.stopRequested) return false;

    const int64_t frequency = HighResolutionFrequency();
    for (int c = kFirstChannel; c <= kLastChannel; ++c) phase.start[c].Signal();
    const int64_t t0 = HighResolutionCount();
    for (int c = kFirstChannel; c <= kLastChannel; ++c) phase.done[c].Wait();
    const int64_t t1 = HighResolutionCount();
    const double seconds = static_cast<double>(t1 - t0) / static_cast<double>(frequency);

    uint64_t bytes = 0;
    uint32_t failures = 0;
    uint64_t blocks = 0;
    for (const BenchmarkWorker& w : phase.workers) {
        bytes += w.cycleBytes;
        failures += w.cycleFailures;
        blocks += w.blocksDone;
    }
    if (failures != 0 && TestSettings.stopOnError) TestControl.stopRequested = true;

    const double mebibytes = static_cast<double>(bytes >> 20);
    const float rate = seconds > 0 ? static_cast<float>(mebibytes / seconds) : 0.0f;
    if (*phase.blocks == 0) *phase.minRate = rate;
    if (rate > *phase.maxRate) {
        *phase.maxRate = rate;
    } else if (*phase.minRate > rate && rate > 0) {
        *phase.minRate = rate;
    }

    DirectionOutcome& out = *phase.outcome;
    out.AddCycle(rate, bytes, failures);
    phase.window.Add(rate);
    phase.latestRate = rate;
    *phase.blocks = blocks;
    if (RunObserver* observer = CurrentRunObserver()) {
        observer->BenchmarkCycle(phase.direction == Direction::Read, cycle, rate, bytes, failures);
    }

    if (cycle % 10 == 0) {
        LogLine(kLogBenchmark, phase.lineFormat, cycle - 9, cycle,
                static_cast<double>(phase.window.min), static_cast<double>(phase.window.max));
        out.AddGroup({cycle - 9, cycle, phase.window.min, phase.window.max});
        phase.window = RateWindow();
    }
    LoadPause();
    return true;
}

void LogRateLine(const wchar_t* format, float rate) {
    LogLine(kLogBenchmark, format, static_cast<double>(rate),
            static_cast<double>(MBpsToGbps(rate)));
}

void LogSummary(const Phase& read, const Phase& write, int64_t startTime) {
    LogAdd(L"Overall benchmark result:", kLogBenchmark);
    if (startTime != 0) {
        LogLine(kLogBenchmark, L"Test start time: %ls", WideCtimeText(startTime).c_str());
    }
    LogAdd(FormatDuration(TestCounters.elapsedSeconds).c_str(), kLogBenchmark);

    const DirectionOutcome& r = *read.outcome;
    const DirectionOutcome& w = *write.outcome;
    const double readAverage = r.Average();
    const double writeAverage = w.Average();
    const uint64_t allCycles = r.cycles + w.cycles;
    const double combined =
        allCycles > 0 ? (r.rateSum + w.rateSum) / static_cast<double>(allCycles) : 0;
    if (r.ran) {
        LogRateLine(L"Maximum read data rate: %0.1f MB/s (%0.2f Gb/s)", TestCounters.maxReadMBps);
        LogRateLine(L"Average read data rate: %0.1f MB/s (%0.2f Gb/s)",
                    static_cast<float>(readAverage));
        LogRateLine(L"Minimum read data rate: %0.1f MB/s (%0.2f Gb/s)", TestCounters.minReadMBps);
    }
    if (w.ran) {
        LogRateLine(L"Maximum write data rate: %0.1f MB/s (%0.2f Gb/s)", TestCounters.maxWriteMBps);
        LogRateLine(L"Average write data rate: %0.1f MB/s (%0.2f Gb/s)",
                    static_cast<float>(writeAverage));
        LogRateLine(L"Minimum Write data rate: %0.1f MB/s (%0.2f Gb/s)", TestCounters.minWriteMBps);
        if (TestSettings.benchmarkDirection == 0) {
            LogRateLine(L"Average combined R/W data rate: %0.1f MB/s (%0.2f Gb/s)",
                        static_cast<float>(combined));
        }
    }
}

// Waits for older test threads before this run touches the card: a second, then (saying
// so) up to ten more, a second at a time. After that the run goes on in any case.
void WaitForOlderThreads() {
    if (TestControl.activeThreads <= 0) return;
    std::this_thread::sleep_for(std::chrono::seconds(1));
    if (TestControl.activeThreads <= 0) return;
    LogAdd(L"Waiting for previous test to complete", kLogBenchmark);
    for (int i = 0; i < 10 && TestControl.activeThreads > 0; ++i) {
        std::this_thread::sleep_for(std::chrono::seconds(1));
    }
}

// Waits up to 11 s for this run's workers to count themselves out. Woken workers leave
// within a transfer, so the wait looks often rather than sleeping whole seconds.
void WaitForWorkers() {
    constexpr auto kStep = std::chrono::milliseconds(10);
    constexpr int kSteps = 1100;
    for (int i = 0; i < kSteps && TestControl.activeThreads > 1; ++i) {
        std::this_thread::sleep_for(kStep);
    }
}

}  // namespace

uint32_t BlocksPerCycle(uint16_t linkStatus) {
    const int speed = LinkSpeed(linkStatus);
    if (speed > 4) return 20;
    // The count is made for widths x1 to x4; a wider link moves at least as much as x4, so
    // it is counted as x4 (never a zero or negative divisor). At least one block per cycle,
    // and at most 20: three workers x 20 x 64 MiB still fit the 32-bit byte sums.
    const int width = std::min(LinkWidth(linkStatus), 4);
    const int blocks = 20 / (5 - speed) / (5 - width);
    return static_cast<uint32_t>(std::clamp(blocks, 1, 20));
}

void BenchmarkTest(const std::atomic<int32_t>* cardIndex) {
    const int32_t index = cardIndex->load();
    const int64_t startTime = static_cast<int64_t>(std::time(nullptr));
    WaitForOlderThreads();

    TestCounters.statusText = StatusText::Benchmark;
    ++TestControl.activeThreads;
    ResetCounters(kBenchmarkStartReset);
    LogAdd(L"START OF PCIE BENCHMARK TEST", kLogBenchmark);

    CardOpen open = CardOpen::Opened;
    OpenCardForRun(index, kLogBenchmark, &open);
    Port().Repaint();

    const uint32_t direction = TestSettings.benchmarkDirection;
    if (direction == 0) LogAdd(L"READING THEN WRITING TO/FROM PCIE DEVICE", kLogBenchmark);
    if (direction == 1) LogAdd(L"READING FROM PCIE DEVICE", kLogBenchmark);
    if (direction == 2) LogAdd(L"WRITING TO PCIE DEVICE", kLogBenchmark);

    // Both phases live on this thread's stack until every worker has been joined.
    RunOutcome outcome;
    outcome.cardSlot = index;
    outcome.testMode = 1;
    outcome.cardOpen = open;
    Phase read{Direction::Read,           L"Read blocks %u\u2013%u: Min %0.1f MB/s, Max %0.1f MB/s",
               &TestCounters.readBlocks,  &TestCounters.maxReadMBps,
               &TestCounters.minReadMBps, &outcome.read};
    Phase write{
        Direction::Write,           L"Write blocks %u\u2013%u: Min %0.1f MB/s, Max %0.1f MB/s",
        &TestCounters.writeBlocks,  &TestCounters.maxWriteMBps,
        &TestCounters.minWriteMBps, &outcome.write};

    const bool buffersReady = theCard.AllocateBuffersMB(TestSettings.benchmarkBlockMB) &&
                              FillPattern(theCard, 2, kBenchmarkFillByte);
    if (buffersReady) {
        const uint32_t blocksPerCycle = BlocksPerCycle(LinkStatus(theCard.linkRecord));
        outcome.read.ran = direction == 0 || direction == 1;
        outcome.write.ran = direction == 0 || direction == 2;
        for (Phase* phase : {&read, &write}) {
            if (!phase->outcome->ran) continue;
            // Every allocation the run's statistics need is made before the first cycle.
            phase->outcome->groups.reserve(kBenchmarkGroupLimit);
            StartWorkers(*phase, blocksPerCycle);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));

        uint32_t cycle = 0;
        while (!TestControl.stopRequested) {
            ++cycle;
            if (outcome.read.ran && !RunCycle(read, cycle)) break;
            if (outcome.write.ran && !RunCycle(write, cycle)) break;
            if (read.latestRate > TestCounters.peakRateMBps) {
                TestCounters.peakRateMBps = read.latestRate;
            }
            if (write.latestRate > TestCounters.peakRateMBps) {
                TestCounters.peakRateMBps = write.latestRate;
            }
        }

        for (Phase* phase : {&read, &write}) {
            if (!phase->outcome->ran) continue;
            for (int c = kFirstChannel; c <= kLastChannel; ++c) phase->start[c].Signal();
        }
        LogSummary(read, write, startTime);
    } else {
        // Without buffers the run moves nothing; say so rather than end without a word.
        LogAdd(L"Benchmark test buffers could not be allocated.", kLogError);
        outcome.buffersAllocated = false;
    }

    WaitForWorkers();
    // A worker still inside a transfer after the wait (a stalled driver call) must finish it
    // before the buffers are released and its record and events go away.
    for (Phase* phase : {&read, &write}) {
        for (std::thread& t : phase->threads) {
            if (t.joinable()) t.join();
        }
    }
    theCard.Close();
    StopTest(true);
    --TestControl.activeThreads;
    DecideVerdict(outcome);
    if (RunObserver* observer = CurrentRunObserver()) observer->RunEnded(outcome);
}

// The run state shared by the main thread, the test threads and the display: the run flags,
// the run's counters, and StopTest, which ends a run.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

struct TestControlRecord {
    std::atomic<bool> stopRequested{true};
    std::atomic<bool> testRunning{false};
    std::atomic<int32_t> activeThreads{0};
};

// The status texts a test thread shows; the panel reads the whole text through an index,
// so it can never see half of one text and half of another.
enum class StatusText : int { None, Loopback, LoopbackComplete, Benchmark };
const wchar_t* StatusTextString(StatusText status);

struct TestCountersRecord {
    std::atomic<uint64_t> operations{0};
    std::atomic<uint64_t> errors{0};
    std::atomic<uint64_t> readBlocks{0};
    std::atomic<uint64_t> writeBlocks{0};
    std::atomic<float> peakRateMBps{0};
    std::atomic<float> maxReadMBps{0};
    std::atomic<float> maxWriteMBps{0};
    std::atomic<float> minReadMBps{0};
    std::atomic<float> minWriteMBps{0};
    std::atomic<int64_t> startTime{0};
    std::atomic<int64_t> elapsedSeconds{0};
    std::atomic<float> runMinutes{0};
    std::atomic<StatusText> statusText{StatusText::None};
};

extern TestControlRecord TestControl;
extern TestCountersRecord TestCounters;

// The groups of TestCounters that are reset together. Each reset names its own set: Start
// keeps the minimum rates, the benchmark start keeps `errors`, the loopback start resets only
// `errors`, the main window reset takes everything.
enum CounterSet : unsigned {
    kCountOperations = 1u << 0,  // operations
    kCountErrors = 1u << 1,      // errors
    kCountBlocks = 1u << 2,      // readBlocks, writeBlocks
    kPeakRate = 1u << 3,         // peakRateMBps
    kMaxRates = 1u << 4,         // maxReadMBps, maxWriteMBps
    kMinRates = 1u << 5,         // minReadMBps, minWriteMBps
    kRunTimes = 1u << 6,         // startTime, elapsedSeconds
    kRunLength = 1u << 7,        // runMinutes
    kStatus = 1u << 8,           // statusText
    kAllCounters = (1u << 9) - 1,
    // The sets the resets of a run take.
    kStartReset =
        kCountOperations | kCountErrors | kCountBlocks | kPeakRate | kMaxRates | kRunTimes,
    kMainWindowReset = kStartReset | kMinRates,
    kBenchmarkStartReset = kCountOperations | kCountBlocks | kMaxRates,
    kLoopbackStartReset = kCountErrors,
};
void ResetCounters(unsigned counterSet);

// Zeroes every counter, the status text and activeThreads; stopRequested set (idle).
void ResetRunState();

// Asks the run to stop; with finish also returns the window to its idle look.
void StopTest(bool finish);
// "Stop" for true, "Start" for false, on the Start/Stop button (through the window port).
void SetStartStopLabel(bool running);
// Disables the test inputs during a run and enables them after it (through the window port).
void EnableTestInputs(bool enable);

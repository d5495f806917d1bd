// The engine's one way in and one way out. A front end hands StartRun a RunRequest; the test
// thread tells the run observer that the run started and, as its last act, hands it the
// RunOutcome: counters, rates, the verdict and the reasons behind it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/card_scan.h"
#include "engine/error_status_names.h"
#include "engine/test_settings.h"

struct RunRequest {
    int32_t cardSlot = -1;  // index into CardList
    // The options of the run, the test among them (settings.testMode: 0 loopback, 1 benchmark).
    TestSettingsRecord settings{};
    float runMinutes = 0;  // 0 or less: no limit
};

// The minimum and maximum of a group of rates, kept the way the progress lines show them:
// the minimum ignores rates of 0 once it holds one above 0.
struct RateWindow {
    float min = 0;
    float max = 0;
    void Add(float rate) {
        if (rate > max) max = rate;
        if (min <= 0) {
            min = rate;
        } else if (rate < min && rate > 0) {
            min = rate;
        }
    }
};

// A benchmark direction's group of ten cycles, as its "Read blocks a–b" line shows it.
struct BenchmarkGroup {
    uint32_t firstCycle = 0;
    uint32_t lastCycle = 0;
    float min = 0;
    float max = 0;
};

// 10,000 groups are 100,000 cycles: more than a day at Gen4 x4 with 8 MiB blocks.
inline constexpr size_t kBenchmarkGroupLimit = 10000;

struct DirectionOutcome {
    bool ran = false;
    uint64_t cycles = 0;
    uint64_t bytes = 0;
    uint64_t failures = 0;  // failed or short transfers
    double rateSum = 0;
    float min = 0;  // the slowest cycle above 0 MB/s; 0 when none
    float max = 0;
    std::vector<BenchmarkGroup> groups;  // reserved when the run starts, never grown past it
    uint64_t groupsOmitted = 0;          // beyond kBenchmarkGroupLimit

    // One timed cycle: `rate` MB/s over `bytes`, with `failures` failed or short transfers.
    void AddCycle(float rate, uint64_t cycleBytes, uint32_t cycleFailures) {
        ++cycles;
        bytes += cycleBytes;
        failures += cycleFailures;
        rateSum += rate;
        // A stalled cycle's 0 is no minimum.
        if (rate > 0 && (min <= 0 || rate < min)) min = rate;
        if (rate > max) max = rate;
    }
    // A finished group of ten cycles: kept up to kBenchmarkGroupLimit, counted beyond it.
    void AddGroup(const BenchmarkGroup& group);
    // The average the benchmark summary prints; 0 without cycles.
    double Average() const { return cycles > 0 ? rateSum / static_cast<double>(cycles) : 0.0; }
};

struct LoopbackOutcome {
    uint64_t passes = 0;
    uint64_t writeErrors = 0;
    uint64_t readErrors = 0;
    uint64_t verificationErrors = 0;  // wrong bytes
    uint64_t statusReadFailures = 0;  // passes whose error status could not be read
    uint64_t countedBits[kCountedErrorStatusBits] = {};  // passes with each bit, table order
};

struct RunOutcome {
    int32_t cardSlot = -1;
    uint8_t testMode = 0;
    CardOpen cardOpen = CardOpen::Opened;  // what the test thread's open of the card gave
    bool buffersAllocated = true;
    uint64_t errors = 0;  // the loopback's total of counted errors
    LoopbackOutcome loopback;
    DirectionOutcome read;
    DirectionOutcome write;
    // Why the card failed, in words; empty when it passed.
    std::vector<std::wstring> reasons;

    bool Passed() const { return reasons.empty(); }
};

// Fills `outcome.reasons` from its counters: a card that did not open, test buffers that
// could not be allocated, each kind of loopback error, each direction's failed transfers, and
// a run that tested nothing (no loopback pass, no benchmark block moved).
void DecideVerdict(RunOutcome& outcome);

// Why a card that did not open cannot be tested; empty for one that opened.
std::wstring CardOpenReason(CardOpen open);

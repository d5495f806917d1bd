// RunRecorder: the runner's RunObserver. Watches one card's run pass by pass (loopback) or
// cycle by cycle (benchmark) and keeps what the JSON results, the limits and the diagnosis
// need, in memory that does not grow with the run: fixed histograms for the medians, one
// small record per minute (loopback) or per group of ten cycles (benchmark, capped), and a
// fixed number of described passes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/error_status_names.h"
#include "cli/rate_histogram.h"
#include "engine/run_observer.h"

enum class RecordedTest { Loopback, Benchmark };

// Minimum, median and maximum of a set of rates (MB/s); count 0 when there were none.
struct RateFigures {
    uint64_t count = 0;
    double min = 0;
    double median = 0;
    double max = 0;
};

// One minute of a loopback run, counted from the start of the run: minute 0 is its first.
struct LoopbackMinute {
    uint32_t minute = 0;
    uint64_t passes = 0;  // every pass; the rates are of those whose transfer completed
    RateFigures rates;
};

struct LoopbackFigures {
    uint64_t passes = 0;
    uint64_t writeErrors = 0;
    uint64_t readErrors = 0;
    uint64_t verificationErrors = 0;  // wrong bytes
    uint64_t statusReadFailures = 0;  // passes whose error status could not be read
    uint64_t countedBits[kCountedErrorStatusBits] = {};  // passes with each bit, table order
    std::vector<LoopbackMinute> minutes;
};

// A benchmark direction's group of ten cycles, as its "Read blocks a–b" line shows it.
struct BenchmarkGroup {
    uint32_t firstCycle = 0;
    uint32_t lastCycle = 0;
    float min = 0;
    float max = 0;
};

struct DirectionFigures {
    bool ran = false;
    uint64_t cycles = 0;
    uint64_t bytes = 0;
    uint64_t failures = 0;  // failed or short transfers
    double rateSum = 0;     // the engine's average is rateSum / cycles, summed the same way
    float min = 0;          // the slowest cycle above 0 MB/s; 0 when none
    float max = 0;
    std::vector<BenchmarkGroup> groups;
    uint64_t groupsOmitted = 0;  // beyond kBenchmarkGroupLimit

    float windowMin = 0;  // the current group, kept as the engine keeps it
    float windowMax = 0;
};

inline constexpr int kLocatedBytesPerPass = 8;
inline constexpr int kDescribedPassLimit = 10;
// 10,000 groups are 100,000 cycles: more than a day at Gen4 x4 with 8 MiB blocks.
inline constexpr size_t kBenchmarkGroupLimit = 10000;

struct LocatedByte {
    uint32_t offset = 0;
    uint8_t expected = 0;
    uint8_t received = 0;
};

struct DescribedPass {
    uint64_t pass = 0;
    uint32_t wrongBytes = 0;
    int located = 0;
    LocatedByte bytes[kLocatedBytesPerPass];
};

struct Diagnosis {
    uint64_t wrongBytePasses = 0;
    int describedCount = 0;
    DescribedPass described[kDescribedPassLimit];
    uint64_t locatedBytes = 0;
    uint8_t bitsInEvery = 0xFF;  // AND of every located byte's differing bits
    // Passes in which each bit the event log does not count was set, per register and bit.
    uint64_t uncountedBits[2][32] = {};
};

class RunRecorder final : public RunObserver {
public:
    using LineSink = std::function<void(const std::wstring&)>;
    using Clock = int64_t (*)();  // milliseconds, any fixed origin

    RunRecorder();

    // Main thread, before the run starts: forgets the previous card. With `diagnose`, lines
    // ("diagnose: ...") go to `sink` as the run finds them and at Finish.
    void Begin(RecordedTest test, bool diagnose, LineSink sink);
    // Main thread, after the run's thread has ended: closes the last minute and prints the
    // diagnosis's closing lines.
    void Finish();

    void LoopbackPass(int32_t result, double rateMBps, const CardConnection& card,
                      const ErrorRecord* status) override;
    void BenchmarkCycle(bool read, uint32_t cycle, float rateMBps, uint64_t bytes,
                        uint32_t failures) override;

    RecordedTest Test() const { return test_; }
    bool Diagnosing() const { return diagnose_; }
    const LoopbackFigures& Loopback() const { return loopback_; }
    RateFigures LoopbackRates() const;
    const DirectionFigures& Read() const { return read_; }
    const DirectionFigures& Write() const { return write_; }
    RateFigures ReadRates() const;
    RateFigures WriteRates() const;
    const Diagnosis& Diagnosed() const { return diagnosis_; }

    // Tests fix the clock that places passes in minutes; null restores the steady clock.
    void SetClock(Clock clock);

private:
    void CloseMinute();
    void DiagnoseWrongBytes(const CardConnection& card, uint32_t wrongBytes);
    void DiagnoseStatus(const ErrorRecord& status);
    void Say(const std::wstring& line);

    RecordedTest test_ = RecordedTest::Loopback;
    bool diagnose_ = false;
    LineSink sink_;
    Clock clock_;
    int64_t startMs_ = 0;

    LoopbackFigures loopback_;
    std::unique_ptr<RateHistogram> loopbackRates_;
    std::unique_ptr<RateHistogram> minuteRates_;
    uint32_t currentMinute_ = 0;
    uint64_t minutePasses_ = 0;

    DirectionFigures read_;
    DirectionFigures write_;
    std::unique_ptr<RateHistogram> readRates_;
    std::unique_ptr<RateHistogram> writeRates_;

    Diagnosis diagnosis_;
};

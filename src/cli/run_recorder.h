// RunRecorder: the runner's RunObserver. Keeps the run's outcome as the engine hands it over
// at the end, and watches the run pass by pass (loopback) or cycle by cycle (benchmark) for
// what only the runner reports: the medians, the loopback's minutes and the diagnosis. Its
// memory does not grow with the run: fixed histograms, one small record per minute, a fixed
// number of described passes.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/rate_histogram.h"
#include "engine/error_status_names.h"
#include "engine/run_observer.h"
#include "engine/run_request.h"
#include "engine/run_statistics.h"

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

inline constexpr int kLocatedBytesPerPass = 8;
inline constexpr int kDescribedPassLimit = 10;

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

    void RunStarted(const RunRequest& request) override;
    void RunEnded(const RunOutcome& outcome) override;
    // Waits at most `bound` for the run's end; true once it has ended.
    bool WaitForEnd(std::chrono::milliseconds bound);

    RecordedTest Test() const { return test_; }
    bool Diagnosing() const { return diagnose_; }
    // The engine's outcome; read after the run has ended.
    const RunOutcome& Outcome() const { return outcome_; }
    void SetOutcome(const RunOutcome& outcome) { outcome_ = outcome; }
    const std::vector<LoopbackMinute>& Minutes() const { return minutes_; }
    RateFigures LoopbackRates() const;
    RateFigures ReadRates() const;
    RateFigures WriteRates() const;
    const Diagnosis& Diagnosed() const { return diagnosis_; }
    // Round-trip times, cycle rates and the timeline; read after the run has ended.
    const RunStatistics& Statistics() const { return statistics_; }
    RunFigures Figures() const { return statistics_.Figures(); }

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

    std::mutex endLock_;
    std::condition_variable endSignal_;
    bool ended_ = false;  // under endLock_
    RunOutcome outcome_;

    uint64_t passes_ = 0;
    std::vector<LoopbackMinute> minutes_;
    std::unique_ptr<RateHistogram> loopbackRates_;
    std::unique_ptr<RateHistogram> minuteRates_;
    uint32_t currentMinute_ = 0;
    uint64_t minutePasses_ = 0;

    std::unique_ptr<RateHistogram> readRates_;
    std::unique_ptr<RateHistogram> writeRates_;

    Diagnosis diagnosis_;
    RunStatistics statistics_;
};

// LiveViews: how a run goes while it runs, for a person at a terminal or a dashboard that
// follows a long soak. It stands between the engine and the RunRecorder as the run's observer:
// every event is counted here and handed on. The main thread reads the counts each control
// tick and prints from them: a line every --interval seconds, the same as JSON objects on the
// --json-stream, or the progress line on a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "cli/cli_options.h"
#include "cli/json_results.h"
#include "cli/run_recorder.h"
#include "engine/run_observer.h"
#include "log/logger.h"

// What the run's passes or cycles brought since the card's run began.
struct LiveCounts {
    uint64_t passes = 0;      // loopback passes
    uint64_t measured = 0;    // passes whose transfer completed; their rates are in rateSum
    double rateSum = 0;       // MB/s
    uint64_t errors = 0;      // loopback: counted errors; benchmark: failed transfers
    uint64_t cycles[2] = {};  // benchmark, read and write
    uint64_t bytes[2] = {};
    double cycleRateSum[2] = {};
};

class LiveViews final : public RunObserver {
  public:
    // `stream`: where the JSON objects go, or null for none.
    LiveViews(const CliOptions& options, RunRecorder& recorder, std::FILE* stream);

    // Main thread, before the card's run starts.
    void BeginCard(int slot);
    // Main thread, every control tick of the run: prints what is due.
    void Tick();
    // Main thread, once the run has ended or been given up: the last, shorter interval's
    // line, and the progress line taken off.
    void EndCard();
    // The card's result object on the stream.
    void CardResult(const Json& result);

    void RunStarted(const RunRequest& request) override { recorder_.RunStarted(request); }
    void LoopbackPass(int32_t result, double rateMBps, const CardConnection& card,
                      const ErrorRecord* status) override;
    void BenchmarkCycle(bool read, uint32_t cycle, float rateMBps, uint64_t bytes,
                        uint32_t failures) override;
    void RunEnded(const RunOutcome& outcome) override { recorder_.RunEnded(outcome); }

    LiveCounts Counts();

  private:
    double Elapsed() const;
    void Interval(double end);
    void Progress(double now);
    uint64_t Blocks(const LiveCounts& c) const;

    const CliOptions& options_;
    RunRecorder& recorder_;
    std::FILE* stream_;
    bool loopback_;
    bool progress_;
    double period_;  // seconds between intervals; 0: none

    std::mutex lock_;
    LiveCounts counts_;  // under lock_, written by the test thread

    // Main thread only.
    int slot_ = 0;
    std::chrono::steady_clock::time_point start_;
    LiveCounts intervalFrom_;
    double intervalStart_ = 0;
    double nextInterval_ = 0;
    LiveCounts drawnFrom_;
    double nextDraw_ = 0;
    std::string rateText_ = "-";
};

// One event-log record as a JSON stream object, without the line end.
std::string RecordObjectText(const LogRecord& record);

// Writes one JSON object as a line to the stream and flushes it, under the console's lock.
void WriteStreamLine(std::FILE* stream, const Json& object);

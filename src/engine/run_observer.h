// RunObserver: the engine's way out. A front end that wants more of a run than the event log
// and the run state show sets one before the run starts: it hears that the run started, what
// each loopback pass and benchmark cycle brought, and the run's outcome. Called on the
// starting thread (RunStarted) and the test thread (the rest); the window sets none.
#pragma once

#include <cstdint>

#include "card/card_connection.h"
#include "engine/run_request.h"

class RunObserver {
  public:
    virtual ~RunObserver() = default;

    // StartRun has accepted the request and is starting its test thread.
    virtual void RunStarted(const RunRequest&) {}

    // After every loopback pass: the transfer's result (-1 write failed, -2 read failed, else
    // wrong bytes), its speed in MB/s (the previous good one after a failure), the card (while
    // `result` > 0 its buffers 0 and 1 hold what was sent and what came back), and the error
    // status read after the transfer, or null when the request failed.
    virtual void LoopbackPass(int32_t result, double rateMBps, const CardConnection& card,
                              const ErrorRecord* status) = 0;

    // After every timed cycle of a benchmark direction.
    virtual void BenchmarkCycle(bool read, uint32_t cycle, float rateMBps, uint64_t bytes,
                                uint32_t failures) = 0;

    // The test thread's last act: its summary is logged, the window is idle again and the
    // thread no longer counts itself among activeThreads.
    virtual void RunEnded(const RunOutcome&) {}
};

// Set before a run starts and not changed while it runs; null (the default) for none.
void SetRunObserver(RunObserver* observer);
RunObserver* CurrentRunObserver();

// Transfers that completed since the program started, counted by the test threads and their
// workers; a front end may read it at any time to tell a stalled card from a slow one.
uint64_t CompletedTransfers();
void CountCompletedTransfer();

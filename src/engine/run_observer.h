// RunObserver: what a front end may watch of a run beyond the event log, pass by pass and
// cycle by cycle (the command-line runner's JSON results, limits and diagnosis). Called on
// the test thread; the window sets none, and without one the tests do nothing extra.
#pragma once

#include <cstdint>

#include "card/card_connection.h"

class RunObserver {
public:
    virtual ~RunObserver() = default;

    // After every loopback pass: the transfer's result (-1 write failed, -2 read failed, else
    // wrong bytes), its speed in MB/s (the previous good one after a failure), the card (while
    // `result` > 0 its buffers 0 and 1 hold what was sent and what came back), and the error
    // status read after the transfer, or null when the request failed.
    virtual void LoopbackPass(int32_t result, double rateMBps, const CardConnection& card,
                              const ErrorRecord* status) = 0;

    // After every timed cycle of a benchmark direction.
    virtual void BenchmarkCycle(bool read, uint32_t cycle, float rateMBps, uint64_t bytes,
                                uint32_t failures) = 0;
};

// Set before a run starts and not changed while it runs; null (the default) for none.
void SetRunObserver(RunObserver* observer);
RunObserver* CurrentRunObserver();

#include "engine/run_state.h"

#include "engine/main_window_port.h"

TestControlRecord TestControl;
TestCountersRecord TestCounters;

const wchar_t* StatusTextString(StatusText status) {
    switch (status) {
        case StatusText::Loopback:
            return L"LOOPBACK test";
        case StatusText::LoopbackComplete:
            return L"LOOPBACK test - Complete";
        case StatusText::Benchmark:
            return L"BENCHMARK test";
        case StatusText::None:
            break;
    }
    return L"";
}

void ResetCounters(unsigned counterSet) {
    TestCountersRecord& c = TestCounters;
    if (counterSet & kCountOperations) c.operations = 0;
    if (counterSet & kCountErrors) c.errors = 0;
    if (counterSet & kCountBlocks) c.readBlocks = c.writeBlocks = 0;
    if (counterSet & kPeakRate) c.peakRateMBps = 0;
    if (counterSet & kMaxRates) c.maxReadMBps = c.maxWriteMBps = 0;
    if (counterSet & kMinRates) c.minReadMBps = c.minWriteMBps = 0;
    if (counterSet & kRunTimes) c.startTime = c.elapsedSeconds = 0;
    if (counterSet & kRunLength) c.runMinutes = 0;
    if (counterSet & kStatus) c.statusText = StatusText::None;
}

void ResetRunState() {
    TestControl.stopRequested = true;
    TestControl.testRunning = false;
    TestControl.activeThreads = 0;
    ResetCounters(kAllCounters);
}

void StopTest(bool finish) {
    TestControl.stopRequested = true;
    TestControl.testRunning = false;
    TestCounters.startTime = 0;
    if (finish) {
        EnableTestInputs(true);
        SetStartStopLabel(false);
    }
}

void SetStartStopLabel(bool running) { Port().SetStartStopLabel(running); }

void EnableTestInputs(bool enable) { Port().EnableTestInputs(enable); }

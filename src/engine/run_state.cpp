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

void ResetRunState() {
    TestControl.stopRequested = true;
    TestControl.testRunning = false;
    TestControl.activeThreads = 0;

    TestCounters.operations = 0;
    TestCounters.errors = 0;
    TestCounters.readBlocks = 0;
    TestCounters.writeBlocks = 0;
    TestCounters.peakRateMBps = 0;
    TestCounters.maxReadMBps = 0;
    TestCounters.maxWriteMBps = 0;
    TestCounters.minReadMBps = 0;
    TestCounters.minWriteMBps = 0;
    TestCounters.startTime = 0;
    TestCounters.elapsedSeconds = 0;
    TestCounters.runMinutes = 0;
    TestCounters.statusText = StatusText::None;
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

void SetStartStopLabel(bool running) {
    Port().SetControlText(kStartStopButtonId, running ? L"Stop" : L"Start");
}

void EnableTestInputs(bool enable) {
    // Start/Stop and About are not in the list: a run can always be stopped.
    static constexpr int kTestInputIds[] = {
        kDeviceListId,     kDurationLabelId,   kMinutesLabelId,  kDurationEditId, kLoopbackRadioId,
        kBenchmarkRadioId, kConfigureButtonId, kSaveLogButtonId, kExitButtonId,
    };
    for (int id : kTestInputIds) Port().EnableControl(id, enable);
}

#include "engine/run_control.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <cwchar>
#include <system_error>
#include <thread>

#include "card/card_list.h"
#include "engine/benchmark.h"
#include "engine/loopback.h"
#include "engine/main_window_port.h"
#include "engine/run_observer.h"
#include "engine/run_state.h"
#include "engine/test_settings.h"
#include "log/logger.h"

namespace {

constexpr int kDurationReadChars = 7;
constexpr int kCleanupWaitSteps = 20;
constexpr auto kCleanupWaitStep = std::chrono::milliseconds(100);

int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

// True from Start until the run's test thread has returned (its workers joined). Unlike
// activeThreads it is set before the thread exists, so no Start can slip in between.
std::atomic<bool> testThreadAlive{false};

}  // namespace

double ParseDurationMinutes(const std::wstring& text) {
    const double value = std::wcstod(text.c_str(), nullptr);
    // "inf", "nan" and overflowing exponents are no run length at all.
    return std::isfinite(value) ? value : 0.0;
}

RunStart StartRun(const RunRequest& request) {
    const int index = request.cardSlot;
    selectedCard = index;
    if (static_cast<unsigned>(index) >= kMaxCards || CardList[index].empty()) {
        return RunStart::NoCard;
    }
    // The thread of the previous run may still be writing its summary and holding theCard;
    // a new run must never share the card with it. Its final StopTest returns the window to
    // idle, and Start works again.
    if (testThreadAlive && TestControl.stopRequested) {
        LogAdd(
            L"The previous PCIe test is still finishing; wait for its summary, then start again.",
            kLogInformation);
        return RunStart::PreviousStillFinishing;
    }
    TestControl.testRunning = true;
    if (!TestControl.stopRequested) {
        LogAdd(L"A PCIe test is running already", kLogInformation);
        return RunStart::AlreadyRunning;
    }

    // No test thread is alive from here on, so the settings can be replaced whole.
    TestSettings = request.settings;
    EnableTestInputs(false);
    SetStartStopLabel(true);
    ResetCounters(kStartReset);
    TestCounters.runMinutes = request.runMinutes;
    TestCounters.startTime = Now();
    TestControl.stopRequested = false;

    void (*test)(const std::atomic<int32_t>*) = nullptr;
    if (request.settings.testMode == 0) test = LoopbackTest;
    if (request.settings.testMode == 1) test = BenchmarkTest;
    if (!test) {
        LogAdd(L"No test mode selected", kLogInformation);
        // Nothing will run to end the run: the window returns to idle at once.
        StopTest(true);
        return RunStart::NoTestMode;
    }
    if (RunObserver* observer = CurrentRunObserver()) observer->RunStarted(request);
    testThreadAlive = true;
    try {
        std::thread([test] {
            test(&selectedCard);
            testThreadAlive = false;
        }).detach();
    } catch (const std::system_error&) {
        testThreadAlive = false;
        // Without a thread nothing would ever end the run: say so and return to idle.
        LogAdd(L"The test thread could not be started.", kLogError);
        StopTest(true);
        return RunStart::NoThread;
    }
    return RunStart::Started;
}

void StartTest() {
    MainWindowPort& port = Port();
    RunRequest request;
    request.cardSlot = port.SelectedDevice();
    request.settings = TestSettings;
    request.runMinutes =
        static_cast<float>(ParseDurationMinutes(port.DurationText(kDurationReadChars)));
    if (StartRun(request) == RunStart::NoCard) {
        port.ShowMessage(L"Please select a PCIe device from the available devices list",
                         L"No card selected", MessageIcon::Information);
    }
}

bool RunLengthFits(float minutes) { return minutes * 60.0f < 2147483648.0f; }

void CheckRunLength(int64_t now) {
    const int64_t elapsed = now - TestCounters.startTime;
    const float minutes = TestCounters.runMinutes;
    // A length beyond what 32 bits of seconds hold (68 years) is no limit at all.
    const bool limited = minutes > 0 && RunLengthFits(minutes);
    if (limited && elapsed > static_cast<int32_t>(minutes * 60.0f)) {
        Port().Beep();
        StopTest(false);
        return;
    }
    TestCounters.elapsedSeconds = elapsed;
}

void CheckRunLength() { CheckRunLength(Now()); }

bool TestThreadAlive() { return testThreadAlive; }

void CleanupTests() {
    TestControl.stopRequested = true;
    StopTest(false);
    if (TestSettings.detailedLogging) {
        LogAdd(L"Cleanup - waiting for threads to finish", kLogDiagnostics);
    }
    // Test threads ask the window for changes by posted messages; keep handling them while
    // waiting, or an ending thread's final requests would sit unanswered.
    for (int i = 0; i < kCleanupWaitSteps && TestControl.activeThreads > 0; ++i) {
        Port().PumpMessages();
        std::this_thread::sleep_for(kCleanupWaitStep);
    }
    if (TestSettings.detailedLogging) {
        LogAdd(L"Cleanup - closing PCIe devices & releasing resources", kLogDiagnostics);
    }
}

#include "engine/loopback.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>

#include "card/card_connection.h"
#include "card/card_list.h"
#include "engine/card_scan.h"
#include "engine/error_status.h"
#include "engine/log_line.h"
#include "engine/run_observer.h"
#include "engine/run_state.h"
#include "engine/test_data.h"
#include "engine/test_settings.h"

namespace {

constexpr double kLoopbackKB = 256;
struct LoopbackRun {
    RunOutcome outcome;
    RateWindow window;  // the current group of ten passes

    void CountError(uint64_t n) {
        outcome.errors += n;
        TestCounters.errors = outcome.errors;
        if (TestSettings.stopOnError) TestControl.stopRequested = true;
    }
};

void RunPass(LoopbackRun& run) {
    LoopbackOutcome& counts = run.outcome.loopback;
    const int32_t result = theCard.LoopbackTransfer();
    // The driver answered, with data or with a failure: the card has not stalled.
    CountCompletedTransfer();
    if (result == -1) {
        ++counts.writeErrors;
        run.CountError(1);
    } else if (result == -2) {
        ++counts.readErrors;
        run.CountError(1);
    } else if (result > 0) {
        LogLine(kLogError, L"PCIe data transfer error: %d of %d bytes incorrect.", result,
                static_cast<int>(theCard.bufferSize));
        counts.verificationErrors += static_cast<uint64_t>(result);
        run.CountError(static_cast<uint64_t>(result));
    }

    // After a failed transfer LastRate is still the speed of the last good one.
    const double speed = theCard.LastRate();
    run.window.Add(static_cast<float>(speed));

    ++TestCounters.operations;
    const uint64_t pass = ++counts.passes;
    if (TestSettings.detailedLogging) {
        LogLine(kLogLoopback, L"Write and Read Status: Speed %0.1f MB/s", speed);
    }

    // A failed status request closes the card; later passes then fail as write errors.
    RunObserver* observer = CurrentRunObserver();
    if (theCard.ReadErrorStatus()) {
        ForEachErrorStatusBit(theCard.errorRecord, [&](const ErrorStatusBit& bit) {
            LogAdd(bit.message, kLogError);
            ++counts.countedBits[&bit - kErrorStatusBits];
            run.CountError(1);
        });
        if (observer) {
            const ErrorRecord status = theCard.errorRecord;  // the clear overwrites it
            observer->LoopbackPass(result, speed, theCard, &status);
        }
        theCard.ClearErrorStatus();
    } else {
        ++counts.statusReadFailures;
        if (observer) observer->LoopbackPass(result, speed, theCard, nullptr);
    }

    if (pass % 10 == 0) {
        LogLine(kLogLoopback,
                L"Loopback blocks %llu\u2013%llu: Min %0.1f MB/s, Max %0.1f MB/s (Roundtrip)",
                static_cast<unsigned long long>(pass - 9), static_cast<unsigned long long>(pass),
                static_cast<double>(run.window.min), static_cast<double>(run.window.max));
        run.window = RateWindow();
    }
    LoadPause();
}

void LogSummary(const LoopbackRun& run, int64_t startTime, const wchar_t* device) {
    if (startTime != 0) {
        LogLine(kLogPass, L"Test Start time: %ls", WideCtimeText(startTime).c_str());
    }
    LogAdd(FormatDuration(TestCounters.elapsedSeconds).c_str(), kLogPass);
    const LoopbackOutcome& counts = run.outcome.loopback;
    LogLine(kLogPass, L"%llu Operations.", static_cast<unsigned long long>(counts.passes));

    const uint64_t errors = run.outcome.errors;
    const bool failed = errors != 0 || counts.readErrors != 0 || counts.writeErrors != 0 ||
                        counts.verificationErrors != 0;
    if (failed && errors > 0) {
        LogLine(kLogError, L"%llu error(s).", static_cast<unsigned long long>(errors));
    }
    LogLine(failed ? kLogError : kLogPass,
            L"%llu Read error(s). %llu Write error(s). %llu Verification error(s).",
            static_cast<unsigned long long>(counts.readErrors),
            static_cast<unsigned long long>(counts.writeErrors),
            static_cast<unsigned long long>(counts.verificationErrors));
    LogAddFormatted(failed ? L"Test failed: %ls" : L"Test passed: %ls", device,
                    failed ? kLogError : kLogPass);
}

}  // namespace

void LoopbackTest(const std::atomic<int32_t>* cardIndex) {
    const int32_t index = cardIndex->load();
    ++TestControl.activeThreads;
    LoopbackRun run;
    run.outcome.cardSlot = index;
    run.outcome.testMode = 0;
    ResetCounters(kLoopbackStartReset);
    const int64_t startTime = static_cast<int64_t>(std::time(nullptr));
    TestCounters.statusText = StatusText::Loopback;
    LogAdd(L"START OF PCIE TEST - LOOPBACK TEST", kLogLoopback);

    const std::wstring device = OpenCardForRun(index, kLogLoopback, &run.outcome.cardOpen);

    // Without buffers there is nothing to send: say so and fail the run rather than pass a
    // run that tested nothing.
    if (!theCard.AllocateBuffersKB(kLoopbackKB)) {
        LogAdd(L"Loopback test buffers could not be allocated.", kLogError);
        run.outcome.buffersAllocated = false;
        run.CountError(1);
        TestControl.stopRequested = true;
    } else {
        FillPattern(theCard, TestSettings.patternType, TestSettings.constantPatternValue);
        theCard.ClearErrorStatus();
    }

    while (!TestControl.stopRequested) RunPass(run);

    TestCounters.statusText = StatusText::LoopbackComplete;
    // Cards finishing together write their summaries one after another, not interleaved.
    std::this_thread::sleep_for(std::chrono::milliseconds(100) * (index > 0 ? index : 0));
    LogSummary(run, startTime, device.c_str());
    theCard.Close();
    StopTest(true);
    --TestControl.activeThreads;
    DecideVerdict(run.outcome);
    if (RunObserver* observer = CurrentRunObserver()) observer->RunEnded(run.outcome);
}

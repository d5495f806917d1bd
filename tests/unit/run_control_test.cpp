#include "engine/run_control.h"

#include "engine_world.h"

namespace {

std::atomic<RecordingPort*> heldPort{nullptr};
std::atomic<bool> held{false};

class RunControlTest : public EngineWorld {
  protected:
    // The caption comes back with the thread's final StopTest; the thread then only counts
    // itself out and returns, which no port call announces, so those last steps are polled.
    bool WaitForIdle() {
        return PollUntil([&] { return !port.Running(); }) &&
               PollUntil([] { return TestControl.activeThreads == 0 && !TestThreadAlive(); });
    }
    void StartOn(int card) {
        UseCards("rate=unlimited,cards=4");
        port.SetSelectedDevice(card);
        TestSettings.loopbackLoadPercent = 99;
        StartTest();
        ASSERT_TRUE(PollUntil([] { return TestCounters.operations > 0; }));
    }
};

TEST_F(RunControlTest, StartRunsStopEndsAStartWhileTheRunIsFinishingIsRefusedAndCleanupWaits) {
    StartOn(3);  // card 3's thread waits 300 ms after its loop before it writes the summary
    EXPECT_TRUE(port.Running());
    EXPECT_EQ(port.Get().enableCalls, std::vector<bool>{false});
    StopTest(false);
    EXPECT_EQ(std::make_pair(TestControl.testRunning.load(), TestCounters.startTime.load()),
              std::make_pair(false, int64_t{0}));
    StartTest();
    // While the button still reads "Stop", "press Start" would name a button that is not there.
    EXPECT_EQ(CountStartingWith(L"The previous PCIe test is still finishing; wait for its "
                                L"summary, then start again."),
              1);
    EXPECT_FALSE(TestControl.testRunning);
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(port.Get().enableCalls, (std::vector<bool>{false, true}));
    EXPECT_EQ(CountStartingWith(L"Test passed: PCIe-3"), 1);  // the caption came after it
    EXPECT_EQ(std::make_pair(CountStartingWith(L"START OF PCIE TEST"), driver->OpenFileCount()),
              std::make_pair(1, 0));
    EXPECT_EQ(driver->Stats(3).sessions, 1u);

    // The cleanup stops a run and waits for its thread. The thread waits in its load pause
    // until the cleanup has handled the window's messages once, so the cleanup always finds it
    // still running, however fast the last pass ends.
    TestSettings.detailedLogging = true;
    heldPort = &port;
    SetPauseSleeper([](uint32_t) {
        held = true;
        PollUntil([] { return heldPort.load()->Get().pumps > 0; });
    });
    StartOn(0);
    ASSERT_TRUE(PollUntil([] { return held.load(); }));
    CleanupTests();
    EXPECT_TRUE(TestControl.stopRequested);
    EXPECT_GT(port.Get().pumps, 0);
    EXPECT_TRUE(Has(L"Cleanup - waiting for threads to finish", kLogDiagnostics));
    EXPECT_TRUE(Has(L"Cleanup - closing PCIe devices & releasing resources", kLogDiagnostics));
    ASSERT_TRUE(WaitForIdle());
    TestSettings.testMode = 7;  // no such test: nothing starts, and the window stays idle
    StartTest();
    EXPECT_TRUE(Has(L"No test mode selected", kLogInformation) && TestControl.activeThreads == 0);
    EXPECT_TRUE(!port.Running() && port.InputsEnabled() && !TestControl.testRunning);
}

TEST_F(RunControlTest, RunLengthEndsTheRunOnlyAfterMoreThanItsWholeSecondsAndReadsLikeC) {
    // Zero, negative and huge lengths never stop a run (nor overflow the comparison). The
    // longest length the runner accepts still ends: 35791394 min is 2147483520 s.
    const std::tuple<float, int64_t, bool> cases[] = {{1, 60, false},
                                                      {1, 61, true},
                                                      {0, 100000000, false},
                                                      {-5, 100000000, false},
                                                      {1e30f, 100000000, false},
                                                      {40000000.0f, 100000000, false},
                                                      {35791394.0f, 2147483520, false},
                                                      {35791394.0f, 2147483521, true}};
    for (const auto& [minutes, elapsed, stops] : cases) {
        SCOPED_TRACE(testing::Message() << minutes << " min after " << elapsed << " s");
        const int beeps = port.Get().beeps;
        TestControl.stopRequested = false;
        TestCounters.startTime = 1000;
        TestCounters.elapsedSeconds = -1;
        TestCounters.runMinutes = minutes;
        CheckRunLength(1000 + elapsed);
        EXPECT_EQ(TestControl.stopRequested, stops);
        EXPECT_EQ(port.Get().beeps, beeps + (stops ? 1 : 0));
        // A run that ends keeps the last tick it counted for its summary.
        EXPECT_EQ(TestCounters.elapsedSeconds, stops ? -1 : elapsed);
    }
    // The run length reads like the C library and refuses non-finite values.
    const std::pair<const wchar_t*, double> texts[] = {
        {L"2.5", 2.5},      {L"  1e1", 10.0}, {L"-1", -1.0}, {L"abc", 0.0},
        {L"3minutes", 3.0}, {L"1e999", 0.0},  {L"inf", 0.0}, {L"nan", 0.0},
    };
    for (const auto& [text, minutes] : texts)
        EXPECT_EQ(ParseDurationMinutes(text), minutes) << text;
}

}  // namespace

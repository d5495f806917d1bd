#include "engine/run_control.h"

#include <cmath>

#include "engine_world.h"

namespace {

class RunControlTest : public EngineWorld {
protected:
    // The caption comes back with the thread's final StopTest; the thread then only counts
    // itself out, which no port call announces, so that last step is polled.
    bool WaitForIdle() {
        if (!port.WaitUntil([](RecordingPort& p) {
                return p.ControlText(kStartStopButtonId) == L"Start";
            })) {
            return false;
        }
        return PollUntil([] { return TestControl.activeThreads == 0; });
    }
};

TEST_F(RunControlTest, StartWithoutACardAsksForOneAndStartsNothing) {
    UseCards("cards=0");
    port.SetSelectedDevice(-1);
    StartTest();
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0],
              (RecordingPort::Message{L"Please select a PCIe device from the available devices list",
                                      L"No card selected", MessageIcon::Information}));
    EXPECT_FALSE(TestControl.testRunning);
    EXPECT_TRUE(TestControl.stopRequested);
    EXPECT_TRUE(port.EnableCalls().empty());
    EXPECT_EQ(selectedCard, -1);
}

TEST_F(RunControlTest, StartRunsStopEndsAndTheWindowReturnsToIdleAfterTheSummary) {
    UseCards("rate=unlimited");
    port.SetSelectedDevice(0);
    port.SetDurationText(L"0");
    TestSettings.loopbackLoadPercent = 99;
    TestCounters.operations = 77;
    StartTest();

    EXPECT_TRUE(TestControl.testRunning);
    EXPECT_EQ(port.ControlText(kStartStopButtonId), L"Stop");
    const std::vector<RecordingPort::EnableCall> disabled = {
        {1044, false}, {1061, false}, {1062, false}, {1060, false}, {1038, false},
        {1031, false}, {2, false},    {3, false},    {8, false}};
    EXPECT_EQ(port.EnableCalls(), disabled);
    EXPECT_GT(TestCounters.startTime, 0);

    ASSERT_TRUE(port.WaitUntil([](RecordingPort&) { return TestCounters.operations > 3; }));
    StopTest(false);
    EXPECT_FALSE(TestControl.testRunning);
    EXPECT_EQ(TestCounters.startTime, 0);
    ASSERT_TRUE(WaitForIdle());
    // The caption went back only with the summary in the log.
    EXPECT_EQ(CountStartingWith(L"Test passed: PCIe-0"), 1);
    EXPECT_TRUE(port.IsEnabled(kDeviceListId));
    EXPECT_EQ(driver->OpenFileCount(), 0);
}

TEST_F(RunControlTest, StartIsRefusedWhileThePreviousRunIsStillFinishing) {
    // Card 3's thread waits 300 ms after its loop before it writes the summary.
    UseCards("rate=unlimited,cards=4");
    port.SetSelectedDevice(3);
    TestSettings.loopbackLoadPercent = 99;
    StartTest();
    ASSERT_TRUE(port.WaitUntil([](RecordingPort&) { return TestCounters.operations > 0; }));
    StopTest(false);
    StartTest();
    EXPECT_EQ(CountStartingWith(L"The previous PCIe test is still finishing"), 1);
    EXPECT_FALSE(TestControl.testRunning);
    ASSERT_TRUE(WaitForIdle());
    EXPECT_EQ(CountStartingWith(L"START OF PCIE TEST"), 1);
    EXPECT_EQ(driver->Stats(3).sessions, 1u);
}

TEST_F(RunControlTest, AnUnknownModeLogsAndStartsNoThread) {
    UseCards("");
    port.SetSelectedDevice(0);
    TestSettings.testMode = 7;
    StartTest();
    EXPECT_TRUE(Has(L"No test mode selected", kLogInformation));
    EXPECT_EQ(TestControl.activeThreads, 0);
    EXPECT_TRUE(TestControl.testRunning);
    StopTest(false);
}

TEST_F(RunControlTest, RunLengthEndsTheRunAfterMoreThanItsWholeSeconds) {
    TestControl.stopRequested = false;
    TestCounters.startTime = 1000;
    TestCounters.runMinutes = 1;
    CheckRunLength(1060);
    EXPECT_EQ(TestCounters.elapsedSeconds, 60);
    EXPECT_EQ(port.BeepCount(), 0);
    CheckRunLength(1061);
    EXPECT_EQ(port.BeepCount(), 1);
    EXPECT_TRUE(TestControl.stopRequested);
    EXPECT_EQ(TestCounters.startTime, 0);
    EXPECT_EQ(TestCounters.elapsedSeconds, 60);  // the summary reports the last full tick
}

TEST_F(RunControlTest, ZeroNegativeAndHugeRunLengthsNeverStopARun) {
    for (float minutes : {0.0f, -5.0f, 1e30f, 40000000.0f}) {
        TestControl.stopRequested = false;
        TestCounters.startTime = 1000;
        TestCounters.runMinutes = minutes;
        CheckRunLength(1000 + 100000000);
        EXPECT_FALSE(TestControl.stopRequested) << minutes;
        EXPECT_EQ(TestCounters.elapsedSeconds, 100000000) << minutes;
    }
    EXPECT_EQ(port.BeepCount(), 0);
}

TEST(DurationText, ReadsLikeTheCLibraryAndRefusesNonFiniteValues) {
    EXPECT_EQ(ParseDurationMinutes(L"2.5"), 2.5);
    EXPECT_EQ(ParseDurationMinutes(L"  1e1"), 10.0);
    EXPECT_EQ(ParseDurationMinutes(L"-1"), -1.0);
    EXPECT_EQ(ParseDurationMinutes(L"abc"), 0.0);
    EXPECT_EQ(ParseDurationMinutes(L""), 0.0);
    EXPECT_EQ(ParseDurationMinutes(L"3minutes"), 3.0);
    EXPECT_EQ(ParseDurationMinutes(L"1e999"), 0.0);
    EXPECT_EQ(ParseDurationMinutes(L"inf"), 0.0);
    EXPECT_EQ(ParseDurationMinutes(L"nan"), 0.0);
}

TEST_F(RunControlTest, CleanupStopsTheRunAndWaitsForItsThread) {
    UseCards("rate=unlimited");
    port.SetSelectedDevice(0);
    TestSettings.loopbackLoadPercent = 99;
    TestSettings.detailedLogging = true;
    StartTest();
    ASSERT_TRUE(port.WaitUntil([](RecordingPort&) { return TestCounters.operations > 0; }));
    CleanupTests();
    EXPECT_TRUE(TestControl.stopRequested);
    EXPECT_GT(port.PumpCount(), 0);
    EXPECT_TRUE(Has(L"Cleanup - waiting for threads to finish", kLogDiagnostics));
    EXPECT_TRUE(Has(L"Cleanup - closing PCIe devices & releasing resources", kLogDiagnostics));
    ASSERT_TRUE(WaitForIdle());
}

}  // namespace

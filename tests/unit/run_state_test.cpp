#include "engine/run_state.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/test_settings.h"
#include "recording_port.h"

namespace {

using EnableCall = RecordingPort::EnableCall;
using TextCall = RecordingPort::TextCall;

const int kInputOrder[] = {1044, 1061, 1062, 1060, 1038, 1031, 2, 3, 8};

std::vector<EnableCall> AllInputs(bool enable) {
    std::vector<EnableCall> calls;
    for (int id : kInputOrder) calls.push_back({id, enable});
    return calls;
}

class RunStateTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetRunState(); }
    void TearDown() override { ResetRunState(); }
    RecordingPort port;
    ScopedPort installed{port};
};

TEST_F(RunStateTest, StopWithoutFinishOnlyAsksTheRunToStop) {
    TestControl.stopRequested = false;
    TestControl.testRunning = true;
    TestCounters.startTime = 1772460309;
    StopTest(false);
    EXPECT_TRUE(TestControl.stopRequested);
    EXPECT_FALSE(TestControl.testRunning);
    EXPECT_EQ(TestCounters.startTime, 0);
    EXPECT_TRUE(port.EnableCalls().empty());
    EXPECT_TRUE(port.TextCalls().empty());
}

TEST_F(RunStateTest, StopWithFinishReturnsTheWindowToIdle) {
    TestControl.stopRequested = false;
    TestControl.testRunning = true;
    StopTest(true);
    EXPECT_TRUE(TestControl.stopRequested);
    EXPECT_FALSE(TestControl.testRunning);
    EXPECT_EQ(port.EnableCalls(), AllInputs(true));
    EXPECT_EQ(port.TextCalls(), (std::vector<TextCall>{{kStartStopButtonId, L"Start"}}));
}

TEST_F(RunStateTest, DisablingInputsKeepsStopAndAboutUsable) {
    EnableTestInputs(false);
    SetStartStopLabel(true);
    EXPECT_EQ(port.EnableCalls(), AllInputs(false));
    EXPECT_TRUE(port.IsEnabled(kStartStopButtonId));
    EXPECT_TRUE(port.IsEnabled(kAboutButtonId));
    EXPECT_EQ(port.ControlText(kStartStopButtonId), L"Stop");
}

TEST_F(RunStateTest, ResetZeroesEveryCounterAndGoesIdle) {
    TestControl.stopRequested = false;
    TestControl.testRunning = true;
    TestControl.activeThreads = 3;
    TestCounters.operations = 1;
    TestCounters.errors = 2;
    TestCounters.readBlocks = 3;
    TestCounters.writeBlocks = 4;
    TestCounters.peakRateMBps = 5;
    TestCounters.maxReadMBps = 6;
    TestCounters.maxWriteMBps = 7;
    TestCounters.minReadMBps = 8;
    TestCounters.minWriteMBps = 9;
    TestCounters.startTime = 10;
    TestCounters.elapsedSeconds = 11;
    TestCounters.runMinutes = 12;
    TestCounters.statusText = StatusText::Benchmark;
    ResetRunState();
    EXPECT_TRUE(TestControl.stopRequested);
    EXPECT_FALSE(TestControl.testRunning);
    EXPECT_EQ(TestControl.activeThreads, 0);
    EXPECT_EQ(TestCounters.operations + TestCounters.errors + TestCounters.readBlocks +
                  TestCounters.writeBlocks,
              0u);
    EXPECT_EQ(TestCounters.peakRateMBps + TestCounters.maxReadMBps + TestCounters.maxWriteMBps +
                  TestCounters.minReadMBps + TestCounters.minWriteMBps + TestCounters.runMinutes,
              0.0f);
    EXPECT_EQ(TestCounters.startTime + TestCounters.elapsedSeconds, 0);
    EXPECT_EQ(TestCounters.statusText, StatusText::None);
}

TEST(StatusTextTest, FixedTexts) {
    EXPECT_STREQ(StatusTextString(StatusText::None), L"");
    EXPECT_STREQ(StatusTextString(StatusText::Loopback), L"LOOPBACK test");
    EXPECT_STREQ(StatusTextString(StatusText::LoopbackComplete), L"LOOPBACK test - Complete");
    EXPECT_STREQ(StatusTextString(StatusText::Benchmark), L"BENCHMARK test");
}

TEST(TestSettingsTest, DefaultsMakeAnIncrementingLoopbackRunWithoutPause) {
    TestSettingsRecord settings;
    settings.testMode = 9;
    settings.loopbackLoadPercent = 1;
    settings.detailedLogging = true;
    settings.stopOnError = true;
    InitTestSettings(settings);
    EXPECT_EQ(settings.testMode, 0);
    EXPECT_EQ(settings.durationMinutes, 0u);
    EXPECT_EQ(settings.loopbackLoadPercent, 100);
    EXPECT_EQ(settings.benchmarkBlockMB, 8u);
    EXPECT_EQ(settings.benchmarkDirection, 0u);
    EXPECT_EQ(settings.constantPatternValue, 170);
    EXPECT_EQ(settings.patternType, 0u);
    EXPECT_FALSE(settings.detailedLogging);
    EXPECT_FALSE(settings.stopOnError);
}

}  // namespace

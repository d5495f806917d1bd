#include "engine/run_state.h"

#include <gtest/gtest.h>

#include <vector>

#include "recording_port.h"

namespace {

TEST(RunStateTest, StopAsksTheRunToStopAndOnlyWithFinishReturnsTheWindowToIdle) {
    for (bool finish : {false, true}) {
        SCOPED_TRACE(finish);
        RecordingPort port;
        ScopedPort installed(port);
        ResetRunState();
        TestControl.stopRequested = false;
        TestControl.testRunning = true;
        TestCounters.startTime = 1772460309;
        StopTest(finish);
        EXPECT_TRUE(TestControl.stopRequested);
        EXPECT_FALSE(TestControl.testRunning);
        EXPECT_EQ(TestCounters.startTime, 0);
        std::vector<RecordingPort::EnableCall> enabled;
        if (finish) {
            for (int id : {1044, 1061, 1062, 1060, 1038, 1031, 2, 3, 8})
                enabled.push_back({id, true});
        }
        EXPECT_EQ(port.Get().enableCalls, enabled);
        EXPECT_EQ(port.ControlText(kStartStopButtonId), finish ? L"Start" : L"");
    }
    ResetRunState();
}

TEST(StatusTextTest, FixedTexts) {
    EXPECT_STREQ(StatusTextString(StatusText::None), L"");
    EXPECT_STREQ(StatusTextString(StatusText::Loopback), L"LOOPBACK test");
    EXPECT_STREQ(StatusTextString(StatusText::LoopbackComplete), L"LOOPBACK test - Complete");
    EXPECT_STREQ(StatusTextString(StatusText::Benchmark), L"BENCHMARK test");
}

}  // namespace

// Closing the window while a transfer is blocked in the driver: the closing sequence gives up
// waiting after its bounds and releases the log and the card table; the late thread must
// then touch neither (AddressSanitizer watches this test).
#include "engine/benchmark.h"
#include "engine/loopback.h"
#include "engine/run_control.h"
#include "engine_world.h"

namespace {

class ClosingTest : public EngineWorld,
                    public ::testing::WithParamInterface<void (*)(const std::atomic<int32_t>*)> {};

TEST_P(ClosingTest, LateThreadAfterTheLogIsReleasedTouchesNothingFreed) {
    // The first transfer blocks for 3 s: longer than the 2 s the closing wait allows.
    UseCards("stall=3000");
    TestSettings.loopbackLoadPercent = 99;
    TestSettings.benchmarkBlockMB = 1;
    port.SetSelectedDevice(0);
    port.SetDurationText(L"0");
    TestSettings.testMode = GetParam() == BenchmarkTest ? 1 : 0;
    StartTest();
    // Wait until the thread is inside the stalled transfer.
    ASSERT_TRUE(PollUntil([&] {
        const SimCardStats s = driver->Stats(0);
        return s.writes[0] + s.reads[1] + s.reads[2] + s.reads[3] > 0;
    }));

    // The window's closing sequence, with its wait cut short by the stall.
    shuttingDown = true;
    CleanupTests();
    EXPECT_GT(TestControl.activeThreads, 0) << "the stalled thread should still be alive";
    DestroyTheLog();
    ReleaseCardList();

    // The late thread finishes on its own, logging into nothing.
    EXPECT_TRUE(PollUntil([] { return TestControl.activeThreads == 0; }));
    EXPECT_TRUE(port.WaitUntil([](RecordingPort& p) { return !p.Running(); }));
    EXPECT_EQ(driver->OpenFileCount(), 0);
    CreateTheLog();  // for the fixture's tear-down
}

INSTANTIATE_TEST_SUITE_P(BothTests, ClosingTest, ::testing::Values(LoopbackTest, BenchmarkTest));

}  // namespace

// Closing the window while a transfer is blocked in the driver: the closing sequence gives up
// waiting after its bounds and releases the log and the card table; the late thread must
// then touch neither (AddressSanitizer watches this test).
#include "engine_world.h"

namespace {

class ClosingTest : public EngineWorld, public ::testing::WithParamInterface<int> {};

TEST_P(ClosingTest, LateThreadAfterTheLogIsReleasedTouchesNothingFreed) {
    UseCards("stall=3000");  // the first transfer blocks longer than the closing wait of 2 s
    TestSettings.loopbackLoadPercent = 99;
    TestSettings.benchmarkBlockMB = 1;
    TestSettings.testMode = static_cast<uint8_t>(GetParam());
    port.SetSelectedDevice(0);
    StartTest();
    ASSERT_TRUE(PollUntil([&] {  // the thread is inside the stalled transfer
        const SimCardStats s = driver->Stats(0);
        return s.writes[0] + s.reads[1] + s.reads[2] + s.reads[3] > 0;
    }));
    shuttingDown = true;  // the window's closing sequence
    CleanupTests();
    EXPECT_GT(TestControl.activeThreads, 0) << "the stalled thread should still be alive";
    DestroyTheLog();
    ReleaseCardList();
    // The late thread finishes on its own, logging into nothing.
    EXPECT_TRUE(PollUntil([] { return TestControl.activeThreads == 0; }));
    EXPECT_TRUE(PollUntil([&] { return !port.Running(); }));
    EXPECT_EQ(driver->OpenFileCount(), 0);
    CreateTheLog();  // for the fixture's tear-down
}

INSTANTIATE_TEST_SUITE_P(BothTests, ClosingTest, ::testing::Values(0, 1));  // loopback, benchmark

}  // namespace

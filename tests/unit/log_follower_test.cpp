#include "log/log_follower.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "recording_port.h"

namespace {

std::vector<std::wstring> Collect(LogFollower& follower, Logger& log, uint64_t* lost) {
    std::vector<std::wstring> texts;
    *lost = follower.CatchUp(log, [&](const LogRecord& r) { texts.emplace_back(r.text); });
    return texts;
}

TEST(LogFollowerTest, DeliversEachHeldRecordOnceAndCountsWhatItMissed) {
    Logger log;
    LogFollower follower;
    uint64_t lost = 9;
    EXPECT_TRUE(Collect(follower, log, &lost).empty());
    log.Add(L"a", kLogInformation);
    log.Add(L"", kLogError);  // held, only not shown: not lost
    log.Add(L"b", kLogInformation);
    EXPECT_EQ(Collect(follower, log, &lost), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(lost, 0u);
    EXPECT_TRUE(Collect(follower, log, &lost).empty());

    log.Add(L"c", kLogInformation);
    log.Clear();  // cleared before it was delivered: lost
    log.Add(L"d", kLogInformation);
    EXPECT_EQ(Collect(follower, log, &lost), std::vector<std::wstring>{L"d"});
    EXPECT_EQ(lost, 1u);

    // Falling behind skips to the oldest record held.
    for (int i = 0; i < 25000; ++i) log.Add(std::to_wstring(i).c_str(), kLogInformation);
    const auto texts = Collect(follower, log, &lost);
    EXPECT_EQ(lost, 15000u);
    ASSERT_EQ(texts.size(), 10000u);
    EXPECT_EQ(texts.front(), L"15000");
    EXPECT_EQ(texts.back(), L"24999");
}

// Every adding thread catches up in its own LogChanged, as the command-line runner does: the
// records come out exactly once each, in the log's order.
TEST(LogFollowerTest, ConcurrentCatchUpsPrintEachRecordOnceInLogOrder) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 2000;  // all 8000 stay in the ring to compare with
    CreateTheLog();
    RecordingPort port;
    ScopedPort installed(port);
    LogFollower follower;
    std::vector<std::wstring> printed;  // only touched under the follower's lock
    std::atomic<uint64_t> lost{0};
    port.Change([&](RecordingPort::State& s) {
        s.onLogChanged = [&] {
            Logger* log = theLog.load();
            lost +=
                follower.CatchUp(*log, [&](const LogRecord& r) { printed.emplace_back(r.text); });
        };
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i) {
                LogAdd((L"t" + std::to_wstring(t) + L" " + std::to_wstring(i)).c_str(),
                       kLogLoopback);
            }
        });
    }
    for (auto& t : threads) t.join();

    Logger& log = *theLog.load();
    EXPECT_EQ(lost, 0u);
    ASSERT_EQ(printed.size(), static_cast<size_t>(kThreads * kPerThread));
    LogRecord record;
    for (int i = 0; i < kThreads * kPerThread; ++i) {
        ASSERT_TRUE(log.CopyRecord(i, &record));
        ASSERT_EQ(printed[i], record.text) << i;
    }
    DestroyTheLog();
}

}  // namespace

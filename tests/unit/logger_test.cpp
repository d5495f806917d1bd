#include "log/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cwchar>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "log/log_follower.h"
#include "recording_port.h"

namespace {

std::wstring At(Logger& log, int index, LogCategory* category = nullptr) {
    LogCategory ignored;
    const wchar_t* text = log.GetRecord(index, category ? category : &ignored, nullptr);
    return text ? std::wstring(text) : L"<null>";
}

TEST(LoggerTest, RingKeepsNewestTenThousandIndexesFromBothEndsAndTextIsCleanedAndCut) {
    Logger log;
    for (int i = 0; i < 10001; ++i) log.Add(std::to_wstring(i).c_str(), kLogInformation);
    EXPECT_EQ(log.Count(), 10000);
    // Beyond the records the free slot still holds the dropped "0": it is never handed out.
    const std::pair<int, const wchar_t*> indexes[] = {
        {0, L"1"},          {-1, L"10000"},     {-10000, L"1"},      {9999, L"10000"},
        {10000, L"<null>"}, {10001, L"<null>"}, {-10001, L"<null>"}, {INT32_MIN, L"<null>"}};
    for (const auto& [index, text] : indexes) EXPECT_EQ(At(log, index), text) << index;
    log.Add(L"next", kLogInformation);
    EXPECT_EQ(At(log, 0) + At(log, -1), L"2next");
    // Control characters blank; diagnostics and errors fold blanks, after blanking; 400
    // characters keep 299; only 300 are read before folding.
    const std::tuple<std::wstring, LogCategory, std::wstring> cases[] = {
        {L"\r\n\x01\x1F\t!\x7F\xE9", kLogInformation, L"     !\x7F\xE9"},
        {L"x   y", kLogDiagnostics, L"x y"},
        {L"x   y", kLogLoopback, L"x   y"},
        {L"a \t\r\n b  ", kLogError, L"a b "},
        {std::wstring(400, L'q'), kLogInformation, std::wstring(299, L'q')},
        {std::wstring(150, L'a') + std::wstring(150, L' ') + L"b", kLogDiagnostics,
         std::wstring(150, L'a') + L" "}};
    for (const auto& [text, category, stored] : cases) {
        log.Add(text.c_str(), category);
        EXPECT_EQ(At(log, -1), stored) << text.size();
    }
}

class TheLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SetMainWindowPort(&port);
        CreateTheLog();
    }
    void TearDown() override {
        shuttingDown = false;
        DestroyTheLog();
        SetMainWindowPort(nullptr);
    }
    RecordingPort port;
};

TEST_F(TheLogTest, LogAddCutsToFitTellsThePortOnceNothingOnceClosingAndDestroyWaits) {
    const std::wstring long400(400, L'z');
    const std::tuple<const wchar_t*, const wchar_t*, std::wstring> cases[] = {
        {L"Testing device %ls", L"PCIe-0", L"Testing device PCIe-0"},
        {L"Test passed: %s", L"PCIe-1", L"Test passed: PCIe-1"},
        {L"100%% of %ls", L"x", L"100% of x"},
        {L"[%5ls|%-4ls]", L"ab", L"[   ab|    ]"},
        {L"%.3ls", L"abcdef", L"abc"},
        {L"%d stays", L"x", L"%d stays"},
        {L"null: %ls.", nullptr, L"null: ."},
        {L"Test failed: %ls", long400.c_str(), L"Test failed: " + std::wstring(286, L'z')}};
    for (const auto& [format, argument, expected] : cases) {
        LogAddFormatted(format, argument, kLogPass);
        LogCategory category;
        const std::wstring text = At(*theLog.load(), -1, &category);
        EXPECT_EQ(std::make_pair(text, category), std::make_pair(expected, kLogPass)) << format;
    }

    // Closing stops both LogAdd and a thread that took the log just before; writing into the freed
    // log is what the sanitizer builds would catch.
    LogAdd(L"one", kLogInformation);
    LogAdd(L"two", kLogInformation);
    shuttingDown = true;
    LogAdd(L"late", kLogInformation);
    theLog.load()->Add(L"late", kLogInformation);
    // The eight records above, then two.
    EXPECT_EQ(std::make_pair(theLog.load()->Count(), port.Get().logChanged),
              std::make_pair(10, 10));
    shuttingDown = false;
    std::atomic<bool> stop{false};
    std::vector<std::thread> adders;
    for (int t = 0; t < 3; ++t)
        adders.emplace_back([&] {
            while (!stop) LogAdd(L"late thread", kLogLoopback);
        });
    ASSERT_TRUE(PollUntil([&] { return port.Get().logChanged > 100; }));
    DestroyTheLog();
    EXPECT_EQ(theLog.load(), nullptr);
    stop = true;
    for (auto& t : adders) t.join();
    const int changed = port.Get().logChanged;
    LogAdd(L"no log", kLogInformation);
    EXPECT_EQ(port.Get().logChanged, changed);
}

TEST(LogFollowerTest, DeliversEachHeldRecordOnceAndCountsWhatItMissed) {
    Logger log;
    LogFollower follower;
    uint64_t lost = 9;
    auto collect = [&] {
        std::vector<std::wstring> texts;
        lost = follower.CatchUp(log, [&](const LogRecord& r) { texts.emplace_back(r.text); });
        return texts;
    };
    EXPECT_TRUE(collect().empty());
    log.Add(L"a", kLogInformation);
    log.Add(L"", kLogError);  // held, only not shown: not lost
    log.Add(L"b", kLogInformation);
    EXPECT_EQ(collect(), (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_TRUE(lost == 0 && collect().empty());
    log.Add(L"c", kLogInformation);
    log.Clear();  // cleared before it was delivered: lost
    log.Add(L"d", kLogInformation);
    EXPECT_EQ(collect(), std::vector<std::wstring>{L"d"});
    EXPECT_EQ(lost, 1u);
}

// Every adding thread catches up in its own LogChanged, as the command-line runner does: the
// records come out exactly once each, untorn, in the log's order, each thread's in sequence,
// though the ring wraps twice; the log then holds the newest.
TEST_F(TheLogTest, ConcurrentFollowerCatchUpsPrintEachRecordOnceInLogOrder) {
    constexpr int kThreads = 4, kPerThread = 5000;
    LogFollower follower;
    std::vector<std::wstring> printed, held;  // printed only under the follower's lock
    std::atomic<uint64_t> lost{0};
    auto print = [&](const LogRecord& r) { printed.emplace_back(r.text); };
    port.Change([&](RecordingPort::State& s) {
        s.onLogChanged = [&] { lost += follower.CatchUp(*theLog.load(), print); };
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kPerThread; ++i)
                LogAdd((std::to_wstring(t) + L" " + std::to_wstring(i)).c_str(), kLogLoopback);
        });
    for (auto& t : threads) t.join();
    LogRecord record;
    for (int i = 0; theLog.load()->CopyRecord(i, &record); ++i) held.emplace_back(record.text);
    ASSERT_EQ(std::make_tuple(lost.load(), printed.size(), held.size()),
              std::make_tuple(uint64_t{0}, size_t{kThreads * kPerThread}, size_t{10000}));
    EXPECT_TRUE(std::equal(held.begin(), held.end(), printed.end() - 10000));
    std::vector<int> next(kThreads, 0);  // each thread's next sequence number
    for (const std::wstring& text : printed) {
        int t = -1, i = -1;
        ASSERT_TRUE(std::swscanf(text.c_str(), L"%d %d", &t, &i) == 2 && t >= 0 && t < kThreads &&
                    i == next[t])
            << std::string(text.begin(), text.end());
        ++next[t];
    }
}

}  // namespace

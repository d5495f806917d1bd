#include "log/logger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cwchar>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "recording_port.h"

namespace {

std::wstring Text(const wchar_t* text) { return text ? std::wstring(text) : L"<null>"; }

std::wstring Newest(Logger& log) {
    LogCategory category;
    return Text(log.GetRecord(-1, &category, nullptr));
}

class LoggerTest : public ::testing::Test {
  protected:
    void TearDown() override { shuttingDown = false; }
    Logger log;
};

TEST_F(LoggerTest, RingKeepsNewestTenThousand) {
    for (int i = 0; i < 10001; ++i) log.Add(std::to_wstring(i).c_str(), kLogInformation);
    EXPECT_EQ(log.Count(), 10000);
    LogCategory category;
    EXPECT_EQ(Text(log.GetRecord(0, &category, nullptr)), L"1");
    EXPECT_EQ(Text(log.GetRecord(-1, &category, nullptr)), L"10000");
    EXPECT_EQ(Text(log.GetRecord(-10000, &category, nullptr)), L"1");
    EXPECT_EQ(Text(log.GetRecord(9999, &category, nullptr)), L"10000");
    // Beyond the records: the free slot still holds the dropped record "0", never handed out.
    EXPECT_EQ(log.GetRecord(10000, &category, nullptr), nullptr);
    EXPECT_EQ(log.GetRecord(10001, &category, nullptr), nullptr);
    EXPECT_EQ(log.GetRecord(-10001, &category, nullptr), nullptr);
    EXPECT_EQ(log.GetRecord(INT32_MIN, &category, nullptr), nullptr);

    log.Add(L"next", kLogInformation);
    EXPECT_EQ(log.Count(), 10000);
    EXPECT_EQ(Text(log.GetRecord(0, &category, nullptr)), L"2");
    EXPECT_EQ(Newest(log), L"next");
}

TEST_F(LoggerTest, IndexBeyondTheRecordsGivesNull) {
    log.Add(L"a", kLogInformation);
    log.Add(L"b", kLogInformation);
    LogCategory category = 7;
    EXPECT_EQ(Text(log.GetRecord(1, &category, nullptr)), L"b");
    EXPECT_EQ(Text(log.GetRecord(-2, &category, nullptr)), L"a");
    EXPECT_EQ(log.GetRecord(2, &category, nullptr), nullptr);
    EXPECT_EQ(log.GetRecord(-3, &category, nullptr), nullptr);
    EXPECT_EQ(category, 0u);
}

TEST_F(LoggerTest, EmptyTextIsCountedButNotReturned) {
    log.Add(L"", kLogError);
    log.Add(nullptr, kLogError);
    EXPECT_EQ(log.Count(), 2);
    LogCategory category = 99;
    int64_t time = -5;
    EXPECT_EQ(log.GetRecord(0, &category, &time), nullptr);
    EXPECT_EQ(category, 0u);
    EXPECT_EQ(time, -5);
    LogRecord record;
    EXPECT_FALSE(log.CopyRecord(0, &record));
}

struct TextCase {
    const char* name;
    std::wstring text;
    LogCategory category;
    std::wstring stored;
};

TEST_F(LoggerTest, TextIsCleanedAndCut) {
    const std::wstring blanks300(300, L' ');
    const std::vector<TextCase> cases = {
        {"tab becomes blank", L"a\tb", kLogInformation, L"a b"},
        {"every control char", L"\r\n\x01\x1F!", kLogInformation, L"    !"},
        {"0x7F and above kept", L"\x7F\xE9", kLogInformation, L"\x7F\xE9"},
        {"error folds blanks", L"x   y", kLogError, L"x y"},
        {"diagnostics folds blanks", L"x   y", kLogDiagnostics, L"x y"},
        {"loopback keeps blanks", L"x   y", kLogLoopback, L"x   y"},
        {"category 9 keeps blanks", L"x   y", 9, L"x   y"},
        {"folded after blanking", L"a \t\r\n b  ", kLogError, L"a b "},
        {"400 chars keep 299", std::wstring(400, L'q'), kLogInformation, std::wstring(299, L'q')},
        {"300 blanks fold to one", blanks300 + L"late", kLogError, L" "},
        {"folding makes room up to 299", L"a" + blanks300, kLogError, L"a "},
        {"only 300 read before folding", std::wstring(150, L'a') + std::wstring(150, L' ') + L"b",
         kLogDiagnostics, std::wstring(150, L'a') + L" "},
    };
    for (const auto& c : cases) {
        log.Add(c.text.c_str(), c.category);
        EXPECT_EQ(Newest(log), c.stored) << c.name;
    }
}

TEST_F(LoggerTest, NothingStoredWhileShuttingDown) {
    RecordingPort port;
    ScopedPort installed(port);
    CreateTheLog();
    shuttingDown = true;
    log.Add(L"late", kLogInformation);
    LogAdd(L"late", kLogInformation);
    EXPECT_EQ(log.Count(), 0);
    EXPECT_EQ(theLog.load()->Count(), 0);
    EXPECT_EQ(port.LogChangedCount(), 0);
    DestroyTheLog();
}

TEST_F(LoggerTest, ClearEmptiesButSerialRunsOn) {
    log.Add(L"a", kLogInformation);
    log.Add(L"b", kLogInformation);
    log.Clear();
    EXPECT_EQ(log.Count(), 0);
    LogCategory category;
    EXPECT_EQ(log.GetRecord(0, &category, nullptr), nullptr);
    LogRecord record;
    EXPECT_FALSE(log.CopyRecordBySerial(1, &record));

    log.Add(L"c", kLogInformation);
    EXPECT_EQ(log.Serial(), 3u);
    ASSERT_TRUE(log.CopyRecordBySerial(2, &record));
    EXPECT_EQ(std::wstring(record.text), L"c");
    EXPECT_FALSE(log.CopyRecordBySerial(3, &record));
}

class TheLogTest : public ::testing::Test {
  protected:
    void SetUp() override { CreateTheLog(); }
    void TearDown() override { DestroyTheLog(); }
    RecordingPort port;
    ScopedPort installed{port};
};

TEST_F(TheLogTest, LogAddTellsThePortOncePerRecord) {
    LogAdd(L"one", kLogInformation);
    LogAdd(L"two", kLogInformation);
    EXPECT_EQ(theLog.load()->Count(), 2);
    EXPECT_EQ(port.LogChangedCount(), 2);

    DestroyTheLog();
    LogAdd(L"no log", kLogInformation);
    EXPECT_EQ(port.LogChangedCount(), 2);
}

struct FormatCase {
    const wchar_t* format;
    const wchar_t* argument;
    std::wstring expected;
};

TEST_F(TheLogTest, LogAddFormattedCutsToFit) {
    const std::wstring long400(400, L'z');
    const std::vector<FormatCase> cases = {
        {L"Testing device %ls", L"PCIe-0", L"Testing device PCIe-0"},
        {L"Test passed: %s", L"PCIe-1", L"Test passed: PCIe-1"},
        {L"100%% of %ls", L"x", L"100% of x"},
        {L"[%5ls|%-4ls]", L"ab", L"[   ab|    ]"},
        {L"%.3ls", L"abcdef", L"abc"},
        {L"%d stays", L"x", L"%d stays"},
        {L"null: %ls.", nullptr, L"null: ."},
        {L"Test failed: %ls", long400.c_str(), L"Test failed: " + std::wstring(286, L'z')},
        {L"%ls tail", long400.c_str(), std::wstring(299, L'z')},
    };
    for (const auto& c : cases) {
        LogAddFormatted(c.format, c.argument, kLogPass);
        LogCategory category;
        EXPECT_EQ(Text(theLog.load()->GetRecord(-1, &category, nullptr)), c.expected) << c.format;
        EXPECT_EQ(category, kLogPass);
    }
}

TEST_F(TheLogTest, DestroyWaitsForLateAdders) {
    // Threads still logging while the window releases the log must neither crash nor write
    // into the freed log (the sanitizer builds catch the latter).
    std::atomic<bool> stop{false};
    std::atomic<int> started{0};
    std::vector<std::thread> adders;
    for (int t = 0; t < 3; ++t) {
        adders.emplace_back([&] {
            ++started;
            while (!stop) LogAdd(L"late thread", kLogLoopback);
        });
    }
    while (started < 3) std::this_thread::yield();
    ASSERT_TRUE(port.WaitUntil([](RecordingPort& p) { return p.LogChangedCount() > 100; }));
    DestroyTheLog();
    EXPECT_EQ(theLog.load(), nullptr);
    stop = true;
    for (auto& t : adders) t.join();
}

// Four writers and a reader beside them: the reader must never see a torn text, and
// afterwards the ring holds exactly each writer's newest records, in each writer's order.
TEST(LoggerConcurrencyTest, FourWritersKeepNewestUntorn) {
    constexpr int kWriters = 4;
    constexpr int kPerWriter = 100000;
    Logger log;
    // "w<writer> <sequence> " then 40 letters chosen by the sequence: a torn copy shows up
    // as letters that do not match the number.
    auto makeText = [](int writer, int sequence) {
        std::wstring text =
            L"w" + std::to_wstring(writer) + L" " + std::to_wstring(sequence) + L" ";
        text.append(40, static_cast<wchar_t>(L'a' + sequence % 26));
        return text;
    };
    auto parse = [](const wchar_t* text, int* writer, int* sequence) {
        wchar_t letters[64] = {};
        if (std::swscanf(text, L"w%d %d %63ls", writer, sequence, letters) != 3) return false;
        return std::wstring(letters) ==
               std::wstring(40, static_cast<wchar_t>(L'a' + *sequence % 26));
    };

    std::atomic<int> writersDone{0};
    std::atomic<int> tornSeen{0};
    std::atomic<int> badCount{0};
    std::thread reader([&] {
        LogRecord record;
        int lastCount = 0;
        while (writersDone.load() < kWriters) {
            const int count = log.Count();
            if (count < lastCount || count > 10000) ++badCount;
            lastCount = count;
            int writer, sequence;
            if (log.CopyRecord(-1, &record) && !parse(record.text, &writer, &sequence)) ++tornSeen;
        }
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 0; i < kPerWriter; ++i) log.Add(makeText(w, i).c_str(), kLogLoopback);
            ++writersDone;
        });
    }
    for (auto& t : writers) t.join();
    reader.join();
    EXPECT_EQ(tornSeen.load(), 0);
    EXPECT_EQ(badCount.load(), 0);

    ASSERT_EQ(log.Count(), 10000);
    std::vector<std::vector<int>> seen(kWriters);
    LogRecord record;
    for (int i = 0; i < 10000; ++i) {
        ASSERT_TRUE(log.CopyRecord(i, &record)) << i;
        int writer = -1, sequence = -1;
        ASSERT_TRUE(parse(record.text, &writer, &sequence)) << i;
        ASSERT_TRUE(writer >= 0 && writer < kWriters);
        seen[writer].push_back(sequence);
    }
    size_t total = 0;
    for (int w = 0; w < kWriters; ++w) {
        // A writer's records in the ring are its newest ones, consecutive, ending at its last.
        const auto& s = seen[w];
        total += s.size();
        for (size_t k = 0; k < s.size(); ++k) {
            ASSERT_EQ(s[k], kPerWriter - static_cast<int>(s.size()) + static_cast<int>(k))
                << "writer " << w;
        }
    }
    EXPECT_EQ(total, 10000u);
}

// The nine steps of Add restated as plainly as possible, for the property test to compare.
std::wstring ExpectedStored(const std::wstring& text, LogCategory category) {
    std::wstring work = text.substr(0, std::min(text.find(L'\0'), size_t{300}));
    for (auto& c : work) {
        if (static_cast<uint32_t>(c) < 0x20) c = L' ';
    }
    if (category == 3 || category == 4) {
        std::wstring folded;
        for (wchar_t c : work) {
            if (!(c == L' ' && !folded.empty() && folded.back() == L' ')) folded += c;
        }
        work = folded;
    }
    return work.substr(0, 299);
}

TEST(LoggerPropertyTest, ArbitraryTextNeverOverrunsASlot) {
    Logger log;
    std::mt19937 random(20260302);
    const wchar_t alphabet[] = {L' ', L' ', L' ', L'\t', L'\n',   L'\r',   L'\x01',  L'\x1F',
                                L'a', L'Z', L'0', L'-',  L'\xE9', L'\x7F', L'\x100', L'\xFFFF'};
    std::wstring previous;
    for (int round = 0; round < 3000; ++round) {
        const size_t length = random() % 2001;
        std::wstring text;
        const bool blankRuns = random() % 3 == 0;
        for (size_t i = 0; i < length; ++i) {
            const uint32_t pick = random() % 20;
            if (blankRuns && pick < 12) {
                text += L' ';
            } else if (pick < 16) {
                text += alphabet[random() % std::size(alphabet)];
            } else {
                // Anything a wchar_t can hold, but no NUL (that would end the text).
                wchar_t c =
                    static_cast<wchar_t>(1 + random() % (sizeof(wchar_t) == 2 ? 0xFFFF : 0x10FFFF));
                text += c;
            }
        }
        const LogCategory category = random() % 10;
        log.Add(text.c_str(), category);

        LogCategory stored;
        const wchar_t* slot = log.GetRecord(-1, &stored, nullptr);
        const std::wstring expected = ExpectedStored(text, category);
        if (expected.empty()) {
            ASSERT_EQ(slot, nullptr);
            previous.clear();
            continue;
        }
        ASSERT_NE(slot, nullptr);
        ASSERT_EQ(slot[299], L'\0');  // the slot ends in NUL whatever came in
        const std::wstring got(slot);
        ASSERT_LE(got.size(), 299u);
        ASSERT_EQ(got, expected) << "round " << round;
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_GE(static_cast<uint32_t>(got[i]), 0x20u);
            if (category == 3 || category == 4) {
                ASSERT_FALSE(got[i] == L' ' && i + 1 < got.size() && got[i + 1] == L' ');
            }
        }
        // Writing this slot left the previous one alone.
        if (!previous.empty()) {
            LogCategory c;
            ASSERT_EQ(Text(log.GetRecord(-2, &c, nullptr)), previous);
        }
        previous = got;
    }
}

}  // namespace

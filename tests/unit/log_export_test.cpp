#include "log/log_export.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "log/ctime_text.h"
#include "log/logger.h"

namespace {

constexpr int64_t kMar2At140509 = 1772460309;  // Mon Mar  2 14:05:09 2026 UTC

void SetTimeZone(const char* zone) {
#ifdef _WIN32
    _putenv_s("TZ", zone ? zone : "");
    _tzset();
#else
    zone ? setenv("TZ", zone, 1) : unsetenv("TZ");
    tzset();
#endif
}

// Local time is UTC for these tests, so the expected texts do not depend on the machine.
class UtcTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const char* zone = std::getenv("TZ")) savedZone = zone;
        SetTimeZone("UTC0");
    }
    void TearDown() override {
        SetTimeZone(savedZone ? savedZone->c_str() : nullptr);
        SetLogClock(nullptr);
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
    }
    std::string WriteAndRead(Logger& log) {
        EXPECT_TRUE(WriteLogFile(path, log));
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::optional<std::string> savedZone;
    std::filesystem::path path = std::filesystem::temp_directory_path() / "brixlane_log_export.txt";
};

const std::string kHeader = "KORVENIX Brixlane Log file\r\n==========================\r\n";

// An empty record is counted but has no line; a full log starts at its oldest record. The file
// cannot be written into a missing folder, nor onto a full disk.
TEST_F(UtcTest, RecordsByteForByteFromTheOldestFailuresAndTheCtimeLayout) {
    Logger log, full;
    EXPECT_EQ(WriteAndRead(log), kHeader + "Number of records logged: 0\r\n\r\n");
    SetLogClock([] { return kMar2At140509; });
    log.Add(L"abc", kLogLoopback);
    log.Add(L"", kLogError);
    log.Add(L"caf\xE9 \x20AC \U0001F600 end", 42);
    EXPECT_EQ(WriteAndRead(log), kHeader +
                                     "Number of records logged: 3\r\n\r\n"
                                     "Mon Mar  2 14:05:09 2026: Loopback   - abc\r\n"
                                     "Mon Mar  2 14:05:09 2026: ERROR      - caf\xE9 ? ? end\r\n");
    SetLogClock([] { return int64_t{0}; });
    for (int i = 0; i < 10001; ++i) full.Add(std::to_wstring(i).c_str(), kLogPass);
    std::string expected = kHeader + "Number of records logged: 10000\r\n\r\n";
    for (int i = 1; i <= 10000; ++i)
        expected += "Thu Jan  1 00:00:00 1970: PASS       - " + std::to_string(i) + "\r\n";
    EXPECT_EQ(WriteAndRead(full), expected);
    EXPECT_FALSE(WriteLogFile(
        std::filesystem::temp_directory_path() / "no_such_folder_brixlane" / "BrixlaneLog.txt",
        log));
#ifdef __linux__
    EXPECT_FALSE(WriteLogFile("/dev/full", log));  // opens, then refuses every byte
#endif

    // The day is padded with a blank; times past the 32-bit time_t work; the time is local. Each
    // category's name is eleven characters wide; an unknown one reads as an error.
    const std::pair<int64_t, const char*> cases[] = {{951868799, "Tue Feb 29 23:59:59 2000"},
                                                     {2147483648, "Tue Jan 19 03:14:08 2038"},
                                                     {1697324400, "Sat Oct 14 23:00:00 2023"}};
    for (const auto& [time, text] : cases) EXPECT_EQ(CtimeText(time), text) << time;
    LogRecord record{};
    const std::wstring text = L"caf\xE9 \x20AC \U0001F600";
    text.copy(record.text, text.size());
    record.category = kLogDiagnostics;
    record.time = kMar2At140509;
    EXPECT_EQ(FormatRecordLine(record, false),
              "Mon Mar  2 14:05:09 2026: Diagnostics- caf\xE9 ? ?");
    EXPECT_EQ(FormatRecordLine(record, true),
              "Mon Mar  2 14:05:09 2026: Diagnostics- caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80");
    const char* names[] = {"Information", "Loopback   ", "Benchmark  ", "ERROR      ",
                           "Diagnostics", "File op.   ", "Results    ", "Minor Error",
                           "PASS       ", "ERROR      "};
    for (LogCategory c = 0; c < 10; ++c) {
        record.category = c;
        EXPECT_EQ(FormatRecordLine(record, false).substr(26, 13), names[c] + std::string("- "));
    }
    SetTimeZone("EST5");
    EXPECT_EQ(CtimeText(0), "Wed Dec 31 19:00:00 1969");
}

}  // namespace

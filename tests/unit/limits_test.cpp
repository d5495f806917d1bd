// What happens at the edges a long or unusual run reaches: more benchmark groups than are
// kept, more records than the runner can print, and characters outside the 16-bit plane.
#include <gtest/gtest.h>

#include <cstdio>

#include "cli/console_port.h"
#include "cli/json_results.h"
#include "log/logger.h"
#include "log/utf8.h"

namespace {

TEST(BenchmarkGroupsTest, GroupsBeyondTheCapAreCountedAndTheJsonSaysSo) {
    CliOptions options;
    options.command = CliCommand::Benchmark;
    options.direction = 1;  // read only
    RunOutcome outcome;
    outcome.testMode = 1;
    outcome.read.ran = true;
    outcome.read.AddCycle(1000, 1 << 20, 0);
    for (uint32_t g = 0; g < kBenchmarkGroupLimit + 3; ++g) {
        outcome.read.AddGroup({10 * g + 1, 10 * g + 10, 900, 1100});
    }
    EXPECT_EQ(
        std::make_tuple(outcome.read.groups.size(), outcome.read.groupsOmitted,
                        outcome.read.groups.back().lastCycle),
        std::make_tuple(kBenchmarkGroupLimit, uint64_t{3}, uint32_t(10 * kBenchmarkGroupLimit)));
    RunRecorder run;
    run.Begin(RecordedTest::Benchmark, false, nullptr);
    run.SetOutcome(outcome);
    run.Finish();
    CardOutcome card;
    card.tested = true;
    const Json read = Json::parse(JsonText(CardResultJson(options, card, run)))["results"]["read"];
    EXPECT_TRUE(read["intervals"].size() == kBenchmarkGroupLimit && read["intervals_omitted"] == 3);
}

// Records added while the runner is not printing (a burst between two catch-ups) that the
// log no longer holds must be reported, not silently skipped.
TEST(ConsolePortTest, RecordsTheRingDroppedBeforeTheyWerePrintedAreReportedAsLost) {
    CreateTheLog();
    std::FILE* records = std::tmpfile();
    ASSERT_NE(records, nullptr);
    ConsolePort port;
    port.SetRecordStream(records);
    port.Follow(true);
    for (int i = 0; i < 10005; ++i) {
        theLog.load()->Add(std::to_wstring(i).c_str(), i == 10004 ? kLogError : kLogInformation);
    }
    ::testing::internal::CaptureStderr();
    port.Flush();
    port.Flush();  // nothing new: nothing more said
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "brixlanetool-cli: 5 records were added faster than they could be printed\n");
    std::rewind(records);
    int lines = 0;
    for (int ch; (ch = std::fgetc(records)) != EOF;) lines += ch == '\n';
    EXPECT_EQ(std::make_pair(lines, port.ErrorRecords()), std::make_pair(10000, uint64_t{1}));
    std::fclose(records);
    DestroyTheLog();
}

TEST(Utf8Test, SurrogatePairsAreOneCharacterUpToTheirEdgesAndLoneOnesAreReplaced) {
    const std::pair<std::wstring, std::string> cases[] = {
        {L"\x7F", "\x7F"},
        {L"\x80", "\xC2\x80"},
        {L"\x7FF\x800", "\xDF\xBF\xE0\xA0\x80"},
        {{wchar_t(0xD800), wchar_t(0xDC00)}, "\xF0\x90\x80\x80"},
        {{wchar_t(0xDBFF), wchar_t(0xDFFF)}, "\xF4\x8F\xBF\xBF"},
        {{wchar_t(0xDBFF)}, "\xEF\xBF\xBD"},
        {{wchar_t(0xDC00), L'A'}, std::string("\xEF\xBF\xBD") + "A"},
        {{wchar_t(0xD800), wchar_t(0xE000)}, "\xEF\xBF\xBD\xEE\x80\x80"},
    };
    for (const auto& [text, utf8] : cases)
        EXPECT_EQ(ToUtf8(text), utf8) << std::hex << static_cast<uint32_t>(text[0]);
}

}  // namespace

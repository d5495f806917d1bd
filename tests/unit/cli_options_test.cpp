#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <tuple>

namespace {

std::vector<std::wstring> Split(const std::wstring& line) {
    std::wistringstream in(line);
    return {std::istream_iterator<std::wstring, wchar_t>(in), {}};
}

CliOptions Accepted(const std::wstring& line) {
    CliOptions o;
    std::wstring error;
    EXPECT_TRUE(ParseCliArguments(Split(line), &o, &error))
        << std::string(line.begin(), line.end()) << ": " << std::string(error.begin(), error.end());
    return o;
}

TEST(CliOptionsTest, ProductionLineOptionsReachTheirFields) {
    const CliOptions b = Accepted(
        L"benchmark --json=- --min-read-rate=1200.5 --min-write-rate 900 --card 3 --block-mb 64");
    EXPECT_EQ(std::make_tuple(b.jsonFile, b.minReadRate.value_or(0), b.minWriteRate.value_or(0),
                              b.card, b.blockMB),
              std::make_tuple(std::wstring(L"-"), 1200.5, 900.0, 3, 64u));
    // A numbered card after "all" tests that card only.
    const CliOptions l =
        Accepted(L"loopback --card all --card 2 --min-loopback-rate 1500.5 --minutes 35791394");
    EXPECT_EQ(std::make_tuple(l.minLoopbackRate.value_or(0), l.minutes, l.allCards, l.card),
              std::make_tuple(1500.5, 35791394.0, false, 2));
    EXPECT_FALSE(l.diagnose || l.expectLink || l.minReadRate || !l.jsonFile.empty());
}

TEST(CliOptionsTest, BadArgumentsAreRefusedByName) {
    // Past the longest length the run-length check holds (35791394 minutes) a run never ends.
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"list --expect-link gen4x4", L"--expect-link"},
        {L"info --json x.json", L"--json"},
        {L"benchmark --direction write --min-read-rate 100", L"--min-read-rate"},
        {L"benchmark --direction read --min-write-rate 9", L"--min-write-rate"},
        {L"loopback --min-loopback-rate 0", L"--min-loopback-rate"},
        {L"loopback --min-loopback-rate 1e3", L"--min-loopback-rate"},
        {L"loopback --min-loopback-rate .5", L"--min-loopback-rate"},
        {L"loopback --min-loopback-rate 1000001", L"--min-loopback-rate"},
        {L"benchmark --min-loopback-rate 100", L"--min-loopback-rate"},
        {L"loopback --min-read-rate 100", L"--min-read-rate"},
        {L"benchmark --min-read-rate", L"--min-read-rate"},
        {L"loopback --json=", L"--json"},
        {L"loopback --json - --json-stream -", L"--json-stream -"},
        {L"loopback --diagnose=yes", L"--diagnose"},
        {L"loopback --card everything", L"--card"},
        {L"info --card all", L"--card all"},
        {L"benchmark --block-mb 128", L"--block-mb"},
        {L"benchmark --block-mb 3", L"--block-mb"},
        {L"loopback --load 0", L"--load"},
        {L"loopback --load=101", L"--load"},
        {L"loopback --constant 256", L"--constant"},
        {L"loopback --minutes -1", L"--minutes"},
        {L"loopback --minutes abc", L"--minutes"},
        {L"loopback --minutes 35791394.1", L"35791394"},
        {L"loopback --minutes 1e30", L"35791394"},
        {L"loopback --bogus", L"--bogus"},
        {L"loopback --pattern zigzag", L"--pattern"},
        {L"", L"command"},
        {L"loopback --stall-timeout 1.5", L"--stall-timeout"},
    };
    for (const auto& [line, named] : cases) {
        CliOptions o;
        std::wstring error;
        EXPECT_FALSE(ParseCliArguments(Split(line), &o, &error))
            << std::string(line, line + std::wcslen(line));
        EXPECT_NE(error.find(named), std::wstring::npos) << std::string(error.begin(), error.end());
    }
}

TEST(CliOptionsTest, LinkExpectationsFollowThePcieSpeedsAndWidths) {
    // Speed, width; 0, 0: refused.
    const std::tuple<const wchar_t*, int, int> cases[] = {
        {L"GEN3X16", 3, 16}, {L"gen6x32", 6, 32}, {L"gen5x12", 5, 12}, {L"gen0x4", 0, 0},
        {L"gen7x4", 0, 0},   {L"gen4x3", 0, 0},   {L"gen4x04", 0, 0},  {L"gen4x64", 0, 0},
        {L"gen4x", 0, 0},    {L"gen4x4x", 0, 0},
    };
    for (const auto& [text, speed, width] : cases) {
        LinkExpectation link{0, 0};
        const bool ok = ParseLinkExpectation(text, &link);
        EXPECT_EQ(std::make_tuple(ok, ok ? link.speed : 0, ok ? link.width : 0),
                  std::make_tuple(speed != 0, speed, width))
            << std::string(text, text + std::wcslen(text));
    }
}

}  // namespace

#include "cli/cli_options.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::vector<std::wstring> Split(const std::wstring& line) {
    std::wistringstream in(line);
    std::vector<std::wstring> args;
    std::wstring arg;
    while (in >> arg) args.push_back(arg);
    return args;
}

CliOptions Accepted(const std::wstring& line) {
    CliOptions o;
    std::wstring error;
    EXPECT_TRUE(ParseCliArguments(Split(line), &o, &error))
        << std::string(line.begin(), line.end()) << ": " << std::string(error.begin(), error.end());
    return o;
}

std::wstring Refused(const std::wstring& line) {
    CliOptions o;
    std::wstring error;
    EXPECT_FALSE(ParseCliArguments(Split(line), &o, &error))
        << std::string(line.begin(), line.end());
    EXPECT_FALSE(error.empty());
    return error;
}

TEST(CliOptionsTest, ProductionLineOptionsReachTheirFields) {
    const CliOptions l = Accepted(
        L"loopback --card all --json out.json --diagnose --min-loopback-rate 1500.5 "
        L"--expect-link Gen4x4");
    EXPECT_EQ(l.command, CliCommand::Loopback);
    EXPECT_TRUE(l.allCards);
    EXPECT_EQ(l.jsonFile, L"out.json");
    EXPECT_TRUE(l.diagnose);
    ASSERT_TRUE(l.minLoopbackRate);
    EXPECT_DOUBLE_EQ(*l.minLoopbackRate, 1500.5);
    ASSERT_TRUE(l.expectLink);
    EXPECT_EQ(l.expectLink->speed, 4);
    EXPECT_EQ(l.expectLink->width, 4);
    EXPECT_FALSE(l.minReadRate || l.minWriteRate);

    const CliOptions b =
        Accepted(L"benchmark --json=- --min-read-rate=1200 --min-write-rate 900 --card 3");
    EXPECT_EQ(b.jsonFile, L"-");
    EXPECT_EQ(*b.minReadRate, 1200.0);
    EXPECT_EQ(*b.minWriteRate, 900.0);
    EXPECT_FALSE(b.allCards);
    EXPECT_EQ(b.card, 3);

    // Without them, nothing is limited and nothing diagnosed.
    const CliOptions plain = Accepted(L"loopback");
    EXPECT_TRUE(plain.jsonFile.empty());
    EXPECT_FALSE(plain.diagnose || plain.allCards || plain.expectLink || plain.minLoopbackRate);
}

TEST(CliOptionsTest, ALimitOrOptionOfTheOtherTestIsRefusedByName) {
    const struct {
        const wchar_t* line;
        const wchar_t* named;
    } cases[] = {
        {L"benchmark --min-loopback-rate 100", L"--min-loopback-rate"},
        {L"benchmark --diagnose", L"--diagnose"},
        {L"loopback --min-read-rate 100", L"--min-read-rate"},
        {L"loopback --min-write-rate 100", L"--min-write-rate"},
        {L"info --json x.json", L"--json"},
        {L"list --expect-link gen4x4", L"--expect-link"},
        {L"info --card all", L"--card all"},
        // A limit on a direction the run never measures.
        {L"benchmark --direction write --min-read-rate 100", L"--min-read-rate"},
        {L"benchmark --direction read --min-write-rate 100", L"--min-write-rate"},
    };
    for (const auto& c : cases) {
        const std::wstring error = Refused(c.line);
        EXPECT_NE(error.find(c.named), std::wstring::npos)
            << std::string(error.begin(), error.end());
    }
}

TEST(CliOptionsTest, MalformedLimitsAndLinksAreRefused) {
    for (const wchar_t* line : {
             L"loopback --min-loopback-rate 0",
             L"loopback --min-loopback-rate -5",
             L"loopback --min-loopback-rate 1e3",
             L"loopback --min-loopback-rate abc",
             L"loopback --min-loopback-rate 12.",
             L"loopback --min-loopback-rate .5",
             L"loopback --min-loopback-rate 1000001",
             L"loopback --min-loopback-rate inf",
             L"benchmark --min-read-rate",
             L"loopback --json",
             L"loopback --json=",
             L"loopback --diagnose=yes",
             L"loopback --card everything",
             L"loopback --expect-link gen4",
         }) {
        Refused(line);
    }
}

TEST(CliOptionsTest, LinkExpectationsFollowThePcieSpeedsAndWidths) {
    const struct {
        const wchar_t* text;
        bool ok;
        int speed, width;
    } cases[] = {
        {L"gen4x4", true, 4, 4},   {L"GEN3X16", true, 3, 16}, {L"gen1x1", true, 1, 1},
        {L"gen6x32", true, 6, 32}, {L"gen5x12", true, 5, 12}, {L"gen0x4", false, 0, 0},
        {L"gen7x4", false, 0, 0},  {L"gen4x3", false, 0, 0},  {L"gen4x04", false, 0, 0},
        {L"gen4x64", false, 0, 0}, {L"gen4x", false, 0, 0},   {L"pcie4x4", false, 0, 0},
        {L"gen4 x4", false, 0, 0}, {L"gen4x4x", false, 0, 0}, {L"", false, 0, 0},
    };
    for (const auto& c : cases) {
        LinkExpectation link;
        EXPECT_EQ(ParseLinkExpectation(c.text, &link), c.ok)
            << std::string(c.text, c.text + std::wcslen(c.text));
        if (c.ok) {
            EXPECT_EQ(link.speed, c.speed);
            EXPECT_EQ(link.width, c.width);
        }
    }
}

TEST(CliOptionsTest, ANumberedCardAfterAllTestsThatCardOnly) {
    const CliOptions o = Accepted(L"loopback --card all --card 2");
    EXPECT_FALSE(o.allCards);
    EXPECT_EQ(o.card, 2);
}

}  // namespace

#include "engine/config_values.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cwchar>
#include <string>

namespace {

using namespace config;

constexpr size_t kWholeText = 63;

TEST(ConfigValues, ParsesLikeTheCLibraryUpToTheFirstOtherCharacterOrTheLimit) {
    const struct {
        const wchar_t* text;
        size_t maxChars;
        int32_t expected;
    } cases[] = {
        {L"", kWholeText, 0},
        {L" - 5", kWholeText, 0},  // no blank between sign and digits
        {L"  \t\r\n\v\f+42", kWholeText, 42},
        {L"-7x", kWholeText, -7},
        {L"0x1F", kWholeText, 0},  // decimal only: no hexadecimal prefix
        {L"-2147483648", kWholeText, INT32_MIN},
        // Beyond 32 bits the value saturates instead of overflowing.
        {L"2147483648", kWholeText, INT32_MAX},
        {L"-99999999999", kWholeText, INT32_MIN},
        // Only the characters the edit control allows are read, blanks included.
        {L"12345", 4, 1234},
        {L"    7", 4, 0},
        {L"9", 0, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseLeadingInteger(c.text, c.maxChars), c.expected)
            << '"' << std::string(c.text, c.text + std::wcslen(c.text)) << "\" limit "
            << c.maxChars;
    }
    // Far more digits than any 64-bit accumulator holds: still saturated, still defined.
    const std::wstring longest(kWholeText, L'9');
    EXPECT_EQ(ParseLeadingInteger(longest.c_str(), kWholeText), INT32_MAX);
    EXPECT_EQ(ParseLeadingInteger((L"-" + longest).c_str(), kWholeText + 1), INT32_MIN);
    EXPECT_EQ(ParseLeadingInteger(nullptr, kWholeText), 0);
}

TEST(ConfigValues, LoadClampKeepsOneToHundred) {
    const int32_t cases[][2] = {{INT32_MIN, 1}, {0, 1}, {1, 1}, {100, 100}, {INT32_MAX, 100}};
    for (const auto& c : cases) EXPECT_EQ(ClampLoadPercent(c[0]), c[1]) << c[0];
}

TEST(ConfigValues, BlockSizesBetweenTheListsPowersOfTwoShowTheEntryBelow) {
    const std::pair<uint32_t, int> cases[] = {{1, 0}, {3, 1}, {8, 3}, {64, 6}, {0, -1}, {128, 7}};
    for (const auto& [megabytes, entry] : cases) EXPECT_EQ(BlockSizeEntry(megabytes), entry);
    EXPECT_EQ(BlockSizeMB(6), 64u);
    EXPECT_EQ(BlockSizeMB(-1), 0u);  // no selection truncates 2^-1 to 0
}

}  // namespace

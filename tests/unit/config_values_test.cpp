#include "engine/config_values.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cwchar>
#include <string>

namespace {

using config::BlockSizeEntry;
using config::BlockSizeMB;
using config::ClampLoadPercent;
using config::ConstantPatternByte;
using config::ConstantPatternValueValid;
using config::ParseLeadingInteger;

constexpr size_t kWholeText = 63;

struct ParseCase {
    const wchar_t* text;
    size_t maxChars;
    int32_t expected;
};

TEST(ConfigValues, ParsesLikeTheCLibraryUpToTheFirstOtherCharacter) {
    const ParseCase cases[] = {
        {L"", kWholeText, 0},
        {L"abc", kWholeText, 0},
        {L"-", kWholeText, 0},
        {L"+", kWholeText, 0},
        {L" - 5", kWholeText, 0},  // no blank between sign and digits
        {L"--5", kWholeText, 0},
        {L"42", kWholeText, 42},
        {L"  \t\r\n\v\f42", kWholeText, 42},
        {L"+7", kWholeText, 7},
        {L"-7x", kWholeText, -7},
        {L"12abc34", kWholeText, 12},
        {L"2.5", kWholeText, 2},
        {L"0x1F", kWholeText, 0},  // decimal only: no hexadecimal prefix
        {L"007", kWholeText, 7},
        {L"2147483647", kWholeText, INT32_MAX},
        {L"-2147483648", kWholeText, INT32_MIN},
    };
    for (const ParseCase& c : cases) {
        EXPECT_EQ(ParseLeadingInteger(c.text, c.maxChars), c.expected) << '"' << c.text << '"';
    }
}

TEST(ConfigValues, AgreesWithWcstolWithinTheThirtyTwoBitRange) {
    // The library's own conversion is the reference for everything that does not overflow.
    const wchar_t* texts[] = {L"0",      L"  100", L"-1", L"+255", L"256 ", L"1e3",
                              L"\t-99x", L"",      L"x1", L"37%",  L" +0",  L"65535"};
    for (const wchar_t* text : texts) {
        EXPECT_EQ(ParseLeadingInteger(text, kWholeText),
                  static_cast<int32_t>(std::wcstol(text, nullptr, 10)))
            << '"' << text << '"';
    }
}

TEST(ConfigValues, ReadsNoMoreThanTheCharactersAllowed) {
    const ParseCase cases[] = {
        {L"12345", 4, 1234}, {L"  250", 4, 25},  // the blanks count too
        {L"    7", 4, 0},                        // nothing but blanks within the limit
        {L"-", 1, 0},        {L"-12", 1, 0},
        {L"9", 0, 0},        {L"250", 4, 250},  // a shorter text simply ends
    };
    for (const ParseCase& c : cases) {
        EXPECT_EQ(ParseLeadingInteger(c.text, c.maxChars), c.expected)
            << '"' << c.text << "\" limit " << c.maxChars;
    }
}

TEST(ConfigValues, NumbersBeyondThirtyTwoBitsSaturateInsteadOfOverflowing) {
    EXPECT_EQ(ParseLeadingInteger(L"2147483648", kWholeText), INT32_MAX);
    EXPECT_EQ(ParseLeadingInteger(L"99999999999", kWholeText), INT32_MAX);
    EXPECT_EQ(ParseLeadingInteger(L"-2147483649", kWholeText), INT32_MIN);
    EXPECT_EQ(ParseLeadingInteger(L"-99999999999", kWholeText), INT32_MIN);
    // Far more digits than any 64-bit accumulator holds: still saturated, still defined.
    const std::wstring longest(kWholeText, L'9');
    EXPECT_EQ(ParseLeadingInteger(longest.c_str(), kWholeText), INT32_MAX);
    EXPECT_EQ(ParseLeadingInteger((L"-" + longest).c_str(), kWholeText + 1), INT32_MIN);
    EXPECT_EQ(ParseLeadingInteger(nullptr, kWholeText), 0);
}

TEST(ConfigValues, LoadClampKeepsOneToHundred) {
    const int32_t cases[][2] = {{INT32_MIN, 1}, {-5, 1},    {0, 1},     {1, 1},
                                {37, 37},       {100, 100}, {101, 100}, {INT32_MAX, 100}};
    for (const auto& c : cases) EXPECT_EQ(ClampLoadPercent(c[0]), c[1]) << c[0];
}

TEST(ConfigValues, ConstantPatternTakesTheNumberAsUnsigned) {
    EXPECT_TRUE(ConstantPatternValueValid(0));
    EXPECT_TRUE(ConstantPatternValueValid(170));
    EXPECT_TRUE(ConstantPatternValueValid(255));
    EXPECT_FALSE(ConstantPatternValueValid(256));
    EXPECT_FALSE(ConstantPatternValueValid(-1));  // 4294967295 as unsigned
    EXPECT_FALSE(ConstantPatternValueValid(INT32_MIN));
    EXPECT_FALSE(ConstantPatternValueValid(INT32_MAX));

    EXPECT_EQ(ConstantPatternByte(255), 255);
    EXPECT_EQ(ConstantPatternByte(256), 0);
    EXPECT_EQ(ConstantPatternByte(-1), 255);
    EXPECT_EQ(ConstantPatternByte(0x1AA), 0xAA);
}

TEST(ConfigValues, BlockSizeListEntriesArePowersOfTwo) {
    const uint32_t sizes[] = {1, 2, 4, 8, 16, 32, 64};
    for (int entry = 0; entry < config::kBlockSizeEntries; ++entry) {
        EXPECT_EQ(BlockSizeMB(entry), sizes[entry]);
        EXPECT_EQ(BlockSizeEntry(sizes[entry]), entry);
    }
    // The default of 8 MB is the fourth entry.
    EXPECT_EQ(BlockSizeEntry(8), 3);
    // Sizes between the powers show the entry below them; 0 has none.
    EXPECT_EQ(BlockSizeEntry(3), 1);
    EXPECT_EQ(BlockSizeEntry(0), -1);
    EXPECT_EQ(BlockSizeEntry(128), 7);  // past the list: nothing is selected
    // No selection in the list (-1) truncates 2^-1 to 0.
    EXPECT_EQ(BlockSizeMB(-1), 0u);
}

}  // namespace

#include "engine/test_data.h"

#include <gtest/gtest.h>

#include <climits>
#include <cwchar>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/config_values.h"
#include "engine/run_state.h"
#include "engine/test_settings.h"

namespace {

// A card with buffers and nothing opened; the buffers are freed with it.
struct BufferedCard {
    explicit BufferedCard(int32_t bytes) { EXPECT_TRUE(card.AllocateBuffers(bytes)); }
    ~BufferedCard() { card.FreeBuffers(); }
    std::vector<uint8_t> Buffer0() const {
        return std::vector<uint8_t>(card.buffers[0], card.buffers[0] + card.bufferSize);
    }
    CardConnection card;
};

// The C runtime's rand from seed 1, one draw at a time, exactly as it is defined.
std::vector<uint8_t> SerialRand(size_t bytes) {
    std::vector<uint8_t> out(bytes);
    uint32_t state = 1;
    for (auto& b : out) {
        state = state * 214013u + 2531011u;
        b = static_cast<uint8_t>((state >> 16) & 0xFF);
    }
    return out;
}

TEST(FillPatternTest, EveryPatternAndSizeInAnyThreadAndMismatchesCountEveryWrongByte) {
    // Sizes around the generator's lanes and the ramp copies, where tails go wrong.
    for (int32_t size : {1, 15, 16, 17, 63, 64, 65, 255, 256, 257, 65537, kLoopbackBufferBytes}) {
        BufferedCard c(size);
        ASSERT_TRUE(FillPattern(c.card, kPatternRandom, 0));
        EXPECT_EQ(c.Buffer0(), SerialRand(size)) << size;
        ASSERT_TRUE(FillPattern(c.card, kPatternIncrementing, 0xEE));
        std::vector<uint8_t> ramp(size);
        for (int32_t i = 0; i < size; ++i) ramp[i] = static_cast<uint8_t>(i);
        EXPECT_EQ(c.Buffer0(), ramp) << size;
    }
    const std::vector<uint8_t> first = {0x29, 0x23, 0xBE, 0x84, 0xE1, 0x6C, 0xD6, 0xAE};
    EXPECT_EQ(SerialRand(8), first) << "the reference itself";

    CardConnection empty;  // no buffers at all: size 0, null pointers
    for (uint32_t pattern : {kPatternIncrementing, kPatternRandom, kPatternConstant})
        EXPECT_TRUE(FillPattern(empty, pattern, 1));

    // Each fill starts the sequence over, whatever another thread's fill is doing.
    BufferedCard a(kLoopbackBufferBytes), b(kLoopbackBufferBytes);
    std::thread ta([&] { EXPECT_TRUE(FillPattern(a.card, kPatternRandom, 0)); });
    EXPECT_TRUE(FillPattern(b.card, kPatternRandom, 0));
    ta.join();
    EXPECT_TRUE(a.Buffer0() == SerialRand(kLoopbackBufferBytes) && b.Buffer0() == a.Buffer0());
    ASSERT_TRUE(FillPattern(b.card, kPatternConstant, 170));
    EXPECT_FALSE(FillPattern(b.card, 3, 0x55) || FillPattern(b.card, 0xFFFFFFFFu, 0x55));
    EXPECT_EQ(b.Buffer0(), std::vector<uint8_t>(kLoopbackBufferBytes, 0xAA));  // unknown: kept
    // An all-zero read-back of the ramp is wrong everywhere except at the 1024 ramp starts.
    ASSERT_TRUE(FillPattern(a.card, kPatternIncrementing, 0));
    std::vector<uint8_t> zeros(kLoopbackBufferBytes, 0), copy = a.Buffer0();
    EXPECT_EQ(CountMismatches(a.card.buffers[0], zeros.data(), kLoopbackBufferBytes), 261120u);
    copy.back() ^= 0x81;
    EXPECT_EQ(CountMismatches(a.card.buffers[0], copy.data(), kLoopbackBufferBytes), 1u);
}

// Every sleep the pauses ask for; a stop request comes after `stopAfterSleeps` of them.
std::vector<uint32_t> sleeps;
int stopAfterSleeps = -1;

TEST(PauseTest, LoadPauseByLoadAndThrottleSteps) {
    SetPauseSleeper([](uint32_t milliseconds) {
        sleeps.push_back(milliseconds);
        if (static_cast<int>(sleeps.size()) == stopAfterSleeps) TestControl.stopRequested = true;
    });
    // Load, sleeps, milliseconds each; -300 gives 400 / 4, the first value past one sleep.
    const int32_t loads[][3] = {{100, 0, 0},   {96, 1, 1},     {97, 1, 0},     {0, 1, 25},
                                {-296, 1, 99}, {-300, 1, 100}, {-1000, 3, 100}};
    TestControl.stopRequested = false;
    for (const auto& l : loads) {
        sleeps.clear();
        TestSettings.loopbackLoadPercent = l[0];
        LoadPause();
        EXPECT_EQ(sleeps, std::vector<uint32_t>(l[1], l[2])) << "load " << l[0];
    }
    // Milliseconds, sleeps before a stop request (which ends the pause after its step), sleeps.
    const std::tuple<int32_t, int, std::vector<uint32_t>> throttles[] = {
        {99, -1, {99}}, {100, -1, {100}},    {250, -1, {100, 100, 100}},
        {-1, -1, {}},   {INT32_MIN, -1, {}}, {1000, 2, {100, 100}}};
    for (const auto& [milliseconds, stopAfter, expected] : throttles) {
        sleeps.clear();
        stopAfterSleeps = stopAfter;
        TestControl.stopRequested = false;
        ThrottlePause(milliseconds);
        EXPECT_EQ(sleeps, expected) << milliseconds;
    }
    SetPauseSleeper(nullptr);
    InitTestSettings(TestSettings);
    ResetRunState();
}

using namespace config;

constexpr size_t kWholeText = 63;

TEST(ConfigValuesTest, TextLoadAndBlockSize) {
    // No blank between sign and digits; decimal only; beyond 32 bits the value saturates; only
    // the characters the edit control allows are read, blanks included.
    const std::tuple<const wchar_t*, size_t, int32_t> cases[] = {
        {L" - 5", kWholeText, 0},
        {L"  \t\r\n\v\f+42", kWholeText, 42},
        {L"-7x", kWholeText, -7},
        {L"0x1F", kWholeText, 0},
        {L"-2147483648", kWholeText, INT32_MIN},
        {L"12345", 4, 1234},
        {L"2147483648", kWholeText, INT32_MAX},
        {L"    7", 4, 0},
        {L"9", 0, 0}};
    for (const auto& [text, maxChars, expected] : cases) {
        EXPECT_EQ(ParseLeadingInteger(text, maxChars), expected)
            << std::string(text, text + std::wcslen(text));
    }
    // Far more digits than any 64-bit accumulator holds: still saturated, still defined.
    const std::wstring longest(kWholeText, L'9');
    EXPECT_EQ(ParseLeadingInteger(longest.c_str(), kWholeText), INT32_MAX);
    EXPECT_EQ(ParseLeadingInteger((L"-" + longest).c_str(), kWholeText + 1), INT32_MIN);
    EXPECT_EQ(ParseLeadingInteger(nullptr, kWholeText), 0);
    // The load is kept to 1-100; a block size between the list's powers of two shows the entry
    // below, and no selection truncates 2^-1 to 0.
    const int32_t loads[][2] = {{INT32_MIN, 1}, {0, 1}, {1, 1}, {100, 100}, {INT32_MAX, 100}};
    for (const auto& c : loads) EXPECT_EQ(ClampLoadPercent(c[0]), c[1]) << c[0];
    const std::pair<uint32_t, int> sizes[] = {{1, 0}, {3, 1}, {8, 3}, {64, 6}, {0, -1}, {128, 7}};
    for (const auto& [megabytes, entry] : sizes) EXPECT_EQ(BlockSizeEntry(megabytes), entry);
    EXPECT_EQ(std::make_pair(BlockSizeMB(6), BlockSizeMB(-1)), std::make_pair(64u, 0u));
}

}  // namespace

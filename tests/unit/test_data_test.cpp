#include "engine/test_data.h"

#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

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
        b = static_cast<uint8_t>(((state >> 16) & 0x7FFF) & 0xFF);
    }
    return out;
}

TEST(FillPatternTest, RandomStartsWithTheCRuntimeSequence) {
    BufferedCard c(kLoopbackBufferBytes);
    ASSERT_TRUE(FillPattern(c.card, kPatternRandom, 0));
    const uint8_t first[] = {0x29, 0x23, 0xBE, 0x84, 0xE1, 0x6C, 0xD6, 0xAE, 0x52, 0x90};
    for (size_t i = 0; i < std::size(first); ++i) EXPECT_EQ(c.card.buffers[0][i], first[i]) << i;
    EXPECT_EQ(c.Buffer0(), SerialRand(kLoopbackBufferBytes));
}

TEST(FillPatternTest, EverySizeMatchesTheDefinition) {
    // Sizes around the generator's lanes and the ramp copies, where tails go wrong.
    for (int32_t size : {1, 2, 15, 16, 17, 31, 32, 33, 63, 64, 65, 255, 256, 257, 4097, 65537}) {
        BufferedCard c(size);
        ASSERT_TRUE(FillPattern(c.card, kPatternRandom, 0));
        EXPECT_EQ(c.Buffer0(), SerialRand(size)) << size;

        ASSERT_TRUE(FillPattern(c.card, kPatternIncrementing, 0));
        std::vector<uint8_t> ramp(size);
        for (int32_t i = 0; i < size; ++i) ramp[i] = static_cast<uint8_t>(i);
        EXPECT_EQ(c.Buffer0(), ramp) << size;
    }
}

TEST(FillPatternTest, IncrementingRepeatsTheRamp1024Times) {
    BufferedCard c(kLoopbackBufferBytes);
    ASSERT_TRUE(FillPattern(c.card, kPatternIncrementing, 0xEE));
    for (int32_t i = 0; i < kLoopbackBufferBytes; ++i) {
        ASSERT_EQ(c.card.buffers[0][i], i % 256) << i;
    }

    // An all-zero read-back is wrong everywhere except at the 1024 ramp starts.
    std::vector<uint8_t> zeros(kLoopbackBufferBytes, 0);
    EXPECT_EQ(CountMismatches(c.card.buffers[0], zeros.data(), kLoopbackBufferBytes), 261120u);
    std::vector<uint8_t> copy = c.Buffer0();
    copy.back() ^= 0x81;
    EXPECT_EQ(CountMismatches(c.card.buffers[0], copy.data(), kLoopbackBufferBytes), 1u);
}

TEST(FillPatternTest, ConstantAndUnknownPatterns) {
    BufferedCard c(kLoopbackBufferBytes);
    ASSERT_TRUE(FillPattern(c.card, kPatternConstant, 170));
    EXPECT_EQ(c.Buffer0(), std::vector<uint8_t>(kLoopbackBufferBytes, 0xAA));
    ASSERT_TRUE(FillPattern(c.card, kPatternConstant, 0));
    EXPECT_EQ(c.Buffer0(), std::vector<uint8_t>(kLoopbackBufferBytes, 0));

    ASSERT_TRUE(FillPattern(c.card, kPatternIncrementing, 0));
    const std::vector<uint8_t> before = c.Buffer0();
    EXPECT_FALSE(FillPattern(c.card, 3, 0x55));
    EXPECT_FALSE(FillPattern(c.card, 0xFFFFFFFFu, 0x55));
    EXPECT_EQ(c.Buffer0(), before);
}

TEST(FillPatternTest, EmptyBufferIsLeftAloneAndSucceeds) {
    CardConnection card;  // no buffers at all: size 0, null pointers
    for (uint32_t pattern : {kPatternIncrementing, kPatternRandom, kPatternConstant}) {
        EXPECT_TRUE(FillPattern(card, pattern, 1)) << pattern;
    }
}

TEST(FillPatternTest, RandomFillsAgreeAcrossThreads) {
    BufferedCard a(kLoopbackBufferBytes);
    BufferedCard b(kLoopbackBufferBytes);
    bool okA = false, okB = false;
    std::thread ta([&] { okA = FillPattern(a.card, kPatternRandom, 0); });
    std::thread tb([&] { okB = FillPattern(b.card, kPatternRandom, 0); });
    ta.join();
    tb.join();
    ASSERT_TRUE(okA && okB);
    EXPECT_EQ(a.Buffer0(), b.Buffer0());
    EXPECT_EQ(a.card.buffers[0][0], 0x29);
}

TEST(FormatDurationTest, HoursMinutesSeconds) {
    const struct {
        int64_t seconds;
        const wchar_t* text;
    } cases[] = {
        {0, L"Duration: 000h 00m 00s"},
        {59, L"Duration: 000h 00m 59s"},
        {3600, L"Duration: 001h 00m 00s"},
        {3725, L"Duration: 001h 02m 05s"},
        {1000 * 3600 + 61, L"Duration: 1000h 01m 01s"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatDuration(c.seconds), c.text) << c.seconds;
}

TEST(MBpsToGbpsTest, EightBitsPerByteOverAThousand) {
    EXPECT_FLOAT_EQ(MBpsToGbps(1000.0f), 8.0f);
    EXPECT_FLOAT_EQ(MBpsToGbps(3500.0f), 28.0f);
    EXPECT_FLOAT_EQ(MBpsToGbps(0.0f), 0.0f);
}

// Records every sleep ThrottlePause asks for instead of sleeping.
std::mutex sleepsLock;
std::vector<uint32_t> sleeps;
int stopAfterSleeps = -1;  // sets stopRequested once this many sleeps were made

void CountingSleeper(uint32_t milliseconds) {
    std::lock_guard<std::mutex> guard(sleepsLock);
    sleeps.push_back(milliseconds);
    if (static_cast<int>(sleeps.size()) == stopAfterSleeps) TestControl.stopRequested = true;
}

class PauseTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sleeps.clear();
        stopAfterSleeps = -1;
        TestControl.stopRequested = false;
        SetPauseSleeper(&CountingSleeper);
    }
    void TearDown() override {
        SetPauseSleeper(nullptr);
        InitTestSettings(TestSettings);
        ResetRunState();
    }
};

TEST_F(PauseTest, LoadPauseByLoad) {
    using Sleeps = std::vector<uint32_t>;
    const struct {
        int32_t load;
        Sleeps expected;
    } cases[] = {
        {100, {}},
        {101, {}},
        {1, {24}},
        {50, {12}},
        {96, {1}},
        {97, {0}},
        {98, {0}},
        {99, {0}},
        {0, {25}},
        {-296, {99}},
        {-300, {100}},  // 400 / 4: the first value past one plain sleep
        {-1000, {100, 100, 100}},
    };
    for (const auto& c : cases) {
        sleeps.clear();
        TestSettings.loopbackLoadPercent = c.load;
        LoadPause();
        EXPECT_EQ(sleeps, c.expected) << "load " << c.load;
    }
}

TEST_F(PauseTest, ThrottleSteps) {
    using Sleeps = std::vector<uint32_t>;
    const struct {
        int32_t milliseconds;
        int stopAfter;
        Sleeps expected;
    } cases[] = {
        {0, -1, {0}},          {99, -1, {99}},      {100, -1, {100}}, {250, -1, {100, 100, 100}},
        {1000, 2, {100, 100}},  // a stop request ends the pause after the current step
        {-1, -1, {}},          {INT32_MIN, -1, {}},
    };
    for (const auto& c : cases) {
        sleeps.clear();
        stopAfterSleeps = c.stopAfter;
        TestControl.stopRequested = false;
        ThrottlePause(c.milliseconds);
        EXPECT_EQ(sleeps, c.expected) << c.milliseconds;
    }
}

}  // namespace

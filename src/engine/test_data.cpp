#include "engine/test_data.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "engine/run_state.h"
#include "engine/test_settings.h"

namespace {

// The C runtime's rand: state = state * 214013 + 2531011, value = (state >> 16) & 0x7FFF.
constexpr uint32_t kRandMultiplier = 214013;
constexpr uint32_t kRandIncrement = 2531011;
constexpr uint32_t kRandSeed = 1;

// One draw is a multiply and an add on the previous state, a chain the processor cannot
// overlap (about 800 MB/s at best). Thirty-two lanes, each stepping thirty-two draws at once,
// are independent chains that the compiler turns into vector multiplies (about four times as
// fast with GCC at -O2; fewer lanes vectorise worse); the bytes come out in the original order.
constexpr size_t kRandLanes = 32;

struct RandStep {
    uint32_t multiplier;
    uint32_t increment;
};

constexpr RandStep RandJump(size_t draws) {
    RandStep step{1, 0};
    for (size_t i = 0; i < draws; ++i) {
        step.multiplier *= kRandMultiplier;
        step.increment = step.increment * kRandMultiplier + kRandIncrement;
    }
    return step;
}

constexpr RandStep kLaneJump = RandJump(kRandLanes);

// Kept out of line: inlined into FillPattern, GCC's -O2 cost model no longer vectorises it.
[[gnu::noinline]] void FillRandom(uint8_t* out, size_t size) {
    uint32_t lane[kRandLanes];
    uint32_t state = kRandSeed;
    for (auto& s : lane) {
        state = state * kRandMultiplier + kRandIncrement;
        s = state;
    }
    size_t i = 0;
    for (; i + kRandLanes <= size; i += kRandLanes) {
        for (size_t j = 0; j < kRandLanes; ++j) {
            out[i + j] = static_cast<uint8_t>(lane[j] >> 16);
            lane[j] = lane[j] * kLaneJump.multiplier + kLaneJump.increment;
        }
    }
    for (size_t j = 0; i + j < size; ++j) out[i + j] = static_cast<uint8_t>(lane[j] >> 16);
}

void FillIncrementing(uint8_t* out, size_t size) {
    // One ramp, then copies of what is already filled, doubling: every copy starts at a
    // multiple of 256, so the ramp stays in phase, and the bulk moves at memcpy speed.
    const size_t ramp = size < 256 ? size : 256;
    for (size_t i = 0; i < ramp; ++i) out[i] = static_cast<uint8_t>(i);
    for (size_t filled = ramp; filled < size;) {
        const size_t chunk = filled < size - filled ? filled : size - filled;
        std::memcpy(out + filled, out, chunk);
        filled += chunk;
    }
}

void RealSleep(uint32_t milliseconds) {
    if (milliseconds == 0) {
        std::this_thread::yield();
    } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

std::atomic<PauseSleeper> pauseSleeper{&RealSleep};

constexpr int32_t kThrottleStepMs = 100;

}  // namespace

bool FillPattern(CardConnection& card, uint32_t patternType, uint8_t constant) {
    uint8_t* out = card.buffers[0];
    const size_t size = card.bufferSize;
    switch (patternType) {
        case kPatternIncrementing:
            if (size) FillIncrementing(out, size);
            return true;
        case kPatternRandom:
            if (size) FillRandom(out, size);
            return true;
        case kPatternConstant:
            if (size) std::memset(out, constant, size);
            return true;
        default:
            return false;
    }
}

void SetPauseSleeper(PauseSleeper sleeper) { pauseSleeper.store(sleeper ? sleeper : &RealSleep); }

void ThrottlePause(int32_t milliseconds) {
    const PauseSleeper sleep = pauseSleeper.load();
    if (static_cast<uint32_t>(milliseconds) <= 99) {
        sleep(static_cast<uint32_t>(milliseconds));
        return;
    }
    // Long pauses go in 100 ms steps so that a stop request ends them within one step.
    for (int32_t left = milliseconds; left > 0; left -= kThrottleStepMs) {
        sleep(kThrottleStepMs);
        if (TestControl.stopRequested.load()) break;
    }
}

void LoadPause() {
    const int32_t load = TestSettings.loopbackLoadPercent;
    if (load >= 100) return;
    // In 64 bits: the dialog's OK stores the load unclamped, and 100 - INT32_MIN overflows.
    ThrottlePause(static_cast<int32_t>((100 - static_cast<int64_t>(load)) / 4));
}

float MBpsToGbps(float rateMBps) { return rateMBps * 8.0f / 1000.0f; }

std::wstring FormatDuration(int64_t seconds) {
    const int64_t hours = seconds / 3600;
    const int64_t minutes = (seconds - hours * 3600) / 60;
    const int64_t rest = seconds - hours * 3600 - minutes * 60;
    // Narrow snprintf, then widened: the text is ASCII, and %d is the same in every runtime.
    char text[64];
    std::snprintf(text, sizeof text, "Duration: %03dh %02dm %02ds", static_cast<int32_t>(hours),
                  static_cast<int32_t>(minutes), static_cast<int32_t>(rest));
    return std::wstring(text, text + std::strlen(text));
}

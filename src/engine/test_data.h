// What both tests share: the test-data patterns and their exact generators, the load pause,
// and the two conversions of the tests' log lines (rate in Gb/s, duration text).
#pragma once

#include <cstdint>
#include <string>

#include "card/card_connection.h"

inline constexpr int32_t kLoopbackBufferBytes = 262144;  // 256 KiB per loopback transfer

inline constexpr uint32_t kPatternIncrementing = 0;
inline constexpr uint32_t kPatternRandom = 1;
inline constexpr uint32_t kPatternConstant = 2;

// Fills buffer 0 of `card` over its whole bufferSize with the pattern: incrementing
// (byte i = i mod 256), random (the C runtime's rand from seed 1, one draw per byte) or
// `constant`. False, and the buffer untouched, for any other pattern type.
bool FillPattern(CardConnection& card, uint32_t patternType, uint8_t constant);

// Up to 99 ms (taken as unsigned): one sleep, 0 only yields. More: 100 ms sleeps, each
// followed by a look at TestControl.stopRequested, until used up or stop is asked. A negative
// count does not sleep.
void ThrottlePause(int32_t milliseconds);
// The pause after every loopback pass and benchmark phase: (100 - load) / 4 ms while
// TestSettings.loopbackLoadPercent is below 100; no call at all at 100 or more.
void LoadPause();

// How ThrottlePause sleeps: `milliseconds` 0 yields the processor. Tests install a counting
// sleeper; null restores the real one. Not to be changed while a test thread runs.
using PauseSleeper = void (*)(uint32_t milliseconds);
void SetPauseSleeper(PauseSleeper sleeper);

// MB/s to Gb/s in 32-bit float arithmetic: rate * 8 / 1000.
float MBpsToGbps(float rateMBps);
// "Duration: %03dh %02dm %02ds" for a number of seconds.
std::wstring FormatDuration(int64_t seconds);

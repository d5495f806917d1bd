// The options that shape a test run. One instance, written only on the main thread while no
// test runs (the inputs that change it are disabled during a run); test threads read it.
#pragma once

#include <cstdint>

struct TestSettingsRecord {
    uint8_t testMode;              // 0 loopback, 1 benchmark
    uint32_t durationMinutes;      // shown in the duration edit when the window is created
    int32_t loopbackLoadPercent;   // below 100: both tests pause (100 - load) / 4 ms
    uint32_t benchmarkBlockMB;     // 1, 2, 4, 8, 16, 32 or 64
    uint32_t benchmarkDirection;   // 0 read then write, 1 read, 2 write
    uint8_t constantPatternValue;  // byte of the constant pattern
    uint32_t patternType;          // 0 incrementing, 1 random, 2 constant
    bool detailedLogging;
    bool stopOnError;
};

extern TestSettingsRecord TestSettings;

void InitTestSettings(TestSettingsRecord& settings);

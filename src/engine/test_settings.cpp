#include "engine/test_settings.h"

namespace {

constexpr TestSettingsRecord kDefaultTestSettings = {
    .testMode = 0,
    .durationMinutes = 0,
    .loopbackLoadPercent = 100,
    .benchmarkBlockMB = 8,
    .benchmarkDirection = 0,
    .constantPatternValue = 170,
    .patternType = 0,
    .detailedLogging = false,
    .stopOnError = false,
};

}  // namespace

// Holds the defaults from the start, so code that runs before start-up's InitTestSettings (a
// unit test, the command-line runner) never sees a load of 0 and its 25 ms pauses.
TestSettingsRecord TestSettings = kDefaultTestSettings;

void InitTestSettings(TestSettingsRecord& settings) { settings = kDefaultTestSettings; }

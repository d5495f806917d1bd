// The command-line runner's arguments: a command, the card, the test options, the results
// file, the pass/fail limits and the simulated card. Parsed whole before anything starts; a
// bad argument names itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class CliCommand { None, List, Info, Loopback, Benchmark };

// A link as the card should train it: PCIe generation (Link Status speed code) and lanes.
struct LinkExpectation {
    int speed = 0;
    int width = 0;
};

struct CliOptions {
    CliCommand command = CliCommand::None;
    bool help = false;
    bool simulate = false;
    std::wstring simulateOptions;
    int card = 0;
    bool allCards = false;  // --card all: every card found, one after the other
    double minutes = 0;     // 0 runs until Ctrl-C
    uint32_t patternType = 0;
    uint8_t constant = 170;
    int32_t load = 100;
    uint32_t blockMB = 8;
    uint32_t direction = 0;
    bool detailed = false;
    bool stopOnError = false;
    std::wstring logFile;

    // Production-line additions.
    std::wstring jsonFile;    // "-" for standard output
    std::wstring reportFile;  // the HTML report
    bool diagnose = false;
    std::optional<double> minReadRate;      // MB/s, against the benchmark's average
    std::optional<double> minWriteRate;     // MB/s, against the benchmark's average
    std::optional<double> minLoopbackRate;  // MB/s, against the median round-trip rate
    std::optional<LinkExpectation> expectLink;
    // A card with no transfer completed for this long has stopped answering; 0: never.
    uint32_t stallTimeoutSeconds = 60;

    // Results for CI servers and live views of a long run.
    std::wstring junitFile;
    double intervalSeconds = 0;   // 0: no interval lines
    std::wstring jsonStreamFile;  // "-" for standard output
};

// Parses the arguments after the program name. On failure returns false with a message that
// names the bad argument and its allowed values.
bool ParseCliArguments(const std::vector<std::wstring>& args, CliOptions* options,
                       std::wstring* error);

// "genSxW" (any case) with S 1-6 and W 1, 2, 4, 8, 12, 16 or 32.
bool ParseLinkExpectation(const std::wstring& text, LinkExpectation* out);

// The longest --stall-timeout: a day.
inline constexpr uint32_t kMaxStallTimeoutSeconds = 86400;

// --interval: from a tenth of a second, which a terminal can still follow, to a day.
inline constexpr double kMinIntervalSeconds = 0.1;
inline constexpr double kMaxIntervalSeconds = 86400;

// Every MB/s limit parser accepts: digits with an optional fraction, above 0, at most this.
inline constexpr double kMaxRateLimitMBps = 1000000.0;

extern const char* const kCliUsage;

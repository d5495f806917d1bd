// The command-line runner's arguments: a command, the card, the test options and the
// simulated card. Parsed whole before anything starts; a bad argument names itself.
#pragma once

#include <optional>
#include <string>
#include <vector>

enum class CliCommand { None, List, Info, Loopback, Benchmark };

struct CliOptions {
    CliCommand command = CliCommand::None;
    bool help = false;
    bool simulate = false;
    std::wstring simulateOptions;
    int card = 0;
    double minutes = 0;  // 0 runs until Ctrl-C
    uint32_t patternType = 0;
    uint8_t constant = 170;
    int32_t load = 100;
    uint32_t blockMB = 8;
    uint32_t direction = 0;
    bool detailed = false;
    bool stopOnError = false;
    std::wstring logFile;
};

// Parses the arguments after the program name. On failure returns false with a message that
// names the bad argument and its allowed values.
bool ParseCliArguments(const std::vector<std::wstring>& args, CliOptions* options,
                       std::wstring* error);

extern const char* const kCliUsage;

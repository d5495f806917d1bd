// The runner's JSON results: one object per card tested (program, card, settings, start time
// and duration, results, diagnosis, verdict and reasons), gathered into one array.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/run_recorder.h"
#include "engine/card_scan.h"
#include "engine/product.h"

// Keys stay in the order the README documents them.
using Json = nlohmann::ordered_json;

inline constexpr const char* kResultsProgramName = "brixlanetool-cli";
inline constexpr const char* kResultsProgramVersion = BRIXLANE_VERSION_TEXT;
inline constexpr int kResultsProgramBuild = BRIXLANE_BUILD;

// What the runner knows of one card's turn besides what the recorder kept.
struct CardOutcome {
    CardFacts card;
    bool tested = false;    // false when no results are known: the link check kept the test
                            // from running, or the card stopped answering
    bool stalled = false;   // no transfer completed within --stall-timeout
    int64_t startTime = 0;  // calendar seconds
    double durationSeconds = 0;
    std::vector<std::wstring> reasons;  // empty: the card passed
};

// The run's settings as the results give them, "settings" of every card's object.
Json SettingsJson(const CliOptions& options);

Json CardResultJson(const CliOptions& options, const CardOutcome& outcome, const RunRecorder& run);

// The array as text: indented, UTF-8 (characters above 127 as they are, not escaped), ending
// in a newline.
std::string JsonText(const Json& results);

// Writes the bytes to the file (created or truncated); true only if all went out and the file
// closed cleanly.
bool WriteTextFile(const std::wstring& path, const std::string& text);

// A calendar time as ISO 8601 local time with its offset from UTC, "2026-12-06T21:10:05+01:00";
// empty when the C library cannot convert it.
std::string Iso8601Time(int64_t time);

// MB/s as the JSON gives them: to a thousandth, so a float rate reads as its printed value.
double RoundedRate(double rateMBps);

// Why a card fails beyond the run's own reasons, in the words the runner prints on standard
// error and keeps in the JSON reasons: a link below expectation, a rate limit not met.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/run_recorder.h"

// "Link trained at Gen4 x2, expected Gen4 x4" when the card trained a slower or narrower
// link than expected (a faster or wider one is no fault); nothing when it meets it.
std::optional<std::wstring> LinkShortfall(const LinkExpectation& expected, uint16_t linkStatus);

// The rate limits of `options` that the recorded run did not meet.
std::vector<std::wstring> LimitReasons(const CliOptions& options, const RunRecorder& run);

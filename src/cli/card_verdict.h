// Why a card fails, in the words the runner prints on standard error and keeps in the JSON
// reasons: a link below expectation, the run's counted errors, a rate limit not met.
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

// The loopback's counted errors by kind; `totalErrors` is the engine's own total, which also
// holds errors no pass saw (test buffers that could not be allocated).
std::vector<std::wstring> LoopbackErrorReasons(const LoopbackFigures& figures,
                                               uint64_t totalErrors);
std::vector<std::wstring> BenchmarkErrorReasons(const DirectionFigures& read,
                                                const DirectionFigures& write);

// The rate limits of `options` that the recorded run did not meet.
std::vector<std::wstring> LimitReasons(const CliOptions& options, const RunRecorder& run);

// The average rate of a direction as the benchmark's summary computes it; 0 without cycles.
double AverageRate(const DirectionFigures& d);

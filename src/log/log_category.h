// Categories of event-log records and their 11-character names (the log file lines up on
// them).
#pragma once

#include <cstdint>

using LogCategory = uint32_t;
inline constexpr LogCategory kLogInformation = 0;
inline constexpr LogCategory kLogLoopback = 1;
inline constexpr LogCategory kLogBenchmark = 2;
inline constexpr LogCategory kLogError = 3;
inline constexpr LogCategory kLogDiagnostics = 4;
inline constexpr LogCategory kLogFileOp = 5;
inline constexpr LogCategory kLogResults = 6;
inline constexpr LogCategory kLogMinorError = 7;
inline constexpr LogCategory kLogPass = 8;

// The 11-character name of a category; any value above 8 is written as "ERROR      ".
const wchar_t* LogCategoryName(LogCategory category);

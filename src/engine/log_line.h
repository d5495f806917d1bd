// Formatting helpers for the test threads' event-log lines.
#pragma once

#include <cstdint>
#include <cwchar>
#include <string>

#include "log/ctime_text.h"
#include "log/logger.h"
#include "log/wide_format.h"

// Formats one record with a wide printf format (wide strings as %ls) and adds it; the text
// is cut to the 299 characters a record holds.
template <typename... Args>
void LogLine(LogCategory category, const wchar_t* format, Args... args) {
    wchar_t line[kLogTextChars];
    FormatWideInto(line, kLogTextChars, format, args...);
    LogAdd(line, category);
}

// The ctime layout of a calendar time in local time, without its newline, as wide text.
inline std::wstring WideCtimeText(int64_t time) {
    const std::string text = CtimeText(time);
    return std::wstring(text.begin(), text.end());
}

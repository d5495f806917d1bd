// printf-style formatting into a wide string, for reasons, notes and log lines.
#pragma once

#include <cstdarg>
#include <cwchar>
#include <string>

// Formats with a wide printf format (wide strings as %ls); the text is cut at 299 characters.
inline std::wstring FormatWide(const wchar_t* format, ...) {
    wchar_t line[300];
    va_list args;
    va_start(args, format);
    std::vswprintf(line, 300, format, args);
    va_end(args);
    line[299] = L'\0';
    return line;
}

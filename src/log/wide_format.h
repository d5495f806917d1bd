// printf-style formatting into wide text: log lines, reasons, notes. Wide strings as %ls.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cwchar>
#include <string>

// Formats into `out`, `capacity` characters with the NUL; the text is cut to fit and always
// ends in a NUL, even where the C library gives up on a text that does not fit.
inline void FormatWideArgs(wchar_t* out, size_t capacity, const wchar_t* format, va_list args) {
    if (capacity == 0) return;
    out[0] = L'\0';
    std::vswprintf(out, capacity, format, args);
    out[capacity - 1] = L'\0';
}

inline void FormatWideInto(wchar_t* out, size_t capacity, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    FormatWideArgs(out, capacity, format, args);
    va_end(args);
}

// The text as a string, cut at 299 characters like a log record.
inline std::wstring FormatWide(const wchar_t* format, ...) {
    wchar_t line[300];
    va_list args;
    va_start(args, format);
    FormatWideArgs(line, 300, format, args);
    va_end(args);
    return line;
}

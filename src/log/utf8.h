// UTF-8 of our wide text, the same on every platform: wchar_t is UTF-16 on Windows and
// UTF-32 elsewhere; a surrogate pair is one character, and anything that is no character of
// its own (a lone surrogate, a value beyond U+10FFFF) becomes U+FFFD.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

void AppendUtf8(std::string& out, uint32_t codePoint);
std::string ToUtf8(std::wstring_view text);

// What the runner needs of the console on each platform: its arguments as wide text and
// UTF-8 output.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "log/utf8.h"

// Sets the console up for UTF-8 output (Windows) and returns the arguments after the program
// name, decoded as UTF-8 on POSIX and taken wide from the system on Windows.
std::vector<std::wstring> PrepareConsole(int argc, char** argv);

// Wide text of UTF-8 bytes; invalid sequences become U+FFFD.
std::wstring FromUtf8(const std::string& bytes);

// Writes the text as UTF-8 to the stream.
void Print(std::FILE* stream, const std::wstring& text);

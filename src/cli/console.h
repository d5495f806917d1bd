// What the runner needs of the console on each platform: its arguments as wide text, UTF-8
// output, and one live line on standard error that never mixes with what else is printed.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "log/utf8.h"

// Sets the console up for UTF-8 output (Windows) and returns the arguments after the program
// name, decoded as UTF-8 on POSIX and taken wide from the system on Windows.
std::vector<std::wstring> PrepareConsole(int argc, char** argv);

// Wide text of UTF-8 bytes; invalid sequences become U+FFFD.
std::wstring FromUtf8(const std::string& bytes);

// Writes the text as UTF-8 to the stream, under the console's lock (see WithConsole).
void Print(std::FILE* stream, const std::wstring& text);

// Runs `write` under the console's lock, the one lock every write to standard output and
// standard error takes while a run may print records from its test thread. A live line on
// standard error is taken off before `write` and drawn again after it, so the two never mix.
void WithConsole(const std::function<void()>& write);

// Whether standard error is a terminal (on Windows, a console), where a live line can be
// redrawn in place.
bool StderrIsTerminal();

// Draws `text` (ASCII, shorter than a terminal line) as the live line on standard error,
// replacing the one shown; empty text takes it off for good. Any thread.
void SetLiveLine(const std::string& text);

// The event log as a text file for people: a two-line title, the record count, then one line
// per record ("time: category- text"), oldest first. Also the one-line layout that the
// command-line runner and the window's live log file print.
#pragma once

#include <filesystem>
#include <string>

#include "log/logger.h"

// Writes every record of `log` to `path` (created or truncated), lines ending in "\r\n" on
// every platform, each character one byte with '?' for those above 255. True only if the file
// was opened and every write, flush and the close succeeded.
bool WriteLogFile(const std::filesystem::path& path, Logger& log);

// One record as the log file writes it, without the line end: single bytes with '?' for
// characters above 255, or UTF-8 when `utf8` is true.
std::string FormatRecordLine(const LogRecord& record, bool utf8);

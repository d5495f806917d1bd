// The C library's ctime layout ("Mon Mar  2 14:05:09 2026", no newline) for a calendar time in
// local time, formatted by our own code so every C runtime gives the same text.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// `time` is seconds since 1970-01-01 00:00:00 UTC. A time the C library cannot convert to local
// time gives "??? ??? ?? ??:??:?? ????".
std::string CtimeText(int64_t time);

// Local time of a calendar time, through the C runtime's thread-safe 64-bit conversion;
// false when it cannot be converted.
bool ToLocalTime(int64_t time, std::tm* local);

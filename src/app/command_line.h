// The program's two opt-in options. Without any argument the program reads no command line
// at all and behaves as it always has: the real card driver, no live log file.
//   --simulate[=OPTIONS]   simulated cards instead of the card driver (OPTIONS as the
//                          simulated driver's option text)
//   --log-file FILE        append every event-log record to FILE as it is added
// Portable, so that the parsing is tested without a window.
#pragma once

#include <string>
#include <vector>

struct AppOptions {
    bool simulate = false;
    std::wstring simulateOptions;
    std::wstring logFile;  // empty: none
    bool showUsage = false;
};

// Parses the arguments after the program name. False with a message naming the bad argument
// in `error` on an unknown argument or a missing file name.
bool ParseAppArguments(const std::vector<std::wstring>& arguments, AppOptions* options,
                       std::wstring* error);

// The usage text shown with an argument error or --help.
std::wstring AppUsage();

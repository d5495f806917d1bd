#include "app/command_line.h"

#include "sim/sim_options.h"

namespace {

constexpr const wchar_t* kSimulateOption = L"--simulate";
constexpr const wchar_t* kLogFileOption = L"--log-file";

bool StartsWith(const std::wstring& text, const std::wstring& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

bool ParseAppArguments(const std::vector<std::wstring>& arguments, AppOptions* options,
                       std::wstring* error) {
    AppOptions parsed;
    const std::wstring simulateWithText = std::wstring(kSimulateOption) + L"=";
    const std::wstring logFileWithName = std::wstring(kLogFileOption) + L"=";
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (argument == kSimulateOption) {
            parsed.simulate = true;
            parsed.simulateOptions.clear();
        } else if (StartsWith(argument, simulateWithText)) {
            parsed.simulate = true;
            parsed.simulateOptions = argument.substr(simulateWithText.size());
        } else if (argument == kLogFileOption) {
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                *error = L"--log-file needs a file name.";
                return false;
            }
            parsed.logFile = arguments[++i];
        } else if (StartsWith(argument, logFileWithName)) {
            parsed.logFile = argument.substr(logFileWithName.size());
            if (parsed.logFile.empty()) {
                *error = L"--log-file needs a file name.";
                return false;
            }
        } else if (argument == L"--help" || argument == L"-h" || argument == L"/?") {
            parsed.showUsage = true;
        } else {
            *error = L"Unknown argument: " + argument;
            return false;
        }
    }
    *options = parsed;
    return true;
}

std::wstring AppUsage() {
    std::wstring usage =
        L"Usage: brixlanetool [--simulate[=OPTIONS]] [--log-file FILE]\n\n"
        L"--simulate[=OPTIONS]\tsimulated test cards instead of the card driver\n"
        L"--log-file FILE\tappend every event-log record to FILE (UTF-8)\n\n"
        L"Simulation options, comma-separated:\n";
    usage += SimOptionsUsage();
    return usage;
}

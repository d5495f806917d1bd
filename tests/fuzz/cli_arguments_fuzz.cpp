// The runner's command line: arguments split at NUL bytes of the input. Every argument list is
// either accepted within the documented ranges or refused with a message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/cli_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::wstring> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<wchar_t>(data[i]);
        }
    }
    CliOptions options;
    std::wstring error;
    if (!ParseCliArguments(args, &options, &error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (options.help) return 0;
    if (options.command == CliCommand::None) std::abort();
    if (options.card < 0 || options.card > 63) std::abort();
    if (options.load < 1 || options.load > 100) std::abort();
    if (!(options.minutes >= 0) || options.minutes > 1e308) std::abort();
    if (options.blockMB == 0 || options.blockMB > 64 || (options.blockMB & (options.blockMB - 1))) {
        std::abort();
    }
    if (options.patternType > 2 || options.direction > 2) std::abort();
    return 0;
}

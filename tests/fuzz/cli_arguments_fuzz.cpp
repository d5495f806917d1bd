// The runner's command line, its arguments split at NUL bytes of the input: every argument list
// is either accepted within the documented ranges or refused with a message.
#include <cstdlib>

#include "cli/cli_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::wstring> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) args.emplace_back();
        if (data[i] != 0) args.back() += static_cast<wchar_t>(data[i]);
    }
    CliOptions o;
    std::wstring error;
    if (!ParseCliArguments(args, &o, &error)) {
        if (error.empty()) std::abort();
    } else if (!o.help && (o.command == CliCommand::None || o.card < 0 || o.card > 63 ||
                           o.load < 1 || o.load > 100 || !(o.minutes >= 0) || o.minutes > 1e308 ||
                           o.blockMB == 0 || o.blockMB > 64 || (o.blockMB & (o.blockMB - 1)) ||
                           o.patternType > 2 || o.direction > 2)) {
        std::abort();
    }
    return 0;
}

#include "cli/cli_options.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cwchar>

const char* const kCliUsage =
    "usage: brixlanetool-cli [--simulate[=OPTIONS]] COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  list                 the cards found, one display name a line\n"
    "  info [--card N]      the card's seven information lines\n"
    "  loopback [--card N|all] [--minutes M] [--pattern incrementing|random|constant]\n"
    "           [--constant V] [--load P] [--detailed] [--stop-on-error] [--log FILE]\n"
    "           [--json FILE] [--diagnose] [--min-loopback-rate X] [--expect-link genSxW]\n"
    "           [--stall-timeout S]\n"
    "  benchmark [--card N|all] [--minutes M] [--load P] [--block-mb 1|2|4|8|16|32|64]\n"
    "           [--direction read-write|read|write] [--detailed] [--stop-on-error]\n"
    "           [--log FILE] [--json FILE] [--min-read-rate X] [--min-write-rate X]\n"
    "           [--expect-link genSxW] [--stall-timeout S]\n"
    "\n"
    "Options take a value as --opt V or --opt=V.\n"
    "  --simulate[=OPTIONS] use the simulated card driver instead of the real one; OPTIONS\n"
    "                       are comma-separated key=value items, for example\n"
    "                       --simulate=cards=2,link=gen3x4,corrupt=3\n"
    "  --card N|all         card slot 0-63 (default 0), or every card found, one after the\n"
    "                       other, each with its own summary\n"
    "  --minutes M          run length in minutes, fractions allowed; 0 (default) runs until\n"
    "                       Ctrl-C, which stops the run and still prints its summary\n"
    "  --pattern P          loopback test data (default incrementing)\n"
    "  --constant V         byte of the constant pattern, 0-255 (default 170)\n"
    "  --load P             load in percent, 1-100 (default 100)\n"
    "  --block-mb B         benchmark block size in MiB (default 8)\n"
    "  --direction D        benchmark direction (default read-write)\n"
    "  --detailed           detailed logging\n"
    "  --stop-on-error      end the run at the first counted error\n"
    "  --log FILE           write the whole event log to FILE at the end (with --card all,\n"
    "                       every card's records, up to the newest 10000)\n"
    "  --json FILE          write the results as JSON, one object per card tested; - writes\n"
    "                       them to standard output and the records to standard error\n"
    "  --diagnose           locate wrong bytes (offset, expected, received, differing bits)\n"
    "                       and name the error-status bits the event log does not count\n"
    "  --min-loopback-rate X  fail when the median round-trip rate is below X MB/s\n"
    "  --min-read-rate X    fail when the average read rate is below X MB/s\n"
    "  --min-write-rate X   fail when the average write rate is below X MB/s\n"
    "  --expect-link genSxW fail, without testing, a card that trained a slower or narrower\n"
    "                       link, e.g. gen4x4\n"
    "  --stall-timeout S    fail the card and leave at once, testing no further card, when\n"
    "                       no transfer has completed for S seconds (default 60; 0: never)\n"
    "  --help               this text\n"
    "\n"
    "During a run every event-log record is printed to standard output as it is added, as\n"
    "UTF-8, in the log file's layout. Messages go to standard error.\n"
    "Exit status: 0 passed, 1 failed (a failed loopback verdict, failed benchmark transfers,\n"
    "a limit not met, a link slower than expected, a card that did not open, a run that\n"
    "tested nothing, a card that stopped answering; with --card all, any card), 2 bad\n"
    "usage, 3 no card.\n";

namespace {

bool ParseWhole(const std::wstring& text, long long min, long long max, long long* out) {
    if (text.empty() || text.size() > 20) return false;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
    }
    errno = 0;
    const long long value = std::wcstoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value < min || value > max) return false;
    *out = value;
    return true;
}

bool ParseMinutes(const std::wstring& text, double* out) {
    if (text.empty()) return false;
    wchar_t* end = nullptr;
    const double value = std::wcstod(text.c_str(), &end);
    if (end == text.c_str() || *end != L'\0' || !std::isfinite(value) || value < 0) return false;
    *out = value;
    return true;
}

// Digits with an optional fraction ("1200", "850.5"): no sign, exponent or blanks, so a
// limit in a script means what it says.
bool ParseRateLimit(const std::wstring& text, double* out) {
    size_t digits = 0, point = 0, fraction = 0;
    for (wchar_t c : text) {
        if (c >= L'0' && c <= L'9') {
            (point ? fraction : digits)++;
        } else if (c == L'.' && !point) {
            point = 1;
        } else {
            return false;
        }
    }
    if (digits == 0 || (point && fraction == 0) || text.size() > 32) return false;
    const double value = std::wcstod(text.c_str(), nullptr);
    if (!(value > 0.0) || value > kMaxRateLimitMBps) return false;
    *out = value;
    return true;
}

struct Choice {
    const wchar_t* name;
    uint32_t value;
};

template <size_t N>
bool ParseChoice(const std::wstring& text, const Choice (&choices)[N], uint32_t* out) {
    for (const Choice& c : choices) {
        if (text == c.name) {
            *out = c.value;
            return true;
        }
    }
    return false;
}

constexpr Choice kPatterns[] = {{L"incrementing", 0}, {L"random", 1}, {L"constant", 2}};
constexpr Choice kDirections[] = {{L"read-write", 0}, {L"read", 1}, {L"write", 2}};

}  // namespace

bool ParseLinkExpectation(const std::wstring& text, LinkExpectation* out) {
    auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
    if (text.size() < 6 || text.size() > 7 || lower(text[0]) != L'g' || lower(text[1]) != L'e' ||
        lower(text[2]) != L'n' || lower(text[4]) != L'x') {
        return false;
    }
    const wchar_t s = text[3];
    if (s < L'1' || s > L'6') return false;
    int width = 0;
    for (size_t i = 5; i < text.size(); ++i) {
        if (text[i] < L'0' || text[i] > L'9') return false;
        width = width * 10 + (text[i] - L'0');
    }
    // The widths a PCIe link can train to; "x04" is no way to write one.
    if (text[5] == L'0') return false;
    if (width != 1 && width != 2 && width != 4 && width != 8 && width != 12 && width != 16 &&
        width != 32) {
        return false;
    }
    out->speed = s - L'0';
    out->width = width;
    return true;
}

bool ParseCliArguments(const std::vector<std::wstring>& args, CliOptions* options,
                       std::wstring* error) {
    CliOptions o;
    bool loopbackOnly = false;
    bool benchmarkOnly = false;
    bool testOnly = false;  // either test, but not list or info
    std::wstring loopbackOption;
    std::wstring benchmarkOption;
    std::wstring testOption;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.rfind(L"--", 0) != 0) {
            CliCommand command = CliCommand::None;
            if (arg == L"list") command = CliCommand::List;
            if (arg == L"info") command = CliCommand::Info;
            if (arg == L"loopback") command = CliCommand::Loopback;
            if (arg == L"benchmark") command = CliCommand::Benchmark;
            if (command == CliCommand::None) {
                *error = L"unknown command \"" + arg +
                         L"\": expected list, info, loopback or benchmark";
                return false;
            }
            if (o.command != CliCommand::None) {
                *error = L"more than one command: \"" + arg + L"\"";
                return false;
            }
            o.command = command;
            continue;
        }

        const size_t equals = arg.find(L'=');
        const std::wstring name = arg.substr(0, equals);
        const bool inlineValue = equals != std::wstring::npos;
        std::wstring value = inlineValue ? arg.substr(equals + 1) : std::wstring();

        if (name == L"--help") {
            o.help = true;
            continue;
        }
        if (name == L"--simulate") {
            o.simulate = true;
            o.simulateOptions = value;
            continue;
        }
        const bool flag =
            name == L"--detailed" || name == L"--stop-on-error" || name == L"--diagnose";
        if (flag) {
            if (inlineValue) {
                *error = name + L" takes no value";
                return false;
            }
            if (name == L"--diagnose") {
                o.diagnose = true;
                loopbackOnly = true;
                loopbackOption = name;
            } else {
                (name == L"--detailed" ? o.detailed : o.stopOnError) = true;
            }
            continue;
        }
        static const wchar_t* const kValued[] = {
            L"--card",          L"--minutes",          L"--pattern",       L"--constant",
            L"--load",          L"--block-mb",         L"--direction",     L"--log",
            L"--json",          L"--min-loopback-rate", L"--min-read-rate", L"--min-write-rate",
            L"--expect-link",   L"--stall-timeout"};
        bool known = false;
        for (const wchar_t* v : kValued) known = known || name == v;
        if (!known) {
            *error = L"unknown option \"" + name + L"\" (see --help)";
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                *error = name + L" needs a value";
                return false;
            }
            value = args[++i];
        }

        long long number = 0;
        uint32_t choice = 0;
        if (name == L"--card") {
            if (value == L"all") {
                o.allCards = true;
                o.card = 0;
                testOnly = true;
                testOption = L"--card all";
            } else if (!ParseWhole(value, 0, 63, &number)) {
                *error = L"--card \"" + value + L"\": expected a card slot 0-63 or all";
                return false;
            } else {
                o.card = static_cast<int>(number);
                o.allCards = false;
            }
        } else if (name == L"--minutes") {
            if (!ParseMinutes(value, &o.minutes)) {
                *error = L"--minutes \"" + value +
                         L"\": expected a run length in minutes, 0 or greater (0 runs until "
                         L"Ctrl-C)";
                return false;
            }
        } else if (name == L"--pattern") {
            if (!ParseChoice(value, kPatterns, &choice)) {
                *error = L"--pattern \"" + value + L"\": expected incrementing, random or constant";
                return false;
            }
            o.patternType = choice;
            loopbackOnly = true;
            loopbackOption = name;
        } else if (name == L"--constant") {
            if (!ParseWhole(value, 0, 255, &number)) {
                *error = L"--constant \"" + value + L"\": expected a byte value 0-255";
                return false;
            }
            o.constant = static_cast<uint8_t>(number);
            loopbackOnly = true;
            loopbackOption = name;
        } else if (name == L"--load") {
            if (!ParseWhole(value, 1, 100, &number)) {
                *error = L"--load \"" + value + L"\": expected a load in percent, 1-100";
                return false;
            }
            o.load = static_cast<int32_t>(number);
        } else if (name == L"--block-mb") {
            if (!ParseWhole(value, 1, 64, &number) || (number & (number - 1)) != 0) {
                *error = L"--block-mb \"" + value + L"\": expected 1, 2, 4, 8, 16, 32 or 64";
                return false;
            }
            o.blockMB = static_cast<uint32_t>(number);
            benchmarkOnly = true;
            benchmarkOption = name;
        } else if (name == L"--direction") {
            if (!ParseChoice(value, kDirections, &choice)) {
                *error = L"--direction \"" + value + L"\": expected read-write, read or write";
                return false;
            }
            o.direction = choice;
            benchmarkOnly = true;
            benchmarkOption = name;
        } else if (name == L"--log") {
            if (value.empty()) {
                *error = L"--log needs a file name";
                return false;
            }
            o.logFile = value;
        } else if (name == L"--json") {
            if (value.empty()) {
                *error = L"--json needs a file name, or - for standard output";
                return false;
            }
            o.jsonFile = value;
            testOnly = true;
            testOption = name;
        } else if (name == L"--stall-timeout") {
            if (!ParseWhole(value, 0, kMaxStallTimeoutSeconds, &number)) {
                *error = L"--stall-timeout \"" + value +
                         L"\": expected whole seconds, 0 (never) to 86400";
                return false;
            }
            o.stallTimeoutSeconds = static_cast<uint32_t>(number);
            testOnly = true;
            testOption = name;
        } else if (name == L"--expect-link") {
            LinkExpectation link;
            if (!ParseLinkExpectation(value, &link)) {
                *error = L"--expect-link \"" + value +
                         L"\": expected genSxW with S 1-6 and W 1, 2, 4, 8, 12, 16 or 32, "
                         L"e.g. gen4x4";
                return false;
            }
            o.expectLink = link;
            testOnly = true;
            testOption = name;
        } else {
            // The three rate limits.
            double rate = 0;
            if (!ParseRateLimit(value, &rate)) {
                *error = name + L" \"" + value +
                         L"\": expected a rate in MB/s above 0 and at most 1000000, e.g. 1500 "
                         L"or 1500.5";
                return false;
            }
            if (name == L"--min-loopback-rate") {
                o.minLoopbackRate = rate;
                loopbackOnly = true;
                loopbackOption = name;
            } else {
                (name == L"--min-read-rate" ? o.minReadRate : o.minWriteRate) = rate;
                benchmarkOnly = true;
                benchmarkOption = name;
            }
        }
    }

    if (o.help) {
        *options = o;
        return true;
    }
    if (o.command == CliCommand::None) {
        *error = L"no command given: expected list, info, loopback or benchmark";
        return false;
    }
    if (loopbackOnly && o.command != CliCommand::Loopback) {
        *error = loopbackOption + L" applies to the loopback test only";
        return false;
    }
    if (benchmarkOnly && o.command != CliCommand::Benchmark) {
        *error = benchmarkOption + L" applies to the benchmark test only";
        return false;
    }
    if (testOnly && o.command != CliCommand::Loopback && o.command != CliCommand::Benchmark) {
        *error = testOption + L" applies to the loopback and benchmark tests only";
        return false;
    }
    // A limit on a direction the run never measures could never be met, nor fail honestly.
    if (o.minReadRate && o.direction == 2) {
        *error = L"--min-read-rate needs a read phase: --direction read-write or read";
        return false;
    }
    if (o.minWriteRate && o.direction == 1) {
        *error = L"--min-write-rate needs a write phase: --direction read-write or write";
        return false;
    }
    *options = o;
    return true;
}

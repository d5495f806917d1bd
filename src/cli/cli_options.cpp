#include "cli/cli_options.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cwchar>

#include "engine/run_control.h"
#include "sim/number_text.h"

const char* const kCliUsage =
    "usage: brixlanetool-cli [--simulate[=OPTIONS]] COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  list                 the cards found, one display name a line\n"
    "  info [--card N]      the card's seven information lines\n"
    "  loopback [--card N|all] [--minutes M] [--pattern incrementing|random|constant]\n"
    "           [--constant V] [--load P] [--detailed] [--stop-on-error] [--log FILE]\n"
    "           [--json FILE] [--report FILE.html] [--junit FILE] [--diagnose]\n"
    "           [--min-loopback-rate X] [--expect-link genSxW] [--stall-timeout S]\n"
    "           [--interval S] [--json-stream FILE]\n"
    "  benchmark [--card N|all] [--minutes M] [--load P] [--block-mb 1|2|4|8|16|32|64]\n"
    "           [--direction read-write|read|write] [--detailed] [--stop-on-error]\n"
    "           [--log FILE] [--json FILE] [--report FILE.html] [--junit FILE]\n"
    "           [--min-read-rate X] [--min-write-rate X] [--expect-link genSxW]\n"
    "           [--stall-timeout S] [--interval S] [--json-stream FILE]\n"
    "\n"
    "Options take a value as --opt V or --opt=V.\n"
    "  --simulate[=OPTIONS] use the simulated card driver instead of the real one; OPTIONS\n"
    "                       are comma-separated key=value items, for example\n"
    "                       --simulate=cards=2,link=gen3x4,corrupt=3\n"
    "  --card N|all         card slot 0-63 (default 0), or every card found, one after the\n"
    "                       other, each with its own summary\n"
    "  --minutes M          run length in minutes, fractions allowed, at most 35791394; 0\n"
    "                       (default) runs until Ctrl-C, which stops the run and still\n"
    "                       prints its summary\n"
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
    "  --report FILE.html   write a report page for the run: per card the verdict, its\n"
    "                       facts, rate over time, round-trip times or cycle rates with\n"
    "                       percentiles, the summary; self-contained, prints on A4\n"
    "  --diagnose           locate wrong bytes (offset, expected, received, differing bits)\n"
    "                       and name the error-status bits the event log does not count\n"
    "  --min-loopback-rate X  fail when the median round-trip rate is below X MB/s\n"
    "  --min-read-rate X    fail when the average read rate is below X MB/s\n"
    "  --min-write-rate X   fail when the average write rate is below X MB/s\n"
    "  --expect-link genSxW fail, without testing, a card that trained a slower or narrower\n"
    "                       link, e.g. gen4x4\n"
    "  --stall-timeout S    fail the card and leave at once, testing no further card, when\n"
    "                       no transfer has completed for S seconds (default 60; 0: never)\n"
    "  --junit FILE         write the results as JUnit XML for a CI server: one testsuite\n"
    "                       with the settings, one testcase per card\n"
    "  --interval S         every S seconds (0.1-86400, fractions allowed) one line on\n"
    "                       standard error: time span, passes or blocks, errors, rate\n"
    "  --json-stream FILE   the interval figures (every --interval S, default 1) and the\n"
    "                       records as JSON objects, one a line, and each card's result; -\n"
    "                       writes them to standard output and the records to standard\n"
    "                       error (not with --json -)\n"
    "  --help               this text\n"
    "\n"
    "During a run every event-log record is printed to standard output as it is added, as\n"
    "UTF-8, in the log file's layout. Messages go to standard error. When standard error\n"
    "is a terminal and neither --interval nor --json-stream is given, one progress line\n"
    "there shows the elapsed and total time, passes or blocks, errors and the current rate.\n"
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
    // A length the run-length check cannot hold would run for ever without a word. The
    // bound in double first: a float conversion of 1e300 is undefined.
    if (value > kLargestRunMinutes || !RunLengthFits(static_cast<float>(value))) return false;
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
    return ParseLinkText(text, 6, &out->speed, &out->width);
}

namespace {

// Which commands an option belongs to.
enum class Scope { Any, Loopback, Benchmark, Test };

// One option: its name, whether it takes a value, the commands it applies to, and how its
// value is taken. A value `apply` refuses is reported as NAME "VALUE": expected..., or as
// NAME needs... when the value is empty and the option says so.
struct OptionRule {
    const wchar_t* name;
    bool takesValue;
    Scope scope;
    const wchar_t* expected;
    const wchar_t* whenEmpty;  // null: an empty value is refused like any other
    bool (*apply)(const std::wstring& value, CliOptions& o);
};

bool SetRate(const std::wstring& value, std::optional<double>& limit) {
    double rate = 0;
    if (!ParseRateText(value, kMaxRateLimitMBps, &rate)) return false;
    limit = rate;
    return true;
}

template <typename T>
bool SetWhole(const std::wstring& value, long long min, long long max, T& out) {
    long long number = 0;
    if (!ParseWhole(value, min, max, &number)) return false;
    out = static_cast<T>(number);
    return true;
}

constexpr const wchar_t* kRateExpected =
    L"expected a rate in MB/s above 0 and at most 1000000, e.g. 1500 or 1500.5";

const OptionRule kOptionRules[] = {
    {L"--detailed", false, Scope::Any, nullptr, nullptr,
     [](const std::wstring&, CliOptions& o) { return o.detailed = true; }},
    {L"--stop-on-error", false, Scope::Any, nullptr, nullptr,
     [](const std::wstring&, CliOptions& o) { return o.stopOnError = true; }},
    {L"--diagnose", false, Scope::Loopback, nullptr, nullptr,
     [](const std::wstring&, CliOptions& o) { return o.diagnose = true; }},
    {L"--card", true, Scope::Any, L"expected a card slot 0-63 or all", nullptr,
     [](const std::wstring& v, CliOptions& o) {
         o.allCards = v == L"all";
         if (!o.allCards) return SetWhole(v, 0, 63, o.card);
         o.card = 0;
         return true;
     }},
    {L"--minutes", true, Scope::Any,
     L"expected a run length in minutes from 0 to 35791394, the longest the run-length check "
     L"holds (0 runs until Ctrl-C)",
     nullptr, [](const std::wstring& v, CliOptions& o) { return ParseMinutes(v, &o.minutes); }},
    {L"--pattern", true, Scope::Loopback, L"expected incrementing, random or constant", nullptr,
     [](const std::wstring& v, CliOptions& o) {
         return ParseChoice(v, kPatterns, &o.patternType);
     }},
    {L"--constant", true, Scope::Loopback, L"expected a byte value 0-255", nullptr,
     [](const std::wstring& v, CliOptions& o) { return SetWhole(v, 0, 255, o.constant); }},
    {L"--load", true, Scope::Any, L"expected a load in percent, 1-100", nullptr,
     [](const std::wstring& v, CliOptions& o) { return SetWhole(v, 1, 100, o.load); }},
    {L"--block-mb", true, Scope::Benchmark, L"expected 1, 2, 4, 8, 16, 32 or 64", nullptr,
     [](const std::wstring& v, CliOptions& o) {
         uint32_t mb = 0;
         if (!SetWhole(v, 1, 64, mb) || (mb & (mb - 1)) != 0) return false;
         o.blockMB = mb;
         return true;
     }},
    {L"--direction", true, Scope::Benchmark, L"expected read-write, read or write", nullptr,
     [](const std::wstring& v, CliOptions& o) {
         return ParseChoice(v, kDirections, &o.direction);
     }},
    {L"--log", true, Scope::Any, nullptr, L"needs a file name",
     [](const std::wstring& v, CliOptions& o) {
         o.logFile = v;
         return !v.empty();
     }},
    {L"--json", true, Scope::Test, nullptr, L"needs a file name, or - for standard output",
     [](const std::wstring& v, CliOptions& o) {
         o.jsonFile = v;
         return !v.empty();
     }},
    {L"--report", true, Scope::Test, nullptr, L"needs a file name",
     [](const std::wstring& v, CliOptions& o) {
         o.reportFile = v;
         return !v.empty();
     }},
    {L"--min-loopback-rate", true, Scope::Loopback, kRateExpected, nullptr,
     [](const std::wstring& v, CliOptions& o) { return SetRate(v, o.minLoopbackRate); }},
    {L"--min-read-rate", true, Scope::Benchmark, kRateExpected, nullptr,
     [](const std::wstring& v, CliOptions& o) { return SetRate(v, o.minReadRate); }},
    {L"--min-write-rate", true, Scope::Benchmark, kRateExpected, nullptr,
     [](const std::wstring& v, CliOptions& o) { return SetRate(v, o.minWriteRate); }},
    {L"--expect-link", true, Scope::Test,
     L"expected genSxW with S 1-6 and W 1, 2, 4, 8, 12, 16 or 32, e.g. gen4x4", nullptr,
     [](const std::wstring& v, CliOptions& o) {
         LinkExpectation link;
         if (!ParseLinkExpectation(v, &link)) return false;
         o.expectLink = link;
         return true;
     }},
    {L"--stall-timeout", true, Scope::Test, L"expected whole seconds, 0 (never) to 86400",
     nullptr,
     [](const std::wstring& v, CliOptions& o) {
         return SetWhole(v, 0, kMaxStallTimeoutSeconds, o.stallTimeoutSeconds);
     }},
    {L"--junit", true, Scope::Test, nullptr, L"needs a file name",
     [](const std::wstring& v, CliOptions& o) {
         o.junitFile = v;
         return !v.empty();
     }},
    {L"--interval", true, Scope::Test,
     L"expected seconds from 0.1 to 86400, fractions allowed, e.g. 10 or 0.5", nullptr,
     [](const std::wstring& v, CliOptions& o) {
         return ParseRateText(v, kMaxIntervalSeconds, &o.intervalSeconds) &&
                o.intervalSeconds >= kMinIntervalSeconds;
     }},
    {L"--json-stream", true, Scope::Test, nullptr, L"needs a file name, or - for standard output",
     [](const std::wstring& v, CliOptions& o) {
         o.jsonStreamFile = v;
         return !v.empty();
     }},
};

bool ParseCommand(const std::wstring& arg, CliOptions& o, std::wstring* error) {
    static const struct {
        const wchar_t* name;
        CliCommand command;
    } kCommands[] = {{L"list", CliCommand::List},
                     {L"info", CliCommand::Info},
                     {L"loopback", CliCommand::Loopback},
                     {L"benchmark", CliCommand::Benchmark}};
    for (const auto& c : kCommands) {
        if (arg != c.name) continue;
        if (o.command != CliCommand::None) {
            *error = L"more than one command: \"" + arg + L"\"";
            return false;
        }
        o.command = c.command;
        return true;
    }
    *error = L"unknown command \"" + arg + L"\": expected list, info, loopback or benchmark";
    return false;
}

}  // namespace

bool ParseCliArguments(const std::vector<std::wstring>& args, CliOptions* options,
                       std::wstring* error) {
    CliOptions o;
    // The last option seen of each scope, named in the error if the command does not fit it.
    std::wstring scoped[4];
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg.rfind(L"--", 0) != 0) {
            if (!ParseCommand(arg, o, error)) return false;
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
        // --simulate takes its options only after "=": alone it means the default cards.
        if (name == L"--simulate") {
            o.simulate = true;
            o.simulateOptions = value;
            continue;
        }
        const OptionRule* rule = nullptr;
        for (const OptionRule& r : kOptionRules) {
            if (name == r.name) rule = &r;
        }
        if (!rule) {
            *error = L"unknown option \"" + name + L"\" (see --help)";
            return false;
        }
        if (!rule->takesValue && inlineValue) {
            *error = name + L" takes no value";
            return false;
        }
        if (rule->takesValue && !inlineValue) {
            if (i + 1 >= args.size()) {
                *error = name + L" needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!rule->apply(value, o)) {
            *error = rule->whenEmpty && value.empty()
                         ? name + L" " + rule->whenEmpty
                         : name + L" \"" + value + L"\": " + rule->expected;
            return false;
        }
        // Only "--card all" is for the tests alone; a card slot fits every command.
        const bool allCards = name == L"--card" && o.allCards;
        const Scope scope = allCards ? Scope::Test : rule->scope;
        if (scope != Scope::Any) scoped[static_cast<int>(scope)] = allCards ? L"--card all" : name;
    }

    if (o.help) {
        *options = o;
        return true;
    }
    if (o.command == CliCommand::None) {
        *error = L"no command given: expected list, info, loopback or benchmark";
        return false;
    }
    const bool test = o.command == CliCommand::Loopback || o.command == CliCommand::Benchmark;
    const struct {
        Scope scope;
        bool fits;
        const wchar_t* applies;
    } kScopes[] = {
        {Scope::Loopback, o.command == CliCommand::Loopback, L" applies to the loopback test only"},
        {Scope::Benchmark, o.command == CliCommand::Benchmark,
         L" applies to the benchmark test only"},
        {Scope::Test, test, L" applies to the loopback and benchmark tests only"},
    };
    for (const auto& s : kScopes) {
        const std::wstring& option = scoped[static_cast<int>(s.scope)];
        if (!option.empty() && !s.fits) {
            *error = option + s.applies;
            return false;
        }
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
    // Both would interleave their JSON on standard output, where neither parses.
    if (o.jsonFile == L"-" && o.jsonStreamFile == L"-") {
        *error = L"--json - and --json-stream - both want standard output: send one to a file";
        return false;
    }
    *options = o;
    return true;
}

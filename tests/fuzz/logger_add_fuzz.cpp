// libFuzzer target for Logger::Add: the first byte is the category, every following pair of
// bytes one wide character (little-endian). Each input is added to one long-lived log, so the
// ring wraps as the fuzzer runs; the stored record must match the nine steps of Add and the
// record before it must be left as it was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "log/logger.h"

namespace {

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "logger_add_fuzz: %s\n", what);
        std::abort();
    }
}

std::wstring Expected(const std::wstring& text, LogCategory category) {
    std::wstring work = text.substr(0, 300);
    for (auto& c : work) {
        if (static_cast<uint32_t>(c) < 0x20) c = L' ';
    }
    if (category == kLogError || category == kLogDiagnostics) {
        std::wstring folded;
        for (wchar_t c : work) {
            if (!(c == L' ' && !folded.empty() && folded.back() == L' ')) folded += c;
        }
        work = folded;
    }
    return work.substr(0, 299);
}

Logger& TheFuzzLog() {
    static Logger* log = new Logger;  // never freed: the process ends with the fuzzer
    return *log;
}

std::wstring previous;  // what the newest record held before this input
bool previousHeld = false;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const LogCategory category = data[0];
    std::wstring text;
    for (size_t i = 1; i + 1 < size; i += 2) {
        const wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (c == L'\0') break;  // the text ends there, as a C string would
        text += c;
    }

    Logger& log = TheFuzzLog();
    const int countBefore = log.Count();
    log.Add(text.c_str(), category);
    Check(log.Count() == (countBefore < 10000 ? countBefore + 1 : 10000), "count");

    const std::wstring expected = Expected(text, category);
    LogCategory storedCategory = 12345;
    int64_t time = -1;
    const wchar_t* slot = log.GetRecord(-1, &storedCategory, &time);
    LogRecord copy;
    const bool copied = log.CopyRecord(-1, &copy);
    if (expected.empty()) {
        Check(slot == nullptr && !copied && storedCategory == 0, "empty text must read as null");
    } else {
        Check(slot != nullptr && copied, "record missing");
        Check(slot[299] == L'\0', "slot does not end in NUL");
        const std::wstring got(slot);
        Check(got.size() <= 299, "more than 299 characters");
        Check(got == expected, "stored text differs from the nine steps");
        Check(std::wstring(copy.text) == got, "copy differs from the slot");
        Check(storedCategory == category && copy.category == category, "category");
        for (size_t i = 0; i < got.size(); ++i) {
            Check(static_cast<uint32_t>(got[i]) >= 0x20, "control character kept");
            if (category == kLogError || category == kLogDiagnostics) {
                Check(!(got[i] == L' ' && i + 1 < got.size() && got[i + 1] == L' '),
                      "double blank in a folded category");
            }
        }
    }
    if (previousHeld) {
        LogCategory c;
        const wchar_t* before = log.GetRecord(-2, &c, nullptr);
        Check(before != nullptr && previous == before, "previous record changed");
    }
    previous = expected;
    previousHeld = !expected.empty();
    return 0;
}

// libFuzzer target for Logger::Add: the first byte is the category, every following pair of
// bytes one wide character (little-endian). Each input is added to one long-lived log, so the
// ring wraps as the fuzzer runs; the stored record must match the nine steps of Add and the
// record before it must be left as it was.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "log/logger.h"

namespace {

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "logger_add_fuzz: %s\n", what);
    std::abort();
}

std::wstring previous;  // what the newest record held before this input

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const LogCategory category = data[0];
    const bool folds = category == kLogError || category == kLogDiagnostics;
    std::wstring text, expected;  // expected: controls blanked, doubled blanks folded, cut
    for (size_t i = 1; i + 1 < size; i += 2) {
        const wchar_t c = static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
        if (c == L'\0') break;  // the text ends there, as a C string would
        text += c;
        const wchar_t shown = static_cast<uint32_t>(c) < 0x20 ? L' ' : c;
        const bool doubled = folds && shown == L' ' && !expected.empty() && expected.back() == L' ';
        if (text.size() <= 300 && !doubled) expected += shown;
    }
    expected.resize(std::min<size_t>(expected.size(), 299));

    static Logger& log = *new Logger;  // never freed: the process ends with the fuzzer
    const int countBefore = log.Count();
    log.Add(text.c_str(), category);
    Check(log.Count() == (countBefore < 10000 ? countBefore + 1 : 10000), "count");
    LogCategory storedCategory = 12345;
    const wchar_t* slot = log.GetRecord(-1, &storedCategory, nullptr);
    LogRecord copy;
    const bool copied = log.CopyRecord(-1, &copy);
    if (expected.empty()) {
        Check(slot == nullptr && !copied && storedCategory == 0, "empty text must read as null");
    } else {
        Check(slot != nullptr && copied && slot[299] == L'\0', "record missing or not ended");
        Check(std::wstring(slot) == expected, "stored text differs from the nine steps");
        Check(std::wstring(copy.text) == expected, "copy differs from the slot");
        Check(storedCategory == category && copy.category == category, "category");
    }
    if (!previous.empty()) {
        LogCategory c;
        const wchar_t* before = log.GetRecord(-2, &c, nullptr);
        Check(before != nullptr && previous == before, "previous record changed");
    }
    previous = expected;
    return 0;
}

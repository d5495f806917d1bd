#include "log/log_category.h"

#include <iterator>

const wchar_t* LogCategoryName(LogCategory category) {
    static constexpr const wchar_t* kNames[] = {
        L"Information", L"Loopback   ", L"Benchmark  ", L"ERROR      ", L"Diagnostics",
        L"File op.   ", L"Results    ", L"Minor Error", L"PASS       ",
    };
    return category < std::size(kNames) ? kNames[category] : kNames[kLogError];
}

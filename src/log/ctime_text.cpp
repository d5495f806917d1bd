#include "log/ctime_text.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

bool ToLocalTime(int64_t time, std::tm* local) {
#ifdef _WIN32
    // The 64-bit form: MinGW's time_t may follow the runtime it targets.
    const __time64_t t = time;
    return _localtime64_s(local, &t) == 0;
#else
    const std::time_t t = static_cast<std::time_t>(time);
    return localtime_r(&t, local) != nullptr;
#endif
}

std::string CtimeText(int64_t time) {
    std::tm local{};
    if (!ToLocalTime(time, &local) || local.tm_wday < 0 || local.tm_wday > 6 || local.tm_mon < 0 ||
        local.tm_mon > 11) {
        return "??? ??? ?? ??:??:?? ????";
    }
    // asctime's own layout: day of month padded with a blank to two places, the year as it is.
    char text[64];
    std::snprintf(text, sizeof text, "%s %s %2d %02d:%02d:%02d %d", kDayNames[local.tm_wday],
                  kMonthNames[local.tm_mon], local.tm_mday, local.tm_hour, local.tm_min,
                  local.tm_sec, local.tm_year + 1900);
    return text;
}

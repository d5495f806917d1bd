#include "cli/card_verdict.h"

#include <cwchar>

#include "card/card_interface.h"
#include "log/wide_format.h"

namespace {

// `what` names the rate twice: as a sentence begins ("Average read") and within one.
void RateLimitReason(std::vector<std::wstring>& reasons, const wchar_t* what,
                     const wchar_t* whatWithin, uint64_t measured, double rate, double limit) {
    if (measured == 0) {
        reasons.push_back(
            FormatWide(L"No %ls rate was measured; the limit is %0.1f MB/s", whatWithin, limit));
    } else if (rate < limit) {
        reasons.push_back(
            FormatWide(L"%ls rate %0.1f MB/s is below the limit of %0.1f MB/s", what, rate, limit));
    }
}

}  // namespace

std::optional<std::wstring> LinkShortfall(const LinkExpectation& expected, uint16_t linkStatus) {
    if (linkStatus == 0) {
        return FormatWide(L"Link could not be read (the card did not open), expected Gen%d x%d",
                          expected.speed, expected.width);
    }
    const int speed = LinkSpeed(linkStatus);
    const int width = LinkWidth(linkStatus);
    if (speed >= expected.speed && width >= expected.width) return std::nullopt;
    return FormatWide(L"Link trained at Gen%d x%d, expected Gen%d x%d", speed, width,
                      expected.speed, expected.width);
}

std::vector<std::wstring> LimitReasons(const CliOptions& options, const RunRecorder& run) {
    std::vector<std::wstring> reasons;
    if (run.Test() == RecordedTest::Loopback) {
        if (options.minLoopbackRate) {
            const RateFigures rates = run.LoopbackRates();
            RateLimitReason(reasons, L"Median round-trip", L"median round-trip", rates.count,
                            rates.median, *options.minLoopbackRate);
        }
        return reasons;
    }
    if (options.minReadRate) {
        RateLimitReason(reasons, L"Average read", L"average read", run.Outcome().read.cycles,
                        run.Outcome().read.Average(), *options.minReadRate);
    }
    if (options.minWriteRate) {
        RateLimitReason(reasons, L"Average write", L"average write", run.Outcome().write.cycles,
                        run.Outcome().write.Average(), *options.minWriteRate);
    }
    return reasons;
}

#include "cli/card_verdict.h"

#include <cwchar>

#include "card/card_interface.h"
#include "cli/wide_format.h"

namespace {

unsigned long long U(uint64_t n) { return static_cast<unsigned long long>(n); }

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

std::vector<std::wstring> LoopbackErrorReasons(const LoopbackFigures& f, uint64_t totalErrors) {
    std::vector<std::wstring> reasons;
    if (f.verificationErrors) {
        reasons.push_back(FormatWide(L"%llu verification error(s): wrong bytes read back",
                                     U(f.verificationErrors)));
    }
    if (f.writeErrors) reasons.push_back(FormatWide(L"%llu write error(s)", U(f.writeErrors)));
    if (f.readErrors) reasons.push_back(FormatWide(L"%llu read error(s)", U(f.readErrors)));
    uint64_t statusErrors = 0;
    for (size_t i = 0; i < kCountedErrorStatusBits; ++i) {
        if (f.countedBits[i] == 0) continue;
        statusErrors += f.countedBits[i];
        reasons.push_back(FormatWide(L"%llu error-status report(s) of %ls", U(f.countedBits[i]),
                                     CountedErrorStatusName(kErrorStatusBits[i]).c_str()));
    }
    const uint64_t seen = f.verificationErrors + f.writeErrors + f.readErrors + statusErrors;
    if (totalErrors > seen) {
        reasons.push_back(
            FormatWide(L"%llu other error(s); see the event log", U(totalErrors - seen)));
    }
    return reasons;
}

std::vector<std::wstring> BenchmarkErrorReasons(const DirectionFigures& read,
                                                const DirectionFigures& write) {
    std::vector<std::wstring> reasons;
    if (read.failures) {
        reasons.push_back(FormatWide(L"%llu failed read transfer(s)", U(read.failures)));
    }
    if (write.failures) {
        reasons.push_back(FormatWide(L"%llu failed write transfer(s)", U(write.failures)));
    }
    return reasons;
}

double AverageRate(const DirectionFigures& d) {
    return d.cycles > 0 ? d.rateSum / static_cast<double>(d.cycles) : 0.0;
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
        RateLimitReason(reasons, L"Average read", L"average read", run.Read().cycles,
                        AverageRate(run.Read()), *options.minReadRate);
    }
    if (options.minWriteRate) {
        RateLimitReason(reasons, L"Average write", L"average write", run.Write().cycles,
                        AverageRate(run.Write()), *options.minWriteRate);
    }
    return reasons;
}

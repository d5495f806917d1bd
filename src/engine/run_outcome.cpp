#include <cwchar>

#include "engine/run_request.h"
#include "log/wide_format.h"

namespace {

unsigned long long U(uint64_t n) { return static_cast<unsigned long long>(n); }

void LoopbackReasons(const RunOutcome& o, std::vector<std::wstring>& reasons) {
    const LoopbackOutcome& f = o.loopback;
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
    // The total also holds errors no pass saw (test buffers that could not be allocated).
    const uint64_t seen = f.verificationErrors + f.writeErrors + f.readErrors + statusErrors;
    if (o.errors > seen) {
        reasons.push_back(
            FormatWide(L"%llu other error(s); see the event log", U(o.errors - seen)));
    }
}

}  // namespace

void DecideVerdict(RunOutcome& outcome) {
    outcome.reasons.clear();
    if (outcome.testMode == 0) {
        LoopbackReasons(outcome, outcome.reasons);
        return;
    }
    if (outcome.read.failures) {
        outcome.reasons.push_back(
            FormatWide(L"%llu failed read transfer(s)", U(outcome.read.failures)));
    }
    if (outcome.write.failures) {
        outcome.reasons.push_back(
            FormatWide(L"%llu failed write transfer(s)", U(outcome.write.failures)));
    }
}

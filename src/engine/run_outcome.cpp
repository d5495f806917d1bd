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
    // The total also holds errors no pass saw: the missing buffers have a reason of their own.
    const uint64_t seen = f.verificationErrors + f.writeErrors + f.readErrors + statusErrors +
                          (o.buffersAllocated ? 0 : 1);
    if (o.errors > seen) {
        reasons.push_back(
            FormatWide(L"%llu other error(s); see the event log", U(o.errors - seen)));
    }
    if (f.passes == 0) reasons.push_back(L"no pass completed");
}

}  // namespace

void DirectionOutcome::AddGroup(const BenchmarkGroup& group) {
    if (groups.size() < kBenchmarkGroupLimit) {
        groups.push_back(group);
    } else {
        ++groupsOmitted;
    }
}

std::wstring CardOpenReason(CardOpen open) {
    switch (open) {
        case CardOpen::Opened:
            return std::wstring();
        case CardOpen::SignatureRefused:
            return L"The card's signature is wrong";
        case CardOpen::Failed:
            break;
    }
    return L"The card could not be opened";
}

void DecideVerdict(RunOutcome& outcome) {
    std::vector<std::wstring>& reasons = outcome.reasons;
    reasons.clear();
    if (outcome.cardOpen != CardOpen::Opened) reasons.push_back(CardOpenReason(outcome.cardOpen));
    if (!outcome.buffersAllocated) reasons.push_back(L"The test buffers could not be allocated");
    if (outcome.testMode == 0) {
        LoopbackReasons(outcome, reasons);
        return;
    }
    if (outcome.read.failures) {
        reasons.push_back(FormatWide(L"%llu failed read transfer(s)", U(outcome.read.failures)));
    }
    if (outcome.write.failures) {
        reasons.push_back(FormatWide(L"%llu failed write transfer(s)", U(outcome.write.failures)));
    }
    if (outcome.read.bytes + outcome.write.bytes == 0) reasons.push_back(L"no block moved");
}

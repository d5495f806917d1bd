#include "engine/error_status_names.h"

#include <string_view>

namespace {

// Uncorrectable Error Status, bits 0-31. Bits 26-31 arrived with later PCI Express revisions
// (6.0); an older card leaves them 0.
constexpr const wchar_t* kUncorrectableNames[32] = {
    L"Undefined",                       // 0 (Training Error in the first revision)
    L"Reserved",                        // 1
    L"Reserved",                        // 2
    L"Reserved",                        // 3
    L"Data Link Protocol Error",        // 4
    L"Surprise Down Error",             // 5
    L"Reserved",                        // 6
    L"Reserved",                        // 7
    L"Reserved",                        // 8
    L"Reserved",                        // 9
    L"Reserved",                        // 10
    L"Reserved",                        // 11
    L"Poisoned TLP",                    // 12
    L"Flow Control Protocol Error",     // 13
    L"Completion Timeout",              // 14
    L"Completer Abort",                 // 15
    L"Unexpected Completion",           // 16
    L"Receiver Overflow",               // 17
    L"Malformed TLP",                   // 18
    L"ECRC Error",                      // 19
    L"Unsupported Request Error",       // 20
    L"ACS Violation",                   // 21
    L"Uncorrectable Internal Error",    // 22
    L"MC Blocked TLP",                  // 23
    L"AtomicOp Egress Blocked",         // 24
    L"TLP Prefix Blocked Error",        // 25
    L"Poisoned TLP Egress Blocked",     // 26
    L"DMWr Request Egress Blocked",     // 27
    L"IDE Check Failed",                // 28
    L"Misrouted IDE TLP",               // 29
    L"PCRC Check Failed",               // 30
    L"TLP Translation Egress Blocked",  // 31
};

// Correctable Error Status: every bit the test does not count is reserved.
constexpr const wchar_t* kCorrectableNames[32] = {
    L"Receiver Error",            // 0
    L"Reserved",                  // 1
    L"Reserved",                  // 2
    L"Reserved",                  // 3
    L"Reserved",                  // 4
    L"Reserved",                  // 5
    L"Bad TLP",                   // 6
    L"Bad DLLP",                  // 7
    L"REPLAY_NUM Rollover",       // 8
    L"Reserved",                  // 9
    L"Reserved",                  // 10
    L"Reserved",                  // 11
    L"Replay Timer Timeout",      // 12
    L"Advisory Non-Fatal Error",  // 13
    L"Corrected Internal Error",  // 14
    L"Header Log Overflow",       // 15
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",
    L"Reserved",  // 16-31
};

}  // namespace

std::wstring CountedErrorStatusName(const ErrorStatusBit& bit) {
    constexpr std::wstring_view kPrefix = L"PCIe error: ";
    std::wstring_view text = bit.message;
    if (text.substr(0, kPrefix.size()) == kPrefix) text.remove_prefix(kPrefix.size());
    const size_t bracket = text.rfind(L" (");
    if (bracket != std::wstring_view::npos) text = text.substr(0, bracket);
    return std::wstring(text);
}

uint32_t CountedErrorStatusMask(ErrorStatusRegister reg) {
    const size_t offset = reg == ErrorStatusRegister::Uncorrectable ? kUncorrectableStatusOffset
                                                                    : kCorrectableStatusOffset;
    uint32_t mask = 0;
    for (const ErrorStatusBit& bit : kErrorStatusBits) {
        if (bit.offset == offset) mask |= bit.mask;
    }
    return mask;
}

const wchar_t* ErrorStatusBitName(ErrorStatusRegister reg, int bit) {
    if (bit < 0 || bit > 31) return L"Reserved";
    return reg == ErrorStatusRegister::Uncorrectable ? kUncorrectableNames[bit]
                                                     : kCorrectableNames[bit];
}

const wchar_t* ErrorStatusRegisterName(ErrorStatusRegister reg) {
    return reg == ErrorStatusRegister::Uncorrectable ? L"uncorrectable" : L"correctable";
}

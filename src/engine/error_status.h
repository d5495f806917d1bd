// The card's PCIe Advanced Error Reporting status bits that the loopback test reports, in
// the order it reports them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "card/card_interface.h"

struct ErrorStatusBit {
    size_t offset;  // kUncorrectableStatusOffset or kCorrectableStatusOffset
    uint32_t mask;
    const wchar_t* message;
};

inline constexpr ErrorStatusBit kErrorStatusBits[] = {
    {kUncorrectableStatusOffset, 0x10, L"PCIe error: Data Link Protocol Error (Uncorrectable)"},
    {kUncorrectableStatusOffset, 0x1000, L"PCIe error: Poisoned TLP (Uncorrectable)"},
    {kUncorrectableStatusOffset, 0x2000, L"PCIe error: Flow Control Protocol Error (Uncorrectable)"},
    {kUncorrectableStatusOffset, 0x4000, L"PCIe error: Completion Timeout (Uncorrectable)"},
    {kUncorrectableStatusOffset, 0x8000, L"PCIe error: Completer Abort (Uncorrectable)"},
    {kUncorrectableStatusOffset, 0x10000, L"PCIe error: Unexpected Completion (Uncorrectable)"},
    {kUncorrectableStatusOffset, 0x20000, L"PCIe error: Receiver Overflow (Uncorrectable)"},
    {kUncorrectableStatusOffset, 0x40000, L"PCIe error: Malformed TLP (Uncorrectable)"},
    {kUncorrectableStatusOffset, 0x100000, L"PCIe error: Unsupported Request Error (Uncorrectable)"},
    {kUncorrectableStatusOffset, 0x400000,
     L"PCIe error: Uncorrectable Internal Error (Uncorrectable)"},
    {kCorrectableStatusOffset, 0x1, L"PCIe error: Receiver Error (Correctable)"},
    {kCorrectableStatusOffset, 0x40, L"PCIe error: Bad TLP (Correctable)"},
    {kCorrectableStatusOffset, 0x80, L"PCIe error: Bad DLLP (Correctable)"},
    {kCorrectableStatusOffset, 0x100, L"PCIe error: Replay Num Rollover (Correctable)"},
    {kCorrectableStatusOffset, 0x1000, L"PCIe error: Replay Timer Timeout (Correctable)"},
    {kCorrectableStatusOffset, 0x2000, L"PCIe error: Advisory Non Fatal Error (Correctable)"},
    {kCorrectableStatusOffset, 0x4000, L"PCIe error: Corrected Internal Error (Correctable)"},
    {kCorrectableStatusOffset, 0x8000, L"PCIe error: Header Log Overflow (Correctable)"},
};

// Calls `report` for every listed bit set in the record, in table order; other bits are
// ignored.
template <typename Report>
void ForEachErrorStatusBit(const ErrorRecord& record, Report report) {
    for (const ErrorStatusBit& bit : kErrorStatusBits) {
        if (ReadLe32(record.bytes + bit.offset) & bit.mask) report(bit);
    }
}

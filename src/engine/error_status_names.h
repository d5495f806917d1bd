// Names of the bits of the card's two AER status registers: the 18 the loopback test counts,
// under the names its event-log lines give them, and every other bit as PCI Express names it,
// for the run outcome and the runner's diagnosis.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>

#include "engine/error_status.h"

inline constexpr size_t kCountedErrorStatusBits = std::size(kErrorStatusBits);

// The name inside a counted bit's event-log message: "Completion Timeout" of "PCIe error:
// Completion Timeout (Uncorrectable)".
std::wstring CountedErrorStatusName(const ErrorStatusBit& bit);

enum class ErrorStatusRegister { Uncorrectable = 0, Correctable = 1 };

// The bits of a register the loopback test counts (its kErrorStatusBits).
uint32_t CountedErrorStatusMask(ErrorStatusRegister reg);

// The name PCI Express gives bit 0-31 of the register, "Reserved" for a reserved bit.
const wchar_t* ErrorStatusBitName(ErrorStatusRegister reg, int bit);

// "uncorrectable" or "correctable".
const wchar_t* ErrorStatusRegisterName(ErrorStatusRegister reg);

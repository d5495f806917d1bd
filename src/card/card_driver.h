// CardDriver: the operating-system calls that reach a card, and nothing more. The card code
// (discovery, CardConnection) runs its whole logic over this seam, so the same code serves
// the real driver (Win32CardDriver) and the simulated one (SimulatedCardDriver).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "card/card_interface.h"

// An open file of the driver; kNoHandle when absent. On Windows this is the HANDLE itself.
using DriverHandle = void*;
inline constexpr DriverHandle kNoHandle = nullptr;

// Error codes that pass through unchanged from the platform (GetLastError values).
inline constexpr uint32_t kErrorFileNotFound = 2;
inline constexpr uint32_t kErrorInvalidHandle = 6;
inline constexpr uint32_t kErrorGenFailure = 31;
inline constexpr uint32_t kErrorSharingViolation = 32;
inline constexpr uint32_t kErrorInvalidParameter = 87;
inline constexpr uint32_t kErrorInsufficientBuffer = 122;
inline constexpr uint32_t kErrorDeviceNotConnected = 1167;

class CardDriver {
public:
    virtual ~CardDriver() = default;

    // Device interface paths of every present interface of the class, in enumeration order.
    // An enumeration that cannot start, or stops early, returns what was gathered; no error.
    virtual std::vector<std::wstring> EnumerateInterfaces(const InterfaceGuid& interfaceClass) = 0;

    // Opens an existing file for reading and writing, unshared and synchronous.
    // Returns kNoHandle on failure, with the reason in LastError().
    virtual DriverHandle OpenFile(const std::wstring& path) = 0;

    // Closes a handle that OpenFile returned.
    virtual void CloseFile(DriverHandle file) = 0;

    // Sets the file position (the card address) from the start of the file.
    virtual bool SetPosition(DriverHandle file, int64_t position) = 0;

    // One synchronous transfer of `bytes` bytes at the current position. True when the call
    // succeeded; `done` then holds the bytes moved, which may be fewer than asked.
    virtual bool Read(DriverHandle file, void* buffer, uint32_t bytes, uint32_t* done) = 0;
    virtual bool Write(DriverHandle file, const void* buffer, uint32_t bytes, uint32_t* done) = 0;

    // An I/O control with no input and an output buffer of `outBytes`. True when the call
    // succeeded; `returned` holds the bytes delivered.
    virtual bool IoControl(DriverHandle file, uint32_t code, void* out, uint32_t outBytes,
                           uint32_t* returned) = 0;

    // The calling thread's last error code, as GetLastError reports it.
    virtual uint32_t LastError() = 0;
};

// The driver the card code uses. One is chosen at start-up by the front end (the real one by
// default on Windows, the simulated one with --simulate); tests choose their own. Must be set
// before any card code runs and not changed while a test thread runs.
CardDriver& ActiveCardDriver();
void UseCardDriver(CardDriver* driver);

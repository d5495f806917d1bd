// CardConnection: one opened test card (its control file, four channel file pairs, the
// transfer buffers, the version bytes and the two records read from it) and the transfers
// the tests make through it. The system has exactly one, theCard.
#pragma once

#include <cstdint>
#include <string>

#include "card/card_driver.h"

inline constexpr size_t kBufferAlignment = 256;

class CardConnection {
  public:
    // Opens the card at a device interface path; false (and closed) on any failure.
    bool Open(const std::wstring& basePath);
    // Closes every open file and releases the buffers; keeps paths, versions, records,
    // counters and lastRate. Always true.
    bool Close();
    void FreeBuffers();
    bool IsOpen() const { return userFile != kNoHandle; }

    // Writes the version texts ("%d.%d") into two buffers of at least 8 characters.
    void FormatVersions(wchar_t* hardware, wchar_t* firmware) const;

    // Four buffers of `bytes` bytes each, 256-byte aligned. False if an allocation failed
    // (or the count is not positive): bufferSize then stays 0.
    bool AllocateBuffers(int32_t bytes);
    bool AllocateBuffersKB(double kilobytes);
    bool AllocateBuffersMB(double megabytes);

    // Timed write of buffer 0 and read-back into buffer 1 through channel 0: -1 write failed
    // or short, -2 read failed or short, else the number of differing bytes.
    int32_t LoopbackTransfer();
    double LastRate() const { return lastRate; }

    // One block through channel n (buffer n): the byte count, or 0 when the transfer failed,
    // was short, or n is outside 0-3.
    uint32_t ReadChannel(int32_t channel);
    uint32_t WriteChannel(int32_t channel);

    // Read and clear the AER status into errorRecord; a failure closes the card.
    bool ReadErrorStatus();
    bool ClearErrorStatus();

    // Issues IOCTL_GET_DRIVER_VERSION into a 64-byte buffer; a failure closes the card.
    bool GetDriverVersion(void* out64);

    DriverHandle userFile = kNoHandle;
    std::wstring userPath;
    DriverHandle readChannels[kChannelCount] = {};
    std::wstring readChannelPaths[kChannelCount];
    DriverHandle writeChannels[kChannelCount] = {};
    std::wstring writeChannelPaths[kChannelCount];
    uint8_t* buffers[kChannelCount] = {};
    uint32_t bufferSize = 0;
    uint8_t hardwareVersion = 0;
    uint8_t firmwareVersion = 0;
    int64_t startCount = 0;
    int64_t endCount = 0;
    int64_t counterFrequency = 0;
    double lastRate = 0.0;
    LinkRecord linkRecord = {};
    ErrorRecord errorRecord = {};
    // Set by the last Open when every file opened but the signature was wrong or short.
    bool signatureRefused = false;

  private:
    bool IoControlRecord(uint32_t code, void* out, uint32_t bytes);
};

// The one card connection. Used by one party at a time: the scan and device selection on the
// main thread, a test thread for its run.
extern CardConnection theCard;

// lastRate from a transfer of `bytes` bytes over `elapsedMicroseconds`, in the card's integer
// arithmetic: whole bytes per microsecond, then MB/s (1 MB = 1048576 bytes).
double LoopbackRateMBps(uint32_t bytes, int64_t elapsedMicroseconds);

// Number of positions at which the two blocks differ; every position is compared.
uint32_t CountMismatches(const uint8_t* a, const uint8_t* b, uint32_t bytes);

// The high-resolution counter and its frequency (counts per second).
int64_t HighResolutionCount();
int64_t HighResolutionFrequency();

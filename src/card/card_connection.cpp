#include "card/card_connection.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>

CardConnection theCard;

namespace {

std::wstring SubPath(const std::wstring& base, const wchar_t* prefix, int channel) {
    return base + prefix + std::to_wstring(channel);
}

void CloseHandle(DriverHandle& file) {
    if (file != kNoHandle) {
        ActiveCardDriver().CloseFile(file);
        file = kNoHandle;
    }
}

}  // namespace

bool CardConnection::Open(const std::wstring& basePath) {
    Close();
    CardDriver& driver = ActiveCardDriver();
    signatureRefused = false;

    userPath = basePath + kUserFileName;
    userFile = driver.OpenFile(userPath);
    if (userFile == kNoHandle) return false;

    if (!IoControlRecord(IOCTL_GET_LINK_RECORD, &linkRecord, sizeof linkRecord) ||
        !IoControlRecord(IOCTL_GET_ERROR_RECORD, &errorRecord, sizeof errorRecord)) {
        Close();
        return false;
    }

    for (int n = 0; n < kChannelCount; ++n) {
        readChannelPaths[n] = SubPath(basePath, kCardToHostPrefix, n);
        readChannels[n] = driver.OpenFile(readChannelPaths[n]);
        if (readChannels[n] == kNoHandle) {
            Close();
            return false;
        }
        writeChannelPaths[n] = SubPath(basePath, kHostToCardPrefix, n);
        writeChannels[n] = driver.OpenFile(writeChannelPaths[n]);
        if (writeChannels[n] == kNoHandle) {
            Close();
            return false;
        }
    }

    // The card refuses to be driven unless its signature reads back whole and in order.
    uint8_t signature[4] = {};
    uint32_t got = 0;
    driver.SetPosition(readChannels[0], kSignatureAddress);
    if (!driver.Read(readChannels[0], signature, sizeof signature, &got) ||
        got != sizeof signature || signature[2] != kSignatureByte2 ||
        signature[3] != kSignatureByte3) {
        Close();
        signatureRefused = true;
        return false;
    }
    hardwareVersion = signature[0];
    firmwareVersion = signature[1];

    // Each channel's files sit at that channel's address for good; transfers never move them.
    for (int n = 0; n < kChannelCount; ++n) {
        driver.SetPosition(readChannels[n], kChannelBaseAddress + n * kChannelAddressStep);
    }
    for (int n = 0; n < kChannelCount; ++n) {
        driver.SetPosition(writeChannels[n], kChannelBaseAddress + n * kChannelAddressStep);
    }
    return true;
}

bool CardConnection::Close() {
    CloseHandle(userFile);
    for (int n = 0; n < kChannelCount; ++n) {
        CloseHandle(readChannels[n]);
        CloseHandle(writeChannels[n]);
    }
    FreeBuffers();
    return true;
}

void CardConnection::FreeBuffers() {
    for (auto& buffer : buffers) {
        if (buffer) {
            ::operator delete[](buffer, std::align_val_t{kBufferAlignment});
            buffer = nullptr;
        }
    }
    bufferSize = 0;
}

void CardConnection::FormatVersions(wchar_t* hardware, wchar_t* firmware) const {
    // Above 4 the byte carries a major number of 1; the low nibble is the minor number.
    auto format = [](wchar_t* out, uint8_t v) {
        std::swprintf(out, 8, L"%d.%d", v > 4 ? 1 : 0, v & 0x0F);
    };
    format(hardware, hardwareVersion);
    format(firmware, firmwareVersion);
}

bool CardConnection::AllocateBuffers(int32_t bytes) {
    FreeBuffers();
    if (bytes <= 0) return false;
    for (auto& buffer : buffers) {
        buffer = static_cast<uint8_t*>(::operator new[](
            static_cast<size_t>(bytes), std::align_val_t{kBufferAlignment}, std::nothrow));
        if (!buffer) return false;
    }
    bufferSize = static_cast<uint32_t>(bytes);
    return true;
}

namespace {

// Truncates towards zero to a signed 32-bit byte count; a size that does not fit is refused
// rather than wrapped into a small or negative count.
int32_t ByteCount(double bytes) {
    if (!(bytes >= 0.0) || bytes >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return -1;
    }
    return static_cast<int32_t>(bytes);
}

}  // namespace

bool CardConnection::AllocateBuffersKB(double kilobytes) {
    return AllocateBuffers(ByteCount(kilobytes * 1024.0));
}

bool CardConnection::AllocateBuffersMB(double megabytes) {
    return AllocateBuffers(ByteCount(megabytes * 1048576.0));
}

double LoopbackRateMBps(uint32_t bytes, int64_t elapsedMicroseconds) {
    // Below one microsecond the counter cannot tell the time apart from zero; count it as the
    // one microsecond it can resolve, so the rate stays finite and an upper bound.
    const int64_t t = elapsedMicroseconds < 1 ? 1 : elapsedMicroseconds;
    const int64_t bytesPerMicrosecond = static_cast<int64_t>(bytes) / t;
    return static_cast<double>(bytesPerMicrosecond * 1000000 / 1048576);
}

uint32_t CountMismatches(const uint8_t* __restrict a, const uint8_t* __restrict b, uint32_t bytes) {
    // A plain loop the compiler turns into vector compares; every position counts.
    uint32_t count = 0;
    for (uint32_t i = 0; i < bytes; ++i) count += a[i] != b[i];
    return count;
}

int32_t CardConnection::LoopbackTransfer() {
    CardDriver& driver = ActiveCardDriver();
    counterFrequency = HighResolutionFrequency();
    startCount = HighResolutionCount();

    // With no buffers there is nothing to send: a failed write, never an empty "good" pass.
    uint32_t done = 0;
    if (bufferSize == 0) return -1;
    if (!driver.Write(writeChannels[0], buffers[0], bufferSize, &done) || done != bufferSize) {
        return -1;
    }
    if (!driver.Read(readChannels[0], buffers[1], bufferSize, &done) || done != bufferSize) {
        return -2;
    }
    endCount = HighResolutionCount();

    // Whole seconds and the remainder apart, so a transfer that stalls for hours cannot
    // overflow the product; the result is the same truncated count of microseconds.
    const int64_t ticks = endCount - startCount;
    const int64_t elapsed =
        ticks / counterFrequency * 1000000 + ticks % counterFrequency * 1000000 / counterFrequency;
    lastRate = LoopbackRateMBps(bufferSize, elapsed);
    return static_cast<int32_t>(CountMismatches(buffers[0], buffers[1], bufferSize));
}

uint32_t CardConnection::ReadChannel(int32_t channel) {
    if (channel < 0 || channel >= kChannelCount || bufferSize == 0) return 0;
    uint32_t done = 0;
    if (!ActiveCardDriver().Read(readChannels[channel], buffers[channel], bufferSize, &done) ||
        done != bufferSize) {
        return 0;
    }
    return done;
}

uint32_t CardConnection::WriteChannel(int32_t channel) {
    if (channel < 0 || channel >= kChannelCount || bufferSize == 0) return 0;
    uint32_t done = 0;
    if (!ActiveCardDriver().Write(writeChannels[channel], buffers[channel], bufferSize, &done) ||
        done != bufferSize) {
        return 0;
    }
    return done;
}

bool CardConnection::IoControlRecord(uint32_t code, void* out, uint32_t bytes) {
    uint32_t returned = 0;
    return ActiveCardDriver().IoControl(userFile, code, out, bytes, &returned) && returned == bytes;
}

bool CardConnection::ReadErrorStatus() {
    if (IoControlRecord(IOCTL_GET_ERROR_STATUS, &errorRecord, sizeof errorRecord)) return true;
    Close();
    return false;
}

bool CardConnection::ClearErrorStatus() {
    if (IoControlRecord(IOCTL_CLEAR_ERROR_STATUS, &errorRecord, sizeof errorRecord)) return true;
    Close();
    return false;
}

bool CardConnection::GetDriverVersion(void* out64) {
    if (IoControlRecord(IOCTL_GET_DRIVER_VERSION, out64, kDriverVersionBytes)) return true;
    Close();
    return false;
}

int64_t HighResolutionCount() {
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

int64_t HighResolutionFrequency() {
    using Period = std::chrono::steady_clock::period;
    return Period::den / Period::num;
}

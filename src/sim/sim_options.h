// SimOptions: what the simulated cards look like and which faults they inject, parsed from
// the option text the front ends take after --simulate= (comma-separated key=value items).
#pragma once

#include <cstdint>
#include <string>

// Device Control of a card that negotiated 256-byte payloads and 512-byte read requests,
// with relaxed ordering enabled, as a typical BIOS leaves it.
inline constexpr uint16_t kSimPayloadCode256 = 1;      // bits 7:5
inline constexpr uint16_t kSimReadRequestCode512 = 2;  // bits 14:12
inline constexpr uint16_t kSimRelaxedOrderingEnable = 0x0010;
inline constexpr uint16_t kSimDefaultDeviceControl =
    (kSimReadRequestCode512 << 12) | (kSimPayloadCode256 << 5) | kSimRelaxedOrderingEnable;
static_assert(kSimDefaultDeviceControl == 0x2030);

inline constexpr int kSimMaxCards = 1024;
inline constexpr int kSimMaxLinkSpeed = 5;
// The version text must fit the 64-byte output of IOCTL_GET_DRIVER_VERSION with its NUL.
inline constexpr size_t kSimMaxDriverTextUnits = 31;
inline constexpr uint32_t kSimMaxStallMs = 3600000;
inline constexpr double kSimMaxRateMBps = 1000000.0;

struct SimOptions {
    // The cards.
    int cards = 1;
    int linkSpeed = 4;  // Link Status bits 3:0: 1 = 2.5 GT/s ... 5 = 32 GT/s
    int linkWidth = 4;  // lanes: 1, 2, 4, 8, 12, 16 or 32
    uint16_t deviceControl = kSimDefaultDeviceControl;
    uint8_t hardwareVersion = 0x13;
    uint8_t firmwareVersion = 0x15;
    std::wstring driverVersion = L"1.4.2.0";

    // Bandwidth per direction, shared by the channels moving at once. When neither is set the
    // card carries what its link could (ModelledLinkRateMBps).
    bool rateUnlimited = false;
    double rateMBps = 0.0;  // 0: the link model's rate

    // Faults; all off by default. Every K-th / N-th counts from 1.
    uint64_t seed = 1;
    uint32_t corruptBytes = 0;      // wrong bytes in a loopback read-back
    uint32_t corruptEvery = 1;      // ... in every K-th read-back only
    uint32_t aerUncorrectable = 0;  // status bits reported after every channel transfer
    uint32_t aerCorrectable = 0;
    uint32_t failReadEvery = 0;  // per channel: every K-th read fails (error 31)
    uint32_t failWriteEvery = 0;
    uint32_t shortReadEvery = 0;  // per channel: every K-th read moves half the bytes
    uint32_t shortWriteEvery = 0;
    uint64_t removeAfterCalls = 0;  // from this driver call of a card on, every call fails
    bool noOpen = false;            // the card's files cannot be opened
    bool badSignature = false;      // signature bytes 2 and 3 come back swapped
    int onlyCard = -1;              // faults apply to this slot alone; -1: every card
    uint32_t stallMs = 0;           // first channel transfer of each session blocks this long
};

// Parses the option text into `out`. Empty text means every default. On failure returns
// false, leaves `out` untouched and puts a message naming the bad item and what is allowed
// into `error`: nothing may start with half-understood options.
bool ParseSimOptions(const std::wstring& text, SimOptions* out, std::wstring* error);
// The same for a narrow command line; the text must be ASCII.
bool ParseSimOptions(const std::string& text, SimOptions* out, std::string* error);

// One line per item, for the front ends' usage text.
const wchar_t* SimOptionsUsage();

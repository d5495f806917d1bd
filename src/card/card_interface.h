// What the card driver exposes and what we rely on: the device interface class, the
// sub-file names, the I/O control codes and the two records they return.
#pragma once

#include <cstddef>
#include <cstdint>

// A device interface class GUID, laid out as Windows lays out a GUID.
struct InterfaceGuid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};

// {74C7E4A9-6D5D-4A70-BC0D-20691DFF9E9D}
inline constexpr InterfaceGuid CARD_INTERFACE_GUID = {
    0x74C7E4A9, 0x6D5D, 0x4A70, {0xBC, 0x0D, 0x20, 0x69, 0x1D, 0xFF, 0x9E, 0x9D}};

// Sub-files of a card's device interface path. Channel files take the channel number 0-3
// in decimal after the prefix.
inline constexpr const wchar_t* kUserFileName = L"\\user";
inline constexpr const wchar_t* kCardToHostPrefix = L"\\c2h_";
inline constexpr const wchar_t* kHostToCardPrefix = L"\\h2c_";
inline constexpr int kChannelCount = 4;

// I/O controls on the control file; none takes input, each fills a fixed-size output and
// succeeds only when the whole record was delivered.
inline constexpr uint32_t IOCTL_GET_DRIVER_VERSION = 0x220000;
inline constexpr uint32_t IOCTL_GET_LINK_RECORD = 0x220020;
inline constexpr uint32_t IOCTL_GET_ERROR_STATUS = 0x220024;
inline constexpr uint32_t IOCTL_GET_ERROR_RECORD = 0x220028;
inline constexpr uint32_t IOCTL_CLEAR_ERROR_STATUS = 0x22002C;
inline constexpr uint32_t kDriverVersionBytes = 64;

// The file position is the card address. The signature sits at this address of channel 0's
// card-to-host file: hardware version, firmware version, 0xC3, 0xA5.
inline constexpr int64_t kSignatureAddress = 0x10000000;
inline constexpr uint8_t kSignatureByte2 = 0xC3;
inline constexpr uint8_t kSignatureByte3 = 0xA5;
// Channel N's files are positioned once, after open, at 0xC0000000 + N x 0x10000000.
inline constexpr int64_t kChannelBaseAddress = 0xC0000000LL;
inline constexpr int64_t kChannelAddressStep = 0x10000000LL;

// Bytes 0x00-0x33 of the card's PCI Express Capability structure.
struct LinkRecord {
    uint8_t bytes[52];
};
static_assert(sizeof(LinkRecord) == 52);
inline constexpr size_t kDeviceControlOffset = 8;  // 32 bits read: 7:5 payload, 14:12 read request
inline constexpr size_t kLinkStatusOffset = 18;    // 16 bits: 3:0 speed, 9:4 width

// The card's Advanced Error Reporting extended capability structure.
struct ErrorRecord {
    uint8_t bytes[56];
};
static_assert(sizeof(ErrorRecord) == 56);
inline constexpr size_t kUncorrectableStatusOffset = 4;
inline constexpr size_t kCorrectableStatusOffset = 16;

// Little-endian field readers: the records are raw configuration space bytes.
inline uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void WriteLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void WriteLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint16_t LinkStatus(const LinkRecord& r) { return ReadLe16(r.bytes + kLinkStatusOffset); }
inline uint32_t DeviceControl(const LinkRecord& r) {
    return ReadLe32(r.bytes + kDeviceControlOffset);
}
inline int LinkSpeed(uint16_t linkStatus) { return linkStatus & 0x0F; }
inline int LinkWidth(uint16_t linkStatus) { return (linkStatus >> 4) & 0x3F; }
// 128 shifted by the 3-bit size code: 0 gives 128 bytes, 7 gives 16384.
inline int MaxPayloadBytes(uint32_t deviceControl) { return 128 << ((deviceControl >> 5) & 7); }
inline int MaxReadRequestBytes(uint32_t deviceControl) {
    return 128 << ((deviceControl >> 12) & 7);
}

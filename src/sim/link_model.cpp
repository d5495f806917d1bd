#include "sim/link_model.h"

#include <algorithm>

namespace {

// Per lane and direction, in transfers per second, for Link Status speed codes 1-5.
constexpr double kLaneGigatransfers[] = {0.0, 2.5, 5.0, 8.0, 16.0, 32.0};

// Every TLP carries, besides its payload: a 16-byte header (64-bit addressing), a 2-byte
// sequence number, a 4-byte LCRC and the framing token, plus ECRC or alignment on some
// links. 28 bytes covers that.
constexpr double kTlpOverheadBytes = 28.0;

// Of what is left, ACK/NAK and flow-control DLLPs and the periodic SKP ordered sets take
// about 8 percent.
constexpr double kDllpEfficiency = 0.92;

constexpr uint32_t kAerCapabilityId = 0x0001;
constexpr uint32_t kAerCapabilityVersion = 1;
// Reset defaults of the AER registers: the severity marks the fatal kinds, and Advisory
// Non-Fatal is masked as every BIOS leaves it.
constexpr uint32_t kUncorrectableSeverityDefault = 0x00462030;
constexpr uint32_t kCorrectableMaskDefault = 0x00002000;

constexpr uint8_t kPciExpressCapabilityId = 0x10;
constexpr uint16_t kCapabilityVersion2Endpoint = 0x0002;
constexpr uint16_t kLinkControlCommonClock = 0x0040;

}  // namespace

double ModelledLinkRateMBps(int linkSpeed, int linkWidth, int payloadBytes) {
    if (linkSpeed < 1 || linkSpeed > kSimMaxLinkSpeed || linkWidth < 1 || payloadBytes < 1) {
        return 0.0;
    }
    // Gen1 and Gen2 send 10 bits per byte (8b/10b); from Gen3 on, 130 bits per 16 bytes.
    const double encoding = linkSpeed <= 2 ? 8.0 / 10.0 : 128.0 / 130.0;
    const double rawBytesPerSecond =
        kLaneGigatransfers[linkSpeed] * 1e9 * encoding * linkWidth / 8.0;
    const double payloadShare = payloadBytes / (payloadBytes + kTlpOverheadBytes);
    return rawBytesPerSecond * payloadShare * kDllpEfficiency / 1048576.0;
}

double EffectiveRateMBps(const SimOptions& options) {
    if (options.rateUnlimited) return 0.0;
    if (options.rateMBps > 0.0) return options.rateMBps;
    return ModelledLinkRateMBps(options.linkSpeed, options.linkWidth,
                                MaxPayloadBytes(options.deviceControl));
}

LinkRecord BuildLinkRecord(int linkSpeed, int linkWidth, uint16_t deviceControl) {
    LinkRecord r = {};
    uint8_t* b = r.bytes;
    b[0x00] = kPciExpressCapabilityId;
    b[0x01] = 0x00;  // last capability of the list
    WriteLe16(b + 0x02, kCapabilityVersion2Endpoint);

    // The card supports at least Gen4 x4 and whatever it negotiated.
    const uint32_t payloadCode = (deviceControl >> 5) & 7;
    const uint32_t supportedPayloadCode = std::max<uint32_t>(payloadCode, 2);
    const uint32_t extendedTag = 1u << 5;
    const uint32_t roleBasedErrorReporting = 1u << 15;
    WriteLe32(b + 0x04, supportedPayloadCode | extendedTag | roleBasedErrorReporting);
    WriteLe16(b + kDeviceControlOffset, deviceControl);
    WriteLe16(b + 0x0A, 0);  // Device Status: nothing pending

    const uint32_t maxSpeed = static_cast<uint32_t>(std::max(linkSpeed, 4));
    const uint32_t maxWidth = static_cast<uint32_t>(std::max(linkWidth, 4));
    WriteLe32(b + 0x0C, maxSpeed | (maxWidth << 4));
    WriteLe16(b + 0x10, kLinkControlCommonClock);
    WriteLe16(b + kLinkStatusOffset,
              static_cast<uint16_t>((linkSpeed & 0x0F) | ((linkWidth & 0x3F) << 4)));

    // Link Capabilities 2: one bit per supported speed, from bit 1 for 2.5 GT/s.
    WriteLe32(b + 0x2C, ((1u << maxSpeed) - 1) << 1);
    // Link Control 2: the target speed is what was negotiated.
    WriteLe16(b + 0x30, static_cast<uint16_t>(linkSpeed & 0x0F));
    return r;
}

ErrorRecord BuildErrorRecord(uint32_t uncorrectableStatus, uint32_t correctableStatus) {
    ErrorRecord r = {};
    uint8_t* b = r.bytes;
    WriteLe32(b + 0x00, kAerCapabilityId | (kAerCapabilityVersion << 16));
    WriteLe32(b + kUncorrectableStatusOffset, uncorrectableStatus);
    WriteLe32(b + 0x0C, kUncorrectableSeverityDefault);
    WriteLe32(b + kCorrectableStatusOffset, correctableStatus);
    WriteLe32(b + 0x14, kCorrectableMaskDefault);
    return r;
}

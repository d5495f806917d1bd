// The simulated card's link: the rate a negotiated PCIe link carries, and the configuration
// space records (PCI Express Capability, AER capability) the card driver returns for it.
#pragma once

#include "card/card_interface.h"
#include "sim/sim_options.h"

// Data a link carries per direction in MB/s (1 MB = 1,048,576 bytes), for Link Status speed
// code 1-5, width in lanes and the maximum payload size in bytes; 0 for an unknown speed.
double ModelledLinkRateMBps(int linkSpeed, int linkWidth, int payloadBytes);

// The rate a card made from these options paces each direction to; 0 when unlimited.
double EffectiveRateMBps(const SimOptions& options);

// Bytes 0x00-0x33 of the PCI Express Capability of an endpoint with this link.
LinkRecord BuildLinkRecord(int linkSpeed, int linkWidth, uint16_t deviceControl);

// The AER extended capability with these status bits set.
ErrorRecord BuildErrorRecord(uint32_t uncorrectableStatus, uint32_t correctableStatus);

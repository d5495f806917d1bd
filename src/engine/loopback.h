// The LOOPBACK test thread: 256 KiB of known data out through DMA channel 0 and back,
// wrong bytes counted, AER status decoded after every pass, round-trip speed.
#pragma once

#include <atomic>
#include <cstdint>

// Thread procedure; reads the card index once from `cardIndex` at its start.
void LoopbackTest(const std::atomic<int32_t>* cardIndex);

// The BENCHMARK test thread: read and/or write throughput of DMA channels 1-3 at once, three
// worker threads per direction, driven cycle by cycle through start and done events.
#pragma once

#include <atomic>
#include <cstdint>

// Thread procedure; reads the card index once from `cardIndex` at its start.
void BenchmarkTest(const std::atomic<int32_t>* cardIndex);

// Transfers per worker per cycle for a Link Status word.
uint32_t BlocksPerCycle(uint16_t linkStatus);

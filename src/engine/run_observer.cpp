#include "engine/run_observer.h"

#include <atomic>

namespace {
std::atomic<RunObserver*> currentObserver{nullptr};
std::atomic<uint64_t> completedTransfers{0};
}  // namespace

void SetRunObserver(RunObserver* observer) { currentObserver = observer; }

RunObserver* CurrentRunObserver() { return currentObserver.load(std::memory_order_relaxed); }

uint64_t CompletedTransfers() { return completedTransfers; }

// Only a count: no other data is published through it, so relaxed order is enough.
void CountCompletedTransfer() { completedTransfers.fetch_add(1, std::memory_order_relaxed); }

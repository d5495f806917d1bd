#include "engine/run_observer.h"

#include <atomic>

namespace {
std::atomic<RunObserver*> currentObserver{nullptr};
}

void SetRunObserver(RunObserver* observer) { currentObserver = observer; }

RunObserver* CurrentRunObserver() { return currentObserver.load(std::memory_order_relaxed); }

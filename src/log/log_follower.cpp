#include "log/log_follower.h"

uint64_t LogFollower::CatchUp(Logger& log, const std::function<void(const LogRecord&)>& deliver) {
    std::lock_guard<std::mutex> guard(lock);
    const uint64_t end = log.Serial();
    uint64_t lost = 0;
    // Far behind: jump to the oldest record the ring can still hold instead of asking for
    // each one that is certainly gone.
    const uint64_t held = static_cast<uint64_t>(log.capacity - 1);
    if (end > nextSerial + held) {
        lost = end - held - nextSerial;
        nextSerial = end - held;
    }
    LogRecord record;
    for (; nextSerial < end; ++nextSerial) {
        if (!log.CopyRecordBySerial(nextSerial, &record)) {
            ++lost;  // dropped or cleared after `end` was read
            continue;
        }
        if (record.text[0] != L'\0') deliver(record);
    }
    return lost;
}

// Follows the event log as it grows: hands each record added since the last call to a
// callback, exactly once and in log order, even when several threads ask at once (every
// thread that adds a record calls the log's listener). The command-line runner prints
// records this way, and the window's live log file appends them.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "log/logger.h"

class LogFollower {
  public:
    // Starts with the record of serial `firstSerial` (0: the first record the log ever held).
    explicit LogFollower(uint64_t firstSerial = 0) : nextSerial(firstSerial) {}

    // Delivers every record added since the last call, oldest first, skipping records with an
    // empty text. The callback runs under the follower's lock (not the log's), so deliveries
    // never interleave. Returns how many records were gone before they could be copied: the
    // follower fell more than 10000 records behind, or the log was cleared meanwhile.
    uint64_t CatchUp(Logger& log, const std::function<void(const LogRecord&)>& deliver);

  private:
    std::mutex lock;
    uint64_t nextSerial;
};

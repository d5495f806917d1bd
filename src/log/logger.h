// The event log: a ring of the newest 10000 records (text, category, time stamp), kept in
// three parallel arrays allocated once. Every operation takes the log lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "log/log_category.h"

inline constexpr int kLogTextChars = 300;  // per slot, NUL included: at most 299 characters

// A copy of one record, taken under the log lock.
struct LogRecord {
    wchar_t text[kLogTextChars];
    LogCategory category;
    int64_t time;
};

class Logger {
  public:
    Logger();
    virtual ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void Add(const wchar_t* text, LogCategory category);
    void Clear();
    // Index >= 0 counts from the oldest record, < 0 back from the newest. Returns the slot's
    // text or null; the pointer is good only until the slot is reused 10000 records later,
    // so a reader beside running writers uses CopyRecord instead.
    const wchar_t* GetRecord(int index, LogCategory* category, int64_t* time);
    // Copies the record under the lock; false where GetRecord would give null.
    bool CopyRecord(int index, LogRecord* record);
    int Count();
    // Records added since construction (never reset by Clear); lets a follower copy out
    // exactly the records it has not seen yet.
    uint64_t Serial();
    // Copies the record with serial number `serial` (0 = the first ever added), if still held.
    // A record held with an empty text is copied too (its text empty), so a follower can tell
    // a record it may skip from one it has lost.
    bool CopyRecordBySerial(uint64_t serial, LogRecord* record);

    const int32_t capacity = 10001;

  private:
    wchar_t* texts;
    LogCategory* categories;
    int64_t* times;
    int32_t next = 0;
    int32_t oldest = 0;
    int32_t count = 0;
    uint64_t serial = 0;
    std::mutex lock;
};

// The system's one log; null before the main window creates it and after it is destroyed.
extern std::atomic<Logger*> theLog;
// Set when the main window begins to close: from then on nothing is logged.
extern std::atomic<bool> shuttingDown;

// Appends to theLog (nothing while shutting down or without a log) and tells the listener.
void LogAdd(const wchar_t* text, LogCategory category);
// What a front end hears of each record added: called on the adding thread, outside the log
// lock, while theLog is still alive. Set while no thread logs; null (the default) for none.
using LogListener = void (*)();
void SetLogListener(LogListener listener);
// Formats `format` with one wide-string argument (%ls) into 300 characters, cut to fit.
void LogAddFormatted(const wchar_t* format, const wchar_t* argument, LogCategory category);

// Creates theLog; destroys it once no LogAdd is still inside it (a late thread may be).
void CreateTheLog();
void DestroyTheLog();

// Where Add takes its time stamps: std::time, unless a test fixes the clock (null restores it).
using LogClock = int64_t (*)();
void SetLogClock(LogClock clock);

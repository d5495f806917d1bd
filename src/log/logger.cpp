#include "log/logger.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <thread>

std::atomic<Logger*> theLog{nullptr};
std::atomic<bool> shuttingDown{false};

namespace {

constexpr wchar_t kBlank = L' ';

// LogAdd calls between taking theLog and finishing their hand-over to the listener. DestroyTheLog
// waits for this to reach 0, so a test thread that loaded the pointer just before the main
// window released the log never writes into freed memory.
std::atomic<int> logAddsInFlight{0};

// How long DestroyTheLog waits for a late LogAdd. A LogAdd holds the log lock for a few
// microseconds; only a listener that blocks takes longer, and then leaking the log is
// better than freeing it under that thread.
constexpr auto kDestroyWait = std::chrono::seconds(5);

int64_t SystemClock() { return static_cast<int64_t>(std::time(nullptr)); }

std::atomic<LogClock> logClock{&SystemClock};
std::atomic<LogListener> logListener{nullptr};

// The slot of record `index` (>= 0 from the oldest, < 0 back from the newest), or -1.
int32_t SlotOf(int index, int32_t capacity, int32_t oldest, int32_t next, int32_t count) {
    // |index| computed in 64 bits: -INT_MIN does not fit in an int.
    const int64_t magnitude = index < 0 ? -static_cast<int64_t>(index) : index;
    if (magnitude >= capacity) return -1;
    // Once the ring is full, the free slot `next` still holds the record just dropped; an index
    // at or beyond the records held must not hand that stale text back to a reader (the log
    // view asks for such indices when its first line lags behind Count).
    if (index >= 0 ? index >= count : magnitude > count) return -1;
    int32_t slot;
    if (index >= 0) {
        slot = oldest + index;
        if (slot >= capacity) slot -= capacity;
    } else {
        slot = next + index;
        if (slot < 0) slot += capacity;
    }
    return slot;
}

// Steps 2 to 4 of Add, on the adding thread's own buffer: the caller's text, at most 300
// characters, with control characters blanked and, for errors and diagnostics, every run of
// blanks folded to one. Returns the length of the result; the rest of `work` is not set.
size_t PrepareText(const wchar_t* text, LogCategory category, wchar_t (&work)[kLogTextChars + 1]) {
    // The length first (the C library's vector search), then copy and blanking in one loop
    // without an early exit, which the compiler vectorises. Compared as unsigned: a 16-bit
    // wchar_t above 0x7FFF is no control character.
    size_t length = text ? wcsnlen(text, kLogTextChars) : 0;
    for (size_t i = 0; i < length; ++i) {
        const wchar_t c = text[i];
        work[i] = static_cast<uint32_t>(c) < 0x20u ? kBlank : c;
    }

    if (category == kLogError || category == kLogDiagnostics) {
        size_t kept = 0;
        for (size_t i = 0; i < length; ++i) {
            if (work[i] == kBlank && i + 1 < length && work[i + 1] == kBlank) continue;
            work[kept++] = work[i];
        }
        length = kept;
    }
    return length;
}

}  // namespace

void SetLogClock(LogClock clock) { logClock.store(clock ? clock : &SystemClock); }

Logger::Logger()
    : texts(new wchar_t[static_cast<size_t>(capacity) * kLogTextChars]),  // zeroed by Clear
      categories(new LogCategory[static_cast<size_t>(capacity)]()),
      times(new int64_t[static_cast<size_t>(capacity)]()) {
    Clear();
}

Logger::~Logger() {
    delete[] texts;
    delete[] categories;
    delete[] times;
}

void Logger::Add(const wchar_t* text, LogCategory category) {
    if (shuttingDown.load()) return;

    // The text is prepared before taking the lock: it touches nothing of the ring, and the
    // test threads then hold the lock only for the copy into the slot. Only the first
    // `length` characters of the work buffer are ever read, so it needs no zeroing.
    wchar_t work[kLogTextChars + 1];
    const size_t length =
        std::min(PrepareText(text, category, work), static_cast<size_t>(kLogTextChars - 1));

    std::lock_guard<std::mutex> guard(lock);
    wchar_t* slot = texts + static_cast<size_t>(next) * kLogTextChars;
    std::memcpy(slot, work, length * sizeof(wchar_t));
    std::fill(slot + length, slot + kLogTextChars, L'\0');
    categories[next] = category;
    times[next] = logClock.load()();
    if (++next == capacity) next = 0;
    if (next == oldest && ++oldest == capacity) oldest = 0;
    if (count < capacity - 1) ++count;
    ++serial;
}

void Logger::Clear() {
    std::lock_guard<std::mutex> guard(lock);
    std::fill(texts, texts + static_cast<size_t>(capacity) * kLogTextChars, L'\0');
    next = 0;
    oldest = 0;
    count = 0;
}

const wchar_t* Logger::GetRecord(int index, LogCategory* category, int64_t* time) {
    if (category) *category = 0;
    std::lock_guard<std::mutex> guard(lock);
    const int32_t slot = SlotOf(index, capacity, oldest, next, count);
    if (slot < 0) return nullptr;
    const wchar_t* text = texts + static_cast<size_t>(slot) * kLogTextChars;
    if (text[0] == L'\0') return nullptr;
    if (category) *category = categories[slot];
    if (time) *time = times[slot];
    return text;
}

bool Logger::CopyRecord(int index, LogRecord* record) {
    std::lock_guard<std::mutex> guard(lock);
    const int32_t slot = SlotOf(index, capacity, oldest, next, count);
    if (slot < 0) return false;
    const wchar_t* text = texts + static_cast<size_t>(slot) * kLogTextChars;
    if (text[0] == L'\0') return false;
    std::memcpy(record->text, text, sizeof record->text);
    record->category = categories[slot];
    record->time = times[slot];
    return true;
}

int Logger::Count() {
    std::lock_guard<std::mutex> guard(lock);
    return count;
}

uint64_t Logger::Serial() {
    std::lock_guard<std::mutex> guard(lock);
    return serial;
}

bool Logger::CopyRecordBySerial(uint64_t wanted, LogRecord* record) {
    std::lock_guard<std::mutex> guard(lock);
    // The newest record (serial - 1) sits just before `next`; Clear leaves serial running but
    // empties the ring, so `count` alone says how far back records are still held.
    if (wanted >= serial || serial - wanted > static_cast<uint64_t>(count)) return false;
    int32_t slot = next - static_cast<int32_t>(serial - wanted);
    if (slot < 0) slot += capacity;
    const wchar_t* text = texts + static_cast<size_t>(slot) * kLogTextChars;
    std::memcpy(record->text, text, sizeof record->text);
    record->category = categories[slot];
    record->time = times[slot];
    return true;
}

void SetLogListener(LogListener listener) { logListener = listener; }

void LogAdd(const wchar_t* text, LogCategory category) {
    if (shuttingDown.load()) return;
    // Counted before theLog is loaded (both sequentially consistent): DestroyTheLog, which
    // swaps theLog out before it reads the count, then either sees this call or this call
    // sees no log. The hand-over stays inside the count because a listener may read the log
    // on this thread (the command-line runner copies out the new records).
    logAddsInFlight.fetch_add(1);
    if (Logger* log = theLog.load()) {
        log->Add(text, category);
        if (LogListener listener = logListener.load()) listener();
    }
    logAddsInFlight.fetch_sub(1);
}

namespace {

// Appends one character to a bounded output; false once the output is full.
struct BoundedText {
    wchar_t* out;
    size_t capacity;  // characters, without the NUL
    size_t length = 0;
    bool Put(wchar_t c) {
        if (length == capacity) return false;
        out[length++] = c;
        return true;
    }
};

// Formats a string conversion: optional '-', width and precision, then s (any l or h).
// Returns the position after the conversion, or null when `format` (after the '%') is none.
const wchar_t* PutStringConversion(const wchar_t* format, const wchar_t* argument,
                                   BoundedText& text) {
    const wchar_t* p = format;
    bool leftAlign = false;
    while (*p == L'-' || *p == L'+' || *p == L' ' || *p == L'#' || *p == L'0') {
        leftAlign = leftAlign || *p == L'-';
        ++p;
    }
    size_t width = 0;
    while (*p >= L'0' && *p <= L'9') width = std::min<size_t>(width * 10 + (*p++ - L'0'), 1000);
    size_t precision = static_cast<size_t>(-1);
    if (*p == L'.') {
        ++p;
        precision = 0;
        while (*p >= L'0' && *p <= L'9') {
            precision = std::min<size_t>(precision * 10 + (*p++ - L'0'), 1000);
        }
    }
    while (*p == L'l' || *p == L'h') ++p;
    if (*p != L's') return nullptr;

    size_t length = 0;
    while (length < precision && argument[length] != L'\0') ++length;
    const size_t padding = width > length ? width - length : 0;
    if (!leftAlign) {
        for (size_t i = 0; i < padding; ++i) text.Put(kBlank);
    }
    for (size_t i = 0; i < length; ++i) text.Put(argument[i]);
    if (leftAlign) {
        for (size_t i = 0; i < padding; ++i) text.Put(kBlank);
    }
    return p + 1;
}

}  // namespace

void LogAddFormatted(const wchar_t* format, const wchar_t* argument, LogCategory category) {
    // Our own small formatter rather than swprintf: glibc's returns -1 and may leave the
    // buffer unterminated when the text does not fit, MinGW's runtimes differ again, and the
    // log must hold the same cut text on both. The formats that reach here carry one string
    // conversion (%ls) for the one argument; a second one would have no argument in printf
    // either, so it prints nothing.
    wchar_t buffer[kLogTextChars];
    BoundedText text{buffer, kLogTextChars - 1};
    const wchar_t* remaining = argument ? argument : L"";
    for (const wchar_t* p = format ? format : L""; *p != L'\0';) {
        if (p[0] == L'%' && p[1] == L'%') {
            text.Put(L'%');
            p += 2;
            continue;
        }
        if (p[0] == L'%') {
            if (const wchar_t* after = PutStringConversion(p + 1, remaining, text)) {
                remaining = L"";
                p = after;
                continue;
            }
        }
        text.Put(*p++);
    }
    buffer[text.length] = L'\0';
    LogAdd(buffer, category);
}

namespace {

// Frees a log already taken out of theLog once no LogAdd can still be inside it.
void ReleaseLog(Logger* old) {
    if (!old) return;
    const auto deadline = std::chrono::steady_clock::now() + kDestroyWait;
    while (logAddsInFlight.load() != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::yield();
    }
    // A LogAdd still inside after the wait is stuck in its listener; leave it the log.
    if (logAddsInFlight.load() == 0) delete old;
}

}  // namespace

void CreateTheLog() { ReleaseLog(theLog.exchange(new Logger)); }

void DestroyTheLog() { ReleaseLog(theLog.exchange(nullptr)); }

#include "cli/console_port.h"

#include "cli/console.h"
#include "cli/live_views.h"
#include "engine/main_window_port.h"
#include "log/log_export.h"

void ConsolePort::Follow(bool fromStart) {
    Logger* log = theLog.load();
    if (!fromStart && log) {
        // Skip what is already there: deliver nothing, only move the follower on.
        following_ = false;
        follower_.CatchUp(*log, [](const LogRecord&) {});
    }
    following_ = true;
}

void ConsolePort::Flush() {
    Logger* log = theLog.load();
    if (!following_ || !log) return;
    // The console's lock is taken before the follower's, by every thread alike: records keep
    // their order and never cut into the progress line or a message.
    WithConsole([&] {
        const uint64_t lost = follower_.CatchUp(*log, [this](const LogRecord& record) {
            if (record.category == kLogError || record.category > kLogPass) ++errorRecords_;
            std::string line = FormatRecordLine(record, true);
            line += '\n';
            std::fwrite(line.data(), 1, line.size(), stream_);
            if (objects_) {
                const std::string object = RecordObjectText(record) + "\n";
                std::fwrite(object.data(), 1, object.size(), objects_);
            }
        });
        std::fflush(stream_);
        if (objects_) std::fflush(objects_);
        if (lost > 0) {
            const std::string note = "brixlanetool-cli: " + std::to_string(lost) +
                                     " records were added faster than they could be printed\n";
            std::fwrite(note.data(), 1, note.size(), stderr);
            std::fflush(stderr);
        }
    });
}

void ConsolePort::LogChanged() { Flush(); }

void ConsolePort::ShowMessage(const std::wstring& text, const std::wstring& caption, MessageIcon) {
    Print(stderr, caption + L": " + text + L"\n");
}

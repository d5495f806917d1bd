#include "cli/console_port.h"

#include "cli/console.h"
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
    const uint64_t lost = follower_.CatchUp(*log, [this](const LogRecord& record) {
        if (record.category == kLogError || record.category > kLogPass) ++errorRecords_;
        std::string line = FormatRecordLine(record, true);
        line += '\n';
        std::fwrite(line.data(), 1, line.size(), stream_);
    });
    std::fflush(stream_);
    if (lost > 0) {
        Print(stderr, L"brixlanetool-cli: " + std::to_wstring(lost) +
                          L" records were added faster than they could be printed\n");
    }
}

void ConsolePort::LogChanged() { Flush(); }

void ConsolePort::ShowMessage(const std::wstring& text, const std::wstring& caption, MessageIcon) {
    Print(stderr, caption + L": " + text + L"\n");
}

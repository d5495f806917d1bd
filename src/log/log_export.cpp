#include "log/log_export.h"

#include <cstdio>
#include <memory>

#include "log/ctime_text.h"
#include "log/utf8.h"

namespace {

constexpr char kTitleLines[] =
    "KORVENIX Brixlane Log file\r\n"
    "==========================\r\n";

bool IsHighSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Appends a wide text one character at a time. A surrogate pair is one character: the same
// text must give the same line where wchar_t is UTF-16 (Windows) and where it is UTF-32.
void AppendText(std::string& out, const wchar_t* text, bool utf8) {
    for (size_t i = 0; text[i] != L'\0'; ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]);
        if (IsHighSurrogate(c) && IsLowSurrogate(static_cast<uint32_t>(text[i + 1]))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(text[++i]) - 0xDC00);
        }
        if (utf8) {
            AppendUtf8(out, c);
        } else {
            out += c <= 0xFF ? static_cast<char>(c) : '?';
        }
    }
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::FILE* OpenForWriting(const std::filesystem::path& path) {
    // Binary mode: the "\r\n" line ends are written by us, the same bytes on every platform.
#ifdef _WIN32
    return _wfopen(path.c_str(), L"wb");
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

bool WriteAndFlush(std::FILE* file, const std::string& bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() &&
           std::fflush(file) == 0;
}

}  // namespace

std::string FormatRecordLine(const LogRecord& record, bool utf8) {
    std::string line = CtimeText(record.time);
    line += ": ";
    AppendText(line, LogCategoryName(record.category), false);
    line += "- ";
    AppendText(line, record.text, utf8);
    return line;
}

bool WriteLogFile(const std::filesystem::path& path, Logger& log) {
    std::unique_ptr<std::FILE, FileCloser> file(OpenForWriting(path));
    if (!file) return false;

    // Each line is flushed before the next record is read, so a file cut short by a crash
    // still ends in whole lines.
    bool ok = WriteAndFlush(file.get(), kTitleLines);
    const int count = log.Count();
    ok = ok && WriteAndFlush(file.get(),
                             "Number of records logged: " + std::to_string(count) + "\r\n\r\n");
    // One record copied at a time: test threads may go on logging while the file is written.
    LogRecord record;
    for (int i = 0; ok && i < count; ++i) {
        if (!log.CopyRecord(i, &record)) continue;
        ok = WriteAndFlush(file.get(), FormatRecordLine(record, false) + "\r\n");
    }
    return std::fclose(file.release()) == 0 && ok;
}

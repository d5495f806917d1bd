#include "cli/console.h"

#include <cstdint>
#include <mutex>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

std::mutex consoleLock;
std::string liveLine;  // under consoleLock: the live line shown on standard error, or empty

// The live line is overwritten with spaces rather than cleared by an escape sequence: every
// terminal and every Windows console takes them.
void TakeOffLiveLine() {
    if (liveLine.empty()) return;
    const std::string blank = "\r" + std::string(liveLine.size(), ' ') + "\r";
    std::fwrite(blank.data(), 1, blank.size(), stderr);
    std::fflush(stderr);
}

void DrawLiveLine() {
    if (liveLine.empty()) return;
    const std::string line = "\r" + liveLine;
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

std::wstring FromUtf8(const std::string& bytes) {
    std::wstring out;
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char lead = static_cast<unsigned char>(bytes[i]);
        int extra = lead < 0x80         ? 0
                    : (lead >> 5) == 6  ? 1
                    : (lead >> 4) == 14 ? 2
                    : (lead >> 3) == 30 ? 3
                                        : -1;
        uint32_t c = extra == 0   ? lead
                     : extra == 1 ? lead & 0x1F
                     : extra == 2 ? lead & 0x0F
                                  : lead & 0x07;
        bool ok = extra >= 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + k >= bytes.size()) {
                ok = false;
                break;
            }
            const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) ok = false;
            c = (c << 6) | (next & 0x3F);
        }
        if (!ok || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            out += static_cast<wchar_t>(0xFFFD);
            ++i;
            continue;
        }
        if (sizeof(wchar_t) == 2 && c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

void Print(std::FILE* stream, const std::wstring& text) {
    const std::string bytes = ToUtf8(text);
    WithConsole([&] {
        std::fwrite(bytes.data(), 1, bytes.size(), stream);
        std::fflush(stream);
    });
}

void WithConsole(const std::function<void()>& write) {
    std::lock_guard<std::mutex> lock(consoleLock);
    TakeOffLiveLine();
    write();
    DrawLiveLine();
}

void SetLiveLine(const std::string& text) {
    std::lock_guard<std::mutex> lock(consoleLock);
    // One write: the new text over the old, with spaces over what the old had beyond it.
    std::string line = "\r" + text;
    if (text.size() < liveLine.size()) {
        line += std::string(liveLine.size() - text.size(), ' ') + "\r" + text;
    }
    if (!text.empty() || !liveLine.empty()) {
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }
    liveLine = text;
}

#ifndef _WIN32
bool StderrIsTerminal() { return isatty(fileno(stderr)) != 0; }

// POSIX hands the arguments over as bytes; the terminal's UTF-8 needs no setting up. Windows
// has its own (console_win.cpp).
std::vector<std::wstring> PrepareConsole(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.push_back(FromUtf8(argv[i]));
    return args;
}
#endif

#include "sim/sim_options.h"

#include <cwchar>
#include <cwctype>
#include <functional>
#include <set>
#include <vector>

#include "sim/number_text.h"

namespace {

constexpr const wchar_t* kAllowedItems =
    L"cards, link, devctl, hw, fw, driver, rate, seed, corrupt, corrupt-every, aer-unc, "
    L"aer-cor, fail-read, fail-write, short-read, short-write, remove-after, only, stall, "
    L"no-open, bad-signature";

constexpr const wchar_t* kLinkExpectation = L"expected genSxW with S 1-5 and W 1,2,4,8,12,16,32";

bool IsDecimalDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

int HexDigitValue(wchar_t c) {
    if (IsDecimalDigit(c)) return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

// Decimal, or hexadecimal after 0x. Digits only: no sign, no blanks. Checked against `max`
// before every step, so no text can overflow into a small number.
bool ParseWhole(const std::wstring& text, uint64_t max, uint64_t* value) {
    size_t i = 0;
    uint64_t base = 10;
    if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        base = 16;
        i = 2;
    }
    if (i >= text.size()) return false;
    uint64_t v = 0;
    for (; i < text.size(); ++i) {
        const int d =
            base == 16 ? HexDigitValue(text[i]) : (IsDecimalDigit(text[i]) ? text[i] - L'0' : -1);
        if (d < 0) return false;
        if (v > (max - static_cast<uint64_t>(d)) / base) return false;
        v = v * base + static_cast<uint64_t>(d);
    }
    *value = v;
    return true;
}

// The version text goes out as UTF-16: a character beyond the basic plane takes two units.
bool CheckDriverText(const std::wstring& text, std::wstring* problem) {
    size_t units = 0;
    for (wchar_t c : text) {
        if (static_cast<uint32_t>(c) < 0x20 || c == 0x7F) {
            *problem = L"control characters are not allowed";
            return false;
        }
        // Only a 32-bit wchar_t holds such a character whole; a 16-bit one already holds units.
        units += (static_cast<uint32_t>(c) >> 16) != 0 ? 2 : 1;
    }
    if (units > kSimMaxDriverTextUnits) {
        *problem = L"at most 31 characters (it must fit 64 bytes of UTF-16 with its NUL)";
        return false;
    }
    return true;
}

struct NumberItem {
    const wchar_t* name;
    uint64_t min;
    uint64_t max;
    bool showHex;  // masks and register words read better in hex
    std::function<void(SimOptions&, uint64_t)> set;
};

const std::vector<NumberItem>& NumberItems() {
    static const std::vector<NumberItem> items = {
        {L"cards", 0, kSimMaxCards, false,
         [](SimOptions& o, uint64_t v) { o.cards = static_cast<int>(v); }},
        {L"devctl", 0, 0xFFFF, true,
         [](SimOptions& o, uint64_t v) { o.deviceControl = static_cast<uint16_t>(v); }},
        {L"hw", 0, 255, false,
         [](SimOptions& o, uint64_t v) { o.hardwareVersion = static_cast<uint8_t>(v); }},
        {L"fw", 0, 255, false,
         [](SimOptions& o, uint64_t v) { o.firmwareVersion = static_cast<uint8_t>(v); }},
        {L"seed", 0, UINT64_MAX, false, [](SimOptions& o, uint64_t v) { o.seed = v; }},
        {L"corrupt", 0, INT32_MAX, false,
         [](SimOptions& o, uint64_t v) { o.corruptBytes = static_cast<uint32_t>(v); }},
        {L"corrupt-every", 1, UINT32_MAX, false,
         [](SimOptions& o, uint64_t v) { o.corruptEvery = static_cast<uint32_t>(v); }},
        {L"aer-unc", 0, UINT32_MAX, true,
         [](SimOptions& o, uint64_t v) { o.aerUncorrectable = static_cast<uint32_t>(v); }},
        {L"aer-cor", 0, UINT32_MAX, true,
         [](SimOptions& o, uint64_t v) { o.aerCorrectable = static_cast<uint32_t>(v); }},
        {L"fail-read", 0, UINT32_MAX, false,
         [](SimOptions& o, uint64_t v) { o.failReadEvery = static_cast<uint32_t>(v); }},
        {L"fail-write", 0, UINT32_MAX, false,
         [](SimOptions& o, uint64_t v) { o.failWriteEvery = static_cast<uint32_t>(v); }},
        {L"short-read", 0, UINT32_MAX, false,
         [](SimOptions& o, uint64_t v) { o.shortReadEvery = static_cast<uint32_t>(v); }},
        {L"short-write", 0, UINT32_MAX, false,
         [](SimOptions& o, uint64_t v) { o.shortWriteEvery = static_cast<uint32_t>(v); }},
        {L"remove-after", 0, UINT64_MAX, false,
         [](SimOptions& o, uint64_t v) { o.removeAfterCalls = v; }},
        {L"only", 0, kSimMaxCards - 1, false,
         [](SimOptions& o, uint64_t v) { o.onlyCard = static_cast<int>(v); }},
        {L"stall", 0, kSimMaxStallMs, false,
         [](SimOptions& o, uint64_t v) { o.stallMs = static_cast<uint32_t>(v); }},
    };
    return items;
}

std::wstring Quoted(const std::wstring& name, const std::wstring& value) {
    return name + L" \"" + value + L"\": ";
}

std::wstring RangeText(const NumberItem& item) {
    wchar_t text[80];
    if (item.showHex) {
        std::swprintf(text, 80, L"0x%llX-0x%llX", static_cast<unsigned long long>(item.min),
                      static_cast<unsigned long long>(item.max));
    } else {
        std::swprintf(text, 80, L"%llu-%llu", static_cast<unsigned long long>(item.min),
                      static_cast<unsigned long long>(item.max));
    }
    return text;
}

// One item; false with the message in `error`.
bool ParseItem(const std::wstring& item, SimOptions& o, std::wstring* error) {
    const size_t eq = item.find(L'=');
    const std::wstring name = item.substr(0, eq);
    const bool hasValue = eq != std::wstring::npos;
    const std::wstring value = hasValue ? item.substr(eq + 1) : std::wstring();

    if (name == L"no-open" || name == L"bad-signature") {
        if (hasValue) {
            *error = name + L" takes no value (\"" + item + L"\")";
            return false;
        }
        (name == L"no-open" ? o.noOpen : o.badSignature) = true;
        return true;
    }
    if (name == L"link") {
        if (!ParseLinkText(value, kSimMaxLinkSpeed, &o.linkSpeed, &o.linkWidth)) {
            *error = Quoted(name, value) + kLinkExpectation;
            return false;
        }
        return true;
    }
    if (name == L"driver") {
        std::wstring problem;
        if (!hasValue) {
            *error = L"driver needs a value: driver=TEXT";
            return false;
        }
        if (!CheckDriverText(value, &problem)) {
            *error = Quoted(name, value) + problem;
            return false;
        }
        o.driverVersion = value;
        return true;
    }
    if (name == L"rate") {
        std::wstring lower;
        for (wchar_t c : value) lower += static_cast<wchar_t>(std::towlower(c));
        if (lower == L"unlimited") {
            o.rateUnlimited = true;
            o.rateMBps = 0.0;
            return true;
        }
        double rate = 0.0;
        if (!ParseRateText(value, kSimMaxRateMBps, &rate)) {
            *error = Quoted(name, value) +
                     L"expected unlimited or MB/s per direction above 0 and at most 1000000";
            return false;
        }
        o.rateUnlimited = false;
        o.rateMBps = rate;
        return true;
    }
    for (const NumberItem& n : NumberItems()) {
        if (name != n.name) continue;
        uint64_t v = 0;
        if (!ParseWhole(value, n.max, &v) || v < n.min) {
            *error = Quoted(name, value) + L"expected a number " + RangeText(n) +
                     L" (decimal or 0x hex)";
            return false;
        }
        n.set(o, v);
        return true;
    }
    *error = L"unknown item \"" + name + L"\": allowed are " + kAllowedItems;
    return false;
}

}  // namespace

bool ParseSimOptions(const std::wstring& text, SimOptions* out, std::wstring* error) {
    SimOptions parsed;
    std::wstring message;
    std::set<std::wstring> seen;
    bool ok = true;
    if (!text.empty()) {
        size_t begin = 0;
        while (ok) {
            const size_t comma = text.find(L',', begin);
            const std::wstring item = text.substr(begin, comma - begin);
            if (item.empty()) {
                message = L"empty item in \"" + text + L"\": items are separated by one comma";
                ok = false;
                break;
            }
            const std::wstring name = item.substr(0, item.find(L'='));
            if (!seen.insert(name).second) {
                message = L"item \"" + name + L"\" given twice";
                ok = false;
                break;
            }
            ok = ParseItem(item, parsed, &message);
            if (comma == std::wstring::npos) break;
            begin = comma + 1;
        }
    }
    if (ok && parsed.onlyCard >= parsed.cards) {
        message = L"only=" + std::to_wstring(parsed.onlyCard) + L": there is no card in slot " +
                  std::to_wstring(parsed.onlyCard) + L" (cards=" + std::to_wstring(parsed.cards) +
                  L")";
        ok = false;
    }
    if (!ok) {
        if (error) *error = message;
        return false;
    }
    if (out) *out = parsed;
    if (error) error->clear();
    return true;
}

bool ParseSimOptions(const std::string& text, SimOptions* out, std::string* error) {
    std::wstring wide;
    for (char c : text) {
        if (static_cast<unsigned char>(c) > 0x7F) {
            if (error) *error = "option text must be ASCII";
            return false;
        }
        wide += static_cast<wchar_t>(c);
    }
    std::wstring message;
    const bool ok = ParseSimOptions(wide, out, &message);
    if (error) {
        error->clear();
        for (wchar_t c : message)
            error->push_back(static_cast<uint32_t>(c) < 0x80 ? static_cast<char>(c) : '?');
    }
    return ok;
}

const wchar_t* SimOptionsUsage() {
    return L"cards=N               number of cards, 0-1024 (1)\n"
           L"link=genSxW           negotiated link, S 1-5, W 1,2,4,8,12,16,32 (gen4x4)\n"
           L"devctl=0xHHHH         Device Control (0x2030: 256-byte payload, 512-byte reads)\n"
           L"hw=N, fw=N            hardware and firmware version bytes, 0-255 (0x13, 0x15)\n"
           L"driver=TEXT           driver version text, up to 31 characters (1.4.2.0)\n"
           L"rate=MBPS|unlimited   MB/s per direction (what the link carries)\n"
           L"seed=N                seed of the fault generator (1)\n"
           L"corrupt=N             wrong bytes in a loopback read-back (0)\n"
           L"corrupt-every=K       ... in every K-th read-back only (1)\n"
           L"aer-unc=M, aer-cor=M  AER status bits reported after every transfer (0)\n"
           L"fail-read=K, fail-write=K    every K-th transfer of a channel fails (off)\n"
           L"short-read=K, short-write=K  every K-th transfer of a channel is short (off)\n"
           L"remove-after=N        from a card's N-th driver call on, the card is gone (off)\n"
           L"no-open               the card's files cannot be opened\n"
           L"bad-signature         the card's signature bytes 2 and 3 come back swapped\n"
           L"only=I                faults apply to the card in slot I alone (every card)\n"
           L"stall=MS              the first transfer after each open blocks MS ms (0)\n";
}

#include "engine/config_values.h"

#include <limits>

namespace config {

namespace {

// The blanks the C library's isspace knows in the "C" locale.
bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

}  // namespace

int32_t ParseLeadingInteger(const wchar_t* text, size_t maxChars) {
    if (!text) return 0;
    size_t i = 0;
    while (i < maxChars && text[i] != L'\0' && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < maxChars && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    // Accumulate the magnitude in 64 bits and stop growing it once it has passed the 32-bit
    // range: the rest of the digits cannot bring it back, and this keeps "99999999999..." of
    // any length well defined.
    constexpr int64_t kLimit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    int64_t magnitude = 0;
    for (; i < maxChars && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        if (magnitude <= kLimit) magnitude = magnitude * 10 + (text[i] - L'0');
    }
    if (negative) {
        return magnitude >= kLimit ? std::numeric_limits<int32_t>::min()
                                   : static_cast<int32_t>(-magnitude);
    }
    return magnitude >= kLimit ? std::numeric_limits<int32_t>::max()
                               : static_cast<int32_t>(magnitude);
}

int32_t ClampLoadPercent(int32_t value) {
    if (value < kMinLoadPercent) return kMinLoadPercent;
    if (value > kMaxLoadPercent) return kMaxLoadPercent;
    return value;
}

bool ConstantPatternValueValid(int32_t value) {
    return static_cast<uint32_t>(value) <= kMaxConstantPatternValue;
}

uint8_t ConstantPatternByte(int32_t value) {
    return static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFFu);
}

int BlockSizeEntry(uint32_t blockMB) {
    int entry = -1;
    for (; blockMB != 0; blockMB >>= 1) ++entry;
    return entry;
}

uint32_t BlockSizeMB(int entry) {
    if (entry < 0) return 0;    // 2^-1 and below truncate to 0
    if (entry >= 32) return 0;  // past any block a 32-bit field holds; the list has 7 entries
    return uint32_t{1} << entry;
}

}  // namespace config

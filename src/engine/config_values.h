// The arithmetic of the configuration dialog that does not need a window: reading a number
// out of an edit's text the way the C library's decimal string-to-integer conversion does,
// the load clamp, the constant pattern's range, and the block size list.
#pragma once

#include <cstddef>
#include <cstdint>

namespace config {

inline constexpr int32_t kMinLoadPercent = 1;
inline constexpr int32_t kMaxLoadPercent = 100;
inline constexpr uint32_t kMaxConstantPatternValue = 255;
// The block size list: 1MB, 2MB, ... 64MB, one entry per power of two.
inline constexpr int kBlockSizeEntries = 7;

// Reads at most `maxChars` characters of `text` (less if it ends sooner): blanks are
// skipped, then an optional sign, then decimal digits up to the first other character; no
// digits gives 0. A number beyond the 32-bit range saturates at INT32_MAX or INT32_MIN, as
// the Windows C library's conversion does, instead of overflowing.
int32_t ParseLeadingInteger(const wchar_t* text, size_t maxChars);

// The load edit's range when it loses the focus: below 1 becomes 1, above 100 becomes 100.
int32_t ClampLoadPercent(int32_t value);

// The constant pattern edit takes the number as unsigned: a negative number is a huge one
// and out of range like anything above 255.
bool ConstantPatternValueValid(int32_t value);
// What "OK" stores of that number: its low 8 bits.
uint8_t ConstantPatternByte(int32_t value);

// The list entry that shows `blockMB` (its base-2 logarithm, rounded down); -1 for 0, which
// has no entry. Entries past the list select nothing.
int BlockSizeEntry(uint32_t blockMB);
// The block size of a list entry: 2 to the power of the entry, truncated to an integer, so
// "no selection" (-1) gives 0.
uint32_t BlockSizeMB(int entry);

}  // namespace config

// The card table: the device interface paths found by the scan, in discovery order, and
// the index of the card chosen in the device list. A card is known everywhere by its slot.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

inline constexpr int kMaxCards = 64;
inline constexpr size_t kDisplayNameChars = 256;

// 64 slots; an empty string is an empty slot. Written only on the main thread (scan,
// release at exit); test threads read one slot when they start.
extern std::wstring CardList[kMaxCards];

// Index of the chosen card; -1 until a scan finds one. Test threads get its address and read
// it once at their start.
extern std::atomic<int32_t> selectedCard;

// Paths of every present card, in enumeration order (empty when none, or when the
// enumeration cannot start).
std::vector<std::wstring> DiscoverCards();

// Copies the paths into the card table, slot i from entry i; entries beyond slot 63 are
// not kept.
void StoreCardPaths(const std::vector<std::wstring>& paths);

// Empties every slot (the main window's destruction).
void ReleaseCardList();

// Writes "PCIe-%d, Windows ID:%s" (the text from the last "{" of the path) or "PCIe-%d"
// into `name` (capacity `chars`, at least 1, always NUL-terminated, cut to fit). An empty
// slot or an index outside 0-63 gives the empty string.
void CardDisplayName(wchar_t* name, size_t chars, int index);
std::wstring CardDisplayName(int index);

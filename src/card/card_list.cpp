#include "card/card_list.h"

#include <cwchar>

#include "card/card_driver.h"

std::wstring CardList[kMaxCards];
std::atomic<int32_t> selectedCard{-1};

std::vector<std::wstring> DiscoverCards() {
    return ActiveCardDriver().EnumerateInterfaces(CARD_INTERFACE_GUID);
}

void StoreCardPaths(const std::vector<std::wstring>& paths) {
    for (size_t i = 0; i < paths.size() && i < kMaxCards; ++i) CardList[i] = paths[i];
}

void ReleaseCardList() {
    for (auto& slot : CardList) std::wstring().swap(slot);
}

void CardDisplayName(wchar_t* name, size_t chars, int index) {
    if (chars == 0) return;
    name[0] = L'\0';
    if (index < 0 || index >= kMaxCards || CardList[index].empty()) return;
    const std::wstring& path = CardList[index];
    std::wstring text = L"PCIe-" + std::to_wstring(index);
    const size_t brace = path.rfind(L'{');
    if (brace != std::wstring::npos) text += L", Windows ID:" + path.substr(brace);
    // A very long Windows ID is cut to the buffer; the slot number always survives.
    const size_t n = text.size() < chars - 1 ? text.size() : chars - 1;
    std::wmemcpy(name, text.data(), n);
    name[n] = L'\0';
}

std::wstring CardDisplayName(int index) {
    wchar_t name[kDisplayNameChars];
    CardDisplayName(name, kDisplayNameChars, index);
    return name;
}

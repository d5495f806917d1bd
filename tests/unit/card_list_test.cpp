#include "card/card_list.h"

#include <gtest/gtest.h>

namespace {

class CardListTest : public ::testing::Test {
protected:
    void TearDown() override { ReleaseCardList(); }
};

TEST_F(CardListTest, NamesCarryTheWindowsIdFromTheLastBrace) {
    StoreCardPaths({L"\\\\?\\pci#ven_1e0f#{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}",
                    L"no-brace-here", L"a{first}b{second}"});
    EXPECT_EQ(CardDisplayName(0), L"PCIe-0, Windows ID:{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}");
    EXPECT_EQ(CardDisplayName(1), L"PCIe-1");
    EXPECT_EQ(CardDisplayName(2), L"PCIe-2, Windows ID:{second}");
    EXPECT_EQ(CardDisplayName(3), L"");
    EXPECT_EQ(CardDisplayName(-1), L"");
    EXPECT_EQ(CardDisplayName(64), L"");
}

TEST_F(CardListTest, KeepsOnlySixtyFourCards) {
    std::vector<std::wstring> paths;
    for (int i = 0; i < 65; ++i) paths.push_back(L"card{" + std::to_wstring(i) + L"}");
    StoreCardPaths(paths);
    EXPECT_EQ(CardList[63], L"card{63}");
    EXPECT_EQ(CardDisplayName(63), L"PCIe-63, Windows ID:{63}");
}

TEST_F(CardListTest, LongPathIsCutToTheBufferKeepingTheSlotNumber) {
    StoreCardPaths({L"x{" + std::wstring(1000, L'a') + L"}"});
    wchar_t name[kDisplayNameChars];
    CardDisplayName(name, kDisplayNameChars, 0);
    EXPECT_EQ(std::wcslen(name), kDisplayNameChars - 1);
    EXPECT_EQ(std::wstring(name).rfind(L"PCIe-0, Windows ID:{aaa", 0), 0u);
}

}  // namespace

#include "card/card_list.h"

#include <gtest/gtest.h>

#include "card/card_driver.h"
#include "sim/simulated_card_driver.h"

namespace {

class CardListTest : public ::testing::Test {
  protected:
    void TearDown() override {
        ReleaseCardList();
        UseCardDriver(nullptr);
    }

    // Discovery over `cards` simulated cards.
    static std::vector<std::wstring> Discover(int cards) {
        SimOptions options;
        options.cards = cards;
        SimulatedCardDriver driver(options);
        UseCardDriver(&driver);
        auto paths = DiscoverCards();
        UseCardDriver(nullptr);
        return paths;
    }
};

TEST_F(CardListTest, NamesCarryTheWindowsIdFromTheLastBrace) {
    StoreCardPaths({L"\\\\?\\pci#ven_1e0f#{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}", L"no-brace-here",
                    L"a{first}b{second}"});
    EXPECT_EQ(CardDisplayName(0), L"PCIe-0, Windows ID:{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}");
    EXPECT_EQ(CardDisplayName(1), L"PCIe-1");
    EXPECT_EQ(CardDisplayName(2), L"PCIe-2, Windows ID:{second}");
    EXPECT_EQ(CardDisplayName(3), L"");
    EXPECT_EQ(CardDisplayName(-1), L"");
}

TEST_F(CardListTest, LongPathIsCutToTheBufferKeepingTheSlotNumber) {
    StoreCardPaths({L"x{" + std::wstring(1000, L'a') + L"}"});
    wchar_t name[kDisplayNameChars];
    CardDisplayName(name, kDisplayNameChars, 0);
    EXPECT_EQ(std::wcslen(name), kDisplayNameChars - 1);
    EXPECT_EQ(std::wstring(name).rfind(L"PCIe-0, Windows ID:{aaa", 0), 0u);
}

TEST_F(CardListTest, DiscoveryFindsEveryCardAndTheTableKeepsSixtyFour) {
    const auto paths = Discover(65);
    ASSERT_EQ(paths.size(), 65u);
    StoreCardPaths(paths);
    EXPECT_EQ(CardList[63], paths[63]);
    EXPECT_EQ(CardDisplayName(63), L"PCIe-63, Windows ID:{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}");
    EXPECT_EQ(CardDisplayName(64), L"");
}

TEST_F(CardListTest, NoCardLeavesTheTableAsItWas) {
    StoreCardPaths({L"kept{1}"});
    const auto paths = Discover(0);
    EXPECT_TRUE(paths.empty());
    StoreCardPaths(paths);
    EXPECT_EQ(CardList[0], L"kept{1}");
}

}  // namespace

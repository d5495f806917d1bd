#include "card/card_info.h"

#include "engine_world.h"

namespace {

class CardInfoTest : public EngineWorld {};

TEST_F(CardInfoTest, ScanListsEveryCardAndDescribesTheFirst) {
    UseCards("cards=2,link=gen4x8,devctl=0x2810,hw=5,fw=0x1f,driver=2.0.1");
    ReleaseCardList();
    selectedCard = -1;
    TestSettings.detailedLogging = true;
    InitialScan();

    EXPECT_EQ(selectedCard, 0);
    EXPECT_EQ(port.SelectedDevice(), 0);
    EXPECT_EQ(Texts(), (std::vector<std::wstring>{
                           L"Initial PCIe device scan",
                           CardDisplayName(0),
                           CardDisplayName(1),
                           L"Card Hardware Version: 1.5",
                           L"Card Firmware Version: 1.15",
                           L"Device Driver Version: 2.0.1",
                           L"Link Speed: Gen4",
                           L"Link Width: x8",
                           L"Max Payload Size: 128 bytes",
                           L"Max Read Request Size: 512 bytes",
                       }));
    EXPECT_TRUE(Has(L"Initial PCIe device scan", kLogDiagnostics));
    EXPECT_EQ(Texts(kLogInformation).size(), 9u);
    EXPECT_EQ(driver->OpenFileCount(), 0);  // the scan leaves the card closed
}

TEST_F(CardInfoTest, ACardThatWillNotOpenShowsTheLastGoodValues) {
    UseCards("cards=2,link=gen3x2,only=1,no-open");
    ShowCardInformation(CardList[0]);
    theLog.load()->Clear();
    ShowCardInformation(CardList[1]);
    const auto texts = Texts();
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[2], L"Device Driver Version: ");  // the request failed: empty
    EXPECT_EQ(texts[3], L"Link Speed: Gen3");         // stale, from card 0
    EXPECT_EQ(texts[4], L"Link Width: x2");
}

TEST_F(CardInfoTest, SelectionOutsideTheTableOrOfAnEmptySlotDescribesNothing) {
    UseCards("cards=3");
    selectedCard = 2;
    for (int bad : {-1, 64, 5}) {
        port.SetSelectedDevice(bad);
        OnDeviceSelected();
        EXPECT_EQ(selectedCard, 2);
    }
    EXPECT_TRUE(Texts().empty());
}

}  // namespace

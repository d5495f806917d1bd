#include "card/card_info.h"

#include "engine_world.h"

namespace {

class CardInfoTest : public EngineWorld {};

TEST_F(CardInfoTest, ScanListsEveryCardAndDescribesTheFirst) {
    UseCards("cards=2,link=gen4x8,devctl=0x2810,hw=5,fw=0x1f,driver=2.0.1");
    ReleaseCardList();
    selectedCard = -1;
    InitialScan();

    EXPECT_EQ(port.DeviceEntries(), (std::vector<std::wstring>{CardDisplayName(0),
                                                              CardDisplayName(1)}));
    EXPECT_EQ(port.SelectCalls(), std::vector<int>{0});
    EXPECT_EQ(selectedCard, 0);
    EXPECT_FALSE(CardList[1].empty());
    const std::vector<std::wstring> expected = {
        CardDisplayName(0),
        CardDisplayName(1),
        L"Card Hardware Version: 1.5",
        L"Card Firmware Version: 1.15",
        L"Device Driver Version: 2.0.1",
        L"Link Speed: Gen4",
        L"Link Width: x8",
        L"Max Payload Size: 128 bytes",
        L"Max Read Request Size: 512 bytes",
    };
    EXPECT_EQ(AllTexts(), expected);
    EXPECT_EQ(Texts(kLogInformation).size(), expected.size());
    EXPECT_EQ(driver->OpenFileCount(), 0);  // the scan leaves the card closed
}

TEST_F(CardInfoTest, DetailedLoggingAnnouncesTheScan) {
    UseCards("");
    TestSettings.detailedLogging = true;
    InitialScan();
    ASSERT_FALSE(AllTexts().empty());
    EXPECT_EQ(AllTexts()[0], L"Initial PCIe device scan");
    EXPECT_EQ(Records()[0].category, kLogDiagnostics);
}

TEST_F(CardInfoTest, NoCardShowsTheMessageThenLogsTheError) {
    UseCards("cards=0");
    selectedCard = -1;
    InitialScan();
    ASSERT_EQ(port.Messages().size(), 1u);
    EXPECT_EQ(port.Messages()[0].text, kNoCardsMessage);
    EXPECT_EQ(port.Messages()[0].caption, L"Brixlane Error");
    EXPECT_EQ(port.Messages()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(AllTexts(), std::vector<std::wstring>{L"No Korvenix PCIe test cards have been detected."});
    EXPECT_EQ(Records()[0].category, kLogError);
    EXPECT_TRUE(port.DeviceEntries().empty());
    EXPECT_EQ(selectedCard, -1);
}

TEST_F(CardInfoTest, ACardThatWillNotOpenShowsTheLastGoodValues) {
    UseCards("cards=2,link=gen3x2,only=1,no-open");
    ShowCardInformation(CardList[0]);
    theLog.load()->Clear();
    ShowCardInformation(CardList[1]);
    const auto texts = AllTexts();
    ASSERT_EQ(texts.size(), 7u);
    EXPECT_EQ(texts[2], L"Device Driver Version: ");  // the request failed: empty
    EXPECT_EQ(texts[3], L"Link Speed: Gen3");          // stale, from card 0
    EXPECT_EQ(texts[4], L"Link Width: x2");
}

TEST_F(CardInfoTest, SelectingADifferentCardDescribesItOnce) {
    UseCards("cards=3");
    selectedCard = 0;
    port.SetSelectedDevice(0);
    OnDeviceSelected();
    EXPECT_TRUE(AllTexts().empty());  // already selected: nothing

    port.SetSelectedDevice(2);
    OnDeviceSelected();
    EXPECT_EQ(selectedCard, 2);
    EXPECT_EQ(AllTexts().size(), 7u);

    for (int bad : {-1, 64, 5}) {  // outside the table, or an empty slot
        port.SetSelectedDevice(bad);
        OnDeviceSelected();
        EXPECT_EQ(selectedCard, 2);
    }
    EXPECT_EQ(AllTexts().size(), 7u);
}

}  // namespace

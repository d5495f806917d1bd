#include "engine/card_scan.h"

#include "engine_world.h"

namespace {

using Lines = std::vector<std::wstring>;
class CardInfoTest : public EngineWorld {};

TEST_F(CardInfoTest, ScanListsEveryCardDescribesTheFirstAndNamesACardThatWillNotOpen) {
    // Version bytes above four carry a major version of 1.
    UseCards("cards=2,link=gen4x8,devctl=0x2810,hw=4,fw=0x1f,driver=2.0.1");
    ReleaseCardList();
    selectedCard = -1;
    TestSettings.detailedLogging = true;
    InitialScan();
    EXPECT_EQ(std::make_pair(selectedCard.load(), port.SelectedDevice()), std::make_pair(0, 0));
    EXPECT_EQ(Texts(),
              (Lines{L"Initial PCIe device scan", CardDisplayName(0), CardDisplayName(1),
                     L"Card Hardware Version: 0.4", L"Card Firmware Version: 1.15",
                     L"Device Driver Version: 2.0.1", L"Link Speed: Gen4", L"Link Width: x8",
                     L"Max Payload Size: 128 bytes", L"Max Read Request Size: 512 bytes"}));
    EXPECT_TRUE(Has(L"Initial PCIe device scan", kLogDiagnostics));
    EXPECT_EQ(std::make_pair(Texts(kLogInformation).size(), driver->OpenFileCount()),
              std::make_pair(size_t{9}, 0));  // the scan leaves the card closed

    const std::pair<const char*, const wchar_t*> cases[] = {
        {"no-open", L"The card could not be opened."},
        {"bad-signature", L"The card's signature is wrong."}};
    for (const auto& [fault, record] : cases) {
        SCOPED_TRACE(fault);
        UseCards(std::string("cards=2,link=gen3x2,only=1,") + fault);
        ShowCardInformation(CardList[0]);
        theLog.load()->Clear();
        const CardFacts facts = ShowCardInformation(CardList[1]);
        EXPECT_EQ(Texts(kLogError), Lines{record});
        EXPECT_EQ(Texts().size(), 1u);
        // The panel shows no link, not card 0's.
        EXPECT_TRUE(facts.linkStatus == 0 && facts.hardwareVersion.empty());
        EXPECT_EQ(std::make_pair(LastOpenedLink().speed, driver->OpenFileCount()),
                  std::make_pair(decltype(LastOpenedLink().speed){0}, 0));
    }
}

TEST_F(CardInfoTest, SelectionOutsideTheTableDescribesNothingAndNamesCarryTheWindowsId) {
    UseCards("cards=3");
    selectedCard = 2;
    for (int bad : {-1, 64, 5}) {
        port.SetSelectedDevice(bad);
        OnDeviceSelected();
    }
    EXPECT_TRUE(selectedCard == 2 && Texts().empty());
    // Names carry the Windows ID from the last brace.
    StoreCardPaths({L"\\\\?\\pci#ven_1e0f#{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}", L"no-brace-here",
                    L"a{first}b{second}", L"x{" + std::wstring(1000, L'a') + L"}"});
    EXPECT_EQ(CardDisplayName(0), L"PCIe-0, Windows ID:{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}");
    EXPECT_EQ(CardDisplayName(1) + L"|" + CardDisplayName(2),
              L"PCIe-1|PCIe-2, Windows ID:{second}");
    EXPECT_EQ(CardDisplayName(4) + CardDisplayName(-1) + CardDisplayName(64), L"");
    // A long path is cut to the buffer, keeping the slot number.
    wchar_t name[kDisplayNameChars];
    CardDisplayName(name, kDisplayNameChars, 3);
    EXPECT_EQ(std::wcslen(name), kDisplayNameChars - 1);
    EXPECT_EQ(std::wstring(name).rfind(L"PCIe-3, Windows ID:{aaa", 0), 0u);
    // A name exactly as long as the buffer loses its last character to the NUL, and nothing
    // past the buffer is written.
    for (size_t chars : {6, 7}) {
        wchar_t shortName[8] = {L'#', L'#', L'#', L'#', L'#', L'#', L'#', L'#'};
        CardDisplayName(shortName, chars, 1);
        EXPECT_EQ(std::wstring(shortName), chars == 6 ? L"PCIe-" : L"PCIe-1");
        EXPECT_EQ(shortName[7], L'#');
    }
}

}  // namespace

#include "engine/card_scan.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <iterator>

#include "card/card_connection.h"
#include "card/card_list.h"
#include "engine/log_line.h"
#include "engine/main_window_port.h"
#include "engine/test_settings.h"
#include "log/logger.h"

void AddCardEntry(int index) {
    wchar_t name[kDisplayNameChars];
    CardDisplayName(name, kDisplayNameChars, index);
    LogAdd(name, kLogInformation);
    Port().AddDeviceEntry(name);
}

namespace {

std::atomic<uint16_t> lastOpenedLinkStatus{0};

// The driver's text ends at the first NUL or after the 32 UTF-16 units the 64-byte record
// holds. Decoded by hand, as wchar_t is 32 bits on Linux.
std::wstring DriverVersionText(const uint8_t (&record)[kDriverVersionBytes]) {
    std::wstring text;
    for (size_t i = 0; i + 1 < kDriverVersionBytes; i += 2) {
        const wchar_t unit = static_cast<wchar_t>(record[i] | (record[i + 1] << 8));
        if (unit == 0) break;
        text += unit;
    }
    return text;
}

}  // namespace

LinkShape LastOpenedLink() {
    const uint16_t status = lastOpenedLinkStatus;
    return {LinkSpeed(status), LinkWidth(status)};
}

void PublishLinkStatus(uint16_t linkStatus) { lastOpenedLinkStatus = linkStatus; }

CardOpen OpenTheCard(const std::wstring& path) {
    const CardOpen open = theCard.Open(path)         ? CardOpen::Opened
                          : theCard.signatureRefused ? CardOpen::SignatureRefused
                                                     : CardOpen::Failed;
    PublishLinkStatus(open == CardOpen::Opened ? LinkStatus(theCard.linkRecord) : 0);
    return open;
}

std::wstring OpenCardForRun(int32_t index, LogCategory category, CardOpen* open) {
    // The path is copied now: the card table may be released while a late thread still runs.
    const std::wstring path = index >= 0 && index < kMaxCards ? CardList[index] : std::wstring();
    *open = OpenTheCard(path);
    wchar_t device[kDisplayNameChars];
    CardDisplayName(device, kDisplayNameChars, index);
    LogAddFormatted(L"Testing device %ls", device, category);
    return device;
}

CardFacts ShowCardInformation(const std::wstring& path) {
    CardFacts facts;
    facts.open = OpenTheCard(path);
    // After a failed open theCard still holds the previous card's versions and link, and
    // zeros would read as real values ("Max Payload Size: 128 bytes"): name the failure.
    if (facts.open != CardOpen::Opened) {
        LogAdd(
            facts.open == CardOpen::SignatureRefused ? kSignatureWrongRecord : kCardNotOpenedRecord,
            kLogError);
        return facts;
    }

    wchar_t hardware[8];
    wchar_t firmware[8];
    theCard.FormatVersions(hardware, firmware);
    uint8_t version[kDriverVersionBytes] = {};
    if (!theCard.GetDriverVersion(version)) std::fill(std::begin(version), std::end(version), 0);
    facts.hardwareVersion = hardware;
    facts.firmwareVersion = firmware;
    facts.driverVersion = DriverVersionText(version);
    facts.linkStatus = LinkStatus(theCard.linkRecord);
    facts.deviceControl = DeviceControl(theCard.linkRecord);
    facts.linkSpeed = LinkSpeed(facts.linkStatus);
    facts.linkWidth = LinkWidth(facts.linkStatus);
    facts.maxPayloadBytes = MaxPayloadBytes(facts.deviceControl);
    facts.maxReadRequestBytes = MaxReadRequestBytes(facts.deviceControl);

    LogLine(kLogInformation, L"Card Hardware Version: %ls", hardware);
    LogLine(kLogInformation, L"Card Firmware Version: %ls", firmware);
    LogLine(kLogInformation, L"Device Driver Version: %ls", facts.driverVersion.c_str());
    LogLine(kLogInformation, L"Link Speed: Gen%d", facts.linkSpeed);
    LogLine(kLogInformation, L"Link Width: x%d", facts.linkWidth);
    LogLine(kLogInformation, L"Max Payload Size: %d bytes", facts.maxPayloadBytes);
    LogLine(kLogInformation, L"Max Read Request Size: %d bytes", facts.maxReadRequestBytes);
    theCard.Close();
    return facts;
}

void ReportNoCards() {
    Port().ShowMessage(kNoCardsMessage, kErrorCaption, MessageIcon::Exclamation);
    LogAdd(kNoCardsRecord, kLogError);
}

void InitialScan() {
    if (TestSettings.detailedLogging) LogAdd(L"Initial PCIe device scan", kLogDiagnostics);
    const std::vector<std::wstring> paths = DiscoverCards();
    StoreCardPaths(paths);
    if (paths.empty()) {
        ReportNoCards();
        return;
    }
    // Every card kept gets its entry, entry i for slot i, so that any of them can be chosen;
    // only the first is described, as it is the one selected.
    const int kept = paths.size() < kMaxCards ? static_cast<int>(paths.size()) : kMaxCards;
    for (int i = 0; i < kept; ++i) AddCardEntry(i);
    Port().SelectDevice(0);
    selectedCard = 0;
    ShowCardInformation(CardList[0]);
}

void OnDeviceSelected() {
    const int index = Port().SelectedDevice();
    if (index == selectedCard || index < 0 || index >= kMaxCards) return;
    if (CardList[index].empty()) return;
    selectedCard = index;
    ShowCardInformation(CardList[index]);
}

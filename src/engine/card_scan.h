// The initial scan and the card information lines: which cards are present, the device-list
// entries, and each card's versions and link, written to the event log and handed back as a
// CardFacts value, so that nobody needs to read theCard while a run may own it.
#pragma once

#include <cstdint>
#include <string>

#include "log/log_category.h"

enum class CardOpen { Opened, Failed, SignatureRefused };

struct CardFacts {
    int slot = -1;      // filled by whoever knows the slot
    std::wstring name;  // likewise: the display name
    CardOpen open = CardOpen::Failed;
    // Zeros and empty texts after a failed open: theCard then still holds another card's.
    std::wstring hardwareVersion;  // "1.3", as the information lines print it
    std::wstring firmwareVersion;
    std::wstring driverVersion;
    uint16_t linkStatus = 0;  // 0: no card has opened, the link is unknown
    uint32_t deviceControl = 0;
    int linkSpeed = 0;  // PCIe generation
    int linkWidth = 0;  // lanes
    int maxPayloadBytes = 0;
    int maxReadRequestBytes = 0;
};

// Scans for cards: fills the card table, gives every card found a device-list entry (entry i
// for slot i), selects the first, logs its seven information lines; or reports no card.
void InitialScan();
// Logs the card's display name and appends it to the device list.
void AddCardEntry(int index);
// Opens theCard on the path, logs the seven information lines, closes theCard; returns what
// the lines show. A card that does not open gets one ERROR record naming why instead.
CardFacts ShowCardInformation(const std::wstring& path);
// Opens theCard on the path and publishes its link for the panel: no link when it failed.
CardOpen OpenTheCard(const std::wstring& path);
// The device list's selection changed: a different card gets selectedCard and its lines.
void OnDeviceSelected();
// The no-card message box, then its ERROR record.
void ReportNoCards();

// The link of the card last opened, by the scan or a test thread; the results panel picks its
// chart scale from it on the main thread while a test thread owns theCard.
struct LinkShape {
    int speed = 0;  // PCIe generation
    int width = 0;  // lanes
};
LinkShape LastOpenedLink();
// Called by whoever has just opened theCard, with what its link record now holds.
void PublishLinkStatus(uint16_t linkStatus);

// A test thread's start on its card: opens theCard on slot `index` (how the open went goes to
// `open`; a failed one is the run's to find out), publishes its link and logs "Testing device
// ..." in `category`. Returns the card's display name.
std::wstring OpenCardForRun(int32_t index, LogCategory category, CardOpen* open);

inline constexpr const wchar_t* kNoCardsMessage =
    L"No Korvenix PCIe Gen4 test cards have been detected.\n\nPlease check you have "
    L"installed:\n- a Korvenix PCIe Gen 4 test card and\n- the latest Korvenix PCIe test card "
    L"device drivers.\n";
inline constexpr const wchar_t* kNoCardsRecord = L"No Korvenix PCIe test cards have been detected.";
inline constexpr const wchar_t* kErrorCaption = L"Brixlane Error";
inline constexpr const wchar_t* kCardNotOpenedRecord = L"The card could not be opened.";
inline constexpr const wchar_t* kSignatureWrongRecord = L"The card's signature is wrong.";

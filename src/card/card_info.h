// The initial scan and the card information lines: which cards are present, the device-list
// entries, and each card's versions and link written to the event log.
#pragma once

#include <string>

// Scans for cards: fills the card table, gives every card found a device-list entry (entry i
// for slot i), selects the first, logs its seven information lines; or reports no card.
void InitialScan();
// Logs the card's display name and appends it to the device list.
void AddCardEntry(int index);
// Opens theCard on the path, logs the seven information lines, closes theCard.
void ShowCardInformation(const std::wstring& path);
// The device list's selection changed: a different card gets selectedCard and its lines.
void OnDeviceSelected();
// The no-card message box, then its ERROR record.
void ReportNoCards();

inline constexpr const wchar_t* kNoCardsMessage =
    L"No Korvenix PCIe Gen4 test cards have been detected.\n\nPlease check you have "
    L"installed:\n- a Korvenix PCIe Gen 4 test card and\n- the latest Korvenix PCIe test card "
    L"device drivers.\n";
inline constexpr const wchar_t* kNoCardsRecord = L"No Korvenix PCIe test cards have been detected.";
inline constexpr const wchar_t* kErrorCaption = L"Brixlane Error";

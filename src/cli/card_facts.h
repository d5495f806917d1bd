// CardFacts: what the results say about the card tested: its slot and display name, the
// versions and the link as the scan's information lines showed them.
#pragma once

#include <cstdint>
#include <string>

struct CardFacts {
    int slot = -1;
    std::wstring name;
    std::wstring hardwareVersion;  // "1.3", as the information lines print it
    std::wstring firmwareVersion;
    std::wstring driverVersion;
    uint16_t linkStatus = 0;  // 0: the card did not open, its link is unknown
    uint32_t deviceControl = 0;
};

// Right after ShowCardInformation for `slot`: theCard still holds the versions and link it
// read (it keeps them when it closes), and the driver's text is in the newest "Device Driver
// Version: " record. Read from there rather than by opening the card a second time, which a
// simulated card counting its driver calls would notice.
CardFacts CollectCardFacts(int slot);

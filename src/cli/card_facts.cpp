#include "cli/card_facts.h"

#include <string_view>

#include "card/card_connection.h"
#include "card/card_list.h"
#include "log/logger.h"

namespace {

constexpr std::wstring_view kDriverVersionPrefix = L"Device Driver Version: ";
// The seven information lines are the newest records; look no further back than that.
constexpr int kInformationLines = 7;

}  // namespace

CardFacts CollectCardFacts(int slot) {
    CardFacts facts;
    facts.slot = slot;
    facts.name = CardDisplayName(slot);
    wchar_t hardware[8];
    wchar_t firmware[8];
    theCard.FormatVersions(hardware, firmware);
    facts.hardwareVersion = hardware;
    facts.firmwareVersion = firmware;
    facts.linkStatus = LinkStatus(theCard.linkRecord);
    facts.deviceControl = DeviceControl(theCard.linkRecord);
    if (Logger* log = theLog.load()) {
        LogRecord record;
        for (int i = -1; i >= -kInformationLines; --i) {
            if (!log->CopyRecord(i, &record)) break;
            const std::wstring_view text = record.text;
            if (text.substr(0, kDriverVersionPrefix.size()) == kDriverVersionPrefix) {
                facts.driverVersion = text.substr(kDriverVersionPrefix.size());
                break;
            }
        }
    }
    return facts;
}

// The simulated card's option text, as anyone may type it after --simulate=: the parser must
// accept or refuse it whole, with a message naming the bad item, and never misbehave.
#include <cstdlib>

#include "sim/sim_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text(data, data + size);
    SimOptions o;
    o.cards = -12345;  // a sentinel: a refused text must leave the options untouched
    std::wstring error;
    if (!ParseSimOptions(text, &o, &error)) {
        if (o.cards != -12345 || error.empty()) std::abort();
    } else if (o.cards < 0 || o.cards > kSimMaxCards || o.linkSpeed < 1 ||
               o.linkSpeed > kSimMaxLinkSpeed || o.driverVersion.size() > kSimMaxDriverTextUnits ||
               o.stallMs > kSimMaxStallMs ||
               (!o.rateUnlimited && !(o.rateMBps >= 0 && o.rateMBps <= kSimMaxRateMBps))) {
        std::abort();  // what is accepted is within the ranges the driver relies on
    }
    return 0;
}

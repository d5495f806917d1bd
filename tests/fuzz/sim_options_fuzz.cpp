// The simulated card's option text, as anyone may type it after --simulate=: the parser must
// accept or refuse it whole, with a message naming the bad item, and never misbehave.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sim/sim_options.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string narrow(reinterpret_cast<const char*>(data), size);
    std::wstring wide;
    for (unsigned char c : narrow) wide += static_cast<wchar_t>(c);

    SimOptions options;
    options.cards = -12345;  // a sentinel: a refused text must leave the options untouched
    std::wstring error;
    if (ParseSimOptions(wide, &options, &error)) {
        if (!error.empty() && error.size() > 100000) std::abort();
        // What is accepted is within the ranges the driver relies on.
        if (options.cards < 0 || options.cards > kSimMaxCards) std::abort();
        if (options.linkSpeed < 1 || options.linkSpeed > kSimMaxLinkSpeed) std::abort();
        if (options.driverVersion.size() > kSimMaxDriverTextUnits) std::abort();
        if (options.stallMs > kSimMaxStallMs) std::abort();
        if (!options.rateUnlimited && !(options.rateMBps >= 0 && options.rateMBps <= kSimMaxRateMBps)) {
            std::abort();
        }
    } else {
        if (options.cards != -12345) std::abort();
        if (error.empty()) std::abort();
    }
    return 0;
}

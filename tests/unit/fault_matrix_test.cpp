// Every fault the simulated card can inject, through both tests, with and without
// stopOnError: each run ends within its bound, tells the truth in its outcome and summary,
// leaves the card closed and the window idle.
#include <cctype>
#include <cstdio>

#include "engine/error_status.h"
#include "engine_world.h"

namespace {

// Simulated-card options, whether the loopback passes, whether the benchmark has failed
// transfers.
struct Case {
    std::string options;
    bool loopbackPasses, benchmarkFails, benchmark = false, stopOnError = false;
};

std::vector<Case> Cases() {
    std::vector<Case> cells = {
        {"", true, false},
        {"corrupt=3", false, false},  // the benchmark never verifies data
        {"corrupt=1,corrupt-every=4", false, false},
        {"fail-read=3", false, true},
        {"fail-write=3", false, true},
        {"short-read=3", false, true},
        {"short-write=3", false, true},
        {"remove-after=5", false, true},    // gone while opening
        {"remove-after=30", false, true},   // gone right after opening
        {"remove-after=120", false, true},  // gone in the middle of the run
        {"no-open", false, true},
        {"bad-signature", false, true},
        {"cards=0", false, true},  // no card in the slot: nothing opens
        {"cards=65", true, false},
        {"cards=2,only=1,fail-write=1", true, false},        // the fault is on another card
        {"aer-unc=0x80020,aer-cor=0x2000000", true, false},  // bits the test does not count
    };
    for (const ErrorStatusBit& bit : kErrorStatusBits) {
        char mask[16];
        std::snprintf(mask, sizeof mask, "0x%X", bit.mask);
        const bool unc = bit.offset == kUncorrectableStatusOffset;
        cells.push_back({(unc ? "aer-unc=" : "aer-cor=") + std::string(mask), false, false});
    }
    std::vector<Case> cases;
    for (Case cell : cells) {
        for (int variant = 0; variant < 4; ++variant) {
            cell.benchmark = variant & 1;
            cell.stopOnError = variant & 2;
            cases.push_back(cell);
        }
    }
    return cases;
}

class FaultMatrixTest : public EngineWorld, public ::testing::WithParamInterface<Case> {};

constexpr int kPassLimit = 30;  // passes (or benchmark phases) a run is given

TEST_P(FaultMatrixTest, RunEndsTruthfullyClosedAndIdle) {
    const Case& c = GetParam();
    // cards=0 leaves the slot empty for the driver but the table as it was: a card that
    // vanished between the scan and the run.
    if (c.options == "cards=0") StoreCardPaths({L"gone{74c7e4a9}"});
    UseCards(c.options.empty() ? "rate=unlimited" : "rate=unlimited," + c.options);
    RunRequest request = Request(c.benchmark ? 1 : 0);
    request.settings.stopOnError = c.stopOnError;
    request.settings.benchmarkBlockMB = 1;
    const RunOutcome o = Run(request, kPassLimit);

    EXPECT_EQ(driver->OpenFileCount(), 0) << "card left open";
    EXPECT_EQ(TestControl.activeThreads, 0);
    EXPECT_FALSE(port.Running());
    EXPECT_TRUE(port.InputsEnabled());

    const int passed = CountStartingWith(L"Test passed: ");
    const int failed = CountStartingWith(L"Test failed: ");
    const int failures = CountStartingWith(L" ReadBenchmark failed ");
    if (c.benchmark) {
        EXPECT_EQ(passed + failed, 0) << "the benchmark gives no verdict";
        EXPECT_EQ(failures > 0, c.benchmarkFails);
        EXPECT_EQ(static_cast<uint64_t>(failures), o.read.failures + o.write.failures);
        EXPECT_EQ(o.Passed(), !c.benchmarkFails);
        EXPECT_EQ(CountStartingWith(L"Overall benchmark result:"), 1);
    } else if (!c.loopbackPasses) {
        EXPECT_EQ(std::make_pair(passed, failed), std::make_pair(0, 1));
        EXPECT_FALSE(o.Passed());
        EXPECT_GT(o.errors, 0u);
        EXPECT_EQ(TestCounters.errors.load(), o.errors);
        // The first pass with an error is the last.
        EXPECT_TRUE(!c.stopOnError || o.loopback.passes < static_cast<uint64_t>(kPassLimit));
    } else {
        EXPECT_EQ(passed, 1);
        EXPECT_TRUE(o.Passed());
        EXPECT_EQ(o.errors, 0u);
        EXPECT_EQ(o.loopback.passes, static_cast<uint64_t>(kPassLimit));
    }
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name = info.param.options.empty() ? "clean" : info.param.options;
    for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    name += info.param.benchmark ? "_benchmark" : "_loopback";
    return name + (info.param.stopOnError ? "_stopOnError_" : "_") + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(EveryFault, FaultMatrixTest, ::testing::ValuesIn(Cases()), CaseName);

}  // namespace

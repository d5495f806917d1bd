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
struct Cell {
    std::string options;
    bool loopbackPasses, benchmarkFails;
};

std::vector<Cell> Cells() {
    std::vector<Cell> cells;
    // Clean cards, a fault on another card, and error-status bits the test does not count.
    for (const char* options :
         {"", "cards=65", "cards=2,only=1,fail-write=1", "aer-unc=0x80020,aer-cor=0x2000000"}) {
        cells.push_back({options, true, false});
    }
    // The benchmark never verifies data.
    for (const char* options : {"corrupt=3", "corrupt=1,corrupt-every=4"}) {
        cells.push_back({options, false, false});
    }
    // The card goes while opening, right after opening and in the middle of the run; with
    // cards=0 there is no card in the slot and nothing opens.
    for (const char* options :
         {"fail-read=3", "fail-write=3", "short-read=3", "short-write=3", "remove-after=5",
          "remove-after=30", "remove-after=120", "no-open", "bad-signature", "cards=0"}) {
        cells.push_back({options, false, true});
    }
    for (const ErrorStatusBit& bit : kErrorStatusBits) {
        char mask[16];
        std::snprintf(mask, sizeof mask, "0x%X", bit.mask);
        const bool unc = bit.offset == kUncorrectableStatusOffset;
        cells.push_back({(unc ? "aer-unc=" : "aer-cor=") + std::string(mask), false, false});
    }
    return cells;
}

// A cell, then the benchmark or the loopback, then with or without stopOnError.
using Case = std::tuple<Cell, bool, bool>;
class FaultMatrixTest : public EngineWorld, public ::testing::WithParamInterface<Case> {};

constexpr int kPassLimit = 30;  // passes (or benchmark phases) a run is given

TEST_P(FaultMatrixTest, RunEndsTruthfullyClosedAndIdle) {
    const auto& [c, benchmark, stopOnError] = GetParam();
    // cards=0 leaves the slot empty for the driver but the table as it was: a card that
    // vanished between the scan and the run.
    if (c.options == "cards=0") StoreCardPaths({L"gone{74c7e4a9}"});
    UseCards(c.options.empty() ? "rate=unlimited" : "rate=unlimited," + c.options);
    RunRequest request = Request(benchmark ? 1 : 0);
    request.settings.stopOnError = stopOnError;
    request.settings.benchmarkBlockMB = 1;
    const RunOutcome o = Run(request, kPassLimit);

    EXPECT_EQ(driver->OpenFileCount(), 0) << "card left open";
    EXPECT_EQ(
        std::make_tuple(TestControl.activeThreads.load(), port.Running(), port.InputsEnabled()),
        std::make_tuple(0, false, true));

    const int passed = CountStartingWith(L"Test passed: ");
    const int failed = CountStartingWith(L"Test failed: ");
    const int failures = CountStartingWith(L" ReadBenchmark failed ");
    if (benchmark) {
        EXPECT_EQ(passed + failed, 0) << "the benchmark gives no verdict";
        EXPECT_EQ(std::make_tuple(failures > 0, o.Passed(), o.read.failures + o.write.failures),
                  std::make_tuple(c.benchmarkFails, !c.benchmarkFails, uint64_t(failures)));
        EXPECT_EQ(CountStartingWith(L"Overall benchmark result:"), 1);
    } else if (!c.loopbackPasses) {
        EXPECT_EQ(std::make_tuple(passed, failed, o.Passed()), std::make_tuple(0, 1, false));
        EXPECT_TRUE(o.errors > 0 && TestCounters.errors == o.errors);
        // The first pass with an error is the last.
        EXPECT_TRUE(!stopOnError || o.loopback.passes < static_cast<uint64_t>(kPassLimit));
    } else {
        EXPECT_EQ(std::make_tuple(passed, o.Passed(), o.errors, o.loopback.passes),
                  std::make_tuple(1, true, uint64_t{0}, uint64_t{kPassLimit}));
    }
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    const auto& [cell, benchmark, stopOnError] = info.param;
    std::string name = cell.options.empty() ? "clean" : cell.options;
    for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    name += benchmark ? "_benchmark" : "_loopback";
    return name + (stopOnError ? "_stopOnError_" : "_") + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(EveryFault, FaultMatrixTest,
                         ::testing::Combine(::testing::ValuesIn(Cells()), ::testing::Bool(),
                                            ::testing::Bool()),
                         CaseName);

}  // namespace

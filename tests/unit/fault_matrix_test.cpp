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
    // Clean cards, a fault on another card and error-status bits the test does not count; wrong
    // bytes, which the benchmark never verifies; the card going while opening, right after
    // opening and in the middle of the run, or (cards=0) no card in the slot at all.
    std::vector<Cell> cells;
    auto add = [&](bool loopbackPasses, bool benchmarkFails, std::vector<const char*> options) {
        for (const char* o : options) cells.push_back({o, loopbackPasses, benchmarkFails});
    };
    add(true, false,
        {"", "cards=65", "cards=2,only=1,fail-write=1", "aer-unc=0x80020,aer-cor=0x2000000"});
    add(false, false, {"corrupt=3", "corrupt=1,corrupt-every=4"});
    add(false, true,
        {"fail-read=3", "fail-write=3", "short-read=3", "short-write=3", "remove-after=5",
         "remove-after=30", "remove-after=120", "no-open", "bad-signature", "cards=0"});
    for (const ErrorStatusBit& bit : kErrorStatusBits) {
        const bool unc = bit.offset == kUncorrectableStatusOffset;
        char options[32];
        std::snprintf(options, sizeof options, "aer-%s=0x%X", unc ? "unc" : "cor", bit.mask);
        cells.push_back({options, false, false});
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

    EXPECT_EQ(std::make_tuple(driver->OpenFileCount(), TestControl.activeThreads.load(),
                              port.Running(), port.InputsEnabled()),
              std::make_tuple(0, 0, false, true));

    // The runner's matrix checks the verdict and summary lines, the counts and how soon
    // stop-on-error ends, end to end; here the outcome must agree with what was logged.
    const bool fails = benchmark ? c.benchmarkFails : !c.loopbackPasses;
    const int failures = CountStartingWith(L" ReadBenchmark failed ");
    EXPECT_EQ(std::make_tuple(o.Passed(), CountStartingWith(L"Test passed: "),
                              CountStartingWith(L"Test failed: "), failures > 0),
              std::make_tuple(!fails, int(!benchmark && !fails), int(!benchmark && fails),
                              benchmark && fails));
    EXPECT_EQ(std::make_tuple(o.read.failures + o.write.failures, o.errors, o.errors > 0),
              std::make_tuple(uint64_t(failures), TestCounters.errors.load(), !benchmark && fails));
    EXPECT_TRUE(benchmark || fails || o.loopback.passes == kPassLimit) << o.loopback.passes;
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

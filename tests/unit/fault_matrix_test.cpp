// Every fault the simulated card can inject, through both tests, with and without
// stopOnError: each run ends within its bound, tells the truth in its summary, leaves the
// card closed and the window idle.
#include <cctype>
#include <cstdio>
#include <future>

#include "engine/benchmark.h"
#include "engine/error_status.h"
#include "engine/loopback.h"
#include "engine_world.h"

namespace {

enum class Outcome { Passes, Fails };

struct FaultCell {
    std::string options;
    Outcome loopback;        // the loopback verdict
    bool benchmarkFailures;  // whether the benchmark logs failed transfers
};

std::string Hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", v);
    return text;
}

std::vector<FaultCell> Cells() {
    std::vector<FaultCell> cells = {
        {"", Outcome::Passes, false},
        {"corrupt=3", Outcome::Fails, false},  // the benchmark never verifies data
        {"corrupt=1,corrupt-every=4", Outcome::Fails, false},
        {"fail-read=3", Outcome::Fails, true},
        {"fail-write=3", Outcome::Fails, true},
        {"short-read=3", Outcome::Fails, true},
        {"short-write=3", Outcome::Fails, true},
        {"remove-after=5", Outcome::Fails, true},    // gone while opening
        {"remove-after=30", Outcome::Fails, true},   // gone right after opening
        {"remove-after=120", Outcome::Fails, true},  // gone in the middle of the run
        {"no-open", Outcome::Fails, true},
        {"bad-signature", Outcome::Fails, true},
        {"cards=0", Outcome::Fails, true},  // no card in the slot: nothing opens
        {"cards=65", Outcome::Passes, false},
        {"cards=2,only=1,fail-write=1", Outcome::Passes, false},  // the fault is on another card
        // Bits the card reports that the test does not count.
        {"aer-unc=0x80020,aer-cor=0x2000000", Outcome::Passes, false},
    };
    for (const ErrorStatusBit& bit : kErrorStatusBits) {
        const bool uncorrectable = bit.offset == kUncorrectableStatusOffset;
        cells.push_back(
            {(uncorrectable ? "aer-unc=" : "aer-cor=") + Hex(bit.mask), Outcome::Fails, false});
    }
    return cells;
}

struct Case {
    FaultCell cell;
    bool benchmark;
    bool stopOnError;
};

std::vector<Case> Cases() {
    std::vector<Case> cases;
    for (const FaultCell& cell : Cells()) {
        for (bool benchmark : {false, true}) {
            for (bool stopOnError : {false, true}) cases.push_back({cell, benchmark, stopOnError});
        }
    }
    return cases;
}

void PrintTo(const Case& c, std::ostream* out) {
    *out << '"' << c.cell.options << '"' << (c.benchmark ? " benchmark" : " loopback")
         << (c.stopOnError ? " stopOnError" : "");
}

class FaultMatrixTest : public EngineWorld, public ::testing::WithParamInterface<Case> {};

// A run is given 30 passes (or benchmark phases); it must be over well within this bound.
constexpr int kPassLimit = 30;
constexpr auto kHangBound = std::chrono::seconds(60);

TEST_P(FaultMatrixTest, RunEndsTruthfullyClosedAndIdle) {
    const Case& c = GetParam();
    UseCards(c.cell.options.empty() ? "rate=unlimited" : "rate=unlimited," + c.cell.options);
    TestSettings.stopOnError = c.stopOnError;
    TestSettings.benchmarkBlockMB = 1;
    stopAfterPauses = kPassLimit;
    TestSettings.loopbackLoadPercent = 99;
    TestControl.stopRequested = false;
    auto run =
        std::async(std::launch::async, c.benchmark ? BenchmarkTest : LoopbackTest, &selectedCard);
    if (run.wait_for(kHangBound) != std::future_status::ready) {
        TestControl.stopRequested = true;
        ADD_FAILURE() << "run still going after " << kHangBound.count() << " s";
        if (run.wait_for(kHangBound) != std::future_status::ready) std::abort();
    }

    EXPECT_EQ(driver->OpenFileCount(), 0) << "card left open";
    EXPECT_EQ(TestControl.activeThreads, 0);
    EXPECT_FALSE(port.Running());
    EXPECT_TRUE(port.InputsEnabled());

    const int passed = CountStartingWith(L"Test passed: ");
    const int failed = CountStartingWith(L"Test failed: ");
    const int failures = CountStartingWith(L" ReadBenchmark failed ");
    if (c.benchmark) {
        EXPECT_EQ(passed + failed, 0) << "the benchmark gives no verdict";
        EXPECT_EQ(failures > 0, c.cell.benchmarkFailures);
        EXPECT_EQ(CountStartingWith(L"Overall benchmark result:"), 1);
    } else if (c.cell.loopback == Outcome::Fails) {
        EXPECT_EQ(failed, 1);
        EXPECT_EQ(passed, 0);
        EXPECT_GT(TestCounters.errors, 0u);
        if (c.stopOnError) {  // the first pass with an error is the last
            EXPECT_LT(TestCounters.operations, static_cast<uint64_t>(kPassLimit));
        }
    } else {
        EXPECT_EQ(passed, 1);
        EXPECT_EQ(TestCounters.errors, 0u);
        EXPECT_EQ(TestCounters.operations, static_cast<uint64_t>(kPassLimit));
    }
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
    std::string name = info.param.cell.options.empty() ? "clean" : info.param.cell.options;
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    }
    name += info.param.benchmark ? "_benchmark" : "_loopback";
    name += info.param.stopOnError ? "_stopOnError" : "";
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(EveryFault, FaultMatrixTest, ::testing::ValuesIn(Cases()), CaseName);

}  // namespace

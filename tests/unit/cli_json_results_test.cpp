#include <gtest/gtest.h>

#include <tuple>

#include "cli/card_verdict.h"
#include "cli/console.h"
#include "cli/json_results.h"

namespace {

TEST(JsonResultsTest, ABenchmarkHasNullForTheDirectionItDidNotRun) {
    CliOptions options;
    options.command = CliCommand::Benchmark;
    options.blockMB = 1;
    options.direction = 2;  // write only
    RunRecorder run;
    run.Begin(RecordedTest::Benchmark, false, nullptr);
    RunOutcome outcome;
    for (uint32_t cycle = 1; cycle <= 10; ++cycle) {
        const float rate = cycle == 4 ? 0.0f : 1000.0f + cycle;
        run.BenchmarkCycle(false, cycle, rate, 60u << 20, cycle == 4 ? 60 : 0);
        outcome.write.AddCycle(rate, 60u << 20, cycle == 4 ? 60 : 0);
    }
    run.SetOutcome(outcome);
    run.Finish();
    CardOutcome card;
    card.tested = true;
    // Parsed from the text the runner would write, as a production-line script would read it.
    const Json j = Json::parse(JsonText(CardResultJson(options, card, run)));
    EXPECT_TRUE(j["results"]["read"].is_null());
    const Json& w = j["results"]["write"];
    // The stalled cycle's 0 is no minimum, but counts in the lower median of ten.
    EXPECT_EQ(std::make_tuple(w["blocks"], w["failed_transfers"], w["min_mib_per_s"],
                              w["median_mib_per_s"], w["average_mib_per_s"]),
              std::make_tuple(Json(600), Json(60), Json(1001.0), Json(1005.0), Json(905.1)));
}

TEST(CardVerdictTest, ALinkBelowExpectationIsNamedBothWays) {
    const std::tuple<uint16_t, LinkExpectation, const wchar_t*> cases[] = {
        {0x0043, {4, 4}, L"Link trained at Gen3 x4, expected Gen4 x4"},
        {0x0044, {4, 4}, L"meets it"},
        {0x0085, {4, 4}, L"meets it"},  // faster and wider is no fault
        {0x0000, {1, 1}, L"Link could not be read (the card did not open), expected Gen1 x1"},
    };
    for (const auto& [status, expected, reason] : cases)
        EXPECT_EQ(LinkShortfall(expected, status).value_or(L"meets it"), reason) << status;
}

TEST(CardVerdictTest, RateLimitsCompareTheMedianAndTheAverage) {
    CliOptions options;  // the recorder, not the command, says which test ran
    options.minLoopbackRate = 6500;
    RunRecorder loopback;
    loopback.Begin(RecordedTest::Loopback, false, nullptr);
    CardConnection card;
    for (double rate : {9000.0, 6000.0, 6100.0}) loopback.LoopbackPass(0, rate, card, nullptr);
    loopback.Finish();
    using Reasons = std::vector<std::wstring>;
    EXPECT_EQ(LimitReasons(options, loopback),
              Reasons{L"Median round-trip rate 6100.0 MB/s is below the limit of 6500.0 MB/s"});
    options.minLoopbackRate = 6100;
    EXPECT_TRUE(LimitReasons(options, loopback).empty());  // equal meets the limit

    options.minWriteRate = 900;
    RunRecorder run;
    run.Begin(RecordedTest::Benchmark, false, nullptr);
    run.BenchmarkCycle(true, 1, 1000.0f, 1 << 20, 0);
    run.Finish();
    EXPECT_EQ(LimitReasons(options, run),
              Reasons{L"No average write rate was measured; the limit is 900.0 MB/s"});
}

TEST(CardVerdictTest, ReasonsNameEachKindOfErrorAndARunThatTestedNothingFails) {
    constexpr CardOpen kOpened = CardOpen::Opened, kRefused = CardOpen::SignatureRefused,
                       kFailed = CardOpen::Failed;
    const struct {
        uint8_t testMode;
        CardOpen open;
        bool buffers;
        uint64_t passes, bytes, writeErrors, verificationErrors, completionTimeouts, errors;
        const wchar_t* reasons;  // joined by |
    } cases[] = {
        {0, kOpened, true, 7, 0, 1, 6, 2, 10,
         L"6 verification error(s): wrong bytes read back|1 write error(s)|2 error-status "
         L"report(s) of Completion Timeout|1 other error(s); see the event log"},
        {0, kOpened, true, 1, 0, 0, 0, 0, 0, L""},
        {0, kFailed, true, 3, 0, 3, 0, 0, 3, L"The card could not be opened|3 write error(s)"},
        {1, kRefused, true, 0, 0, 0, 0, 0, 0, L"The card's signature is wrong|no block moved"},
        {0, kOpened, false, 0, 0, 0, 0, 0, 1,
         L"The test buffers could not be allocated|no pass completed"},
        {0, kOpened, true, 0, 0, 0, 0, 0, 0, L"no pass completed"},
        {1, kOpened, true, 0, 1, 0, 0, 0, 0, L""},
    };
    for (const auto& c : cases) {
        RunOutcome o;
        o.testMode = c.testMode;
        o.cardOpen = c.open;
        o.buffersAllocated = c.buffers;
        o.errors = c.errors;
        o.write.bytes = c.bytes;
        o.loopback.passes = c.passes;
        o.loopback.writeErrors = c.writeErrors;
        o.loopback.countedBits[3] = c.completionTimeouts;
        o.loopback.verificationErrors = c.verificationErrors;
        DecideVerdict(o);
        std::wstring joined;
        for (const auto& r : o.reasons) joined += (joined.empty() ? L"" : L"|") + r;
        EXPECT_EQ(joined, c.reasons);
    }
}

}  // namespace

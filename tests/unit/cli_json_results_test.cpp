#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <tuple>

#include "cli/card_verdict.h"
#include "cli/console.h"
#include "cli/json_results.h"

namespace {

CardOutcome SomeCard() {
    CardOutcome outcome;
    outcome.card.slot = 2;
    outcome.card.name = L"PCIe-2, Windows ID:{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}";
    outcome.card.linkStatus = 0x0044;  // Gen4 x4
    outcome.tested = true;
    return outcome;
}

CliOptions Command(CliCommand command) {
    CliOptions options;
    options.command = command;
    return options;
}

// Parses what the runner would write, as a production-line script would read it.
Json RoundTrip(const Json& results) { return Json::parse(JsonText(results)); }

TEST(JsonResultsTest, ABenchmarkHasNullForTheDirectionItDidNotRun) {
    CliOptions options = Command(CliCommand::Benchmark);
    options.direction = 2;  // write only
    options.blockMB = 1;
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
    const Json j = RoundTrip(CardResultJson(options, SomeCard(), run));
    EXPECT_TRUE(j["results"]["read"].is_null());
    const Json& w = j["results"]["write"];
    // The stalled cycle's 0 is no minimum, but counts in the lower median of ten.
    EXPECT_EQ(std::make_tuple(w["blocks"], w["failed_transfers"], w["min_mib_per_s"],
                              w["median_mib_per_s"]),
              std::make_tuple(Json(600), Json(60), Json(1001.0), Json(1005.0)));
    EXPECT_DOUBLE_EQ(w["average_mib_per_s"].get<double>(), (10055 - 1004) / 10.0);
}

TEST(JsonResultsTest, StartTimeIsLocalTimeWithItsOffset) {
    const int64_t t = 1796591405;  // 2026-12-06 21:10:05 UTC
    const std::string text = Iso8601Time(t);
    ASSERT_EQ(text.size(), 25u) << text;
    auto field = [&](size_t at) { return std::atoi(text.substr(at, 2).c_str()); };
    const int offset = (text[19] == '-' ? -1 : 1) * (field(20) * 3600 + field(23) * 60);
    // From any zone the instant falls in December 2026 (which starts at 1796083200); the text
    // minus its offset is the same instant.
    EXPECT_EQ(text.substr(0, 8), "2026-12-") << text;
    const int64_t intoMonth =
        (field(8) - 1) * 86400LL + field(11) * 3600 + field(14) * 60 + field(17);
    EXPECT_EQ(1796083200 + intoMonth - offset, t) << text;
}

TEST(CardVerdictTest, ALinkBelowExpectationIsNamedBothWays) {
    const struct {
        uint16_t status;
        LinkExpectation expected;
        const wchar_t* reason;
    } cases[] = {
        {0x0043, {4, 4}, L"Link trained at Gen3 x4, expected Gen4 x4"},
        {0x0044, {4, 4}, L"meets it"},
        {0x0085, {4, 4}, L"meets it"},  // faster and wider is no fault
        {0x0000, {1, 1}, L"Link could not be read (the card did not open), expected Gen1 x1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LinkShortfall(c.expected, c.status).value_or(L"meets it"), c.reason) << c.status;
    }
}

TEST(CardVerdictTest, RateLimitsCompareTheMedianAndTheAverage) {
    CliOptions options = Command(CliCommand::Loopback);
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

    CliOptions bench = Command(CliCommand::Benchmark);
    bench.minWriteRate = 900;
    RunRecorder run;
    run.Begin(RecordedTest::Benchmark, false, nullptr);
    run.BenchmarkCycle(true, 1, 1000.0f, 1 << 20, 0);
    run.Finish();
    EXPECT_EQ(LimitReasons(bench, run),
              Reasons{L"No average write rate was measured; the limit is 900.0 MB/s"});
}

TEST(CardVerdictTest, ReasonsNameEachKindOfErrorAndARunThatTestedNothingFails) {
    constexpr CardOpen kOpened = CardOpen::Opened, kRefused = CardOpen::SignatureRefused;
    const struct {
        const wchar_t* reasons;  // joined by |
        uint8_t testMode;
        CardOpen open;
        bool buffers;
        uint64_t passes, bytes, writeErrors, verificationErrors, completionTimeouts, errors;
    } cases[] = {
        {L"6 verification error(s): wrong bytes read back|1 write error(s)|2 error-status "
         L"report(s) of Completion Timeout|1 other error(s); see the event log",
         0, kOpened, true, 7, 0, 1, 6, 2, 10},
        {L"", 0, kOpened, true, 1, 0, 0, 0, 0, 0},
        {L"The card could not be opened|3 write error(s)", 0, CardOpen::Failed, true, 3, 0, 3, 0, 0,
         3},
        {L"The card's signature is wrong|no block moved", 1, kRefused, true, 0, 0, 0, 0, 0, 0},
        {L"The test buffers could not be allocated|no pass completed", 0, kOpened, false, 0, 0, 0,
         0, 0, 1},
        {L"no pass completed", 0, kOpened, true, 0, 0, 0, 0, 0, 0},
        {L"", 1, kOpened, true, 0, 1, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        RunOutcome o;
        o.testMode = c.testMode;
        o.cardOpen = c.open;
        o.buffersAllocated = c.buffers;
        o.loopback.passes = c.passes;
        o.loopback.writeErrors = c.writeErrors;
        o.loopback.verificationErrors = c.verificationErrors;
        o.loopback.countedBits[3] = c.completionTimeouts;
        o.errors = c.errors;
        o.write.bytes = c.bytes;
        DecideVerdict(o);
        std::wstring joined;
        for (const auto& r : o.reasons) joined += (joined.empty() ? L"" : L"|") + r;
        EXPECT_EQ(joined, c.reasons);
    }
}

}  // namespace

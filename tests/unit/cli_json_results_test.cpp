#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "cli/card_verdict.h"
#include "cli/console.h"
#include "cli/json_results.h"

namespace {

CardFacts SomeCard() {
    CardFacts card;
    card.slot = 2;
    card.name = L"PCIe-2, Windows ID:{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}";
    card.hardwareVersion = L"1.3";
    card.firmwareVersion = L"1.5";
    card.driverVersion = L"1.4.2.0";
    card.linkStatus = 0x0044;     // Gen4 x4
    card.deviceControl = 0x2030;  // 256-byte payload, 512-byte read requests
    return card;
}

// Parses what the runner would write, as a production-line script would read it.
Json RoundTrip(const Json& results) { return Json::parse(JsonText(results)); }

TEST(JsonResultsTest, QuotesBackslashesAndCharactersAbove127SurviveARoundTrip) {
    CliOptions options;
    options.command = CliCommand::Loopback;
    CardOutcome outcome;
    outcome.card = SomeCard();
    // Driver text comes from the card; the simulated one lets a test put anything printable in.
    outcome.card.driverVersion = L"V\"2\"\\beta caf\u00e9 \u4e2d \U0001F600";
    outcome.reasons.push_back(L"Link trained at Gen4 x2, expected \"Gen4 x4\" \\ \u00e9");
    RunRecorder run;
    run.Begin(RecordedTest::Loopback, false, nullptr);
    run.Finish();

    const std::string text = JsonText(Json::array({CardResultJson(options, outcome, run)}));
    // Characters above 127 go out as UTF-8, not as \u escapes a terminal would show raw.
    EXPECT_NE(text.find("caf\xC3\xA9"), std::string::npos);
    const Json back = Json::parse(text);
    ASSERT_TRUE(back.is_array());
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(FromUtf8(back[0]["card"]["driver_version"].get<std::string>()),
              outcome.card.driverVersion);
    EXPECT_EQ(FromUtf8(back[0]["reasons"][0].get<std::string>()), outcome.reasons[0]);
    EXPECT_EQ(back[0]["verdict"], "failed");
}

TEST(JsonResultsTest, ALoopbackObjectHoldsEveryDocumentedFieldInOrder) {
    CliOptions options;
    options.command = CliCommand::Loopback;
    options.minutes = 0.5;
    options.minLoopbackRate = 1500;
    options.expectLink = LinkExpectation{4, 4};
    CardOutcome outcome;
    outcome.card = SomeCard();
    outcome.tested = true;
    outcome.startTime = 1796591405;  // 2026-12-06 21:10:05 UTC
    outcome.durationSeconds = 30.12345;
    outcome.totalErrors = 0;
    RunRecorder run;
    run.Begin(RecordedTest::Loopback, false, nullptr);
    CardConnection card;
    run.LoopbackPass(0, 7000, card, nullptr);
    run.LoopbackPass(0, 6000, card, nullptr);
    run.LoopbackPass(0, 7100, card, nullptr);
    run.Finish();

    const Json j = RoundTrip(CardResultJson(options, outcome, run));
    std::vector<std::string> keys;
    for (const auto& item : j.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"program", "card", "test", "settings", "start_time",
                                              "duration_s", "results", "verdict", "reasons"}));
    EXPECT_EQ(j["program"]["version"], "V1.0");
    EXPECT_EQ(j["program"]["build"], 1001);
    EXPECT_EQ(j["card"]["slot"], 2);
    EXPECT_EQ(j["card"]["link_speed_gen"], 4);
    EXPECT_EQ(j["card"]["link_width"], 4);
    EXPECT_EQ(j["card"]["max_payload_bytes"], 256);
    EXPECT_EQ(j["card"]["max_read_request_bytes"], 512);
    EXPECT_EQ(j["card"]["hardware_version"], "1.3");
    EXPECT_EQ(j["test"], "loopback");
    EXPECT_EQ(j["settings"]["pattern"], "incrementing");
    EXPECT_EQ(j["settings"]["limits"]["min_loopback_rate_mib_per_s"], 1500.0);
    EXPECT_EQ(j["settings"]["limits"]["expect_link"], "gen4x4");
    EXPECT_FALSE(j["settings"].contains("block_mb"));
    EXPECT_EQ(j["duration_s"], 30.123);

    const Json& r = j["results"];
    EXPECT_EQ(r["passes"], 3);
    EXPECT_EQ(r["errors"]["total"], 0);
    EXPECT_EQ(r["error_status"].size(), kCountedErrorStatusBits);
    EXPECT_EQ(r["error_status"]["Completion Timeout"], 0);
    EXPECT_EQ(r["error_status"]["Header Log Overflow"], 0);
    EXPECT_EQ(r["round_trip"]["min_mib_per_s"], 6000.0);
    EXPECT_EQ(r["round_trip"]["median_mib_per_s"], 7000.0);
    EXPECT_EQ(r["round_trip"]["max_mib_per_s"], 7100.0);
    ASSERT_EQ(r["intervals"].size(), 1u);
    EXPECT_EQ(r["intervals"][0]["passes"], 3);
    EXPECT_EQ(r["intervals"][0]["median_mib_per_s"], 7000.0);
    EXPECT_EQ(j["verdict"], "passed");
    EXPECT_TRUE(j["reasons"].is_array() && j["reasons"].empty());
}

TEST(JsonResultsTest, ABenchmarkHasNullForTheDirectionItDidNotRun) {
    CliOptions options;
    options.command = CliCommand::Benchmark;
    options.direction = 2;  // write only
    options.blockMB = 1;
    CardOutcome outcome;
    outcome.card = SomeCard();
    outcome.tested = true;
    RunRecorder run;
    run.Begin(RecordedTest::Benchmark, false, nullptr);
    for (uint32_t cycle = 1; cycle <= 10; ++cycle) {
        run.BenchmarkCycle(false, cycle, cycle == 4 ? 0.0f : 1000.0f + cycle, 60u << 20,
                           cycle == 4 ? 60 : 0);
    }
    run.Finish();

    const Json j = RoundTrip(CardResultJson(options, outcome, run));
    EXPECT_TRUE(j["results"]["read"].is_null());
    const Json& w = j["results"]["write"];
    EXPECT_EQ(w["cycles"], 10);
    EXPECT_EQ(w["blocks"], 600);
    EXPECT_EQ(w["failed_transfers"], 60);
    EXPECT_EQ(w["min_mib_per_s"], 1001.0);  // the stalled cycle's 0 is no minimum
    EXPECT_EQ(w["max_mib_per_s"], 1010.0);
    EXPECT_DOUBLE_EQ(w["average_mib_per_s"].get<double>(), (10055 - 1004) / 10.0);
    EXPECT_EQ(w["median_mib_per_s"], 1005.0);  // the lower median of ten, with the 0 among them
    ASSERT_EQ(w["intervals"].size(), 1u);
    EXPECT_EQ(w["intervals"][0]["first_cycle"], 1);
    EXPECT_EQ(w["intervals"][0]["last_cycle"], 10);
    EXPECT_EQ(w["intervals"][0]["min_mib_per_s"], 1001.0);
    EXPECT_EQ(j["settings"]["direction"], "write");
}

TEST(JsonResultsTest, AnUntestedCardHasNullResultsAndAnUnreadableOneNullFacts) {
    CliOptions options;
    options.command = CliCommand::Loopback;
    options.diagnose = true;
    CardOutcome outcome;
    outcome.card = SomeCard();
    outcome.card.linkStatus = 0;  // never opened
    outcome.tested = false;
    outcome.reasons.push_back(L"Link could not be read");
    RunRecorder run;
    run.Begin(RecordedTest::Loopback, true, nullptr);
    const Json j = RoundTrip(CardResultJson(options, outcome, run));
    EXPECT_TRUE(j["results"].is_null());
    EXPECT_TRUE(j["diagnosis"].is_null());
    EXPECT_TRUE(j["card"]["link_width"].is_null());
    EXPECT_TRUE(j["card"]["driver_version"].is_null());
    EXPECT_EQ(j["card"]["name"], "PCIe-2, Windows ID:{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}");
    EXPECT_EQ(j["verdict"], "failed");
}

TEST(JsonResultsTest, StartTimeIsLocalTimeWithItsOffset) {
    const int64_t t = 1796591405;  // 2026-12-06 21:10:05 UTC
    const std::string text = Iso8601Time(t);
    ASSERT_EQ(text.size(), 25u) << text;
    // Whatever the zone, the text minus its offset is the same instant.
    std::tm fields{};
    fields.tm_year = std::atoi(text.substr(0, 4).c_str()) - 1900;
    const int month = std::atoi(text.substr(5, 2).c_str());
    const int day = std::atoi(text.substr(8, 2).c_str());
    const int hour = std::atoi(text.substr(11, 2).c_str());
    const int minute = std::atoi(text.substr(14, 2).c_str());
    const int second = std::atoi(text.substr(17, 2).c_str());
    const int offset = (text[19] == '-' ? -1 : 1) * (std::atoi(text.substr(20, 2).c_str()) * 3600 +
                                                     std::atoi(text.substr(23, 2).c_str()) * 60);
    EXPECT_EQ(text[4], '-');
    EXPECT_EQ(text[10], 'T');
    EXPECT_EQ(text[22], ':');
    // December 2026 is the only month the instant can fall in, from any zone.
    EXPECT_EQ(fields.tm_year + 1900, 2026);
    EXPECT_EQ(month, 12);
    const int64_t secondsIntoMonth = (day - 1) * 86400LL + hour * 3600 + minute * 60 + second;
    const int64_t december2026 = 1796083200;  // 2026-12-01 00:00:00 UTC
    EXPECT_EQ(december2026 + secondsIntoMonth - offset, t) << text;
}

TEST(CardVerdictTest, ALinkBelowExpectationIsNamedBothWays) {
    const struct {
        uint16_t status;
        LinkExpectation expected;
        const wchar_t* reason;  // null: meets it
    } cases[] = {
        {0x0024, {4, 4}, L"Link trained at Gen4 x2, expected Gen4 x4"},
        {0x0043, {4, 4}, L"Link trained at Gen3 x4, expected Gen4 x4"},
        {0x0044, {4, 4}, nullptr},
        {0x0085, {4, 4}, nullptr},  // faster and wider is no fault
        {0x0014, {4, 2}, L"Link trained at Gen4 x1, expected Gen4 x2"},
        {0x0000, {1, 1}, L"Link could not be read (the card did not open), expected Gen1 x1"},
    };
    for (const auto& c : cases) {
        const auto reason = LinkShortfall(c.expected, c.status);
        if (!c.reason) {
            EXPECT_FALSE(reason) << std::hex << c.status;
        } else {
            ASSERT_TRUE(reason) << std::hex << c.status;
            EXPECT_EQ(*reason, c.reason);
        }
    }
}

TEST(CardVerdictTest, RateLimitsCompareTheMedianAndTheAverage) {
    CliOptions options;
    options.command = CliCommand::Loopback;
    options.minLoopbackRate = 6500;
    RunRecorder loopback;
    loopback.Begin(RecordedTest::Loopback, false, nullptr);
    CardConnection card;
    for (double rate : {9000.0, 6000.0, 6100.0}) loopback.LoopbackPass(0, rate, card, nullptr);
    loopback.Finish();
    auto reasons = LimitReasons(options, loopback);
    ASSERT_EQ(reasons.size(), 1u);
    EXPECT_EQ(reasons[0], L"Median round-trip rate 6100.0 MB/s is below the limit of 6500.0 MB/s");
    options.minLoopbackRate = 6100;
    EXPECT_TRUE(LimitReasons(options, loopback).empty());  // equal meets the limit

    CliOptions bench;
    bench.command = CliCommand::Benchmark;
    bench.minReadRate = 1200;
    bench.minWriteRate = 900;
    RunRecorder run;
    run.Begin(RecordedTest::Benchmark, false, nullptr);
    run.BenchmarkCycle(true, 1, 1000.0f, 1 << 20, 0);
    run.BenchmarkCycle(true, 2, 990.0f, 1 << 20, 0);
    run.Finish();
    reasons = LimitReasons(bench, run);
    ASSERT_EQ(reasons.size(), 2u);
    EXPECT_EQ(reasons[0], L"Average read rate 995.0 MB/s is below the limit of 1200.0 MB/s");
    EXPECT_EQ(reasons[1], L"No average write rate was measured; the limit is 900.0 MB/s");
}

TEST(CardVerdictTest, LoopbackReasonsNameEachKindOfError) {
    LoopbackFigures f;
    f.verificationErrors = 6;
    f.writeErrors = 1;
    f.countedBits[3] = 2;  // Completion Timeout
    const auto reasons = LoopbackErrorReasons(f, 10);
    ASSERT_EQ(reasons.size(), 4u);
    EXPECT_EQ(reasons[0], L"6 verification error(s): wrong bytes read back");
    EXPECT_EQ(reasons[1], L"1 write error(s)");
    EXPECT_EQ(reasons[2], L"2 error-status report(s) of Completion Timeout");
    EXPECT_EQ(reasons[3], L"1 other error(s); see the event log");  // 10 - 9 seen by passes
    EXPECT_TRUE(LoopbackErrorReasons(LoopbackFigures(), 0).empty());
}

}  // namespace

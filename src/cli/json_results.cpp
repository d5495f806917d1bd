#include "cli/json_results.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "card/card_interface.h"
#include "cli/card_verdict.h"
#include "cli/console.h"
#include "engine/error_status.h"
#include "log/ctime_text.h"

namespace {

constexpr const char* kPatternNames[] = {"incrementing", "random", "constant"};
constexpr const char* kDirectionNames[] = {"read-write", "read", "write"};

std::string Text(const std::wstring& text) { return ToUtf8(text); }

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

Json Rate(double rateMBps) { return RoundedRate(rateMBps); }

// min, median, max of a set of rates; nulls when there were none.
void PutRates(Json& j, const RateFigures& f, bool withMedian = true) {
    j["min_mib_per_s"] = f.count ? Rate(f.min) : Json();
    if (withMedian) j["median_mib_per_s"] = f.count ? Rate(f.median) : Json();
    j["max_mib_per_s"] = f.count ? Rate(f.max) : Json();
}

Json CardJson(const CardFacts& card) {
    Json j;
    j["slot"] = card.slot;
    j["name"] = Text(card.name);
    // A card that could not be opened shows zeros in its information lines; say unknown.
    const bool known = card.linkStatus != 0;
    j["hardware_version"] = known ? Json(Text(card.hardwareVersion)) : Json();
    j["firmware_version"] = known ? Json(Text(card.firmwareVersion)) : Json();
    j["driver_version"] = known ? Json(Text(card.driverVersion)) : Json();
    j["link_speed_gen"] = known ? Json(LinkSpeed(card.linkStatus)) : Json();
    j["link_width"] = known ? Json(LinkWidth(card.linkStatus)) : Json();
    j["max_payload_bytes"] = known ? Json(MaxPayloadBytes(card.deviceControl)) : Json();
    j["max_read_request_bytes"] = known ? Json(MaxReadRequestBytes(card.deviceControl)) : Json();
    return j;
}

}  // namespace

Json SettingsJson(const CliOptions& o) {
    Json j;
    j["minutes"] = o.minutes;
    if (o.command == CliCommand::Loopback) {
        j["pattern"] = kPatternNames[o.patternType < 3 ? o.patternType : 0];
        j["constant"] = o.constant;
    } else {
        j["block_mb"] = o.blockMB;
        j["direction"] = kDirectionNames[o.direction < 3 ? o.direction : 0];
    }
    j["load_percent"] = o.load;
    j["detailed"] = o.detailed;
    j["stop_on_error"] = o.stopOnError;
    if (o.command == CliCommand::Loopback) j["diagnose"] = o.diagnose;
    Json limits = Json::object();
    if (o.minLoopbackRate) limits["min_loopback_rate_mib_per_s"] = *o.minLoopbackRate;
    if (o.minReadRate) limits["min_read_rate_mib_per_s"] = *o.minReadRate;
    if (o.minWriteRate) limits["min_write_rate_mib_per_s"] = *o.minWriteRate;
    if (o.expectLink) {
        limits["expect_link"] =
            "gen" + std::to_string(o.expectLink->speed) + "x" + std::to_string(o.expectLink->width);
    }
    j["limits"] = limits;
    return j;
}

namespace {

// Microseconds to the nanosecond.
Json Micros(double us) { return std::round(us * 1000.0) / 1000.0; }

Json RoundTripJson(const RoundTripFigures& f) {
    if (f.count == 0) return Json();
    return {{"p50", Micros(f.p50)},
            {"p90", Micros(f.p90)},
            {"p99", Micros(f.p99)},
            {"p99_9", Micros(f.p99_9)},
            {"max", Micros(f.max)}};
}

Json CycleRatesJson(const CycleRateFigures& f) {
    if (f.count == 0) return Json();
    return {{"p50", Rate(f.p50)},
            {"p10", Rate(f.p10)},
            {"p1", Rate(f.p1)},
            {"p0_1", Rate(f.p0_1)},
            {"min", Rate(f.min)}};
}

// A rate of a timeline point; null when nothing of its kind completed there.
Json PointRate(const TimelinePoint& p, int which) {
    return p.rated[which] ? Rate(p.Rate(which)) : Json();
}

Json TimelineJson(const RunFigures& f) {
    Json points = Json::array();
    for (const TimelinePoint& p : f.timeline) {
        Json j;
        j["t_s"] = p.startS;
        j["span_s"] = p.spanS;
        j[f.benchmark ? "blocks" : "passes"] = p.transfers;
        j["errors"] = p.errors;
        if (f.benchmark) {
            j["read_mib_per_s"] = PointRate(p, 0);
            j["write_mib_per_s"] = PointRate(p, 1);
        } else {
            j["mib_per_s"] = PointRate(p, 0);
        }
        points.push_back(j);
    }
    return points;
}

Json LoopbackJson(const RunRecorder& run) {
    const LoopbackOutcome& f = run.Outcome().loopback;
    Json j;
    j["passes"] = f.passes;
    j["errors"] = {{"total", run.Outcome().errors},
                   {"read", f.readErrors},
                   {"write", f.writeErrors},
                   {"verification", f.verificationErrors}};
    Json bits = Json::object();
    for (size_t i = 0; i < kCountedErrorStatusBits; ++i) {
        bits[Text(CountedErrorStatusName(kErrorStatusBits[i]))] = f.countedBits[i];
    }
    j["error_status"] = bits;
    j["error_status_unread"] = f.statusReadFailures;
    const RateFigures rates = run.LoopbackRates();
    Json roundTrip;
    roundTrip["measured_passes"] = rates.count;
    PutRates(roundTrip, rates);
    j["round_trip"] = roundTrip;
    Json minutes = Json::array();
    for (const LoopbackMinute& m : run.Minutes()) {
        Json record;
        record["minute"] = m.minute;
        record["passes"] = m.passes;
        PutRates(record, m.rates);
        minutes.push_back(record);
    }
    j["intervals"] = minutes;
    const RunFigures figures = run.Figures();
    j["round_trip_us"] = RoundTripJson(figures.roundTripUs);
    j["timeline"] = TimelineJson(figures);
    return j;
}

Json DirectionJson(const DirectionOutcome& d, const RateFigures& rates, uint32_t blockMB) {
    Json j;
    j["cycles"] = d.cycles;
    j["blocks"] = blockMB ? d.bytes / (static_cast<uint64_t>(blockMB) << 20) : 0;
    j["bytes"] = d.bytes;
    j["failed_transfers"] = d.failures;
    // The minimum is the slowest cycle above 0 MB/s, as the summary keeps it.
    j["min_mib_per_s"] = d.cycles ? Rate(d.min) : Json();
    j["average_mib_per_s"] = d.cycles ? Rate(d.Average()) : Json();
    j["median_mib_per_s"] = d.cycles ? Rate(rates.median) : Json();
    j["max_mib_per_s"] = d.cycles ? Rate(d.max) : Json();
    Json groups = Json::array();
    for (const BenchmarkGroup& g : d.groups) {
        groups.push_back({{"first_cycle", g.firstCycle},
                          {"last_cycle", g.lastCycle},
                          {"min_mib_per_s", Rate(g.min)},
                          {"max_mib_per_s", Rate(g.max)}});
    }
    j["intervals"] = groups;
    j["intervals_omitted"] = d.groupsOmitted;
    return j;
}

Json BenchmarkJson(const CliOptions& o, const RunRecorder& run) {
    Json j;
    const bool reads = o.direction == 0 || o.direction == 1;
    const bool writes = o.direction == 0 || o.direction == 2;
    j["read"] = reads ? DirectionJson(run.Outcome().read, run.ReadRates(), o.blockMB) : Json();
    j["write"] = writes ? DirectionJson(run.Outcome().write, run.WriteRates(), o.blockMB) : Json();
    const RunFigures figures = run.Figures();
    j["read_cycle_mib_per_s"] = reads ? CycleRatesJson(figures.readCycles) : Json();
    j["write_cycle_mib_per_s"] = writes ? CycleRatesJson(figures.writeCycles) : Json();
    j["timeline"] = TimelineJson(figures);
    return j;
}

Json DiagnosisJson(const RunRecorder& run) {
    const Diagnosis& d = run.Diagnosed();
    Json j;
    j["wrong_byte_passes"] = d.wrongBytePasses;
    Json passes = Json::array();
    for (int i = 0; i < d.describedCount; ++i) {
        const DescribedPass& p = d.described[i];
        Json locations = Json::array();
        for (int k = 0; k < p.located; ++k) {
            const LocatedByte& b = p.bytes[k];
            locations.push_back(
                {{"offset", b.offset},
                 {"expected", b.expected},
                 {"received", b.received},
                 {"differing_bits", static_cast<uint8_t>(b.expected ^ b.received)}});
        }
        passes.push_back(
            {{"pass", p.pass}, {"wrong_bytes", p.wrongBytes}, {"locations", locations}});
    }
    j["described_passes"] = passes;
    j["passes_not_described"] = d.wrongBytePasses - static_cast<uint64_t>(d.describedCount);
    Json common = Json::array();
    if (d.locatedBytes >= 2) {
        for (int bit = 7; bit >= 0; --bit) {
            if (d.bitsInEvery & (1u << bit)) common.push_back(bit);
        }
    }
    j["bits_differing_in_every_location"] = common;
    Json notes = Json::array();
    for (int r = 0; r < 2; ++r) {
        const auto reg = static_cast<ErrorStatusRegister>(r);
        for (int bit = 0; bit < 32; ++bit) {
            if (d.uncountedBits[r][bit] == 0) continue;
            notes.push_back({{"register", Text(ErrorStatusRegisterName(reg))},
                             {"bit", bit},
                             {"name", Text(ErrorStatusBitName(reg, bit))},
                             {"passes", d.uncountedBits[r][bit]}});
        }
    }
    j["uncounted_error_status"] = notes;
    return j;
}

}  // namespace

double RoundedRate(double rateMBps) {
    if (!std::isfinite(rateMBps)) return 0.0;
    return std::round(rateMBps * 1000.0) / 1000.0;
}

std::string Iso8601Time(int64_t time) {
    std::tm local{};
    if (!ToLocalTime(time, &local)) return std::string();
    const int64_t asIfUtc =
        DaysFromCivil(local.tm_year + 1900LL, local.tm_mon + 1, local.tm_mday) * 86400 +
        local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    int64_t offset = asIfUtc - time;  // seconds east of Greenwich
    const char sign = offset < 0 ? '-' : '+';
    if (offset < 0) offset = -offset;
    char text[80];  // room for any int the fields could hold, which GCC checks
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, sign, static_cast<int>(offset / 3600),
                  static_cast<int>(offset % 3600 / 60));
    return text;
}

Json CardResultJson(const CliOptions& options, const CardOutcome& outcome, const RunRecorder& run) {
    const bool loopback = options.command == CliCommand::Loopback;
    Json j;
    j["program"] = {{"name", kResultsProgramName},
                    {"version", kResultsProgramVersion},
                    {"build", kResultsProgramBuild}};
    j["card"] = CardJson(outcome.card);
    j["test"] = loopback ? "loopback" : "benchmark";
    j["settings"] = SettingsJson(options);
    const std::string start = Iso8601Time(outcome.startTime);
    j["start_time"] = start.empty() ? Json() : Json(start);
    j["duration_s"] = std::round(outcome.durationSeconds * 1000.0) / 1000.0;
    if (!outcome.tested) {
        j["results"] = nullptr;
    } else {
        j["results"] = loopback ? LoopbackJson(run) : BenchmarkJson(options, run);
    }
    if (options.diagnose) j["diagnosis"] = outcome.tested ? DiagnosisJson(run) : Json();
    j["verdict"] = outcome.reasons.empty() ? "passed" : "failed";
    Json reasons = Json::array();
    for (const std::wstring& r : outcome.reasons) reasons.push_back(Text(r));
    j["reasons"] = reasons;
    return j;
}

std::string JsonText(const Json& results) {
    // ToUtf8 never makes invalid UTF-8, so nothing is replaced; the handler only keeps a
    // surprise from throwing.
    return results.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool WriteTextFile(const std::wstring& path, const std::string& text) {
#ifdef _WIN32
    std::FILE* file = _wfopen(path.c_str(), L"wb");
#else
    std::FILE* file = std::fopen(ToUtf8(path).c_str(), "wb");
#endif
    if (!file) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool flushed = std::fflush(file) == 0;
    return std::fclose(file) == 0 && written && flushed;
}

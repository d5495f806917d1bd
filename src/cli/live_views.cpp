#include "cli/live_views.h"

#include <cmath>
#include <cstdio>

#include "cli/console.h"
#include "engine/error_status.h"
#include "log/log_category.h"

namespace {

// Often enough to look live, seldom enough that the rate shown can be read.
constexpr double kDrawPeriodSeconds = 0.5;
// The JSON stream's objects come this often when --interval does not say.
constexpr double kDefaultStreamSeconds = 1.0;
// A terminal line is at least this wide; a longer live line would wrap and could not be
// redrawn in place.
constexpr size_t kLiveLineChars = 79;

double Mean(double sum, uint64_t count) { return count ? sum / static_cast<double>(count) : 0; }

std::string RateText(double sum, uint64_t count) {
    if (count == 0) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", Mean(sum, count));
    return text;
}

std::string Clock(double seconds) {
    const auto whole = static_cast<unsigned long long>(seconds);
    char text[40];
    std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", whole / 3600, whole / 60 % 60,
                  whole % 60);
    return text;
}

}  // namespace

LiveViews::LiveViews(const CliOptions& options, RunRecorder& recorder, std::FILE* stream)
    : options_(options),
      recorder_(recorder),
      stream_(stream),
      loopback_(options.command == CliCommand::Loopback),
      // Lines a script asked for take the terminal's place; a script's log stays clean.
      progress_(options.intervalSeconds <= 0 && !stream && StderrIsTerminal()),
      period_(options.intervalSeconds > 0 ? options.intervalSeconds
              : stream                    ? kDefaultStreamSeconds
                                          : 0) {}

void LiveViews::BeginCard(int slot) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        counts_ = LiveCounts();
    }
    slot_ = slot;
    start_ = std::chrono::steady_clock::now();
    intervalFrom_ = drawnFrom_ = LiveCounts();
    intervalStart_ = 0;
    nextInterval_ = period_;
    nextDraw_ = 0;
    rateText_ = "-";
}

void LiveViews::LoopbackPass(int32_t result, double rateMBps, const CardConnection& card,
                             const ErrorRecord* status) {
    // Counted as the event log counts them: a failed transfer once, each wrong byte, each
    // listed error-status bit.
    uint64_t errors = result < 0 ? 1 : static_cast<uint64_t>(result);
    if (status) ForEachErrorStatusBit(*status, [&](const ErrorStatusBit&) { ++errors; });
    {
        std::lock_guard<std::mutex> lock(lock_);
        ++counts_.passes;
        counts_.errors += errors;
        // A failed transfer measured nothing; its rate is only the last good one again.
        if (result >= 0) {
            ++counts_.measured;
            counts_.rateSum += rateMBps;
        }
    }
    recorder_.LoopbackPass(result, rateMBps, card, status);
}

void LiveViews::BenchmarkCycle(bool read, uint32_t cycle, float rateMBps, uint64_t bytes,
                               uint32_t failures) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        const int d = read ? 0 : 1;
        ++counts_.cycles[d];
        counts_.bytes[d] += bytes;
        counts_.cycleRateSum[d] += rateMBps;
        counts_.errors += failures;
    }
    recorder_.BenchmarkCycle(read, cycle, rateMBps, bytes, failures);
}

LiveCounts LiveViews::Counts() {
    std::lock_guard<std::mutex> lock(lock_);
    return counts_;
}

double LiveViews::Elapsed() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

// Whole blocks as the JSON results count them, per direction.
uint64_t LiveViews::Blocks(const LiveCounts& c) const {
    const uint64_t block = static_cast<uint64_t>(options_.blockMB) << 20;
    return block ? c.bytes[0] / block + c.bytes[1] / block : 0;
}

void LiveViews::Tick() {
    const double now = Elapsed();
    if (period_ > 0 && now >= nextInterval_) {
        Interval(now);
        while (nextInterval_ <= now) nextInterval_ += period_;
    }
    if (progress_ && now >= nextDraw_) {
        Progress(now);
        nextDraw_ = now + kDrawPeriodSeconds;
    }
}

void LiveViews::EndCard() {
    const LiveCounts c = Counts();
    if (period_ > 0 &&
        (c.passes != intervalFrom_.passes || c.errors != intervalFrom_.errors ||
         c.cycles[0] != intervalFrom_.cycles[0] || c.cycles[1] != intervalFrom_.cycles[1])) {
        Interval(Elapsed());
    }
    if (progress_) SetLiveLine(std::string());
}

void LiveViews::Interval(double end) {
    const LiveCounts c = Counts();
    const LiveCounts& from = intervalFrom_;
    const uint64_t errors = c.errors - from.errors;
    char head[96];
    std::snprintf(head, sizeof head, "card %d: %.1f-%.1f s: ", slot_, intervalStart_, end);
    std::string line = head;
    Json object = {{"type", "interval"},
                   {"card", slot_},
                   {"t_s", std::round(intervalStart_ * 1000) / 1000},
                   {"span_s", std::round((end - intervalStart_) * 1000) / 1000}};
    if (loopback_) {
        const uint64_t passes = c.passes - from.passes;
        const uint64_t measured = c.measured - from.measured;
        const double sum = c.rateSum - from.rateSum;
        line += std::to_string(passes) + " passes, " + std::to_string(errors) + " errors, " +
                RateText(sum, measured) + " MB/s";
        object["passes"] = passes;
        object["errors"] = errors;
        object["rate_mib_per_s"] = measured ? Json(RoundedRate(Mean(sum, measured))) : Json();
    } else {
        const uint64_t blocks = Blocks(c) - Blocks(from);
        line += std::to_string(blocks) + " blocks, " + std::to_string(errors) + " errors";
        object["blocks"] = blocks;
        object["errors"] = errors;
        static const char* const kNames[2] = {"read", "write"};
        for (int d = 0; d < 2; ++d) {
            if ((d == 0 && options_.direction == 2) || (d == 1 && options_.direction == 1))
                continue;
            const uint64_t cycles = c.cycles[d] - from.cycles[d];
            const double sum = c.cycleRateSum[d] - from.cycleRateSum[d];
            line += std::string(", ") + kNames[d] + " " + RateText(sum, cycles) + " MB/s";
            object[std::string(kNames[d]) + "_mib_per_s"] =
                cycles ? Json(RoundedRate(Mean(sum, cycles))) : Json();
        }
    }
    if (options_.intervalSeconds > 0) Print(stderr, FromUtf8(line + "\n"));
    if (stream_) WriteStreamLine(stream_, object);
    intervalFrom_ = c;
    intervalStart_ = end;
}

void LiveViews::Progress(double now) {
    const LiveCounts c = Counts();
    const LiveCounts& from = drawnFrom_;
    std::string line = "card " + std::to_string(slot_) + "  " + Clock(now);
    line += options_.minutes > 0 ? " of " + Clock(options_.minutes * 60) : " until Ctrl-C";
    if (loopback_) {
        line += "  passes " + std::to_string(c.passes);
        if (c.measured != from.measured) {
            rateText_ = RateText(c.rateSum - from.rateSum, c.measured - from.measured) + " MB/s";
        }
    } else {
        line += "  blocks " + std::to_string(Blocks(c));
        // The direction that moved last; a read-write run reads first, then writes.
        for (int d = 0; d < 2; ++d) {
            if (c.cycles[d] == from.cycles[d]) continue;
            rateText_ =
                std::string(d == 0 ? "read " : "write ") +
                RateText(c.cycleRateSum[d] - from.cycleRateSum[d], c.cycles[d] - from.cycles[d]) +
                " MB/s";
        }
    }
    line += "  errors " + std::to_string(c.errors) + "  " + rateText_;
    if (line.size() > kLiveLineChars) line.resize(kLiveLineChars);
    SetLiveLine(line);
    drawnFrom_ = c;
}

void LiveViews::CardResult(const Json& result) {
    if (stream_) WriteStreamLine(stream_, Json{{"type", "result"}, {"result", result}});
}

std::string RecordObjectText(const LogRecord& record) {
    std::string category = ToUtf8(LogCategoryName(record.category));
    while (!category.empty() && category.back() == ' ') category.pop_back();
    const std::string time = Iso8601Time(record.time);
    const Json object = {{"type", "record"},
                         {"time", time.empty() ? Json() : Json(time)},
                         {"category", category},
                         {"text", ToUtf8(record.text)}};
    return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void WriteStreamLine(std::FILE* stream, const Json& object) {
    const std::string text = object.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
    WithConsole([&] {
        std::fwrite(text.data(), 1, text.size(), stream);
        std::fflush(stream);
    });
}

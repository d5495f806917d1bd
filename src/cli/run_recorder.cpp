#include "cli/run_recorder.h"

#include <algorithm>
#include <chrono>
#include <cwchar>

#include "card/card_interface.h"
#include "log/wide_format.h"

namespace {

constexpr int64_t kMinuteMs = 60000;

int64_t SteadyMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

RateFigures FiguresOf(const RateHistogram* rates) {
    RateFigures f;
    if (!rates || rates->Count() == 0) return f;
    f.count = rates->Count();
    f.min = rates->Min();
    f.median = rates->Median();
    f.max = rates->Max();
    return f;
}

// "7, 0" for 0x81: the bit numbers, highest first, as a data sheet lists data lines.
std::wstring BitList(uint8_t bits) {
    std::wstring text;
    for (int b = 7; b >= 0; --b) {
        if (!(bits & (1u << b))) continue;
        if (!text.empty()) text += L", ";
        text += std::to_wstring(b);
    }
    return text;
}

}  // namespace

RunRecorder::RunRecorder() : clock_(&SteadyMilliseconds) {}

void RunRecorder::SetClock(Clock clock) { clock_ = clock ? clock : &SteadyMilliseconds; }

void RunRecorder::Begin(RecordedTest test, bool diagnose, LineSink sink) {
    test_ = test;
    diagnose_ = diagnose;
    sink_ = std::move(sink);
    startMs_ = clock_();
    {
        std::lock_guard<std::mutex> lock(endLock_);
        ended_ = false;
    }
    outcome_ = RunOutcome();
    passes_ = 0;
    minutes_.clear();
    currentMinute_ = 0;
    minutePasses_ = 0;
    diagnosis_ = Diagnosis();
    statistics_.Begin(test == RecordedTest::Benchmark, 0);

    // Every allocation a run needs is made here, before the run, and kept for the next card.
    auto ready = [](std::unique_ptr<RateHistogram>& h) {
        if (!h) h = std::make_unique<RateHistogram>();
        h->Clear();
    };
    if (test == RecordedTest::Loopback) {
        ready(loopbackRates_);
        ready(minuteRates_);
        minutes_.reserve(60);
    } else {
        ready(readRates_);
        ready(writeRates_);
    }
}

void RunRecorder::LoopbackPass(int32_t result, double rateMBps, const CardConnection& card,
                               const ErrorRecord* status) {
    ++passes_;
    const int64_t elapsedMs = std::max<int64_t>(clock_() - startMs_, 0);
    const uint32_t minute = static_cast<uint32_t>(elapsedMs / kMinuteMs);
    statistics_.LoopbackPass(elapsedMs, result, rateMBps, LastRoundTripNs(card),
                             PassErrors(result, status));
    if (minutePasses_ > 0 && minute != currentMinute_) CloseMinute();
    currentMinute_ = minute;
    ++minutePasses_;
    // A failed write or read measured nothing; its rate is only the last good one again.
    if (result >= 0) {
        loopbackRates_->Add(rateMBps);
        minuteRates_->Add(rateMBps);
    }

    if (!diagnose_) return;
    if (result > 0) DiagnoseWrongBytes(card, static_cast<uint32_t>(result));
    if (status) DiagnoseStatus(*status);
}

void RunRecorder::CloseMinute() {
    LoopbackMinute m;
    m.minute = currentMinute_;
    m.passes = minutePasses_;
    m.rates = FiguresOf(minuteRates_.get());
    minutes_.push_back(m);
    minuteRates_->Clear();
    minutePasses_ = 0;
}

void RunRecorder::BenchmarkCycle(bool read, uint32_t, float rateMBps, uint64_t bytes,
                                 uint32_t failures) {
    (read ? *readRates_ : *writeRates_).Add(rateMBps);
    statistics_.BenchmarkCycle(std::max<int64_t>(clock_() - startMs_, 0), read, rateMBps, bytes,
                               failures);
}

void RunRecorder::RunStarted(const RunRequest& request) {
    // Now the block size is known; nothing has been counted yet.
    statistics_.Begin(test_ == RecordedTest::Benchmark,
                      static_cast<uint64_t>(request.settings.benchmarkBlockMB) << 20);
}

void RunRecorder::RunEnded(const RunOutcome& outcome) {
    std::lock_guard<std::mutex> lock(endLock_);
    outcome_ = outcome;
    ended_ = true;
    endSignal_.notify_all();
}

bool RunRecorder::WaitForEnd(std::chrono::milliseconds bound) {
    std::unique_lock<std::mutex> lock(endLock_);
    return endSignal_.wait_for(lock, bound, [this] { return ended_; });
}

void RunRecorder::Finish() {
    if (test_ == RecordedTest::Loopback && minutePasses_ > 0) CloseMinute();
    if (!diagnose_ || test_ != RecordedTest::Loopback) return;

    const Diagnosis& d = diagnosis_;
    const uint64_t notDescribed = d.wrongBytePasses - static_cast<uint64_t>(d.describedCount);
    if (notDescribed > 0) {
        Say(
            FormatWide(L"%llu more passes with wrong bytes were not described (only the first %d "
                       L"are)",
                       static_cast<unsigned long long>(notDescribed), kDescribedPassLimit));
    }
    // One data line stuck or broken flips the same bit of every byte it carries.
    if (d.locatedBytes >= 2 && d.bitsInEvery != 0) {
        Say(FormatWide(L"bit%ls %ls differed in every located byte (%llu): one data line at fault?",
                       (d.bitsInEvery & (d.bitsInEvery - 1)) ? L"s" : L"",
                       BitList(d.bitsInEvery).c_str(),
                       static_cast<unsigned long long>(d.locatedBytes)));
    }
    bool notes = false;
    for (int r = 0; r < 2; ++r) {
        const auto reg = static_cast<ErrorStatusRegister>(r);
        for (int bit = 0; bit < 32; ++bit) {
            const uint64_t passes = d.uncountedBits[r][bit];
            if (passes == 0) continue;
            notes = true;
            Say(FormatWide(
                L"note: %ls (%ls status bit %d) was reported in %llu of %llu passes; "
                L"not counted as an error",
                ErrorStatusBitName(reg, bit), ErrorStatusRegisterName(reg), bit,
                static_cast<unsigned long long>(passes), static_cast<unsigned long long>(passes_)));
        }
    }
    if (d.wrongBytePasses == 0 && !notes) {
        Say(L"no wrong bytes and no uncounted error-status bits");
    }
}

void RunRecorder::DiagnoseWrongBytes(const CardConnection& card, uint32_t wrongBytes) {
    Diagnosis& d = diagnosis_;
    ++d.wrongBytePasses;
    // Past the limit a failing card would flood the output and cost a scan of the whole block
    // on every pass; the count alone goes on.
    if (d.describedCount >= kDescribedPassLimit) return;
    DescribedPass& p = d.described[d.describedCount++];
    p.pass = passes_;
    p.wrongBytes = wrongBytes;
    p.located = 0;
    const uint8_t* sent = card.buffers[0];
    const uint8_t* received = card.buffers[1];
    if (sent && received) {
        for (uint32_t i = 0; i < card.bufferSize && p.located < kLocatedBytesPerPass; ++i) {
            if (sent[i] == received[i]) continue;
            p.bytes[p.located++] = {i, sent[i], received[i]};
            d.bitsInEvery &= static_cast<uint8_t>(sent[i] ^ received[i]);
            ++d.locatedBytes;
        }
    }

    Say(FormatWide(L"pass %llu: %u of %u bytes wrong%ls", static_cast<unsigned long long>(p.pass),
                   wrongBytes, card.bufferSize,
                   wrongBytes > static_cast<uint32_t>(p.located) ? L"; the first ones:" : L":"));
    for (int i = 0; i < p.located; ++i) {
        const LocatedByte& b = p.bytes[i];
        const uint8_t bits = b.expected ^ b.received;
        Say(
            FormatWide(L"  offset 0x%08x: expected 0x%02x, received 0x%02x, differing bits 0x%02x "
                       L"(bit%ls %ls)",
                       b.offset, b.expected, b.received, bits, (bits & (bits - 1)) ? L"s" : L"",
                       BitList(bits).c_str()));
    }
}

void RunRecorder::DiagnoseStatus(const ErrorRecord& status) {
    static const uint32_t kCounted[2] = {CountedErrorStatusMask(ErrorStatusRegister::Uncorrectable),
                                         CountedErrorStatusMask(ErrorStatusRegister::Correctable)};
    for (int r = 0; r < 2; ++r) {
        const auto reg = static_cast<ErrorStatusRegister>(r);
        const size_t offset = reg == ErrorStatusRegister::Uncorrectable ? kUncorrectableStatusOffset
                                                                        : kCorrectableStatusOffset;
        const uint32_t uncounted = ReadLe32(status.bytes + offset) & ~kCounted[r];
        if (uncounted == 0) continue;
        for (int bit = 0; bit < 32; ++bit) {
            if (!(uncounted & (1u << bit))) continue;
            // Said once, when first seen; Finish gives how often.
            if (diagnosis_.uncountedBits[r][bit]++ == 0) {
                Say(
                    FormatWide(L"note: pass %llu: %ls (%ls status bit %d) reported; the event log "
                               L"does not count it",
                               static_cast<unsigned long long>(passes_),
                               ErrorStatusBitName(reg, bit), ErrorStatusRegisterName(reg), bit));
            }
        }
    }
}

void RunRecorder::Say(const std::wstring& line) {
    if (sink_) sink_(L"diagnose: " + line);
}

RateFigures RunRecorder::LoopbackRates() const { return FiguresOf(loopbackRates_.get()); }
RateFigures RunRecorder::ReadRates() const { return FiguresOf(readRates_.get()); }
RateFigures RunRecorder::WriteRates() const { return FiguresOf(writeRates_.get()); }

#include "sim/simulated_card_driver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

#include "sim/link_model.h"

namespace {

thread_local uint32_t threadLastError = 0;

bool Fail(uint32_t code) {
    threadLastError = code;
    return false;
}

bool Succeed() {
    threadLastError = 0;
    return true;
}

// Open-file slots of a card: the control file, then c2h_0-3, then h2c_0-3.
constexpr int kUserSlot = 0;
constexpr int kFileSlots = 1 + 2 * kChannelCount;
int CardToHostSlot(int channel) { return 1 + channel; }
int HostToCardSlot(int channel) { return 1 + kChannelCount + channel; }

// A 256 KiB transfer at Gen4 x4 takes about 40 us, far below what Sleep can wait on Windows
// or under Wine; so the link clock may run this far ahead of real time before we sleep.
constexpr int64_t kSleepThresholdNs = 2'000'000;

// The longest stretch of our own hold-ups (see NoteHeldUp) the link may make up for: enough
// for a run's first cycle on a busy machine, short of a burst that would show in a rate.
constexpr int64_t kMaxHeldUpNs = 100'000'000;

// A thread we put to sleep wakes late (by a timer tick on Windows, by the scheduler on a busy
// machine). That lateness was ours, not the caller's, so its next transfer may start that much
// earlier on the link clock; without this a paced stream loses every oversleep. Capped so a
// thread descheduled for long cannot burst through a second's worth of data.
constexpr int64_t kMaxOversleepCreditNs = 20'000'000;
struct PacedCaller {
    const void* driver = nullptr;
    int64_t oversleepNs = 0;
};
thread_local PacedCaller pacedCaller;

constexpr uint64_t kGoldenGamma = 0x9E3779B97F4A7C15ull;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// splitmix64: tiny, and the same sequence on every platform and C library.
uint64_t NextRandom(uint64_t& state) {
    uint64_t z = (state += kGoldenGamma);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint8_t NonZeroRandomByte(uint64_t& state) {
    return static_cast<uint8_t>(1 + NextRandom(state) % 255);
}

// Windows compares device paths without regard to case; the paths are ASCII.
std::wstring LowerAscii(std::wstring text) {
    for (wchar_t& c : text) {
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return text;
}

std::wstring GuidText(const InterfaceGuid& g) {
    wchar_t text[40];
    std::swprintf(text, 40, L"{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.data1, g.data2,
                  g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5],
                  g.data4[6], g.data4[7]);
    return text;
}

bool SameGuid(const InterfaceGuid& a, const InterfaceGuid& b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

// Looks like what SetupAPI returns for a card in a PCIe slot; the instance part carries the
// slot so every card's path differs.
std::wstring CardInterfacePath(int index) {
    wchar_t instance[16];
    std::swprintf(instance, 16, L"%04x", 0x00E0 + 8 * index);
    return std::wstring(L"\\\\?\\pci#ven_1e0f&dev_0404&subsys_00011e0f&rev_01#4&2f1c3a7b&0&") +
           instance + L"#" + GuidText(CARD_INTERFACE_GUID);
}

// The slot a sub-file name (lower case, with its backslash) opens; -1 when there is none.
int FileSlotOf(const std::wstring& name) {
    if (name == kUserFileName) return kUserSlot;
    const std::wstring c2h = kCardToHostPrefix, h2c = kHostToCardPrefix;
    if (name.size() != c2h.size() + 1) return -1;
    const wchar_t digit = name.back();
    if (digit < L'0' || digit >= static_cast<wchar_t>(L'0' + kChannelCount)) return -1;
    const int channel = digit - L'0';
    if (name.compare(0, c2h.size(), c2h) == 0) return CardToHostSlot(channel);
    if (name.compare(0, h2c.size(), h2c) == 0) return HostToCardSlot(channel);
    return -1;
}

}  // namespace

struct SimulatedCardDriver::Card {
    int index = 0;
    std::wstring path;
    bool faulty = false;  // the fault options apply to this card

    uintptr_t openHandles[kFileSlots] = {};  // 0 when closed; under filesLock_

    std::atomic<uint64_t> driverCalls{0};
    std::atomic<bool> removed{false};
    std::atomic<uint64_t> ioControls{0};
    std::atomic<uint64_t> sessions{0};
    std::atomic<uint64_t> reads[kChannelCount];
    std::atomic<uint64_t> writes[kChannelCount];
    // Fault counters, per channel and direction, from the latest open of the control file:
    // every run on a card meets its faults at the same transfers, also with three channels
    // moving at once.
    std::atomic<uint64_t> sessionReads[kChannelCount];
    std::atomic<uint64_t> sessionWrites[kChannelCount];
    std::atomic<bool> stallPending{false};

    std::atomic<uint32_t> uncorrectableStatus{0};
    std::atomic<uint32_t> correctableStatus{0};

    // Card memory behind each channel. Grows to the largest transfer and stays; the lock
    // is per channel, so the benchmark's three channels never wait for one another.
    struct Memory {
        std::mutex lock;
        std::unique_ptr<uint8_t[]> bytes;
        size_t size = 0;
    } memory[kChannelCount];
    uint64_t random = 0;  // the fault generator; under memory[0].lock

    std::mutex pacingLock;
    int64_t linkClockEnd[2] = {};  // per direction, steady-clock ns
    int64_t loopbackEnd = 0;       // end of the latest channel 0 transfer
    // Per direction, the latest stretch in which its transfers were held up by the
    // simulator's own work rather than by the link; stretches that overlap are merged.
    // Steady-clock ns, under pacingLock.
    struct Stretch {
        int64_t from = 0;
        int64_t to = 0;
    } heldUp[2];

    std::mutex stallLock;
    std::condition_variable stallWake;
};

struct SimulatedCardDriver::File {
    Card* card = nullptr;
    int slot = 0;
    int channel = 0;
    std::atomic<int64_t> position{0};
    std::atomic<bool> closed{false};  // set under card->stallLock

    bool IsControl() const { return slot == kUserSlot; }
    bool IsCardToHost() const { return slot >= 1 && slot <= kChannelCount; }
    bool IsHostToCard() const { return slot > kChannelCount; }
};

SimulatedCardDriver::SimulatedCardDriver(const SimOptions& options)
    : options_(options),
      rateMBps_(EffectiveRateMBps(options)),
      nanosecondsPerByte_(rateMBps_ > 0.0 ? 1e9 / (rateMBps_ * 1048576.0) : 0.0),
      linkRecord_(BuildLinkRecord(options.linkSpeed, options.linkWidth, options.deviceControl)),
      driverVersion_() {
    // UTF-16LE whatever the width of wchar_t; the parser keeps the text within 31 units.
    size_t unit = 0;
    auto put = [&](uint32_t u) {
        if (unit + 1 < kDriverVersionBytes / 2)
            WriteLe16(driverVersion_ + 2 * unit++, static_cast<uint16_t>(u));
    };
    for (wchar_t wc : options.driverVersion) {
        uint32_t c = static_cast<uint32_t>(wc);
        if (c > 0xFFFF) {
            c -= 0x10000;
            put(0xD800 + (c >> 10));
            put(0xDC00 + (c & 0x3FF));
        } else {
            put(c);
        }
    }

    for (int i = 0; i < options.cards; ++i) {
        auto card = std::make_unique<Card>();
        card->index = i;
        card->path = CardInterfacePath(i);
        card->faulty = options.onlyCard < 0 || options.onlyCard == i;
        cardByPath_.emplace(LowerAscii(card->path), i);
        cards_.push_back(std::move(card));
    }
}

SimulatedCardDriver::~SimulatedCardDriver() = default;

std::vector<std::wstring> SimulatedCardDriver::EnumerateInterfaces(
    const InterfaceGuid& interfaceClass) {
    std::vector<std::wstring> paths;
    if (SameGuid(interfaceClass, CARD_INTERFACE_GUID)) {
        for (const auto& card : cards_) {
            if (!card->removed.load()) paths.push_back(card->path);
        }
    }
    Succeed();
    return paths;
}

DriverHandle SimulatedCardDriver::OpenFile(const std::wstring& path) {
    const std::wstring lower = LowerAscii(path);
    const size_t slash = lower.rfind(L'\\');
    const auto found =
        slash == std::wstring::npos ? cardByPath_.end() : cardByPath_.find(lower.substr(0, slash));
    if (found == cardByPath_.end()) {
        Fail(kErrorFileNotFound);
        return kNoHandle;
    }
    Card& card = *cards_[static_cast<size_t>(found->second)];
    if (!DriverCall(card)) {
        Fail(kErrorDeviceNotConnected);
        return kNoHandle;
    }
    const int slot = FileSlotOf(lower.substr(slash));
    if (slot < 0 || (card.faulty && options_.noOpen)) {
        Fail(kErrorFileNotFound);
        return kNoHandle;
    }

    auto file = std::make_shared<File>();
    file->card = &card;
    file->slot = slot;
    file->channel = slot == kUserSlot ? 0 : (slot - 1) % kChannelCount;
    uintptr_t handle = 0;
    {
        std::lock_guard<std::mutex> guard(filesLock_);
        // Opened without sharing, as the card code asks: a second open is refused.
        if (card.openHandles[slot] != 0) {
            Fail(kErrorSharingViolation);
            return kNoHandle;
        }
        // Handles are never reused, so a stale one can never reach a later file.
        handle = nextHandle_;
        nextHandle_ += 4;
        card.openHandles[slot] = handle;
        files_.emplace(handle, std::move(file));
    }

    if (slot == kUserSlot) {
        // Opening the control file starts a session: the card's faults start over.
        card.sessions.fetch_add(1);
        for (int n = 0; n < kChannelCount; ++n) {
            card.sessionReads[n].store(0);
            card.sessionWrites[n].store(0);
        }
        card.stallPending.store(card.faulty && options_.stallMs > 0);
        std::lock_guard<std::mutex> guard(card.memory[0].lock);
        card.random = options_.seed ^ (kGoldenGamma * static_cast<uint64_t>(card.index + 1));
    }
    Succeed();
    return reinterpret_cast<DriverHandle>(handle);
}

void SimulatedCardDriver::CloseFile(DriverHandle handle) {
    std::shared_ptr<File> file;
    {
        std::lock_guard<std::mutex> guard(filesLock_);
        const auto found = files_.find(reinterpret_cast<uintptr_t>(handle));
        if (found == files_.end()) {
            Fail(kErrorInvalidHandle);
            return;
        }
        file = std::move(found->second);
        files_.erase(found);
        file->card->openHandles[file->slot] = 0;
    }
    // A transfer stalled on this file gives up now, as a real one is cancelled.
    {
        std::lock_guard<std::mutex> guard(file->card->stallLock);
        file->closed.store(true);
    }
    file->card->stallWake.notify_all();
    Succeed();
}

bool SimulatedCardDriver::SetPosition(DriverHandle handle, int64_t position) {
    const auto file = FindFile(handle);
    if (!file) return Fail(kErrorInvalidHandle);
    if (!DriverCall(*file->card)) return Fail(kErrorDeviceNotConnected);
    if (position < 0) return Fail(kErrorInvalidParameter);
    file->position.store(position);
    return Succeed();
}

bool SimulatedCardDriver::Read(DriverHandle handle, void* buffer, uint32_t bytes, uint32_t* done) {
    uint32_t ignored = 0;
    if (!done) done = &ignored;
    *done = 0;
    const auto file = FindFile(handle);
    if (!file) return Fail(kErrorInvalidHandle);
    Card& card = *file->card;
    if (!DriverCall(card)) return Fail(kErrorDeviceNotConnected);
    if (!file->IsCardToHost()) return Fail(kErrorInvalidFunction);
    if (file->channel == 0 && file->position.load() == kSignatureAddress) {
        return ReadSignature(card, buffer, bytes, done);
    }
    if (bytes == 0) return Succeed();
    if (!buffer) return Fail(kErrorInvalidParameter);
    return Transfer(*file, Direction::CardToHost, static_cast<uint8_t*>(buffer), nullptr, bytes,
                    done);
}

bool SimulatedCardDriver::Write(DriverHandle handle, const void* buffer, uint32_t bytes,
                                uint32_t* done) {
    uint32_t ignored = 0;
    if (!done) done = &ignored;
    *done = 0;
    const auto file = FindFile(handle);
    if (!file) return Fail(kErrorInvalidHandle);
    if (!DriverCall(*file->card)) return Fail(kErrorDeviceNotConnected);
    if (!file->IsHostToCard()) return Fail(kErrorInvalidFunction);
    if (bytes == 0) return Succeed();
    if (!buffer) return Fail(kErrorInvalidParameter);
    return Transfer(*file, Direction::HostToCard, nullptr, static_cast<const uint8_t*>(buffer),
                    bytes, done);
}

bool SimulatedCardDriver::IoControl(DriverHandle handle, uint32_t code, void* out,
                                    uint32_t outBytes, uint32_t* returned) {
    uint32_t ignored = 0;
    if (!returned) returned = &ignored;
    *returned = 0;
    const auto file = FindFile(handle);
    if (!file) return Fail(kErrorInvalidHandle);
    Card& card = *file->card;
    if (!DriverCall(card)) return Fail(kErrorDeviceNotConnected);
    if (!file->IsControl()) return Fail(kErrorInvalidFunction);
    card.ioControls.fetch_add(1);

    uint32_t size = 0;
    switch (code) {
        case IOCTL_GET_DRIVER_VERSION:
            size = kDriverVersionBytes;
            break;
        case IOCTL_GET_LINK_RECORD:
            size = sizeof(LinkRecord);
            break;
        case IOCTL_GET_ERROR_RECORD:
        case IOCTL_GET_ERROR_STATUS:
        case IOCTL_CLEAR_ERROR_STATUS:
            size = sizeof(ErrorRecord);
            break;
        default:
            return Fail(kErrorInvalidFunction);
    }
    // The driver delivers whole records or nothing.
    if (outBytes < size) return Fail(kErrorInsufficientBuffer);
    if (!out) return Fail(kErrorInvalidParameter);

    if (code == IOCTL_GET_DRIVER_VERSION) {
        std::memcpy(out, driverVersion_, size);
    } else if (code == IOCTL_GET_LINK_RECORD) {
        std::memcpy(out, &linkRecord_, size);
    } else {
        // AER status bits are write-one-to-clear; the record returned is the one after.
        const bool clear = code == IOCTL_CLEAR_ERROR_STATUS;
        const uint32_t unc =
            clear ? (card.uncorrectableStatus.store(0), 0u) : card.uncorrectableStatus.load();
        const uint32_t cor =
            clear ? (card.correctableStatus.store(0), 0u) : card.correctableStatus.load();
        const ErrorRecord record = BuildErrorRecord(unc, cor);
        std::memcpy(out, &record, size);
    }
    *returned = size;
    return Succeed();
}

uint32_t SimulatedCardDriver::LastError() { return threadLastError; }

std::wstring SimulatedCardDriver::CardPath(int card) const {
    if (card < 0 || card >= CardCount()) return {};
    return cards_[static_cast<size_t>(card)]->path;
}

int SimulatedCardDriver::OpenFileCount() const {
    std::lock_guard<std::mutex> guard(filesLock_);
    return static_cast<int>(files_.size());
}

int SimulatedCardDriver::OpenFileCount(int card) const {
    if (card < 0 || card >= CardCount()) return 0;
    std::lock_guard<std::mutex> guard(filesLock_);
    const Card& c = *cards_[static_cast<size_t>(card)];
    return static_cast<int>(std::count_if(std::begin(c.openHandles), std::end(c.openHandles),
                                          [](uintptr_t h) { return h != 0; }));
}

SimCardStats SimulatedCardDriver::Stats(int card) const {
    SimCardStats stats;
    if (card < 0 || card >= CardCount()) return stats;
    const Card& c = *cards_[static_cast<size_t>(card)];
    for (int n = 0; n < kChannelCount; ++n) {
        stats.reads[n] = c.reads[n].load();
        stats.writes[n] = c.writes[n].load();
    }
    stats.ioControls = c.ioControls.load();
    stats.driverCalls = c.driverCalls.load();
    stats.sessions = c.sessions.load();
    stats.removed = c.removed.load();
    stats.openFiles = OpenFileCount(card);
    return stats;
}

std::shared_ptr<SimulatedCardDriver::File> SimulatedCardDriver::FindFile(
    DriverHandle handle) const {
    std::lock_guard<std::mutex> guard(filesLock_);
    const auto found = files_.find(reinterpret_cast<uintptr_t>(handle));
    return found == files_.end() ? nullptr : found->second;
}

bool SimulatedCardDriver::DriverCall(Card& card) {
    const uint64_t call = card.driverCalls.fetch_add(1) + 1;
    if (card.faulty && options_.removeAfterCalls != 0 && call >= options_.removeAfterCalls) {
        card.removed.store(true);
        return false;
    }
    return true;
}

bool SimulatedCardDriver::ReadSignature(Card& card, void* buffer, uint32_t bytes, uint32_t* done) {
    // A register, not memory: it answers only a whole 32-bit read.
    if (bytes != 4 || !buffer) return Fail(kErrorInvalidParameter);
    uint8_t signature[4] = {options_.hardwareVersion, options_.firmwareVersion, kSignatureByte2,
                            kSignatureByte3};
    if (card.faulty && options_.badSignature) std::swap(signature[2], signature[3]);
    std::memcpy(buffer, signature, sizeof signature);
    *done = sizeof signature;
    return Succeed();
}

namespace {

// Makes `count` of `length` delivered bytes differ from what the card stored, at positions
// the generator picks. A position already wrong is not picked twice (the next right one is
// taken), so exactly `count` bytes differ. Past half the block it is cheaper to spoil every
// byte and pick the ones to put right.
void Corrupt(uint8_t* delivered, const uint8_t* stored, uint32_t length, uint32_t count,
             uint64_t& random) {
    if (length == 0 || count == 0) return;
    count = std::min(count, length);
    const bool inverted = count > length / 2;
    if (inverted) {
        for (uint32_t i = 0; i < length; ++i) delivered[i] ^= NonZeroRandomByte(random);
        count = length - count;
    }
    for (uint32_t k = 0; k < count; ++k) {
        uint32_t pos = static_cast<uint32_t>(NextRandom(random) % length);
        while ((delivered[pos] != stored[pos]) != inverted) pos = pos + 1 == length ? 0 : pos + 1;
        if (inverted) {
            delivered[pos] = stored[pos];
        } else {
            delivered[pos] ^= NonZeroRandomByte(random);
        }
    }
}

// Card memory never shrinks; a larger transfer grows it once, keeping what it held.
bool GrowMemory(std::unique_ptr<uint8_t[]>& bytes, size_t& size, size_t needed) {
    if (needed <= size) return true;
    std::unique_ptr<uint8_t[]> grown(new (std::nothrow) uint8_t[needed]());
    if (!grown) return false;
    if (size) std::memcpy(grown.get(), bytes.get(), size);
    bytes = std::move(grown);
    size = needed;
    return true;
}

}  // namespace

bool SimulatedCardDriver::Transfer(File& file, Direction direction, uint8_t* readInto,
                                   const uint8_t* writeFrom, uint32_t bytes, uint32_t* done) {
    Card& card = *file.card;
    const int channel = file.channel;
    const bool reading = direction == Direction::CardToHost;
    (reading ? card.reads : card.writes)[channel].fetch_add(1);

    // The card reports its AER bits after every transfer, whatever became of it.
    auto reportErrors = [&] {
        if (!card.faulty) return;
        if (options_.aerUncorrectable) card.uncorrectableStatus.fetch_or(options_.aerUncorrectable);
        if (options_.aerCorrectable) card.correctableStatus.fetch_or(options_.aerCorrectable);
    };

    uint32_t moved = bytes;
    uint64_t number = 0;  // of this transfer on its channel and direction in this session
    if (card.faulty) {
        if (card.stallPending.exchange(false) && !Stall(card, file)) {
            reportErrors();
            return Fail(kErrorOperationAborted);
        }
        number = (reading ? card.sessionReads : card.sessionWrites)[channel].fetch_add(1) + 1;
        const uint32_t failEvery = reading ? options_.failReadEvery : options_.failWriteEvery;
        const uint32_t shortEvery = reading ? options_.shortReadEvery : options_.shortWriteEvery;
        if (failEvery != 0 && number % failEvery == 0) {
            reportErrors();
            return Fail(kErrorGenFailure);
        }
        if (shortEvery != 0 && number % shortEvery == 0) moved = bytes / 2;
    }

    int64_t deadline = 0;
    {
        Card::Memory& memory = card.memory[channel];
        std::lock_guard<std::mutex> guard(memory.lock);
        // The one-time growth is no part of the transfer: a real card has its memory.
        const int64_t growthStart = bytes > memory.size && nanosecondsPerByte_ > 0.0 ? NowNs() : 0;
        if (!GrowMemory(memory.bytes, memory.size, bytes)) {
            reportErrors();
            return Fail(kErrorNotEnoughMemory);
        }
        if (growthStart != 0) NoteHeldUp(card, direction, growthStart, NowNs());
        // Link time is booked after the growth and before the copy, which is the DMA itself
        // and runs within the booked time.
        deadline = ReserveLink(card, direction, channel, moved);
        if (reading) {
            std::memcpy(readInto, memory.bytes.get(), moved);
            const uint32_t every = std::max<uint32_t>(options_.corruptEvery, 1);
            if (channel == 0 && card.faulty && options_.corruptBytes != 0 && number % every == 0) {
                Corrupt(readInto, memory.bytes.get(), moved, options_.corruptBytes, card.random);
            }
        } else {
            std::memcpy(memory.bytes.get(), writeFrom, moved);
        }
    }
    // With nothing booked behind it, a transfer may be the last of a timed stretch (a
    // benchmark cycle ends with it), so it waits out its own time as a loopback one does.
    bool timed = channel == 0;
    if (deadline != 0 && !timed) {
        std::lock_guard<std::mutex> guard(card.pacingLock);
        timed = card.linkClockEnd[static_cast<int>(direction)] == deadline;
    }
    reportErrors();
    WaitForLink(deadline, timed);
    *done = moved;
    return Succeed();
}

bool SimulatedCardDriver::Stall(Card& card, const File& file) {
    std::unique_lock<std::mutex> lock(card.stallLock);
    const bool closed = card.stallWake.wait_for(lock, std::chrono::milliseconds(options_.stallMs),
                                                [&] { return file.closed.load(); });
    return !closed;
}

void SimulatedCardDriver::NoteHeldUp(Card& card, Direction direction, int64_t from, int64_t to) {
    std::lock_guard<std::mutex> guard(card.pacingLock);
    Card::Stretch& heldUp = card.heldUp[static_cast<int>(direction)];
    if (from <= heldUp.to) {
        heldUp = {std::min(heldUp.from, from), std::max(heldUp.to, to)};
    } else {
        heldUp = {from, to};
    }
    heldUp.from = std::max(heldUp.from, heldUp.to - kMaxHeldUpNs);
}

int64_t SimulatedCardDriver::ReserveLink(Card& card, Direction direction, int channel,
                                         uint32_t bytes) {
    if (nanosecondsPerByte_ <= 0.0 || bytes == 0) return 0;
    const auto duration = static_cast<int64_t>(std::llround(bytes * nanosecondsPerByte_));
    int64_t now = NowNs();
    if (pacedCaller.driver == this) now -= pacedCaller.oversleepNs;
    pacedCaller = {};
    std::lock_guard<std::mutex> guard(card.pacingLock);
    // The channels moving at once in a direction share its bandwidth: each transfer queues
    // behind what is already booked.
    int64_t& clockEnd = card.linkClockEnd[static_cast<int>(direction)];
    int64_t earliest = clockEnd;
    // The card cannot send back what it has not yet received: on the loopback channel a
    // transfer begins when the previous one, in either direction, has ended.
    if (channel == 0) earliest = std::max(earliest, card.loopbackEnd);
    int64_t start = std::max(now, earliest);
    // While we held the transfers up, a real link would have carried them. So the part of
    // that stretch the link stood idle is booked now, transfer after transfer, until the link
    // clock has caught up; the link never carries more than its rate over any stretch.
    const Card::Stretch& heldUp = card.heldUp[static_cast<int>(direction)];
    if (start > earliest) {
        const int64_t idleFrom = std::max(earliest, heldUp.from);
        if (idleFrom < std::min(start, heldUp.to)) start = idleFrom;
    }
    clockEnd = start + duration;
    if (channel == 0) card.loopbackEnd = clockEnd;
    return clockEnd;
}

void SimulatedCardDriver::WaitForLink(int64_t deadline, bool timed) {
    if (deadline == 0) return;
    if (deadline - NowNs() <= kSleepThresholdNs) {
        // The loopback test times every single transfer (about 80 us for a round trip at
        // Gen4 x4), far below any sleep; it waits out its deadline giving way to others, so
        // each pass shows the speed the link could carry, not the speed of a memcpy. Others
        // return early: the transfers booked behind them keep the link clock going.
        if (timed) {
            while (NowNs() < deadline) std::this_thread::yield();
        }
        return;
    }
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::nanoseconds(deadline))));
    pacedCaller = {this, std::clamp<int64_t>(NowNs() - deadline, 0, kMaxOversleepCreditNs)};
}

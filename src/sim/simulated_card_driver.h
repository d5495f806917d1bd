// SimulatedCardDriver: in-process test cards behind the CardDriver seam, at the level of the
// operating system's calls, so the card code runs over it unchanged. Device interface paths,
// the \user, \c2h_N and \h2c_N files with exclusive opening, the signature register, the
// link and AER records, channel 0 loopback memory, link-rate pacing and seeded faults.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "card/card_driver.h"
#include "sim/sim_options.h"

// Codes the simulated driver reports besides those the card code names.
inline constexpr uint32_t kErrorInvalidFunction = 1;     // wrong use of a file, unknown code
inline constexpr uint32_t kErrorNotEnoughMemory = 8;     // card memory could not grow
inline constexpr uint32_t kErrorOperationAborted = 995;  // file closed during a transfer

// What the card saw, for tests and the command-line runner; counts since the driver began.
struct SimCardStats {
    uint64_t reads[kChannelCount] = {};   // reads issued on c2h_N; the signature read is not one
    uint64_t writes[kChannelCount] = {};  // writes issued on h2c_N
    uint64_t ioControls = 0;
    uint64_t driverCalls = 0;  // what remove-after counts (see DriverCall below)
    uint64_t sessions = 0;     // opens of the \user file
    int openFiles = 0;
    bool removed = false;
};

class SimulatedCardDriver final : public CardDriver {
public:
    explicit SimulatedCardDriver(const SimOptions& options);
    ~SimulatedCardDriver() override;
    SimulatedCardDriver(const SimulatedCardDriver&) = delete;
    SimulatedCardDriver& operator=(const SimulatedCardDriver&) = delete;

    std::vector<std::wstring> EnumerateInterfaces(const InterfaceGuid& interfaceClass) override;
    DriverHandle OpenFile(const std::wstring& path) override;
    void CloseFile(DriverHandle file) override;
    bool SetPosition(DriverHandle file, int64_t position) override;
    bool Read(DriverHandle file, void* buffer, uint32_t bytes, uint32_t* done) override;
    bool Write(DriverHandle file, const void* buffer, uint32_t bytes, uint32_t* done) override;
    bool IoControl(DriverHandle file, uint32_t code, void* out, uint32_t outBytes,
                   uint32_t* returned) override;
    // Per thread, like GetLastError; every call sets it, 0 on success.
    uint32_t LastError() override;

    const SimOptions& Options() const { return options_; }
    // Per direction, MB/s; 0 when unlimited.
    double RateMBps() const { return rateMBps_; }
    int CardCount() const { return static_cast<int>(cards_.size()); }
    // The device interface path of slot `card`, also once it has been removed.
    std::wstring CardPath(int card) const;
    // Files still open on every card, or on one.
    int OpenFileCount() const;
    int OpenFileCount(int card) const;
    SimCardStats Stats(int card) const;

private:
    struct Card;
    struct File;
    enum class Direction { CardToHost = 0, HostToCard = 1 };

    std::shared_ptr<File> FindFile(DriverHandle handle) const;
    // Counts a driver call of the card: OpenFile, SetPosition, Read, Write and IoControl that
    // reach it (CloseFile does not count: closing must always work). False once the card
    // is gone.
    bool DriverCall(Card& card);
    // One channel transfer: into `readInto` (card to host) or from `writeFrom`.
    bool Transfer(File& file, Direction direction, uint8_t* readInto, const uint8_t* writeFrom,
                  uint32_t bytes, uint32_t* done);
    bool ReadSignature(Card& card, void* buffer, uint32_t bytes, uint32_t* done);
    bool Stall(Card& card, const File& file);
    // Notes that from `from` to `to` (steady-clock ns) a direction's transfers waited for the
    // simulator's own work (growing card memory), not for the link. Where the link stood
    // idle then, ReserveLink books later transfers back to back until its clock has caught
    // up, so a run shows the link's rate from its first cycle.
    void NoteHeldUp(Card& card, Direction direction, int64_t from, int64_t to);
    // Reserves the transfer's time on the link clock; returns its deadline in steady-clock
    // nanoseconds, or 0 when the link is unlimited.
    int64_t ReserveLink(Card& card, Direction direction, int channel, uint32_t bytes);
    // Returns at the deadline; below the sleep threshold only a `timed` transfer waits (by
    // yielding), others return at once.
    void WaitForLink(int64_t deadline, bool timed);

    const SimOptions options_;
    const double rateMBps_;
    const double nanosecondsPerByte_;  // 0 when unlimited
    LinkRecord linkRecord_;
    uint8_t driverVersion_[kDriverVersionBytes];  // UTF-16LE, NUL-padded
    std::vector<std::unique_ptr<Card>> cards_;
    std::unordered_map<std::wstring, int> cardByPath_;  // lower-case base path to slot

    mutable std::mutex filesLock_;  // the handle table and every card's open-file slots
    std::unordered_map<uintptr_t, std::shared_ptr<File>> files_;
    uintptr_t nextHandle_ = 0x1000;
};

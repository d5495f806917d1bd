#include "card/card_driver.h"

#include <atomic>

namespace {

// Stands in until a front end chooses a driver: no cards, every call fails. On Linux, where
// the real card driver cannot exist, this is what a run without --simulate meets.
class NoCardDriver final : public CardDriver {
public:
    std::vector<std::wstring> EnumerateInterfaces(const InterfaceGuid&) override { return {}; }
    DriverHandle OpenFile(const std::wstring&) override { return kNoHandle; }
    void CloseFile(DriverHandle) override {}
    bool SetPosition(DriverHandle, int64_t) override { return false; }
    bool Read(DriverHandle, void*, uint32_t, uint32_t* done) override { return Fail(done); }
    bool Write(DriverHandle, const void*, uint32_t, uint32_t* done) override { return Fail(done); }
    bool IoControl(DriverHandle, uint32_t, void*, uint32_t, uint32_t* returned) override {
        return Fail(returned);
    }
    uint32_t LastError() override { return kErrorFileNotFound; }

private:
    static bool Fail(uint32_t* count) {
        if (count) *count = 0;
        return false;
    }
};

NoCardDriver noCardDriver;
std::atomic<CardDriver*> activeDriver{&noCardDriver};

}  // namespace

CardDriver& ActiveCardDriver() { return *activeDriver.load(); }

void UseCardDriver(CardDriver* driver) { activeDriver.store(driver ? driver : &noCardDriver); }

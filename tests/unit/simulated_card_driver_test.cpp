#include "sim/simulated_card_driver.h"

#include <chrono>
#include <cwctype>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "engine_world.h"

namespace {

constexpr auto kHangBound = std::chrono::seconds(60);

class SimulatedCardDriverTest : public EngineWorld {
  protected:
    SimulatedCardDriver& Make(const std::string& options) {
        UseCards(options);
        return *driver;
    }
    DriverHandle Open(const std::wstring& subFile, int card = 0) {
        return driver->OpenFile(driver->CardPath(card) + subFile);
    }
};

TEST_F(SimulatedCardDriverTest, FilesOpenOnceEachAndOnlyByTheirNames) {
    auto& d = Make("cards=2");
    const DriverHandle user = Open(L"\\user");
    ASSERT_NE(user, kNoHandle);
    const std::pair<std::wstring, uint32_t> refused[] = {
        {d.CardPath(0) + L"\\user", kErrorSharingViolation},
        {d.CardPath(0) + L"\\c2h_4", kErrorFileNotFound},
        {d.CardPath(0), kErrorFileNotFound},
    };
    for (const auto& [path, error] : refused) {
        SCOPED_TRACE(std::string(path.begin(), path.end()));
        EXPECT_EQ(d.OpenFile(path), kNoHandle);
        EXPECT_EQ(d.LastError(), error);
    }
    // Windows compares device paths without case; the other card's files are its own.
    std::wstring upper = d.CardPath(0) + L"\\C2H_3";
    for (auto& ch : upper) ch = static_cast<wchar_t>(std::towupper(ch));
    EXPECT_NE(d.OpenFile(upper), kNoHandle);
    EXPECT_NE(Open(L"\\user", 1), kNoHandle);
    EXPECT_EQ(d.OpenFileCount(0), 2);
    EXPECT_EQ(d.OpenFileCount(), 3);
    d.CloseFile(user);
    EXPECT_NE(Open(L"\\user"), kNoHandle) << "a closed file opens again";
}

TEST_F(SimulatedCardDriverTest, CallsOnTheWrongFileOrAStaleHandleFailSafely) {
    auto& d = Make("");
    const DriverHandle user = Open(L"\\user"), c2h = Open(L"\\c2h_1"), h2c = Open(L"\\h2c_1");
    const DriverHandle closed = Open(L"\\c2h_0");
    d.CloseFile(closed);
    int local = 0;
    const DriverHandle madeUp = static_cast<DriverHandle>(&local);
    uint8_t buffer[64] = {};
    uint32_t n = 0;
    const struct {
        const char* what;
        std::function<bool()> call;
        uint32_t error;
    } cases[] = {
        {"read from h2c", [&] { return d.Read(h2c, buffer, 16, &n); }, kErrorInvalidFunction},
        {"ioctl on c2h", [&] { return d.IoControl(c2h, IOCTL_GET_LINK_RECORD, buffer, 64, &n); },
         kErrorInvalidFunction},
        {"unknown ioctl", [&] { return d.IoControl(user, 0x220004, buffer, 64, &n); },
         kErrorInvalidFunction},
        {"negative position", [&] { return d.SetPosition(c2h, -1); }, kErrorInvalidParameter},
        {"read a closed file", [&] { return d.Read(closed, buffer, 4, &n); }, kErrorInvalidHandle},
        {"ioctl a made-up handle",
         [&] { return d.IoControl(madeUp, IOCTL_GET_LINK_RECORD, buffer, 64, &n); },
         kErrorInvalidHandle},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(d.LastError(), c.error);
    }
    d.CloseFile(madeUp);  // harmless
    EXPECT_EQ(d.Stats(0).reads[1] + d.Stats(0).writes[1], 0u) << "refused calls move nothing";
    // A handle value is never given out twice, so a stale one cannot reach a newer file.
    EXPECT_NE(Open(L"\\c2h_0"), closed);
}

TEST_F(SimulatedCardDriverTest, LastErrorBelongsToTheCallingThread) {
    auto& d = Make("");
    EXPECT_FALSE(d.SetPosition(kNoHandle, 0));
    uint32_t other = 99;
    std::thread([&] {
        d.EnumerateInterfaces(CARD_INTERFACE_GUID);
        other = d.LastError();
    }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(d.LastError(), kErrorInvalidHandle);
}

TEST_F(SimulatedCardDriverTest, RemovedCardRefusesEveryCallFromTheNthAndLeavesTheList) {
    auto& d = Make("cards=2,only=1,remove-after=3");
    const DriverHandle user = Open(L"\\user", 1);  // call 1
    const DriverHandle c2h = Open(L"\\c2h_1", 1);  // call 2
    ASSERT_NE(c2h, kNoHandle);
    LinkRecord r;
    uint32_t returned = 0;
    EXPECT_FALSE(d.IoControl(user, IOCTL_GET_LINK_RECORD, &r, sizeof r, &returned));  // call 3
    EXPECT_EQ(d.LastError(), kErrorDeviceNotConnected);
    EXPECT_FALSE(d.SetPosition(c2h, 0));
    EXPECT_EQ(d.LastError(), kErrorDeviceNotConnected);
    EXPECT_EQ(Open(L"\\h2c_1", 1), kNoHandle);
    EXPECT_EQ(d.LastError(), kErrorDeviceNotConnected);
    EXPECT_TRUE(d.Stats(1).removed);

    EXPECT_EQ(d.EnumerateInterfaces(CARD_INTERFACE_GUID), std::vector<std::wstring>{d.CardPath(0)});
    EXPECT_NE(Open(L"\\user", 0), kNoHandle) << "only=1 spares the other card";
    // Closing still works on a card that has gone.
    d.CloseFile(user);
    d.CloseFile(c2h);
    EXPECT_EQ(d.OpenFileCount(1), 0);
}

TEST_F(SimulatedCardDriverTest, StallBlocksTheFirstTransferOfASessionUntilItsFileCloses) {
    auto& d = Make("stall=600000,rate=unlimited");
    Open(L"\\user");
    DriverHandle c2h = Open(L"\\c2h_1");
    std::vector<uint8_t> buffer(4096);
    auto read = [&] {
        uint32_t n = 0;
        const bool ok = d.Read(c2h, buffer.data(), 4096, &n);
        return std::make_pair(ok, d.LastError());
    };
    auto stalled = std::async(std::launch::async, read);
    // Close once the read is under way (it counts itself before it stalls).
    const auto until = std::chrono::steady_clock::now() + kHangBound;
    while (d.Stats(0).reads[1] == 0 && std::chrono::steady_clock::now() < until) {
        std::this_thread::yield();
    }
    d.CloseFile(c2h);
    ASSERT_EQ(stalled.wait_for(kHangBound), std::future_status::ready);
    EXPECT_EQ(stalled.get(), std::make_pair(false, kErrorOperationAborted));

    // The stall is spent: the next transfer of the session goes straight through.
    c2h = Open(L"\\c2h_1");
    auto next = std::async(std::launch::async, read);
    const bool done = next.wait_for(kHangBound) == std::future_status::ready;
    if (!done) d.CloseFile(c2h);
    ASSERT_TRUE(done);
    EXPECT_TRUE(next.get().first);
}

}  // namespace

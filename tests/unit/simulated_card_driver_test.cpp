#include "sim/simulated_card_driver.h"

#include <cwctype>
#include <future>
#include <tuple>

#include "engine_world.h"
#include "sim/link_model.h"

namespace {

constexpr auto kHangBound = std::chrono::seconds(60);

SimOptions Parse(const std::wstring& text) {
    SimOptions o;
    std::wstring error;
    EXPECT_TRUE(ParseSimOptions(text, &o, &error))
        << std::string(text.begin(), text.end()) << ": " << std::string(error.begin(), error.end());
    return o;
}

TEST(SimOptionsTest, ItemsReachTheirFieldsBadTextIsNamedAndTheDefaultRateIsGen4x4s) {
    const SimOptions o = Parse(
        L"link=Gen5X32,driver=a=b,rate=0.5,seed=18446744073709551615,devctl=0xA0bF,aer-cor=0xC");
    EXPECT_EQ(std::make_tuple(o.linkSpeed, o.linkWidth, o.deviceControl, o.aerCorrectable,
                              o.rateMBps, o.seed),
              std::make_tuple(5, 32, uint16_t{0xA0BF}, 12u, 0.5, UINT64_MAX));
    EXPECT_EQ(o.driverVersion, L"a=b");
    EXPECT_EQ(Parse(L"link=gen1x1").linkWidth, 1);
    // 31 characters fit with the NUL.
    EXPECT_EQ(Parse(L"driver=1234567890123456789012345678901").driverVersion.size(), 31u);
    // Bad text is refused naming the item and what is allowed.
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"foo=1", L"unknown item \"foo\": allowed are cards, link,"},
        {L"link=gen9x4", L"link \"gen9x4\": expected genSxW with S 1-5 and W 1,2,4,8,12,16,32"},
        {L"link=gen4x3", L"link \"gen4x3\""},
        {L"aer-cor=0x100000000", L"aer-cor \"0x100000000\": expected a number 0x0-0xFFFFFFFF"},
        {L"cards=99999999999999999999",
         L"cards \"99999999999999999999\": expected a number 0-1024"},
        {L"cards", L"cards \"\""},
        {L"devctl=0x10000", L"devctl \"0x10000\": expected a number 0x0-0xFFFF"},
        {L"seed=18446744073709551616", L"seed \"18446744073709551616\""},
        {L"corrupt-every=0", L"corrupt-every \"0\""},
        {L"rate=1e3", L"rate \"1e3\": expected unlimited or MB/s"},
        {L"driver=12345678901234567890123456789012", L"at most 31 characters"},
        {L"no-open=1", L"no-open takes no value"},
        {L"cards=2,cards=3", L"item \"cards\" given twice"},
        {L"cards=2,", L"empty item"},
        {L"cards=2,only=2", L"only=2: there is no card in slot 2"},
    };
    SimOptions bad;
    for (const auto& [text, message] : cases) {
        std::wstring error;
        EXPECT_TRUE(!ParseSimOptions(text, &bad, &error) && error.find(message) != error.npos)
            << std::string(error.begin(), error.end());
    }
    std::string narrowError;  // narrow text must be ASCII
    EXPECT_FALSE(ParseSimOptions(std::string("driver=\xC3\xA9"), &bad, &narrowError) ||
                 narrowError.empty());
    // 16 GT/s x 128/130 x 4 lanes = 7877 MB/s raw (decimal); TLP and DLLP overhead leave about
    // 6230 MiB/s. A model that forgot the overhead, the encoding or the MiB would be far off.
    EXPECT_NEAR(EffectiveRateMBps(Parse(L"")), 6230.0, 10.0);
    EXPECT_EQ(std::make_pair(EffectiveRateMBps(Parse(L"rate=unlimited")),
                             EffectiveRateMBps(Parse(L"rate=1000"))),
              std::make_pair(0.0, 1000.0));
    // Gen2 runs at 5 GT/s but loses a fifth to 8b/10b; Gen3 at 8 GT/s loses 1.5 percent.
    EXPECT_NEAR(ModelledLinkRateMBps(2, 4, 256) / ModelledLinkRateMBps(3, 4, 256),
                (5.0 * 0.8) / (8.0 * 128 / 130), 1e-9);
    EXPECT_EQ(ModelledLinkRateMBps(9, 4, 256), 0.0);
}

class SimulatedCardDriverTest : public EngineWorld {
  protected:
    DriverHandle Open(const std::wstring& subFile, int card = 0) {
        return driver->OpenFile(driver->CardPath(card) + subFile);
    }
};

TEST_F(SimulatedCardDriverTest, FilesOpenOnceEachByNameUntilTheCardGoesAndAStallEndsWithItsFile) {
    UseCards("cards=2");
    SimulatedCardDriver& d = *driver;
    const DriverHandle user = Open(L"\\user");
    ASSERT_NE(user, kNoHandle);
    EXPECT_EQ(Open(L"\\user"), kNoHandle);
    EXPECT_EQ(d.LastError(), kErrorSharingViolation);
    EXPECT_EQ(Open(L"\\c2h_4"), kNoHandle);
    EXPECT_EQ(d.LastError(), kErrorFileNotFound);
    // Windows compares device paths without case; the other card's files are its own.
    std::wstring upper = d.CardPath(0) + L"\\C2H_3";
    for (auto& ch : upper) ch = static_cast<wchar_t>(std::towupper(ch));
    EXPECT_NE(d.OpenFile(upper), kNoHandle);
    EXPECT_NE(Open(L"\\user", 1), kNoHandle);
    EXPECT_EQ(std::make_pair(d.OpenFileCount(0), d.OpenFileCount()), std::make_pair(2, 3));
    d.CloseFile(user);
    // A closed file opens again, and a handle value is never given out twice, so a stale one
    // cannot reach a newer file.
    const DriverHandle again = Open(L"\\user");
    EXPECT_TRUE(again != kNoHandle && again != user);
    uint8_t byte = 0;
    uint32_t n = 0;
    EXPECT_FALSE(d.Read(user, &byte, 1, &n));
    uint32_t other = 99;  // the last error belongs to the calling thread
    std::thread([&] {
        d.EnumerateInterfaces(CARD_INTERFACE_GUID);
        other = d.LastError();
    }).join();
    EXPECT_EQ(std::make_pair(d.LastError(), other), std::make_pair(kErrorInvalidHandle, 0u));

    // A removed card refuses every call from the nth on, closing included, and leaves the list.
    UseCards("cards=2,only=1,remove-after=2");
    const DriverHandle removed = Open(L"\\user", 1);  // call 1
    EXPECT_EQ(Open(L"\\c2h_1", 1), kNoHandle);        // call 2
    EXPECT_EQ(driver->LastError(), kErrorDeviceNotConnected);
    EXPECT_EQ(driver->EnumerateInterfaces(CARD_INTERFACE_GUID),
              std::vector<std::wstring>{driver->CardPath(0)});
    driver->CloseFile(removed);
    EXPECT_EQ(driver->OpenFileCount(1), 0);

    UseCards("stall=600000,rate=unlimited");
    Open(L"\\user");
    DriverHandle c2h = Open(L"\\c2h_1");
    std::vector<uint8_t> buffer(4096);
    auto read = [&] {
        uint32_t n = 0;
        const bool ok = driver->Read(c2h, buffer.data(), 4096, &n);
        return std::make_pair(ok, driver->LastError());
    };
    auto stalled = std::async(std::launch::async, read);
    // Close once the read is under way (it counts itself before it stalls).
    EXPECT_TRUE(PollUntil([&] { return driver->Stats(0).reads[1] > 0; }));
    driver->CloseFile(c2h);
    ASSERT_EQ(stalled.wait_for(kHangBound), std::future_status::ready);
    EXPECT_EQ(stalled.get(), std::make_pair(false, kErrorOperationAborted));
    // The stall is spent: the next transfer of the session goes straight through.
    c2h = Open(L"\\c2h_1");
    auto next = std::async(std::launch::async, read);
    const bool done = next.wait_for(kHangBound) == std::future_status::ready;
    if (!done) driver->CloseFile(c2h);
    EXPECT_TRUE(done && next.get().first);
}

}  // namespace

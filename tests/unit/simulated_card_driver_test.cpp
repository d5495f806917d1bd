#include "sim/simulated_card_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cwctype>
#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace {

constexpr auto kHangBound = std::chrono::seconds(60);

class SimulatedCardDriverTest : public ::testing::Test {
protected:
    // Builds the driver from option text; the test fails on text the parser refuses.
    SimulatedCardDriver& Make(const wchar_t* options) {
        SimOptions parsed;
        std::wstring error;
        EXPECT_TRUE(ParseSimOptions(options, &parsed, &error));
        driver_ = std::make_unique<SimulatedCardDriver>(parsed);
        return *driver_;
    }

    DriverHandle Open(const std::wstring& subFile, int card = 0) {
        return driver_->OpenFile(driver_->CardPath(card) + subFile);
    }

    std::unique_ptr<SimulatedCardDriver> driver_;
};

TEST_F(SimulatedCardDriverTest, EnumeratesUniqueDevicePathsOfTheCardClassOnly) {
    auto& d = Make(L"cards=3");
    const auto paths = d.EnumerateInterfaces(CARD_INTERFACE_GUID);
    ASSERT_EQ(paths.size(), 3u);
    for (const auto& p : paths) {
        EXPECT_EQ(p.rfind(L"\\\\?\\pci#ven_", 0), 0u);
        EXPECT_EQ(p.substr(p.size() - 38), L"{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}");
    }
    EXPECT_NE(paths[0], paths[1]);
    EXPECT_NE(paths[1], paths[2]);

    InterfaceGuid other = CARD_INTERFACE_GUID;
    other.data4[7] ^= 1;
    EXPECT_TRUE(d.EnumerateInterfaces(other).empty());
    EXPECT_TRUE(Make(L"cards=0").EnumerateInterfaces(CARD_INTERFACE_GUID).empty());
}

TEST_F(SimulatedCardDriverTest, FilesOpenOnceEachAndOnlyByTheirNames) {
    auto& d = Make(L"cards=2");
    const DriverHandle user = Open(L"\\user");
    ASSERT_NE(user, kNoHandle);
    struct Case {
        std::wstring path;
        uint32_t error;
    };
    const Case refused[] = {
        {d.CardPath(0) + L"\\user", kErrorSharingViolation},
        {d.CardPath(0) + L"\\c2h_4", kErrorFileNotFound},
        {d.CardPath(0) + L"\\h2c_", kErrorFileNotFound},
        {d.CardPath(0) + L"\\control", kErrorFileNotFound},
        {d.CardPath(0), kErrorFileNotFound},
        {d.CardPath(0) + L"x\\user", kErrorFileNotFound},
        {L"", kErrorFileNotFound},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        EXPECT_EQ(d.OpenFile(c.path), kNoHandle);
        EXPECT_EQ(d.LastError(), c.error);
    }
    // Windows compares device paths without case; the other card's files are its own.
    std::wstring upper = d.CardPath(0) + L"\\C2H_3";
    for (auto& ch : upper) ch = static_cast<wchar_t>(std::towupper(ch));
    const DriverHandle c2h3 = d.OpenFile(upper);
    EXPECT_NE(c2h3, kNoHandle);
    EXPECT_NE(Open(L"\\user", 1), kNoHandle);
    EXPECT_EQ(d.OpenFileCount(0), 2);
    EXPECT_EQ(d.OpenFileCount(), 3);

    d.CloseFile(user);
    EXPECT_NE(Open(L"\\user"), kNoHandle) << "a closed file opens again";
}

TEST_F(SimulatedCardDriverTest, EachFileTakesOnlyItsKindOfCall) {
    auto& d = Make(L"");
    const DriverHandle user = Open(L"\\user"), c2h = Open(L"\\c2h_1"), h2c = Open(L"\\h2c_1");
    uint8_t buffer[64] = {};
    uint32_t n = 0;
    struct Case {
        const char* what;
        std::function<bool()> call;
        uint32_t error;
    };
    const Case cases[] = {
        {"read from h2c", [&] { return d.Read(h2c, buffer, 16, &n); }, kErrorInvalidFunction},
        {"read from user", [&] { return d.Read(user, buffer, 16, &n); }, kErrorInvalidFunction},
        {"write to c2h", [&] { return d.Write(c2h, buffer, 16, &n); }, kErrorInvalidFunction},
        {"write to user", [&] { return d.Write(user, buffer, 16, &n); }, kErrorInvalidFunction},
        {"ioctl on c2h", [&] { return d.IoControl(c2h, IOCTL_GET_LINK_RECORD, buffer, 64, &n); },
         kErrorInvalidFunction},
        {"unknown ioctl", [&] { return d.IoControl(user, 0x220004, buffer, 64, &n); },
         kErrorInvalidFunction},
        {"ioctl without output",
         [&] { return d.IoControl(user, IOCTL_GET_LINK_RECORD, nullptr, 64, &n); },
         kErrorInvalidParameter},
        {"read into nothing", [&] { return d.Read(c2h, nullptr, 16, &n); }, kErrorInvalidParameter},
        {"negative position", [&] { return d.SetPosition(c2h, -1); }, kErrorInvalidParameter},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(d.LastError(), c.error);
    }
    EXPECT_EQ(d.Stats(0).reads[1] + d.Stats(0).writes[1], 0u) << "refused calls move nothing";
}

TEST_F(SimulatedCardDriverTest, StaleAndMadeUpHandlesFailSafely) {
    auto& d = Make(L"");
    const DriverHandle c2h = Open(L"\\c2h_0");
    const DriverHandle user = Open(L"\\user");
    d.CloseFile(c2h);
    d.CloseFile(user);
    int local = 0;
    uint8_t buffer[64];
    uint32_t n = 7;
    for (DriverHandle h : {c2h, user, kNoHandle, static_cast<DriverHandle>(&local)}) {
        EXPECT_FALSE(d.Read(h, buffer, 4, &n));
        EXPECT_EQ(d.LastError(), kErrorInvalidHandle);
        EXPECT_EQ(n, 0u);
        EXPECT_FALSE(d.Write(h, buffer, 4, &n));
        EXPECT_FALSE(d.SetPosition(h, 0));
        EXPECT_FALSE(d.IoControl(h, IOCTL_GET_LINK_RECORD, buffer, 64, &n));
        EXPECT_EQ(d.LastError(), kErrorInvalidHandle);
        d.CloseFile(h);
    }
    // A handle value is never given out twice, so a stale one cannot reach a newer file.
    EXPECT_NE(Open(L"\\c2h_0"), c2h);
}

TEST_F(SimulatedCardDriverTest, SignatureRegisterAnswersWholeReadsAndStays) {
    auto& d = Make(L"hw=0x1F,fw=5");
    const DriverHandle c2h = Open(L"\\c2h_0");
    ASSERT_TRUE(d.SetPosition(c2h, kSignatureAddress));
    // Read twice: the position does not move with a transfer.
    for (int i = 0; i < 2; ++i) {
        uint8_t sig[4] = {};
        uint32_t n = 0;
        ASSERT_TRUE(d.Read(c2h, sig, 4, &n));
        EXPECT_EQ(n, 4u);
        EXPECT_EQ(sig[0], 0x1F);
        EXPECT_EQ(sig[1], 5);
        EXPECT_EQ(sig[2], 0xC3);
        EXPECT_EQ(sig[3], 0xA5);
    }
    uint8_t wide[8];
    uint32_t n = 0;
    EXPECT_FALSE(d.Read(c2h, wide, 8, &n));
    EXPECT_EQ(d.LastError(), kErrorInvalidParameter);
    EXPECT_EQ(d.Stats(0).reads[0], 0u) << "the signature read is not a channel transfer";
}

TEST_F(SimulatedCardDriverTest, IoControlsDeliverWholeRecordsOrNothing) {
    auto& d = Make(L"");
    const DriverHandle user = Open(L"\\user");
    struct Case {
        uint32_t code;
        uint32_t size;
    };
    const Case cases[] = {{IOCTL_GET_DRIVER_VERSION, 64},
                          {IOCTL_GET_LINK_RECORD, 52},
                          {IOCTL_GET_ERROR_RECORD, 56},
                          {IOCTL_GET_ERROR_STATUS, 56},
                          {IOCTL_CLEAR_ERROR_STATUS, 56}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        std::vector<uint8_t> out(c.size + 8, 0xEE);
        uint32_t returned = 99;
        EXPECT_FALSE(d.IoControl(user, c.code, out.data(), c.size - 1, &returned));
        EXPECT_EQ(d.LastError(), kErrorInsufficientBuffer);
        EXPECT_EQ(returned, 0u);
        EXPECT_EQ(std::count(out.begin(), out.end(), 0xEE), static_cast<long>(out.size()));

        EXPECT_TRUE(d.IoControl(user, c.code, out.data(), c.size + 8, &returned));
        EXPECT_EQ(returned, c.size);
        EXPECT_EQ(out[c.size], 0xEE) << "nothing beyond the record is written";
    }
}

TEST_F(SimulatedCardDriverTest, DriverVersionIsUtf16EndingInNul) {
    auto& d = Make(L"driver=1234567890123456789012345678901");
    const DriverHandle user = Open(L"\\user");
    uint8_t out[64];
    std::fill(std::begin(out), std::end(out), 0xEE);
    uint32_t returned = 0;
    ASSERT_TRUE(d.IoControl(user, IOCTL_GET_DRIVER_VERSION, out, 64, &returned));
    for (int i = 0; i < 31; ++i) {
        EXPECT_EQ(ReadLe16(out + 2 * i), L"1234567890"[i % 10]) << i;
    }
    EXPECT_EQ(ReadLe16(out + 62), 0) << "31 characters and the NUL fill the 64 bytes";
}

TEST_F(SimulatedCardDriverTest, LinkRecordCarriesTheNegotiatedLink) {
    struct Case {
        const wchar_t* options;
        int speed, width, payload, readRequest;
    };
    const Case cases[] = {
        {L"", 4, 4, 256, 512},
        {L"link=gen3x8,devctl=0x2810", 3, 8, 128, 512},
        {L"link=gen1x1,devctl=0x5060", 1, 1, 1024, 4096},
        {L"link=gen5x32", 5, 32, 256, 512},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.options, c.options + std::wcslen(c.options)));
        auto& d = Make(c.options);
        LinkRecord r;
        uint32_t returned = 0;
        ASSERT_TRUE(d.IoControl(Open(L"\\user"), IOCTL_GET_LINK_RECORD, &r, sizeof r, &returned));
        EXPECT_EQ(r.bytes[0], 0x10) << "PCI Express Capability id";
        EXPECT_EQ(LinkSpeed(LinkStatus(r)), c.speed);
        EXPECT_EQ(LinkWidth(LinkStatus(r)), c.width);
        EXPECT_EQ(MaxPayloadBytes(DeviceControl(r)), c.payload);
        EXPECT_EQ(MaxReadRequestBytes(DeviceControl(r)), c.readRequest);
    }
}

TEST_F(SimulatedCardDriverTest, LastErrorBelongsToTheCallingThread) {
    auto& d = Make(L"");
    EXPECT_FALSE(d.SetPosition(kNoHandle, 0));
    uint32_t other = 99;
    std::thread([&] {
        d.EnumerateInterfaces(CARD_INTERFACE_GUID);
        other = d.LastError();
    }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(d.LastError(), kErrorInvalidHandle);
}

TEST_F(SimulatedCardDriverTest, TransferFaultsCountPerChannelFromEachOpen) {
    auto& d = Make(L"fail-read=2,short-write=3,rate=unlimited");
    DriverHandle user = Open(L"\\user");
    const DriverHandle c2h1 = Open(L"\\c2h_1"), c2h2 = Open(L"\\c2h_2");
    const DriverHandle h2c1 = Open(L"\\h2c_1");
    std::vector<uint8_t> buffer(4096);
    uint32_t n = 0;
    auto read = [&](DriverHandle h) { return d.Read(h, buffer.data(), 4096, &n); };
    // Interleaved channels: each counts its own reads.
    EXPECT_TRUE(read(c2h1));
    EXPECT_TRUE(read(c2h2));
    EXPECT_FALSE(read(c2h1));
    EXPECT_EQ(d.LastError(), kErrorGenFailure);
    EXPECT_FALSE(read(c2h2));
    EXPECT_TRUE(read(c2h1));
    const uint32_t expectedWrites[] = {4096, 4096, 2048, 4096, 4096, 2048};
    for (uint32_t expected : expectedWrites) {
        ASSERT_TRUE(d.Write(h2c1, buffer.data(), 4096, &n));
        EXPECT_EQ(n, expected);
    }
    // A new open of the control file starts the count over.
    d.CloseFile(user);
    user = Open(L"\\user");
    EXPECT_TRUE(read(c2h1));
    EXPECT_FALSE(read(c2h1));
    EXPECT_EQ(d.Stats(0).reads[1], 5u);
    EXPECT_EQ(d.Stats(0).sessions, 2u);
}

TEST_F(SimulatedCardDriverTest, CorruptionSpoilsExactlyTheAskedBytesWhereTheSeedSays) {
    struct Case {
        const wchar_t* options;
        uint32_t bytes;
        std::vector<uint32_t> wrong;  // per read-back
    };
    const Case cases[] = {
        {L"corrupt=5,rate=unlimited", 4096, {5, 5}},
        {L"corrupt=2,corrupt-every=2,rate=unlimited", 4096, {0, 2, 0, 2}},
        {L"corrupt=4095,rate=unlimited", 4096, {4095}},
        {L"corrupt=100000,rate=unlimited", 4096, {4096}},
        {L"corrupt=9,rate=unlimited", 4, {4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.options, c.options + std::wcslen(c.options)));
        std::vector<uint8_t> positions[2];
        for (int run = 0; run < 2; ++run) {
            auto& d = Make(c.options);
            Open(L"\\user");
            const DriverHandle h2c = Open(L"\\h2c_0"), c2h = Open(L"\\c2h_0");
            std::vector<uint8_t> sent(c.bytes), got(c.bytes);
            for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i);
            uint32_t n = 0;
            ASSERT_TRUE(d.Write(h2c, sent.data(), c.bytes, &n));
            for (uint32_t expected : c.wrong) {
                ASSERT_TRUE(d.Read(c2h, got.data(), c.bytes, &n));
                uint32_t wrong = 0;
                for (size_t i = 0; i < got.size(); ++i) {
                    wrong += got[i] != sent[i];
                    positions[run].push_back(got[i] != sent[i]);
                }
                EXPECT_EQ(wrong, expected);
            }
        }
        EXPECT_EQ(positions[0], positions[1]) << "the same seed spoils the same bytes";
    }
    auto spoiled = [&](const wchar_t* options) {
        auto& d = Make(options);
        Open(L"\\user");
        std::vector<uint8_t> got(4096);
        uint32_t n = 0;
        d.Read(Open(L"\\c2h_0"), got.data(), 4096, &n);
        return got;
    };
    EXPECT_NE(spoiled(L"corrupt=3,seed=1"), spoiled(L"corrupt=3,seed=2"));
    EXPECT_EQ(spoiled(L"corrupt=3,seed=1,only=0"), spoiled(L"corrupt=3,seed=1"));
}

TEST_F(SimulatedCardDriverTest, RemovedCardRefusesEveryCallFromTheNthAndLeavesTheList) {
    auto& d = Make(L"cards=2,only=1,remove-after=3");
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
    EXPECT_EQ(d.Stats(1).driverCalls, 5u);
    EXPECT_TRUE(d.Stats(1).removed);

    const auto paths = d.EnumerateInterfaces(CARD_INTERFACE_GUID);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0], d.CardPath(0));
    EXPECT_NE(Open(L"\\user", 0), kNoHandle) << "only=1 spares the other card";

    // Closing still works on a card that has gone.
    d.CloseFile(user);
    d.CloseFile(c2h);
    EXPECT_EQ(d.OpenFileCount(1), 0);
}

TEST_F(SimulatedCardDriverTest, StallBlocksTheFirstTransferOfASessionUntilItsFileCloses) {
    auto& d = Make(L"stall=600000,rate=unlimited");
    Open(L"\\user");
    DriverHandle c2h = Open(L"\\c2h_1");
    std::vector<uint8_t> buffer(4096);
    auto stalled = std::async(std::launch::async, [&] {
        uint32_t n = 0;
        const bool ok = d.Read(c2h, buffer.data(), 4096, &n);
        return std::make_pair(ok, d.LastError());
    });
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
    auto next = std::async(std::launch::async, [&] {
        uint32_t n = 0;
        return d.Read(c2h, buffer.data(), 4096, &n);
    });
    const bool done = next.wait_for(kHangBound) == std::future_status::ready;
    if (!done) d.CloseFile(c2h);
    EXPECT_TRUE(done);
    EXPECT_TRUE(next.get());
}

TEST_F(SimulatedCardDriverTest, ChannelsMovingAtOnceShareTheDirectionsRate) {
    // Three channels writing 5 MiB each at 100 MB/s in all cannot finish before 150 ms; a
    // rate per channel would let them finish in 50. Only this lower bound is asserted: a busy
    // machine can make the run slower, never faster.
    auto& d = Make(L"rate=100");
    std::vector<std::thread> writers;
    const auto start = std::chrono::steady_clock::now();
    for (int ch = 1; ch <= 3; ++ch) {
        writers.emplace_back([&d, this, ch] {
            const DriverHandle h2c = Open(L"\\h2c_" + std::to_wstring(ch));
            std::vector<uint8_t> block(1 << 20);
            uint32_t n = 0;
            for (int i = 0; i < 5; ++i) EXPECT_TRUE(d.Write(h2c, block.data(), 1 << 20, &n));
        });
    }
    for (auto& t : writers) t.join();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // The last transfer may return while the clock is still up to 2 ms ahead.
    EXPECT_GE(elapsed, std::chrono::milliseconds(148));
    EXPECT_EQ(d.Stats(0).writes[1] + d.Stats(0).writes[2] + d.Stats(0).writes[3], 15u);
}

TEST_F(SimulatedCardDriverTest, LateThreadsMeetClosedFilesSafely) {
    // Three channels stream while the card closes under them, as when a run ends with its
    // workers still going: every transfer either completes or fails cleanly.
    auto& d = Make(L"rate=unlimited,aer-cor=0x1");
    const DriverHandle user = Open(L"\\user");
    DriverHandle c2h[4] = {};
    for (int ch = 1; ch <= 3; ++ch) c2h[ch] = Open(L"\\c2h_" + std::to_wstring(ch));
    std::vector<std::future<uint32_t>> readers;
    for (int ch = 1; ch <= 3; ++ch) {
        readers.push_back(std::async(std::launch::async, [&d, h = c2h[ch]] {
            std::vector<uint8_t> block(65536);
            uint32_t n = 0;
            while (d.Read(h, block.data(), 65536, &n)) {
            }
            return d.LastError();
        }));
    }
    const auto until = std::chrono::steady_clock::now() + kHangBound;
    while (std::chrono::steady_clock::now() < until &&
           std::min({d.Stats(0).reads[1], d.Stats(0).reads[2], d.Stats(0).reads[3]}) < 10) {
        ErrorRecord r;
        uint32_t returned = 0;
        d.IoControl(user, IOCTL_CLEAR_ERROR_STATUS, &r, sizeof r, &returned);
    }
    for (int ch = 1; ch <= 3; ++ch) d.CloseFile(c2h[ch]);
    for (auto& reader : readers) {
        ASSERT_EQ(reader.wait_for(kHangBound), std::future_status::ready);
        EXPECT_EQ(reader.get(), kErrorInvalidHandle);
    }
    d.CloseFile(user);
    EXPECT_EQ(d.OpenFileCount(), 0);
}

}  // namespace

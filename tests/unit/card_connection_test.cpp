#include "card/card_connection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>

#include "card/card_list.h"
#include "sim/simulated_card_driver.h"

namespace {

// theCard over simulated cards; every test leaves theCard closed and zeroed, the card table
// empty and no driver installed.
class CardConnectionTest : public ::testing::Test {
protected:
    void TearDown() override {
        theCard.Close();
        theCard = CardConnection();
        ReleaseCardList();
        UseCardDriver(nullptr);
    }

    SimulatedCardDriver& Install(const std::wstring& options) {
        theCard.Close();
        SimOptions parsed;
        std::wstring error;
        EXPECT_TRUE(ParseSimOptions(options, &parsed, &error));
        UseCardDriver(nullptr);
        driver_ = std::make_unique<SimulatedCardDriver>(parsed);
        UseCardDriver(driver_.get());
        return *driver_;
    }

    std::wstring Path(int card = 0) const { return driver_->CardPath(card); }

    // Buffers of a known pattern in buffer 0, as the loopback test sends.
    static void AllocatePattern(int32_t bytes) {
        ASSERT_TRUE(theCard.AllocateBuffers(bytes));
        for (uint32_t i = 0; i < theCard.bufferSize; ++i) {
            theCard.buffers[0][i] = static_cast<uint8_t>(i * 7);
        }
    }

    // Driver calls a clean open of one card makes (remove-after counts them).
    uint64_t CallsOfOneOpen() {
        Install(L"");
        EXPECT_TRUE(theCard.Open(Path()));
        const uint64_t calls = driver_->Stats(0).driverCalls;
        theCard.Close();
        return calls;
    }

    std::unique_ptr<SimulatedCardDriver> driver_;
};

TEST_F(CardConnectionTest, OpenReadsTheCardAndKeepsAllNineFilesOpen) {
    Install(L"hw=0x13,fw=0x1F,link=gen3x8,devctl=0x2810");
    ASSERT_TRUE(theCard.Open(Path()));
    EXPECT_TRUE(theCard.IsOpen());
    EXPECT_EQ(driver_->OpenFileCount(), 9);
    EXPECT_EQ(theCard.hardwareVersion, 0x13);
    EXPECT_EQ(theCard.firmwareVersion, 0x1F);
    EXPECT_EQ(LinkStatus(theCard.linkRecord), 0x83);
    EXPECT_EQ(DeviceControl(theCard.linkRecord) & 0xFFFF, 0x2810u);
    EXPECT_EQ(theCard.userPath, Path() + L"\\user");
    EXPECT_EQ(theCard.readChannelPaths[3], Path() + L"\\c2h_3");
    EXPECT_EQ(theCard.writeChannelPaths[0], Path() + L"\\h2c_0");
}

TEST_F(CardConnectionTest, RefusedOpenLeavesNothingOpen) {
    const wchar_t* refusing[] = {L"bad-signature", L"no-open"};
    for (const wchar_t* options : refusing) {
        SCOPED_TRACE(std::string(options, options + std::wcslen(options)));
        Install(options);
        EXPECT_FALSE(theCard.Open(Path()));
        EXPECT_FALSE(theCard.IsOpen());
        EXPECT_EQ(driver_->OpenFileCount(), 0);
    }
    Install(L"");
    EXPECT_FALSE(theCard.Open(Path() + L"-gone"));
    EXPECT_EQ(driver_->OpenFileCount(), 0);
}

TEST_F(CardConnectionTest, CardRemovedAtAnyStepOfOpenLeavesNothingOpen) {
    // Up to the signature read every call decides the open; the eight positionings that
    // follow are not checked, so a card that goes then still counts as opened.
    const uint64_t calls = CallsOfOneOpen();
    const uint64_t positionings = 2 * kChannelCount;
    for (uint64_t n = 1; n <= calls; ++n) {
        SCOPED_TRACE(n);
        Install(L"remove-after=" + std::to_wstring(n));
        const bool decided = n <= calls - positionings;
        EXPECT_EQ(theCard.Open(Path()), !decided);
        EXPECT_EQ(driver_->OpenFileCount(), decided ? 0 : 9);
    }
}

TEST_F(CardConnectionTest, ReopenReleasesThePreviousCardFirst) {
    Install(L"cards=2");
    ASSERT_TRUE(theCard.Open(Path(0)));
    ASSERT_TRUE(theCard.AllocateBuffers(4096));
    // The same card again: its files are unshared, so this works only if they were closed.
    ASSERT_TRUE(theCard.Open(Path(0)));
    EXPECT_EQ(theCard.bufferSize, 0u);
    EXPECT_EQ(theCard.buffers[0], nullptr);
    ASSERT_TRUE(theCard.Open(Path(1)));
    EXPECT_EQ(driver_->OpenFileCount(0), 0);
    EXPECT_EQ(driver_->OpenFileCount(1), 9);
}

TEST_F(CardConnectionTest, CloseKeepsWhatWasReadAndIsHarmlessTwice) {
    Install(L"hw=5,fw=0x1F,link=gen3x8");
    ASSERT_TRUE(theCard.Open(Path()));
    ASSERT_TRUE(theCard.AllocateBuffers(4096));
    EXPECT_TRUE(theCard.Close());
    EXPECT_EQ(driver_->OpenFileCount(), 0);
    EXPECT_EQ(theCard.bufferSize, 0u);
    const LinkRecord link = theCard.linkRecord;
    EXPECT_EQ(LinkStatus(link), 0x83);
    EXPECT_TRUE(theCard.Close());
    // A failed open of a path that is not there keeps the last card's information too.
    EXPECT_FALSE(theCard.Open(L"\\\\?\\nothing"));
    EXPECT_EQ(std::memcmp(&theCard.linkRecord, &link, sizeof link), 0);
    EXPECT_EQ(theCard.hardwareVersion, 5);
    EXPECT_EQ(theCard.firmwareVersion, 0x1F);
    EXPECT_EQ(theCard.userPath, L"\\\\?\\nothing\\user");
}

TEST_F(CardConnectionTest, VersionBytesAboveFourCarryMajorOne) {
    const std::pair<uint8_t, const wchar_t*> cases[] = {
        {3, L"0.3"}, {4, L"0.4"}, {5, L"1.5"}, {0x13, L"1.3"}, {0x1F, L"1.15"}, {0xFF, L"1.15"}};
    for (const auto& [v, text] : cases) {
        theCard.hardwareVersion = v;
        theCard.firmwareVersion = v;
        wchar_t hardware[8], firmware[8];
        theCard.FormatVersions(hardware, firmware);
        EXPECT_STREQ(hardware, text) << int{v};
        EXPECT_STREQ(firmware, text) << int{v};
    }
}

TEST_F(CardConnectionTest, LoopbackRateIsWholeBytesPerMicrosecondInMiB) {
    const std::pair<int64_t, double> cases[] = {
        {100, 2499.0}, {150, 1666.0}, {1000, 249.0}, {262145, 0.0}, {1000000, 0.0}};
    for (const auto& [microseconds, rate] : cases) {
        EXPECT_EQ(LoopbackRateMBps(262144, microseconds), rate) << microseconds;
    }
    for (int64_t t : {0, -5}) {
        EXPECT_TRUE(std::isfinite(LoopbackRateMBps(262144, t))) << t;
    }
}

TEST_F(CardConnectionTest, LoopbackTransferReportsWhichHalfFailedOrHowManyBytesDiffer) {
    struct Case {
        const wchar_t* options;
        int32_t result;
    };
    const Case cases[] = {
        {L"", 0},
        {L"corrupt=1", 1},
        {L"corrupt=3", 3},
        {L"fail-write=1", -1},
        {L"short-write=1", -1},
        {L"fail-read=1", -2},
        {L"short-read=1", -2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.options, c.options + std::wcslen(c.options)));
        Install(c.options);
        ASSERT_TRUE(theCard.Open(Path()));
        AllocatePattern(262144);
        theCard.lastRate = 0.5;  // no measurement gives half a MB/s
        EXPECT_EQ(theCard.LoopbackTransfer(), c.result);
        if (c.result < 0) {
            EXPECT_EQ(theCard.lastRate, 0.5) << "a failed transfer keeps the last rate";
        } else {
            EXPECT_NE(theCard.lastRate, 0.5);
        }
        if (c.result == -1) {
            EXPECT_EQ(driver_->Stats(0).reads[0], 0u) << "no read-back after a failed write";
        }
        EXPECT_TRUE(theCard.IsOpen()) << "transfer failures leave the card open";
    }
}

TEST_F(CardConnectionTest, ChannelTransfersStayWithinChannelsZeroToThree) {
    Install(L"fail-read=1,short-write=1,only=0,cards=2");
    ASSERT_TRUE(theCard.Open(Path(1)));
    EXPECT_EQ(theCard.ReadChannel(1), 0u) << "no buffers, no transfer";
    ASSERT_TRUE(theCard.AllocateBuffers(4096));
    for (int32_t channel : {-1, 4, 1000}) {
        EXPECT_EQ(theCard.ReadChannel(channel), 0u);
        EXPECT_EQ(theCard.WriteChannel(channel), 0u);
    }
    SimCardStats stats = driver_->Stats(1);
    for (int n = 0; n < kChannelCount; ++n) EXPECT_EQ(stats.reads[n] + stats.writes[n], 0u);

    for (int32_t channel = 0; channel < kChannelCount; ++channel) {
        EXPECT_EQ(theCard.ReadChannel(channel), 4096u);
        EXPECT_EQ(theCard.WriteChannel(channel), 4096u);
    }
    stats = driver_->Stats(1);
    for (int n = 0; n < kChannelCount; ++n) EXPECT_EQ(stats.reads[n] + stats.writes[n], 2u);

    // Card 0 fails every read and shortens every write; the card stays open for the caller
    // to ask what went wrong.
    ASSERT_TRUE(theCard.Open(Path(0)));
    ASSERT_TRUE(theCard.AllocateBuffers(4096));
    EXPECT_EQ(theCard.ReadChannel(2), 0u);
    EXPECT_EQ(driver_->LastError(), kErrorGenFailure);
    EXPECT_EQ(theCard.WriteChannel(3), 0u);
    EXPECT_TRUE(theCard.IsOpen());
}

TEST_F(CardConnectionTest, BufferSizesTruncateAndEveryBufferIsAligned) {
    struct Case {
        std::function<bool()> allocate;
        bool ok;
        uint32_t bytes;
    };
    const Case cases[] = {
        {[] { return theCard.AllocateBuffersKB(1.9999); }, true, 2047},
        {[] { return theCard.AllocateBuffersKB(256); }, true, 262144},
        {[] { return theCard.AllocateBuffersMB(8); }, true, 8388608},
        {[] { return theCard.AllocateBuffers(257); }, true, 257},
        {[] { return theCard.AllocateBuffers(1); }, true, 1},
        {[] { return theCard.AllocateBuffers(0); }, false, 0},
        {[] { return theCard.AllocateBuffers(-1); }, false, 0},
        {[] { return theCard.AllocateBuffersKB(-0.5); }, false, 0},
        {[] { return theCard.AllocateBuffersMB(4096); }, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(c.allocate(), c.ok);
        EXPECT_EQ(theCard.bufferSize, c.bytes);
        for (uint8_t* buffer : theCard.buffers) {
            if (c.ok) {
                ASSERT_NE(buffer, nullptr);
                EXPECT_EQ(reinterpret_cast<uintptr_t>(buffer) % 256, 0u);
            }
        }
    }
    theCard.FreeBuffers();
}

TEST_F(CardConnectionTest, FailingIoControlClosesTheWholeCard) {
    const std::pair<const char*, std::function<bool()>> operations[] = {
        {"ReadErrorStatus", [] { return theCard.ReadErrorStatus(); }},
        {"ClearErrorStatus", [] { return theCard.ClearErrorStatus(); }},
        {"GetDriverVersion",
         [] {
             uint8_t version[kDriverVersionBytes];
             return theCard.GetDriverVersion(version);
         }},
    };
    const uint64_t calls = CallsOfOneOpen();
    for (const auto& [name, operation] : operations) {
        SCOPED_TRACE(name);
        Install(L"remove-after=" + std::to_wstring(calls + 1));
        ASSERT_TRUE(theCard.Open(Path()));
        ASSERT_TRUE(theCard.AllocateBuffersKB(256));
        EXPECT_FALSE(operation());
        EXPECT_FALSE(theCard.IsOpen());
        EXPECT_EQ(driver_->OpenFileCount(), 0);
        EXPECT_EQ(theCard.bufferSize, 0u);
        EXPECT_EQ(theCard.LoopbackTransfer(), -1);
    }
}

TEST_F(CardConnectionTest, ErrorStatusShowsTheCardsBitsUntilCleared) {
    Install(L"aer-unc=0x4000,aer-cor=0x40,fail-write=2");
    ASSERT_TRUE(theCard.Open(Path()));
    AllocatePattern(262144);
    auto bits = [] {
        return std::make_pair(ReadLe32(theCard.errorRecord.bytes + kUncorrectableStatusOffset),
                              ReadLe32(theCard.errorRecord.bytes + kCorrectableStatusOffset));
    };
    ASSERT_TRUE(theCard.ClearErrorStatus());
    ASSERT_TRUE(theCard.ReadErrorStatus());
    EXPECT_EQ(bits(), std::make_pair(0u, 0u));
    EXPECT_EQ(theCard.LoopbackTransfer(), 0);
    ASSERT_TRUE(theCard.ReadErrorStatus());
    EXPECT_EQ(bits(), std::make_pair(0x4000u, 0x40u));
    ASSERT_TRUE(theCard.ClearErrorStatus());
    ASSERT_TRUE(theCard.ReadErrorStatus());
    EXPECT_EQ(bits(), std::make_pair(0u, 0u));
    // The card reports them after a failed transfer too.
    EXPECT_EQ(theCard.LoopbackTransfer(), -1);
    ASSERT_TRUE(theCard.ReadErrorStatus());
    EXPECT_EQ(bits(), std::make_pair(0x4000u, 0x40u));
}

TEST_F(CardConnectionTest, FaultsFollowTheirScheduleAndSlot) {
    struct Case {
        const wchar_t* options;
        int card;
        std::vector<int32_t> results;
    };
    const Case cases[] = {
        {L"corrupt=2,corrupt-every=2", 0, {0, 2, 0, 2}},
        {L"cards=2,only=1,fail-write=1", 0, {0, 0}},
        {L"cards=2,only=1,fail-write=1", 1, {-1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.options, c.options + std::wcslen(c.options)) + " card " +
                     std::to_string(c.card));
        Install(c.options);
        ASSERT_TRUE(theCard.Open(Path(c.card)));
        AllocatePattern(65536);
        for (int32_t expected : c.results) EXPECT_EQ(theCard.LoopbackTransfer(), expected);
    }
}

}  // namespace

#include "card/card_connection.h"

#include <tuple>

#include "engine_world.h"

namespace {

class CardConnectionTest : public EngineWorld {
  protected:
    std::wstring Path(int card = 0) const { return driver->CardPath(card); }
    // Opens card 0 of a driver described by `options`, with buffers of `bytes`.
    void OpenWithBuffers(const std::string& options, int32_t bytes) {
        UseCards(options);
        ASSERT_TRUE(theCard.Open(Path()));
        ASSERT_TRUE(theCard.AllocateBuffers(bytes));
    }
};

TEST_F(CardConnectionTest, ACardRemovedAtAnyStepOfOpenOrIoControlLeavesNothingOpen) {
    // Up to the signature read every call decides the open; the eight positionings that
    // follow are not checked, so a card that goes then still counts as opened.
    UseCards("");
    ASSERT_TRUE(theCard.Open(Path()));
    const uint64_t calls = driver->Stats(0).driverCalls;  // remove-after counts them
    for (uint64_t n = 1; n <= calls; ++n) {
        SCOPED_TRACE(n);
        UseCards("remove-after=" + std::to_string(n));
        const bool decided = n <= calls - 2 * kChannelCount;
        EXPECT_EQ(theCard.Open(Path()), !decided);
        EXPECT_EQ(driver->OpenFileCount(), decided ? 0 : 9);
    }
    // A failing I/O control closes the whole card.
    uint8_t version[kDriverVersionBytes];
    const std::function<bool()> operations[] = {[] { return theCard.ReadErrorStatus(); },
                                                [] { return theCard.ClearErrorStatus(); },
                                                [&] { return theCard.GetDriverVersion(version); }};
    for (const auto& operation : operations) {
        OpenWithBuffers("remove-after=" + std::to_string(calls + 1), 262144);
        EXPECT_FALSE(operation() || theCard.IsOpen());
        EXPECT_EQ(std::make_tuple(driver->OpenFileCount(), theCard.bufferSize,
                                  theCard.LoopbackTransfer()),
                  std::make_tuple(0, 0u, -1));
    }
    // The error status shows the card's bits until cleared.
    OpenWithBuffers("aer-unc=0x4000,aer-cor=0x40", 262144);
    auto bits = [] {
        EXPECT_TRUE(theCard.ReadErrorStatus());
        return std::make_pair(ReadLe32(theCard.errorRecord.bytes + kUncorrectableStatusOffset),
                              ReadLe32(theCard.errorRecord.bytes + kCorrectableStatusOffset));
    };
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(theCard.ClearErrorStatus());
        EXPECT_EQ(bits(), std::make_pair(0u, 0u));
        theCard.LoopbackTransfer();
        EXPECT_EQ(bits(), std::make_pair(0x4000u, 0x40u));
    }
}

TEST_F(CardConnectionTest, ReopenBufferSizesHeldChannelsAndWhichHalfOfATransferFailed) {
    UseCards("cards=2");
    ASSERT_TRUE(theCard.Open(Path(0)) && theCard.AllocateBuffers(4096));
    // The same card again: its files are unshared, so this works only if they were closed.
    ASSERT_TRUE(theCard.Open(Path(0)));
    EXPECT_TRUE(theCard.bufferSize == 0 && theCard.buffers[0] == nullptr);
    ASSERT_TRUE(theCard.Open(Path(1)));
    EXPECT_EQ(std::make_pair(driver->OpenFileCount(0), driver->OpenFileCount(1)),
              std::make_pair(0, 9));
    const uint64_t calls = driver->Stats(1).driverCalls;
    EXPECT_EQ(theCard.ReadChannel(1), 0u);  // no buffers yet
    EXPECT_EQ(driver->Stats(1).driverCalls, calls) << "the driver was asked";
    // Buffer sizes truncate and every buffer is aligned.
    const std::tuple<std::function<bool()>, bool, uint32_t> cases[] = {
        {[] { return theCard.AllocateBuffersKB(1.9999); }, true, 2047},
        {[] { return theCard.AllocateBuffers(257); }, true, 257},
        {[] { return theCard.AllocateBuffers(0); }, false, 0},
        {[] { return theCard.AllocateBuffersKB(-0.5); }, false, 0},
        {[] { return theCard.AllocateBuffersMB(4096); }, false, 0},  // past 32 bits
    };
    for (const auto& [allocate, ok, bytes] : cases) {
        SCOPED_TRACE(bytes);
        EXPECT_EQ(allocate(), ok);
        EXPECT_EQ(theCard.bufferSize, bytes);
        for (uint8_t* buffer : theCard.buffers)
            EXPECT_TRUE(!ok || (buffer && reinterpret_cast<uintptr_t>(buffer) % 256 == 0));
    }
    ASSERT_TRUE(theCard.AllocateBuffers(4096));
    EXPECT_EQ(theCard.ReadChannel(kChannelCount - 1), 4096u);
    // Outside the channels there is no handle: the driver would refuse whatever it was given.
    EXPECT_EQ(theCard.ReadChannel(-1) + theCard.ReadChannel(kChannelCount), 0u);
    EXPECT_EQ(driver->LastError(), 0u) << "the driver was asked";
    // A transfer reports which half failed or how many bytes differ.
    const std::pair<const char*, int32_t> transfers[] = {{"", 0},
                                                         {"corrupt=3", 3},
                                                         {"fail-write=1", -1},
                                                         {"short-write=1", -1},
                                                         {"fail-read=1", -2},
                                                         {"short-read=1", -2}};
    for (const auto& [options, result] : transfers) {
        SCOPED_TRACE(options);
        OpenWithBuffers(options, 262144);
        for (uint32_t i = 0; i < theCard.bufferSize; ++i)
            theCard.buffers[0][i] = static_cast<uint8_t>(i * 7);
        theCard.lastRate = 0.5;  // no measurement gives half a MB/s: a failed transfer keeps it
        EXPECT_EQ(theCard.LoopbackTransfer(), result);
        EXPECT_EQ(theCard.lastRate == 0.5, result < 0);
        EXPECT_TRUE(result != -1 || driver->Stats(0).reads[0] == 0)
            << "no read-back after a failed write";
        EXPECT_TRUE(theCard.IsOpen()) << "transfer failures leave the card open";
    }
}

}  // namespace

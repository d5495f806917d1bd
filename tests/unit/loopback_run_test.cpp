#include "engine/loopback_test.h"
#include "engine_world.h"

namespace {

constexpr const wchar_t* kDevice = L"PCIe-0, Windows ID:{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}";

class LoopbackRunTest : public EngineWorld {};

TEST_F(LoopbackRunTest, StopBeforeTheFirstPassIsAPassedRunWithNoOperations) {
    UseCards("");
    RunToEnd(LoopbackTest, 0, /*stopBeforeStart=*/true);

    EXPECT_EQ(TestCounters.operations, 0u);
    EXPECT_TRUE(Has(L"START OF PCIE TEST - LOOPBACK TEST", kLogLoopback));
    EXPECT_TRUE(Has(std::wstring(L"Testing device ") + kDevice, kLogLoopback));
    EXPECT_TRUE(Has(L"0 Operations.", kLogPass));
    EXPECT_TRUE(Has(L"0 Read error(s). 0 Write error(s). 0 Verification error(s).", kLogPass));
    EXPECT_TRUE(Has(std::wstring(L"Test passed: ") + kDevice, kLogPass));
    EXPECT_EQ(CountStartingWith(L"Test Start time: "), 1);
    EXPECT_EQ(CountStartingWith(L"Duration: 000h 00m 00s"), 1);
    EXPECT_EQ(TestCounters.statusText.load(), StatusText::LoopbackComplete);
}

TEST_F(LoopbackRunTest, TwentyFivePassesLogTwoGroupLinesAndPass) {
    UseCards("rate=unlimited");
    RunToEnd(LoopbackTest, 25);

    EXPECT_EQ(TestCounters.operations, 25u);
    std::vector<std::wstring> groups;
    for (const auto& t : Texts(kLogLoopback)) {
        if (t.rfind(L"Loopback blocks ", 0) == 0) groups.push_back(t);
    }
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].rfind(L"Loopback blocks 1\u201310: Min ", 0), 0u);
    EXPECT_EQ(groups[1].rfind(L"Loopback blocks 11\u201320: Min ", 0), 0u);
    EXPECT_NE(groups[1].find(L" MB/s (Roundtrip)"), std::wstring::npos);
    EXPECT_TRUE(Has(L"25 Operations.", kLogPass));
    EXPECT_TRUE(Has(std::wstring(L"Test passed: ") + kDevice, kLogPass));
    EXPECT_EQ(lastPauseMs, 0u);  // load 99: a bare yield after every pass
}

TEST_F(LoopbackRunTest, WrongBytesAreLoggedCountedAndFailTheRun) {
    UseCards("rate=unlimited,corrupt=3");
    RunToEnd(LoopbackTest, 2);

    EXPECT_EQ(Texts(kLogError).front(), L"PCIe data transfer error: 3 of 262144 bytes incorrect.");
    EXPECT_EQ(TestCounters.errors, 6u);
    EXPECT_TRUE(Has(L"6 error(s).", kLogError));
    EXPECT_TRUE(Has(L"0 Read error(s). 0 Write error(s). 6 Verification error(s).", kLogError));
    EXPECT_TRUE(Has(std::wstring(L"Test failed: ") + kDevice, kLogError));
}

TEST_F(LoopbackRunTest, FailedTransfersCountByKind) {
    const struct {
        const char* options;
        int passes;
        const wchar_t* summary;
    } cases[] = {
        {"fail-write=2", 2, L"0 Read error(s). 1 Write error(s). 0 Verification error(s)."},
        {"fail-read=1", 2, L"2 Read error(s). 0 Write error(s). 0 Verification error(s)."},
        // A card that will not open fails every pass as a write error.
        {"no-open", 4, L"0 Read error(s). 4 Write error(s). 0 Verification error(s)."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        theLog.load()->Clear();
        ResetRunState();
        UseCards(std::string("rate=unlimited,") + c.options);
        RunToEnd(LoopbackTest, c.passes);
        EXPECT_TRUE(Has(c.summary, kLogError));
    }
}

TEST_F(LoopbackRunTest, FailedWriteIsSilentAndRepeatsThePreviousSpeed) {
    UseCards("rate=unlimited,fail-write=2");
    TestSettings.detailedLogging = true;
    RunToEnd(LoopbackTest, 2);

    std::vector<std::wstring> speeds;
    for (const auto& t : Texts(kLogLoopback)) {
        if (t.rfind(L"Write and Read Status: Speed ", 0) == 0) speeds.push_back(t);
    }
    ASSERT_EQ(speeds.size(), 2u);
    EXPECT_EQ(speeds[0], speeds[1]);
    // Nothing but the summary's three lines speaks of the failed write.
    EXPECT_EQ(Texts(kLogError).size(), 3u);
    EXPECT_TRUE(Has(L"1 error(s).", kLogError));
}

TEST_F(LoopbackRunTest, StopOnErrorStillFinishesThePass) {
    UseCards("rate=unlimited,corrupt=3,aer-cor=0x40");
    TestSettings.stopOnError = true;
    RunToEnd(LoopbackTest, 0);  // no pass limit: the run must end through stopOnError alone

    EXPECT_EQ(TestCounters.operations, 1u);
    EXPECT_EQ(pauses, 1);                                               // that pass still paused
    EXPECT_TRUE(Has(L"PCIe error: Bad TLP (Correctable)", kLogError));  // and decoded
    EXPECT_TRUE(Has(L"1 Operations.", kLogPass));
    EXPECT_TRUE(Has(std::wstring(L"Test failed: ") + kDevice, kLogError));
}

TEST_F(LoopbackRunTest, ErrorStatusBitsAreReportedInTableOrderOncePerPass) {
    // Completion Timeout (uncorrectable bit 14) and Bad TLP (correctable bit 6) together,
    // with bits the test ignores (Surprise Down, ECRC) beside them.
    UseCards("rate=unlimited,aer-unc=0x84020,aer-cor=0x40");
    RunToEnd(LoopbackTest, 1);
    const auto errors = Texts(kLogError);
    ASSERT_GE(errors.size(), 2u);
    EXPECT_EQ(errors[0], L"PCIe error: Completion Timeout (Uncorrectable)");
    EXPECT_EQ(errors[1], L"PCIe error: Bad TLP (Correctable)");
    EXPECT_EQ(TestCounters.errors, 2u);
}

TEST_F(LoopbackRunTest, EveryErrorStatusBitHasItsMessage) {
    const std::pair<const char*, const wchar_t*> bits[] = {
        {"aer-unc=0x10", L"PCIe error: Data Link Protocol Error (Uncorrectable)"},
        {"aer-unc=0x1000", L"PCIe error: Poisoned TLP (Uncorrectable)"},
        {"aer-unc=0x2000", L"PCIe error: Flow Control Protocol Error (Uncorrectable)"},
        {"aer-unc=0x8000", L"PCIe error: Completer Abort (Uncorrectable)"},
        {"aer-unc=0x10000", L"PCIe error: Unexpected Completion (Uncorrectable)"},
        {"aer-unc=0x20000", L"PCIe error: Receiver Overflow (Uncorrectable)"},
        {"aer-unc=0x40000", L"PCIe error: Malformed TLP (Uncorrectable)"},
        {"aer-unc=0x100000", L"PCIe error: Unsupported Request Error (Uncorrectable)"},
        {"aer-unc=0x400000", L"PCIe error: Uncorrectable Internal Error (Uncorrectable)"},
        {"aer-cor=0x1", L"PCIe error: Receiver Error (Correctable)"},
        {"aer-cor=0x80", L"PCIe error: Bad DLLP (Correctable)"},
        {"aer-cor=0x100", L"PCIe error: Replay Num Rollover (Correctable)"},
        {"aer-cor=0x1000", L"PCIe error: Replay Timer Timeout (Correctable)"},
        {"aer-cor=0x2000", L"PCIe error: Advisory Non Fatal Error (Correctable)"},
        {"aer-cor=0x4000", L"PCIe error: Corrected Internal Error (Correctable)"},
        {"aer-cor=0x8000", L"PCIe error: Header Log Overflow (Correctable)"},
    };
    for (const auto& [option, message] : bits) {
        SCOPED_TRACE(option);
        theLog.load()->Clear();
        ResetRunState();
        UseCards(std::string("rate=unlimited,") + option);
        RunToEnd(LoopbackTest, 3);
        // A bit the card keeps reporting is counted again on every pass.
        EXPECT_EQ(TestCounters.errors, 3u);
        const auto errors = Texts(kLogError);
        ASSERT_FALSE(errors.empty());
        EXPECT_EQ(errors[0], message);
    }
}

}  // namespace

#include "engine/loopback.h"
#include "engine_world.h"

namespace {

constexpr const wchar_t* kDevice = L"PCIe-0, Windows ID:{74c7e4a9-6d5d-4a70-bc0d-20691dff9e9d}";

class LoopbackRunTest : public EngineWorld {
  protected:
    void Run(const std::string& options, int passes) {
        theLog.load()->Clear();
        ResetRunState();
        UseCards(options.empty() ? "rate=unlimited" : "rate=unlimited," + options);
        RunToEnd(LoopbackTest, passes);
    }
};

TEST_F(LoopbackRunTest, StopBeforeTheFirstPassIsAPassedRunWithNoOperations) {
    UseCards("");
    RunToEnd(LoopbackTest, 0, /*stopBeforeStart=*/true);

    EXPECT_EQ(TestCounters.operations, 0u);
    EXPECT_TRUE(Has(std::wstring(L"Testing device ") + kDevice, kLogLoopback));
    EXPECT_TRUE(Has(L"0 Operations.", kLogPass));
    EXPECT_TRUE(Has(std::wstring(L"Test passed: ") + kDevice, kLogPass));
    EXPECT_EQ(CountStartingWith(L"Test Start time: "), 1);
    EXPECT_EQ(CountStartingWith(L"Duration: 000h 00m 00s"), 1);
    EXPECT_EQ(TestCounters.statusText.load(), StatusText::LoopbackComplete);
}

TEST_F(LoopbackRunTest, TwentyFivePassesLogTwoGroupLines) {
    Run("", 25);
    std::vector<std::wstring> groups;
    for (const auto& t : Texts(kLogLoopback)) {
        if (t.rfind(L"Loopback blocks ", 0) == 0) groups.push_back(t);
    }
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].rfind(L"Loopback blocks 1\u201310: Min ", 0), 0u);
    EXPECT_EQ(groups[1].rfind(L"Loopback blocks 11\u201320: Min ", 0), 0u);
    EXPECT_NE(groups[1].find(L" MB/s, Max "), std::wstring::npos);
    EXPECT_EQ(groups[1].substr(groups[1].size() - 17), L" MB/s (Roundtrip)");
    EXPECT_TRUE(Has(L"25 Operations.", kLogPass));
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
        Run(c.options, c.passes);
        EXPECT_TRUE(Has(c.summary, kLogError));
    }
}

TEST_F(LoopbackRunTest, FailedWriteIsSilentAndRepeatsThePreviousSpeed) {
    TestSettings.detailedLogging = true;
    Run("fail-write=2", 2);
    std::vector<std::wstring> speeds;
    for (const auto& t : Texts(kLogLoopback)) {
        if (t.rfind(L"Write and Read Status: Speed ", 0) == 0) speeds.push_back(t);
    }
    ASSERT_EQ(speeds.size(), 2u);
    EXPECT_EQ(speeds[0], speeds[1]);
    // Nothing but the summary's three lines speaks of the failed write.
    EXPECT_EQ(Texts(kLogError).size(), 3u);
}

TEST_F(LoopbackRunTest, StopOnErrorStillFinishesThePass) {
    TestSettings.stopOnError = true;
    Run("corrupt=3,aer-cor=0x40", 0);  // no pass limit: only stopOnError ends the run

    EXPECT_EQ(TestCounters.operations, 1u);
    EXPECT_EQ(pauses, 1);                                               // that pass still paused
    EXPECT_TRUE(Has(L"PCIe error: Bad TLP (Correctable)", kLogError));  // and decoded
}

TEST_F(LoopbackRunTest, ErrorStatusBitsAreNamedInTableOrderOncePerPass) {
    // Several bits at once come in the table's order, with bits the test ignores (Surprise
    // Down, ECRC) beside them; a bit the card keeps reporting is counted on every pass.
    const std::pair<const char*, std::vector<std::wstring>> cases[] = {
        {"aer-unc=0x84020,aer-cor=0x40",
         {L"PCIe error: Completion Timeout (Uncorrectable)", L"PCIe error: Bad TLP (Correctable)"}},
        {"aer-unc=0x10", {L"PCIe error: Data Link Protocol Error (Uncorrectable)"}},
        {"aer-unc=0x1000", {L"PCIe error: Poisoned TLP (Uncorrectable)"}},
        {"aer-unc=0x2000", {L"PCIe error: Flow Control Protocol Error (Uncorrectable)"}},
        {"aer-unc=0x8000", {L"PCIe error: Completer Abort (Uncorrectable)"}},
        {"aer-unc=0x10000", {L"PCIe error: Unexpected Completion (Uncorrectable)"}},
        {"aer-unc=0x20000", {L"PCIe error: Receiver Overflow (Uncorrectable)"}},
        {"aer-unc=0x40000", {L"PCIe error: Malformed TLP (Uncorrectable)"}},
        {"aer-unc=0x100000", {L"PCIe error: Unsupported Request Error (Uncorrectable)"}},
        {"aer-unc=0x400000", {L"PCIe error: Uncorrectable Internal Error (Uncorrectable)"}},
        {"aer-cor=0x1", {L"PCIe error: Receiver Error (Correctable)"}},
        {"aer-cor=0x80", {L"PCIe error: Bad DLLP (Correctable)"}},
        {"aer-cor=0x100", {L"PCIe error: Replay Num Rollover (Correctable)"}},
        {"aer-cor=0x1000", {L"PCIe error: Replay Timer Timeout (Correctable)"}},
        {"aer-cor=0x2000", {L"PCIe error: Advisory Non Fatal Error (Correctable)"}},
        {"aer-cor=0x4000", {L"PCIe error: Corrected Internal Error (Correctable)"}},
        {"aer-cor=0x8000", {L"PCIe error: Header Log Overflow (Correctable)"}},
    };
    for (const auto& [options, messages] : cases) {
        SCOPED_TRACE(options);
        Run(options, 2);
        EXPECT_EQ(TestCounters.errors, 2 * messages.size());
        const auto errors = Texts(kLogError);
        ASSERT_GE(errors.size(), 2 * messages.size());
        for (size_t pass = 0; pass < 2; ++pass) {
            const auto first = errors.begin() + pass * messages.size();
            EXPECT_EQ(std::vector<std::wstring>(first, first + messages.size()), messages);
        }
    }
}

}  // namespace

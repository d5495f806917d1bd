// EngineWorld: a simulated card driver, a recording port, a fresh log, default settings and a
// load pause that counts passes instead of sleeping. Runs go in as a RunRequest and come out
// as the RunOutcome the run observer hears.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>

#include "card/card_list.h"
#include "engine/run_control.h"
#include "engine/run_observer.h"
#include "engine/run_state.h"
#include "engine/test_data.h"
#include "engine/test_settings.h"
#include "log/logger.h"
#include "recording_port.h"
#include "sim/simulated_card_driver.h"

class EngineWorld : public ::testing::Test {
  protected:
    // Installs a simulated driver described by `options` and stores its cards.
    void UseCards(const std::string& options) {
        theCard.Close();  // its files belong to the driver being replaced
        SimOptions sim;
        std::string error;
        ASSERT_TRUE(ParseSimOptions(options, &sim, &error)) << error;
        driver = std::make_unique<SimulatedCardDriver>(sim);
        UseCardDriver(driver.get());
        StoreCardPaths(DiscoverCards());
    }

    void SetUp() override {
        SetMainWindowPort(&port);
        ResetRunState();
        InitTestSettings(TestSettings);
        CreateTheLog();
        theCard = CardConnection();  // theCard outlives every test: forget the last link
        pauses = stopAfterPauses = 0;
        SetPauseSleeper(&CountingSleeper);
    }

    void TearDown() override {
        TestControl.stopRequested = true;
        PollUntil([] { return !TestThreadAlive(); });
        shuttingDown = false;  // the closing test leaves it set
        theCard.Close();
        ReleaseCardList();
        DestroyTheLog();
        UseCardDriver(nullptr);
        SetMainWindowPort(nullptr);
        SetPauseSleeper(nullptr);
    }

    // Every load pause lands here and counts; after `stopAfterPauses` it asks the run to stop,
    // so a run ends after an exact number of passes or phases without any timing.
    static void CountingSleeper(uint32_t) {
        if (++pauses >= stopAfterPauses && stopAfterPauses > 0) TestControl.stopRequested = true;
    }

    // A request for card 0 with the default settings of `testMode`.
    static RunRequest Request(uint8_t testMode = 0) {
        RunRequest request;
        request.cardSlot = 0;
        InitTestSettings(request.settings);
        request.settings.testMode = testMode;
        request.settings.loopbackLoadPercent = 99;
        return request;
    }

    // Starts `request` as a front end does and returns the outcome the observer hears once the
    // test thread has returned. The run stops after `stopAfter` load pauses (0: only a fault or
    // `onStart` stops it); `onStart` runs as the run starts, before its thread does.
    RunOutcome Run(const RunRequest& request, int stopAfter, std::function<void()> onStart = {}) {
        pauses = 0;
        stopAfterPauses = stopAfter;
        Watch watch;
        watch.onStart = std::move(onStart);
        watch.alsoTell = alsoTell;
        SetRunObserver(&watch);
        const RunStart started = StartRun(request);
        EXPECT_EQ(started, RunStart::Started);
        if (started == RunStart::Started && !PollUntil([&] { return watch.ended.load(); })) {
            TestControl.stopRequested = true;
            ADD_FAILURE() << "run still going after 60 s";
            PollUntil([&] { return watch.ended.load(); });
        }
        EXPECT_TRUE(PollUntil([] { return !TestThreadAlive(); }));
        SetRunObserver(nullptr);
        return watch.outcome;
    }

    // The texts of every record, or of one category's.
    std::vector<std::wstring> Texts(int category = -1) {
        std::vector<std::wstring> texts;
        LogRecord r;
        for (int i = 0; i < theLog.load()->Count(); ++i) {
            if (theLog.load()->CopyRecord(i, &r) &&
                (category < 0 || static_cast<int>(r.category) == category)) {
                texts.emplace_back(r.text);
            }
        }
        return texts;
    }
    std::vector<std::wstring> StartingWith(const std::wstring& prefix, int category = -1) {
        std::vector<std::wstring> found;
        for (const auto& t : Texts(category)) {
            if (t.rfind(prefix, 0) == 0) found.push_back(t);
        }
        return found;
    }
    int CountStartingWith(const std::wstring& prefix) {
        return static_cast<int>(StartingWith(prefix).size());
    }
    bool Has(const std::wstring& text, LogCategory category) {
        const auto texts = Texts(category);
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }

    // Keeps the outcome the test thread hands over as its last act.
    struct Watch final : RunObserver {
        void RunStarted(const RunRequest&) override {
            if (onStart) onStart();
        }
        void LoopbackPass(int32_t result, double rate, const CardConnection& card,
                          const ErrorRecord* status) override {
            if (alsoTell) alsoTell->LoopbackPass(result, rate, card, status);
        }
        void BenchmarkCycle(bool read, uint32_t cycle, float rate, uint64_t bytes,
                            uint32_t failures) override {
            if (alsoTell) alsoTell->BenchmarkCycle(read, cycle, rate, bytes, failures);
        }
        void RunEnded(const RunOutcome& ended) override {
            if (alsoTell) alsoTell->RunEnded(ended);
            outcome = ended;
            this->ended = true;  // publishes `outcome` to the polling test
        }
        std::function<void()> onStart;
        RunObserver* alsoTell = nullptr;
        std::atomic<bool> ended{false};
        RunOutcome outcome;
    };

    RecordingPort port;
    RunObserver* alsoTell = nullptr;  // hears the run too, as a front end's observer would
    std::unique_ptr<SimulatedCardDriver> driver;
    static inline std::atomic<int> pauses{0};
    static inline std::atomic<int> stopAfterPauses{0};
};

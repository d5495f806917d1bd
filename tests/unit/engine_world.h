// EngineWorld: a simulated card driver, a recording port, a fresh log, default settings and a
// load pause that counts passes instead of sleeping.
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

    // Starts `request` as a front end does; the outcome the observer hears once the thread has
    // returned. `stopAfter` load pauses (0: only a fault or `onStart`) end the run.
    RunOutcome Run(const RunRequest& request, int stopAfter, std::function<void()> onStart = {}) {
        pauses = 0;
        stopAfterPauses = stopAfter;
        Watch watch;
        watch.onStart = std::move(onStart);
        SetRunObserver(&watch);
        const bool started = StartRun(request) == RunStart::Started;
        EXPECT_TRUE(started);
        if (started && !PollUntil([&] { return watch.ended.load(); })) {
            TestControl.stopRequested = true;  // `watch` must outlive the thread
            ADD_FAILURE() << "run still going after 60 s";
        }
        EXPECT_TRUE(PollUntil([] { return !TestThreadAlive(); }));
        SetRunObserver(nullptr);
        return watch.outcome;
    }

    // The texts of the records of `category` (every one: -1) that start with `prefix`.
    std::vector<std::wstring> Texts(int category = -1, const std::wstring& prefix = L"") {
        std::vector<std::wstring> texts;
        LogRecord r;
        for (int i = 0; i < theLog.load()->Count(); ++i) {
            if (theLog.load()->CopyRecord(i, &r) &&
                (category < 0 || static_cast<int>(r.category) == category) &&
                std::wstring(r.text).rfind(prefix, 0) == 0) {
                texts.emplace_back(r.text);
            }
        }
        return texts;
    }
    int CountStartingWith(const std::wstring& prefix) {
        return static_cast<int>(Texts(-1, prefix).size());
    }
    bool Has(const std::wstring& text, LogCategory category) {
        const auto texts = Texts(category, text);
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }

    // Keeps the outcome the test thread hands over as its last act.
    struct Watch final : RunObserver {
        void RunStarted(const RunRequest&) override {
            if (onStart) onStart();
        }
        void LoopbackPass(int32_t, double, const CardConnection&, const ErrorRecord*) override {}
        void BenchmarkCycle(bool, uint32_t, float, uint64_t, uint32_t) override {}
        void RunEnded(const RunOutcome& ended) override {
            outcome = ended;
            this->ended = true;  // publishes `outcome` to the polling test
        }
        std::function<void()> onStart;
        std::atomic<bool> ended{false};
        RunOutcome outcome;
    };

    RecordingPort port;
    std::unique_ptr<SimulatedCardDriver> driver;
    static inline std::atomic<int> pauses{0};
    static inline std::atomic<int> stopAfterPauses{0};
};

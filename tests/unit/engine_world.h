// EngineWorld: what an engine test needs: a simulated card driver, a recording port, a fresh
// log, default settings and run state, and a load pause that counts passes instead of
// sleeping. Runs go in as a RunRequest and come out as the RunOutcome the run observer hears.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "card/card_connection.h"
#include "card/card_list.h"
#include "engine/run_control.h"
#include "engine/run_observer.h"
#include "engine/run_state.h"
#include "engine/test_data.h"
#include "engine/test_settings.h"
#include "log/logger.h"
#include "recording_port.h"
#include "sim/sim_options.h"
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
        shuttingDown = false;
        InitTestSettings(TestSettings);
        CreateTheLog();
        // theCard outlives every test: forget the previous test's card and link.
        theCard.Close();
        theCard = CardConnection();
        selectedCard = 0;
        pauses = 0;
        stopAfterPauses = 0;
        SetPauseSleeper(&CountingSleeper);
    }

    void TearDown() override {
        TestControl.stopRequested = true;
        PollUntil([] { return !TestThreadAlive(); });
        SetRunObserver(nullptr);
        shuttingDown = false;  // the closing test leaves it set
        theCard.Close();
        ReleaseCardList();
        DestroyTheLog();
        UseCardDriver(nullptr);
        SetMainWindowPort(nullptr);
        SetPauseSleeper(nullptr);
        driver.reset();
    }

    // Every load pause lands here: it counts, and after `stopAfterPauses` it asks the run to
    // stop, so a run ends after an exact number of passes or phases without any timing.
    static void CountingSleeper(uint32_t) {
        const int n = ++pauses;
        if (stopAfterPauses > 0 && n >= stopAfterPauses) TestControl.stopRequested = true;
    }

    // A request for card 0 with the default settings of `testMode`, pausing 0 ms per pass
    // (the counting hook).
    static RunRequest Request(uint8_t testMode = 0) {
        RunRequest request;
        request.cardSlot = 0;
        InitTestSettings(request.settings);
        request.settings.testMode = testMode;
        request.settings.loopbackLoadPercent = 99;
        return request;
    }

    // Hands `request` to StartRun as a front end does and returns the outcome the run
    // observer hears at the run's end, once the test thread has returned. The run stops after
    // `stopAfter` load pauses (0: only a fault or `onStart` stops it); `onStart` runs as the
    // run starts, before its thread does.
    RunOutcome Run(const RunRequest& request, int stopAfter,
                   std::function<void()> onStart = nullptr) {
        pauses = 0;
        stopAfterPauses = stopAfter;
        Watch watch;
        watch.onStart = std::move(onStart);
        watch.alsoTell = alsoTell;
        SetRunObserver(&watch);
        const RunStart started = StartRun(request);
        EXPECT_EQ(started, RunStart::Started);
        if (started == RunStart::Started) {
            std::unique_lock<std::mutex> lock(watch.lock);
            if (!watch.done.wait_for(lock, std::chrono::seconds(60), [&] { return watch.ended; })) {
                TestControl.stopRequested = true;
                ADD_FAILURE() << "run still going after 60 s";
                watch.done.wait(lock, [&] { return watch.ended; });
            }
        }
        EXPECT_TRUE(PollUntil([] { return !TestThreadAlive(); }));
        SetRunObserver(nullptr);
        return watch.outcome;
    }

    // For effects no port call announces (a driver statistic, a thread counting itself out):
    // a bounded poll.
    template <typename Predicate>
    static bool PollUntil(Predicate done, std::chrono::seconds bound = std::chrono::seconds(60)) {
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    // The texts of every record, or of one category's.
    std::vector<std::wstring> Texts(int category = -1) {
        std::vector<std::wstring> texts;
        Logger* log = theLog.load();
        LogRecord r;
        for (int i = 0; i < log->Count(); ++i) {
            if (log->CopyRecord(i, &r) &&
                (category < 0 || r.category == static_cast<LogCategory>(category))) {
                texts.emplace_back(r.text);
            }
        }
        return texts;
    }
    int CountStartingWith(const std::wstring& prefix) {
        int n = 0;
        for (const auto& t : Texts()) n += t.rfind(prefix, 0) == 0;
        return n;
    }
    bool Has(const std::wstring& text, LogCategory category) {
        const auto texts = Texts(static_cast<int>(category));
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
            std::lock_guard<std::mutex> guard(lock);
            outcome = ended;
            this->ended = true;
            done.notify_all();
        }
        std::function<void()> onStart;
        RunObserver* alsoTell = nullptr;
        std::mutex lock;
        std::condition_variable done;
        bool ended = false;
        RunOutcome outcome;
    };

    RecordingPort port;
    RunObserver* alsoTell = nullptr;  // hears the run too, as a front end's observer would
    std::unique_ptr<SimulatedCardDriver> driver;
    static inline std::atomic<int> pauses{0};
    static inline std::atomic<int> stopAfterPauses{0};
};

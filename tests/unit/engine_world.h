// EngineWorld: what an engine test needs: a simulated card driver, a recording port, a fresh
// log, default settings and run state, and a load pause that counts passes instead of
// sleeping. Torn down so the next test starts clean.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "card/card_connection.h"
#include "card/card_list.h"
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

    // Runs a test thread procedure to its end on the calling test's behalf: the run is
    // "started" as StartTest would, the thread joined, its final StopTest observed.
    template <typename Procedure>
    void RunToEnd(Procedure procedure, int stopAfter, bool stopBeforeStart = false) {
        pauses = 0;
        stopAfterPauses = stopAfter;
        TestSettings.loopbackLoadPercent = 99;  // a 0 ms pause per pass: our counting hook
        TestControl.stopRequested = stopBeforeStart;
        std::thread run(procedure, &selectedCard);
        run.join();
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

    RecordingPort port;
    std::unique_ptr<SimulatedCardDriver> driver;
    static inline std::atomic<int> pauses{0};
    static inline std::atomic<int> stopAfterPauses{0};
};

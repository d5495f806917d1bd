// RecordingPort: a MainWindowPort for tests that records the calls the core makes, from any
// thread, and answers the questions the core asks (selected device, duration text) with
// values the test sets.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/main_window_port.h"

class RecordingPort : public MainWindowPort {
  public:
    // What the core did so far, and the answers it is given.
    struct State {
        int logChanged = 0;
        int beeps = 0;
        int pumps = 0;
        std::vector<bool> enableCalls;  // EnableTestInputs, in order
        bool running = false;           // the last Start/Stop caption asked for: "Stop"
        int selectedDevice = -1;
        std::wstring durationText;
        std::function<void()> onLogChanged;  // runs on the adding thread after each LogChanged
    };

    void LogChanged() override {
        std::function<void()> hook;
        Change([&](State& s) {
            ++s.logChanged;
            hook = s.onLogChanged;
        });
        if (hook) hook();  // outside the lock: it may read the log or wait for other threads
    }
    void Repaint() override {}
    void EnableTestInputs(bool enable) override {
        Change([&](State& s) { s.enableCalls.push_back(enable); });
    }
    void SetStartStopLabel(bool running) override {
        Change([&](State& s) { s.running = running; });
    }
    void ShowMessage(const std::wstring&, const std::wstring&, MessageIcon) override {}
    void Beep() override {
        Change([](State& s) { ++s.beeps; });
    }
    void AddDeviceEntry(const std::wstring&) override {}
    void SelectDevice(int index) override { SetSelectedDevice(index); }
    int SelectedDevice() override { return Get().selectedDevice; }
    std::wstring DurationText(int maxChars) override {
        return Get().durationText.substr(0, maxChars < 0 ? 0 : maxChars);
    }
    void PumpMessages() override {
        Change([](State& s) { ++s.pumps; });
    }

    // A copy of the state, taken under the lock.
    State Get() {
        std::lock_guard<std::mutex> guard(lock);
        return state;
    }
    template <typename F>
    void Change(F&& change) {
        std::lock_guard<std::mutex> guard(lock);
        change(state);
    }
    void SetSelectedDevice(int index) {
        Change([&](State& s) { s.selectedDevice = index; });
    }
    void SetDurationText(const std::wstring& text) {
        Change([&](State& s) { s.durationText = text; });
    }
    // Inputs never touched count as enabled.
    bool InputsEnabled() {
        const State s = Get();
        return s.enableCalls.empty() || s.enableCalls.back();
    }
    bool Running() { return Get().running; }

    // A bounded poll until `done(*this)` holds; false if it still does not after `limit`.
    bool WaitUntil(const std::function<bool(RecordingPort&)>& done,
                   std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done(*this)) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

  private:
    std::mutex lock;
    State state;
};

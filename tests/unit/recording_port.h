// RecordingPort: a MainWindowPort that records, from any thread, the calls the core makes and
// answers the selected device the test sets.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/main_window_port.h"

// A bounded poll until `done()` holds, for effects no port call announces; false if it still
// does not after `limit`.
template <typename Predicate>
bool PollUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class RecordingPort : public MainWindowPort {
  public:
    struct State {
        int logChanged = 0, beeps = 0, pumps = 0, selectedDevice = -1;
        std::vector<bool> enableCalls;       // EnableTestInputs, in order
        bool running = false;                // the last Start/Stop caption asked for: "Stop"
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
    void EnableTestInputs(bool on) override {
        Change([&](State& s) { s.enableCalls.push_back(on); });
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
    std::wstring DurationText(int) override { return {}; }
    void PumpMessages() override {
        Change([](State& s) { ++s.pumps; });
    }

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
    bool InputsEnabled() { return Get().enableCalls.empty() || Get().enableCalls.back(); }
    bool Running() { return Get().running; }

  private:
    std::mutex lock;
    State state;
};

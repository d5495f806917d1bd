// RecordingPort: a MainWindowPort for tests that records every call the core makes, from any
// thread, and answers the questions the core asks (selected device, duration text) with
// values the test sets. ScopedPort installs a port for one test and restores the null port.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/main_window_port.h"

class RecordingPort : public MainWindowPort {
  public:
    struct EnableCall {
        int controlId;
        bool enable;
        bool operator==(const EnableCall&) const = default;
    };
    struct TextCall {
        int controlId;
        std::wstring text;
        bool operator==(const TextCall&) const = default;
    };
    struct Message {
        std::wstring text;
        std::wstring caption;
        MessageIcon icon;
        bool operator==(const Message&) const = default;
    };

    // --- MainWindowPort ---

    void LogChanged() override {
        std::function<void()> hook;
        {
            std::lock_guard<std::mutex> guard(lock);
            ++logChanged;
            ++calls;
            hook = onLogChanged;
        }
        changed.notify_all();
        // Outside our lock: the hook may read the log or wait for other threads.
        if (hook) hook();
    }
    void Repaint() override {
        Record([&] { ++repaints; });
    }
    void EnableControl(int controlId, bool enable) override {
        Record([&] {
            enableCalls.push_back({controlId, enable});
            enabled[controlId] = enable;
        });
    }
    void SetControlText(int controlId, const std::wstring& text) override {
        Record([&] {
            textCalls.push_back({controlId, text});
            controlTexts[controlId] = text;
        });
    }
    void ShowMessage(const std::wstring& text, const std::wstring& caption,
                     MessageIcon icon) override {
        Record([&] { messages.push_back({text, caption, icon}); });
    }
    void Beep() override {
        Record([&] { ++beeps; });
    }
    void AddDeviceEntry(const std::wstring& name) override {
        Record([&] { deviceEntries.push_back(name); });
    }
    void SelectDevice(int index) override {
        Record([&] {
            selectCalls.push_back(index);
            selectedDevice = index;
        });
    }
    int SelectedDevice() override {
        std::lock_guard<std::mutex> guard(lock);
        return selectedDevice;
    }
    std::wstring DurationText(int maxChars) override {
        std::lock_guard<std::mutex> guard(lock);
        return durationText.substr(0, maxChars < 0 ? 0 : static_cast<size_t>(maxChars));
    }
    void PumpMessages() override {
        Record([&] { ++pumps; });
    }

    // --- what the test sets ---

    void SetSelectedDevice(int index) {
        std::lock_guard<std::mutex> guard(lock);
        selectedDevice = index;
    }
    void SetDurationText(const std::wstring& text) {
        std::lock_guard<std::mutex> guard(lock);
        durationText = text;
    }
    // Runs on the adding thread after each LogChanged is recorded (e.g. a log follower).
    void SetOnLogChanged(std::function<void()> hook) {
        std::lock_guard<std::mutex> guard(lock);
        onLogChanged = std::move(hook);
    }

    // --- what the test reads (copies, taken under the lock) ---

    int LogChangedCount() {
        return Read([&] { return logChanged; });
    }
    int RepaintCount() {
        return Read([&] { return repaints; });
    }
    int BeepCount() {
        return Read([&] { return beeps; });
    }
    int PumpCount() {
        return Read([&] { return pumps; });
    }
    std::vector<EnableCall> EnableCalls() {
        return Read([&] { return enableCalls; });
    }
    std::vector<TextCall> TextCalls() {
        return Read([&] { return textCalls; });
    }
    std::vector<Message> Messages() {
        return Read([&] { return messages; });
    }
    std::vector<std::wstring> DeviceEntries() {
        return Read([&] { return deviceEntries; });
    }
    std::vector<int> SelectCalls() {
        return Read([&] { return selectCalls; });
    }
    // The last state a control was given; controls never touched count as enabled.
    bool IsEnabled(int controlId) {
        return Read([&] {
            auto it = enabled.find(controlId);
            return it == enabled.end() || it->second;
        });
    }
    // The last text a control was given, or empty.
    std::wstring ControlText(int controlId) {
        return Read([&] {
            auto it = controlTexts.find(controlId);
            return it == controlTexts.end() ? std::wstring() : it->second;
        });
    }

    // Forgets every recorded call (the settable answers stay).
    void ClearCalls() {
        std::lock_guard<std::mutex> guard(lock);
        logChanged = repaints = beeps = pumps = 0;
        enableCalls.clear();
        textCalls.clear();
        messages.clear();
        deviceEntries.clear();
        selectCalls.clear();
        enabled.clear();
        controlTexts.clear();
    }

    // Waits until `done(*this)` holds, re-checking after every recorded call; false if it
    // still does not hold after `limit`. `done` must not call WaitUntil.
    bool WaitUntil(const std::function<bool(RecordingPort&)>& done,
                   std::chrono::milliseconds limit = std::chrono::seconds(30)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            const uint64_t seen = calls;
            guard.unlock();
            if (done(*this)) return true;
            guard.lock();
            if (calls == seen && changed.wait_until(guard, deadline) == std::cv_status::timeout) {
                guard.unlock();
                return done(*this);
            }
        }
    }

  private:
    template <typename F>
    void Record(F&& change) {
        {
            std::lock_guard<std::mutex> guard(lock);
            change();
            ++calls;
        }
        changed.notify_all();
    }
    template <typename F>
    auto Read(F&& read) -> decltype(read()) {
        std::lock_guard<std::mutex> guard(lock);
        return read();
    }

    std::mutex lock;
    std::condition_variable changed;
    uint64_t calls = 0;
    int logChanged = 0;
    int repaints = 0;
    int beeps = 0;
    int pumps = 0;
    std::vector<EnableCall> enableCalls;
    std::vector<TextCall> textCalls;
    std::vector<Message> messages;
    std::vector<std::wstring> deviceEntries;
    std::vector<int> selectCalls;
    std::map<int, bool> enabled;
    std::map<int, std::wstring> controlTexts;
    int selectedDevice = -1;
    std::wstring durationText;
    std::function<void()> onLogChanged;
};

// Installs a port as Port() for the life of this object, then the null port again.
class ScopedPort {
  public:
    explicit ScopedPort(MainWindowPort& port) { SetMainWindowPort(&port); }
    ~ScopedPort() { SetMainWindowPort(nullptr); }
    ScopedPort(const ScopedPort&) = delete;
    ScopedPort& operator=(const ScopedPort&) = delete;
};

// The command-line runner's MainWindowPort: records are printed to standard output (or the
// stream chosen) as they are added; the end of a run is noticed through the idle caption
// StopTest asks for.
#pragma once

#include <atomic>
#include <cstdio>
#include <mutex>

#include "engine/main_window_port.h"
#include "log/log_follower.h"

class ConsolePort final : public MainWindowPort {
public:
    // Live printing of records starts with Follow (records already in the log are skipped
    // unless `fromStart`).
    void Follow(bool fromStart);
    // Prints whatever the follower has not printed yet.
    void Flush();
    // Where records go: standard output unless the JSON results take it. Set before Follow.
    void SetRecordStream(std::FILE* stream) { stream_ = stream; }
    std::FILE* RecordStream() const { return stream_; }
    // True once Start has accepted the run and turned the caption to "Stop", however soon
    // the run's thread ends after that.
    bool RunStarted() const { return runStarted_; }
    // True once the run's thread has returned the "window" to idle.
    bool RunFinished() const { return runFinished_; }
    void ResetRun() {
        runStarted_ = false;
        runFinished_ = false;
    }
    // Number of ERROR records printed since Follow.
    uint64_t ErrorRecords() const { return errorRecords_; }

    void LogChanged() override;
    void Repaint() override {}
    void EnableControl(int, bool) override {}
    void SetControlText(int controlId, const std::wstring& text) override;
    void ShowMessage(const std::wstring& text, const std::wstring& caption,
                     MessageIcon icon) override;
    void Beep() override {}
    void AddDeviceEntry(const std::wstring&) override {}
    void SelectDevice(int index) override { selected_ = index; }
    int SelectedDevice() override { return selected_; }
    std::wstring DurationText(int maxChars) override;
    void PumpMessages() override {}

    void SetDurationText(const std::wstring& text) { duration_ = text; }

private:
    std::atomic<bool> following_{false};
    std::atomic<bool> runStarted_{false};
    std::atomic<bool> runFinished_{false};
    std::atomic<uint64_t> errorRecords_{0};
    std::atomic<int> selected_{-1};
    std::wstring duration_;
    std::FILE* stream_ = stdout;
    LogFollower follower_;
};

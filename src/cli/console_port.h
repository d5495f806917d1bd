// The command-line runner's MainWindowPort: records are printed to standard output (or the
// stream chosen) as they are added. It has no controls: the runner learns how a run goes from
// the run events, not from what the engine asks a window to show.
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
    // Where each record also goes as a JSON object (--json-stream); null for nowhere. Set
    // before Follow.
    void SetObjectStream(std::FILE* stream) { objects_ = stream; }
    // Number of ERROR records printed since Follow.
    uint64_t ErrorRecords() const { return errorRecords_; }

    void LogChanged() override;
    void Repaint() override {}
    void EnableTestInputs(bool) override {}
    void SetStartStopLabel(bool) override {}
    void ShowMessage(const std::wstring& text, const std::wstring& caption,
                     MessageIcon icon) override;
    void Beep() override {}
    void AddDeviceEntry(const std::wstring&) override {}
    void SelectDevice(int) override {}
    int SelectedDevice() override { return -1; }
    std::wstring DurationText(int) override { return std::wstring(); }
    void PumpMessages() override {}

  private:
    std::atomic<bool> following_{false};
    std::atomic<uint64_t> errorRecords_{0};
    std::FILE* stream_ = stdout;
    std::FILE* objects_ = nullptr;
    LogFollower follower_;
};

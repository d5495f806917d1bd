#include "engine/main_window_port.h"

#include <atomic>

#include "log/logger.h"

namespace {

class NullPort final : public MainWindowPort {
  public:
    void LogChanged() override {}
    void Repaint() override {}
    void EnableTestInputs(bool) override {}
    void SetStartStopLabel(bool) override {}
    void ShowMessage(const std::wstring&, const std::wstring&, MessageIcon) override {}
    void Beep() override {}
    void AddDeviceEntry(const std::wstring&) override {}
    void SelectDevice(int) override {}
    int SelectedDevice() override { return -1; }
    std::wstring DurationText(int) override { return {}; }
    void PumpMessages() override {}
};

NullPort nullPort;
std::atomic<MainWindowPort*> currentPort{&nullPort};

void TellPortOfNewRecord() { currentPort.load()->LogChanged(); }

}  // namespace

MainWindowPort& Port() { return *currentPort.load(); }

// The log knows no window: the port hears of each record through the log's listener.
void SetMainWindowPort(MainWindowPort* port) {
    currentPort.store(port ? port : &nullPort);
    SetLogListener(port ? &TellPortOfNewRecord : nullptr);
}

// MainWindowPort: everything the core asks of whoever shows it. The controls, their ids and
// captions are the window's own business. The Win32 window posts each
// request to its own thread (a test thread never waits for a paint); the command-line runner
// prints; tests record the calls. Every method may be called from any thread unless noted.
#pragma once

#include <cstdint>
#include <string>

enum class MessageIcon { Information, Exclamation };

class MainWindowPort {
  public:
    virtual ~MainWindowPort() = default;

    // A record was added to theLog: show the newest records and repaint the panel. Called on
    // the adding thread, outside the log lock; repeated calls may be coalesced.
    virtual void LogChanged() = 0;

    // Repaint the results panel (status, counters, chart) as soon as possible.
    virtual void Repaint() = 0;

    // Enable or disable, in this order: the device list, the two duration labels, the
    // duration edit, both mode radios, Configure, Save Log and Exit. Start/Stop and About
    // stay enabled, so a run can always be stopped.
    virtual void EnableTestInputs(bool enable) = 0;

    // The Start/Stop button's caption: "Stop" while `running`, else "Start".
    virtual void SetStartStopLabel(bool running) = 0;

    // A modal message box with an OK button, owned by the main window; returns when it is
    // dismissed. Main thread only.
    virtual void ShowMessage(const std::wstring& text, const std::wstring& caption,
                             MessageIcon icon) = 0;

    // The default system beep.
    virtual void Beep() = 0;

    // The device list: append an entry, select an entry (no selection-change notification),
    // read the current selection (-1 when none). Main thread only.
    virtual void AddDeviceEntry(const std::wstring& name) = 0;
    virtual void SelectDevice(int index) = 0;
    virtual int SelectedDevice() = 0;

    // At most `maxChars` characters of the duration edit's text. Main thread only.
    virtual std::wstring DurationText(int maxChars) = 0;

    // Handle every message waiting for the main thread (the closing wait). Main thread only.
    virtual void PumpMessages() = 0;
};

// The port the core talks to; a port that does nothing until a front end sets its own.
// Set before any test thread starts and not changed while one runs.
MainWindowPort& Port();
void SetMainWindowPort(MainWindowPort* port);

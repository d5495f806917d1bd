// MainWindowPort: everything the core asks of whoever shows it. The Win32 window posts each
// request to its own thread (a test thread never waits for a paint); the command-line runner
// prints; tests record the calls. Every method may be called from any thread unless noted.
#pragma once

#include <cstdint>
#include <string>

// Control ids of the main window that the core names.
inline constexpr int kDeviceListId = 1044;
inline constexpr int kDurationLabelId = 1061;
inline constexpr int kMinutesLabelId = 1062;
inline constexpr int kDurationEditId = 1060;
inline constexpr int kLoopbackRadioId = 1038;
inline constexpr int kBenchmarkRadioId = 1031;
inline constexpr int kConfigureButtonId = 2;
inline constexpr int kSaveLogButtonId = 3;
inline constexpr int kAboutButtonId = 6;
inline constexpr int kExitButtonId = 8;
inline constexpr int kStartStopButtonId = 1105;

enum class MessageIcon { Information, Exclamation };

class MainWindowPort {
public:
    virtual ~MainWindowPort() = default;

    // A record was added to theLog: show the newest records and repaint the panel. Called on
    // the adding thread, outside the log lock; repeated calls may be coalesced.
    virtual void LogChanged() = 0;

    // Repaint the results panel (status, counters, chart) as soon as possible.
    virtual void Repaint() = 0;

    // Enable or disable one control of the main window.
    virtual void EnableControl(int controlId, bool enable) = 0;

    // Replace the text of one control (the Start/Stop caption).
    virtual void SetControlText(int controlId, const std::wstring& text) = 0;

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

// The main window's side of MainWindowPort. Calls from the main thread act at once; calls
// from any other thread are posted to the main window and carried out by the main thread,
// never sent, so a test thread never waits for the window (and the closing window, which
// waits for the test threads, can never deadlock with one). Repaint requests are coalesced:
// at most one of each kind is in the queue, and its handler reads the state when it runs,
// so the screen always ends showing the final state however fast records arrive. They are
// also paced, one of each kind per tick of the refresh timer: posted messages come before
// input and timers, so a test logging a record every pass would otherwise keep the queue
// full, the refresh timer would stop ticking (and with it the run-length check), and the
// main thread would spend all its time painting.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "engine/main_window_port.h"
#include "log/log_follower.h"

// Private messages of the main window, posted by the port to its own thread.
inline constexpr UINT kLogChangedMessage = WM_APP + 1;
inline constexpr UINT kRepaintMessage = WM_APP + 2;
inline constexpr UINT kEnableControlMessage = WM_APP + 3;   // wParam id, lParam enable
inline constexpr UINT kSetControlTextMessage = WM_APP + 4;  // wParam id, lParam text (owned)

class Win32WindowPort final : public MainWindowPort {
  public:
    // `mainThread` is the thread that owns (or will own) the main window.
    explicit Win32WindowPort(DWORD mainThread);

    // Appends every record to `file` as it is added (the --log-file option). The port takes
    // the file; it stays open until the process ends, as a late test thread may still log.
    void FollowLogInto(std::FILE* file);

    // The main window procedure hands its private messages here; true when it was one.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Called on every tick of the refresh timer: ends the current frame, and asks again
    // for whatever changed during it.
    void EndFrame();

    void LogChanged() override;
    void Repaint() override;
    void EnableTestInputs(bool enable) override;
    void SetStartStopLabel(bool running) override;
    void ShowMessage(const std::wstring& text, const std::wstring& caption,
                     MessageIcon icon) override;
    void Beep() override;
    void AddDeviceEntry(const std::wstring& name) override;
    void SelectDevice(int index) override;
    int SelectedDevice() override;
    std::wstring DurationText(int maxChars) override;
    void PumpMessages() override;

  private:
    // One kind of coalesced request. `pending` is set while a message is queued or its
    // frame has not ended; `requests` counts every request, so the end of a frame can tell
    // whether any came after the handler read the state.
    struct Coalesced {
        const UINT message;
        std::atomic<bool> pending{false};
        std::atomic<uint32_t> requests{0};
        uint32_t handled = 0;  // main thread only
    };

    // One control of the main window, from any thread.
    void EnableControl(int controlId, bool enable);
    void SetControlText(int controlId, const std::wstring& text);

    bool OnMainThread() const { return GetCurrentThreadId() == mainThread_; }
    // Posts the request's message unless one is queued or its frame is still on.
    void Request(Coalesced& change);
    // Before the handler reads the state: until the refresh timer has ticked once there
    // are no frames, and the request is over at once.
    void Handling(Coalesced& change);
    void AppendNewRecords();

    const DWORD mainThread_;
    Coalesced logChanged_{kLogChangedMessage};
    Coalesced repaint_{kRepaintMessage};
    bool paced_ = false;  // main thread only: the refresh timer ends frames
    std::FILE* liveLog_ = nullptr;
    LogFollower follower_;
};

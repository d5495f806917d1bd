#include "app/window_port_win.h"

#include <vector>

#include "app/main_window_win.h"
#include "app/resources/resource.h"
#include "app/results_panel_win.h"
#include "display/log_view.h"
#include "log/log_export.h"
#include "log/logger.h"

Win32WindowPort::Win32WindowPort(DWORD mainThread) : mainThread_(mainThread) {}

void Win32WindowPort::FollowLogInto(std::FILE* file) { liveLog_ = file; }

void Win32WindowPort::Request(Coalesced& change) {
    // Counted before the flag is tested: a frame that ends in between sees the count.
    ++change.requests;
    if (change.pending.exchange(true)) return;
    // A window already gone (closing) takes no more messages; nothing is left to repaint.
    if (!mainWindow || !PostMessageW(mainWindow, change.message, 0, 0)) change.pending = false;
}

void Win32WindowPort::Handling(Coalesced& change) {
    change.handled = change.requests.load();
    if (!paced_) change.pending = false;
}

void Win32WindowPort::EndFrame() {
    paced_ = true;
    for (Coalesced* change : {&logChanged_, &repaint_}) {
        if (!change->pending.exchange(false)) continue;
        // A request that came during the frame found the flag set and posted nothing.
        if (change->requests.load() != change->handled) Request(*change);
    }
}

void Win32WindowPort::AppendNewRecords() {
    // LogAdd calls this inside its in-flight count, so the log cannot be destroyed under us.
    // The file is written here, on the adding thread, so its contents never wait for a paint.
    Logger* log = theLog.load();
    if (!log) return;
    follower_.CatchUp(*log, [this](const LogRecord& record) {
        std::string line = FormatRecordLine(record, true);
        line += "\r\n";
        std::fwrite(line.data(), 1, line.size(), liveLog_);
        std::fflush(liveLog_);
    });
}

void Win32WindowPort::LogChanged() {
    if (liveLog_) AppendNewRecords();
    if (OnMainThread()) {
        OnLogRecordAdded();
    } else {
        Request(logChanged_);
    }
}

void Win32WindowPort::Repaint() {
    if (OnMainThread()) {
        RedrawPanelNow();
    } else {
        Request(repaint_);
    }
}

void Win32WindowPort::EnableControl(int controlId, bool enable) {
    if (!mainWindow) return;
    if (OnMainThread()) {
        EnableWindow(GetDlgItem(mainWindow, controlId), enable);
    } else {
        PostMessageW(mainWindow, kEnableControlMessage, static_cast<WPARAM>(controlId),
                     enable ? 1 : 0);
    }
}

void Win32WindowPort::SetControlText(int controlId, const std::wstring& text) {
    if (!mainWindow) return;
    if (OnMainThread()) {
        SetDlgItemTextW(mainWindow, controlId, text.c_str());
        return;
    }
    // The text travels with the message; whoever ends up with it frees it.
    auto* copy = new std::wstring(text);
    if (!PostMessageW(mainWindow, kSetControlTextMessage, static_cast<WPARAM>(controlId),
                      reinterpret_cast<LPARAM>(copy))) {
        delete copy;
    }
}

void Win32WindowPort::EnableTestInputs(bool enable) {
    // Start/Stop and About are not in the list: a run can always be stopped.
    static constexpr int kTestInputIds[] = {
        IDC_DEVICE_LIST,   IDC_DURATION_LABEL, IDC_MINUTES_LABEL,
        IDC_DURATION_EDIT, IDC_LOOPBACK_RADIO, IDC_BENCHMARK_RADIO,
        IDC_CONFIGURE,     IDC_SAVE_LOG,       IDC_EXIT,
    };
    for (int id : kTestInputIds) EnableControl(id, enable);
}

void Win32WindowPort::SetStartStopLabel(bool running) {
    SetControlText(IDC_START_STOP, running ? L"Stop" : L"Start");
}

bool Win32WindowPort::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case kLogChangedMessage:
            Handling(logChanged_);
            OnLogRecordAdded();
            return true;
        case kRepaintMessage:
            Handling(repaint_);
            RedrawPanelNow();
            return true;
        case kEnableControlMessage:
            EnableWindow(GetDlgItem(mainWindow, static_cast<int>(wParam)), lParam != 0);
            return true;
        case kSetControlTextMessage: {
            std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
            SetDlgItemTextW(mainWindow, static_cast<int>(wParam), text->c_str());
            return true;
        }
        default:
            return false;
    }
}

void Win32WindowPort::ShowMessage(const std::wstring& text, const std::wstring& caption,
                                  MessageIcon icon) {
    const UINT iconStyle =
        icon == MessageIcon::Information ? MB_ICONINFORMATION : MB_ICONEXCLAMATION;
    MessageBoxW(mainWindow, text.c_str(), caption.c_str(), MB_OK | iconStyle);
}

void Win32WindowPort::Beep() { MessageBeep(MB_OK); }

void Win32WindowPort::AddDeviceEntry(const std::wstring& name) {
    SendDlgItemMessageW(mainWindow, IDC_DEVICE_LIST, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(name.c_str()));
}

void Win32WindowPort::SelectDevice(int index) {
    SendDlgItemMessageW(mainWindow, IDC_DEVICE_LIST, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32WindowPort::SelectedDevice() {
    const LRESULT selection = SendDlgItemMessageW(mainWindow, IDC_DEVICE_LIST, CB_GETCURSEL, 0, 0);
    return selection == CB_ERR ? -1 : static_cast<int>(selection);
}

std::wstring Win32WindowPort::DurationText(int maxChars) {
    if (maxChars <= 0) return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(maxChars) + 1, L'\0');
    GetDlgItemTextW(mainWindow, IDC_DURATION_EDIT, buffer.data(), maxChars + 1);
    return buffer.data();
}

void Win32WindowPort::PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // The main loop ends on this; put it back for it to see.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (!mainWindow || !IsDialogMessageW(mainWindow, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

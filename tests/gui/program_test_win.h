// The fixture most GUI tests start from: a fresh program on the simulated card, its main
// window up and idle after start-up, and the few things a user does to it over and over.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "app/resources/resource.h"
#include "gui_harness_win.h"

namespace gui {

class ProgramTest : public ::testing::Test {
  protected:
    void Launch(const std::wstring& arguments = L"--simulate") {
        app_ = std::make_unique<AppUnderTest>(arguments);
        ASSERT_TRUE(app_->Started());
        window_ = app_->WaitForMainWindow();
        ASSERT_NE(window_, nullptr) << "no main window";
        // The scan's last line: start-up is over and the window is idle.
        ASSERT_GE(app_->WaitForRecord(L"Max Read Request Size: ", kStartTimeoutMs), 0);
    }

    HWND Control(int id) const { return app_->Control(id); }
    std::wstring Caption() const { return WindowText(Control(IDC_START_STOP)); }
    bool WaitForCaption(const std::wstring& caption, DWORD timeoutMs = kEffectTimeoutMs) const {
        return WaitUntil([&] { return Caption() == caption; }, timeoutMs);
    }

    void StartRun() {
        app_->Click(IDC_START_STOP);
        ASSERT_TRUE(WaitForCaption(L"Stop")) << "the run did not start";
    }
    // The summary of a stopped run can take a while under Wine: a minute is the bound.
    void StopRun() {
        app_->Click(IDC_START_STOP);
        ASSERT_TRUE(WaitForCaption(L"Start", 60000)) << "the run did not end";
    }
    // Waits until the running test has logged a record of `category`.
    void WaitForCategory(const std::wstring& category) {
        ASSERT_TRUE(WaitUntil([&] {
            for (const LoggedRecord& record : app_->Log()) {
                if (record.category == category) return true;
            }
            return false;
        })) << "no " << std::string(category.begin(), category.end()) << " record";
    }

    void SetDuration(const std::wstring& text) const { SetText(Control(IDC_DURATION_EDIT), text); }

    // Makes the window `dw` wider and `dh` taller, as dragging its corner would, and waits
    // until the layout has followed.
    void Resize(int dw, int dh) {
        const SIZE size = WindowSize(window_);
        const SIZE client = ClientSize(window_);
        SetWindowPos(window_, nullptr, 0, 0, size.cx + dw, size.cy + dh,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        ASSERT_TRUE(WaitUntil([&] {
            const SIZE now = ClientSize(window_);
            return now.cx == client.cx + dw && now.cy == client.cy + dh;
        }));
        ASSERT_TRUE(app_->Barrier());
    }

    // Picks device list entry `index` as the user would.
    void SelectCard(int index) const {
        Send(Control(IDC_DEVICE_LIST), CB_SETCURSEL, static_cast<WPARAM>(index));
        app_->PostCommand(IDC_DEVICE_LIST, CBN_SELCHANGE);
    }

    std::unique_ptr<AppUnderTest> app_;
    HWND window_ = nullptr;
};

}  // namespace gui

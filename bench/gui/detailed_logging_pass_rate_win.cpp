// Not a test but a figure for brixlanetool-bench: scripts/gui-bench.sh runs it inside
// gui_tests.exe. Passes per second of a loopback with detailed logging against one without,
// over the same run length, from the log's own summary. Every pass then logs a line, and the
// window must not repaint for each one.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "app/resources/resource.h"
#include "gui_harness_win.h"

namespace {

double PassesPerSecond(const std::vector<gui::LoggedRecord>& log) {
    unsigned long long operations = 0;
    int hours = 0, minutes = 0, seconds = 0;
    const std::wstring operationsTail = L" Operations.";
    for (const gui::LoggedRecord& record : log) {
        const std::wstring& text = record.text;
        if (text.size() > operationsTail.size() &&
            text.compare(text.size() - operationsTail.size(), operationsTail.size(),
                         operationsTail) == 0) {
            operations = std::wcstoull(text.c_str(), nullptr, 10);
        }
        std::swscanf(text.c_str(), L"Duration: %dh %dm %ds", &hours, &minutes, &seconds);
    }
    const int total = hours * 3600 + minutes * 60 + seconds;
    return total > 0 ? static_cast<double>(operations) / total : 0.0;
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

// A loopback of 0.25 minutes (it ends at the first refresh tick after 15 whole seconds); 0
// when the program could not be driven.
double MeasuredRate(bool detailed) {
    gui::AppUnderTest app(L"--simulate");
    HWND window = app.WaitForMainWindow();
    if (!window || app.WaitForRecord(L"Max Read Request Size: ", gui::kLongTimeoutMs) < 0) return 0;
    if (detailed) {
        const std::wstring caption = L"Brixlane configuration";
        Click(GetDlgItem(window, IDC_CONFIGURE));
        HWND dialog = app.WaitForDialog(caption);
        if (!dialog) return 0;
        Click(GetDlgItem(dialog, IDC_DETAILED_LOGGING));
        gui::WaitUntil([&] {
            return gui::Send(GetDlgItem(dialog, IDC_DETAILED_LOGGING), BM_GETCHECK) == BST_CHECKED;
        });
        Click(GetDlgItem(dialog, IDOK));
        if (!gui::WaitUntil([&] { return app.Dialogs(caption).empty(); })) return 0;
    }
    const wchar_t duration[] = L"0.25";
    gui::Send(GetDlgItem(window, IDC_DURATION_EDIT), WM_SETTEXT, 0,
              reinterpret_cast<LPARAM>(duration));
    HWND startStop = GetDlgItem(window, IDC_START_STOP);
    Click(startStop);
    if (!gui::WaitUntil([&] { return gui::WindowText(startStop) == L"Stop"; }) ||
        !gui::WaitUntil([&] { return gui::WindowText(startStop) == L"Start"; }, 180000) ||
        app.WaitForRecord(L"Test passed: ") < 0) {
        return 0;
    }
    return PassesPerSecond(app.Log());
}

TEST(GuiBench, DISABLED_DetailedLoggingPassRate) {
    const double plain = MeasuredRate(false);
    const double detailed = MeasuredRate(true);
    ASSERT_GT(plain, 0.0);
    std::printf("gui_detailed_logging_ratio %.3f (%.0f against %.0f passes/s)\n", detailed / plain,
                detailed, plain);
}

}  // namespace

#include "app/main_window_win.h"

#include <commctrl.h>

#include <cwchar>

#include "app/about_box_win.h"
#include "app/config_dialog_win.h"
#include "app/display_ports_win.h"
#include "app/gdi_canvas_win.h"
#include "app/layout_win.h"
#include "app/resources/resource.h"
#include "app/results_panel_win.h"
#include "app/save_log_win.h"
#include "app/scaled_picture_win.h"
#include "app/window_port_win.h"
#include "card/card_list.h"
#include "display/log_view.h"
#include "display/scaled_canvas.h"
#include "display/throughput_chart.h"
#include "engine/card_scan.h"
#include "engine/main_window_port.h"
#include "engine/product.h"
#include "engine/run_control.h"
#include "engine/run_state.h"
#include "engine/test_settings.h"
#include "log/logger.h"

HINSTANCE instance = nullptr;
HWND mainWindow = nullptr;
HWND panelWindow = nullptr;
HWND logScrollBar = nullptr;
GradientFillEntry gradientFill = nullptr;
UniqueGdiObject<HBRUSH> whiteBrush;
UniqueGdiObject<HFONT> logFont;
UniqueGdiObject<HFONT> headerFont;
int32_t lineHeight = 0;
int32_t windowDpi = kBaseDpi;
int32_t wheelDelta = 0;

namespace {

constexpr const wchar_t* kIdentificationFormat = L"%ls %ls %ls %ls";

constexpr const wchar_t* kNegativeDurationMessage = L"The duration must be 0 or greater.\n";
// How much of the duration edit the warning check reads.
constexpr int kDurationCheckChars = 63;

constexpr int kLogFontHeightPixels = 14;
constexpr int kHeaderFontHeightPixels = 16;
constexpr int kBoldWeight = 700;

// The destroy sequence's wait for test threads: one settling pause, then short steps up to a
// budget, so a test thread that is slow to notice the stop still finds the log it writes to.
constexpr DWORD kDestroySettleMs = 500;
constexpr DWORD kDestroyStepMs = 100;
constexpr int kDestroyBudgetMs = 20000;

// Set once WM_CREATE has started the refresh timer; InitMainWindow starts it otherwise.
bool refreshTimerStarted = false;
// The close and destroy paths pump messages while they wait for the test threads; a close that
// arrives meanwhile must not start the whole sequence again inside the first.
bool closing = false;
// The warning box takes the focus from the duration edit, which reports losing it again.
bool durationWarningShown = false;

Win32WindowPort* windowPort = nullptr;
Win32LogViewPort logViewPort;
// The chart holds on to its owner for as long as the process lives; the owner reads mainWindow
// at every use.
WindowModuleOwner chartOwner(mainWindow, windowDpi);
// The test card at the window's dpi, shown for as long as the program runs; null at 96 dpi.
UniqueGdiObject<HBITMAP> cardPicture;

HFONT CreateTahoma(int cellHeight, bool italic) {
    // A positive height asks for the cell height, which is what the log line spacing uses.
    LOGFONTW font = {};
    font.lfHeight = cellHeight;
    font.lfWeight = kBoldWeight;
    font.lfItalic = italic ? TRUE : FALSE;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
    std::wcsncpy(font.lfFaceName, L"Tahoma", LF_FACESIZE - 1);
    return CreateFontAtDpi(font, windowDpi);
}

// --- Handlers ---------------------------------------------------------------------------------

void OnCreate(HWND window) {
    refreshTimerStarted = SetTimer(window, kRefreshTimerId, kRefreshTimerMs, nullptr) != 0;
}

void OnGetMinMaxInfo(MINMAXINFO* info) {
    info->ptMinTrackSize.x = kMinTrackWidthPixels;
    info->ptMinTrackSize.y = kMinTrackHeightPixels;
}

// The dialog manager sends command 2 for Escape as well, and it does not ask whether the
// Configure button is enabled: during a run (when the button is disabled) Escape must not open
// the dialog, or the settings would change under the running test.
void OnConfigure() {
    if (!IsWindowEnabled(GetDlgItem(mainWindow, IDC_CONFIGURE))) return;
    DialogBoxParamW(instance, kConfigDialogTemplate, mainWindow, ConfigDialog, 0);
}

void OnSaveLog() { SaveLogFile(mainWindow); }

void OnAbout() { DialogBoxParamW(instance, kAboutBoxTemplate, mainWindow, AboutDlgProc, 0); }

void OnDurationLostFocus(HWND window) {
    if (durationWarningShown) return;
    wchar_t text[kDurationCheckChars + 1] = {};
    GetDlgItemTextW(window, IDC_DURATION_EDIT, text, kDurationCheckChars + 1);
    if (ParseDurationMinutes(text) >= 0) return;
    durationWarningShown = true;
    MessageBoxW(mainWindow, kNegativeDurationMessage, kErrorCaption, MB_ICONEXCLAMATION | MB_OK);
    SetDlgItemTextW(window, IDC_DURATION_EDIT, L"0");
    durationWarningShown = false;
}

void OnStartStop() {
    if (TestControl.testRunning) {
        StopTest(false);
    } else {
        StartTest();
    }
}

void OnModeChosen(uint8_t mode) {
    TestSettings.testMode = mode;
    UpdateLogScrollBar();
    RedrawPanelNow();
}

void OnCommand(HWND window, int id, int code) {
    switch (id) {
        case IDC_CONFIGURE:
            OnConfigure();
            break;
        case IDC_SAVE_LOG:
            OnSaveLog();
            break;
        case IDC_ABOUT:
            OnAbout();
            break;
        case IDC_EXIT:
            DestroyWindow(window);
            break;
        case IDC_BENCHMARK_RADIO:
            OnModeChosen(1);
            break;
        case IDC_LOOPBACK_RADIO:
            OnModeChosen(0);
            break;
        case IDC_DEVICE_LIST:
            if (code == CBN_SELCHANGE) OnDeviceSelected();
            break;
        case IDC_DURATION_EDIT:
            if (code == EN_KILLFOCUS) OnDurationLostFocus(window);
            break;
        case IDC_START_STOP:
            OnStartStop();
            break;
        default:
            break;
    }
}

void OnMouseWheel(HWND window, int delta) {
    // One line per message at most, whatever the delta; what is left over waits for the next.
    const int code = WheelScrollCode(&wheelDelta, delta);
    if (code != kNoScroll) {
        SendMessageW(window, WM_VSCROLL, static_cast<WPARAM>(code),
                     reinterpret_cast<LPARAM>(logScrollBar));
    }
}

void OnPowerStatusChange() {
    // The card may lose power with the machine; the run ends itself and says why.
    TestControl.stopRequested = true;
    LogAdd(L"Suspend", kLogError);
}

void OnClose(HWND window) {
    if (closing) return;
    closing = true;
    shuttingDown = true;
    CleanupTests();
    DestroyWindow(window);
}

void OnDestroy() {
    closing = true;
    shuttingDown = true;
    CleanupTests();
    // Everything a test thread asks of the window is posted, never sent, so sleeping here
    // cannot hold one up; what it posts now is dropped with the window.
    Sleep(kDestroySettleMs);
    int budget = kDestroyBudgetMs;
    do {
        Sleep(kDestroyStepMs);
        budget -= static_cast<int>(kDestroyStepMs);
    } while (TestControl.activeThreads > 0 && budget > 0);

    whiteBrush.reset();
    logFont.reset();
    headerFont.reset();
    DestroyTheLog();
    ReleaseCardList();
    PostQuitMessage(0);
}

}  // namespace

void InstallWindowPort(Win32WindowPort* port) {
    windowPort = port;
    SetLogViewPort(&logViewPort);
    SetMainWindowPort(port);
}

bool RegisterMainWindowClass(HINSTANCE module) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = MainWndProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = module;
    windowClass.hIcon =
        static_cast<HICON>(LoadImageW(module, kIconGroup, IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                                      GetSystemMetrics(SM_CYICON), LR_DEFAULTCOLOR));
    windowClass.hIconSm =
        static_cast<HICON>(LoadImageW(module, kIconGroup, IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                      GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassExW(&windowClass) != 0;
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            OnCreate(window);
            break;
        case WM_SIZE:
            LayoutMainWindow(window, LOWORD(lParam), HIWORD(lParam));
            break;
        case WM_GETMINMAXINFO:
            OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
            break;
        case WM_SHOWWINDOW:
            return 0;
        case DM_GETDEFID:
            // No default button. The dialog manager would otherwise name the template's last
            // default push button, Exit, and Enter in the duration edit would end the program
            // with its log unsaved; without one, Enter gives command 1, which does nothing.
            return 0;
        case WM_COMMAND:
            OnCommand(window, LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_TIMER:
            if (wParam == kRefreshTimerId) {
                OnRefreshTimer(window);
                if (windowPort) windowPort->EndFrame();
            }
            break;
        case WM_VSCROLL:
            if (lParam != 0 && reinterpret_cast<HWND>(lParam) == logScrollBar) {
                ScrollLog(LOWORD(wParam), HIWORD(wParam));
                return 0;
            }
            break;
        case WM_MOUSEWHEEL:
            OnMouseWheel(window, GET_WHEEL_DELTA_WPARAM(wParam));
            return 1;
        case WM_POWERBROADCAST:
            if (wParam == PBT_APMPOWERSTATUSCHANGE) OnPowerStatusChange();
            break;
        case WM_CLOSE:
            OnClose(window);
            return 0;
        case WM_DESTROY:
            OnDestroy();
            return 0;
        default:
            if (windowPort && windowPort->HandleMessage(message, wParam, lParam)) return 0;
            break;
    }
    // The window is a dialog of our own class: the dialog manager's default procedure keeps
    // the focus, default button and keyboard handling that a dialog expects.
    return DefDlgProcW(window, message, wParam, lParam);
}

void InitMainWindow(HWND window) {
    whiteBrush.reset(CreateSolidBrush(RGB(255, 255, 255)));

    HWND panel = GetDlgItem(window, IDC_RESULTS_PANEL);
    previousPanelProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(panel, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PanelWndProc)));

    CheckDlgButton(window, TestSettings.testMode == 0 ? IDC_LOOPBACK_RADIO : IDC_BENCHMARK_RADIO,
                   BST_CHECKED);
    wchar_t duration[16];
    std::swprintf(duration, 16, L"%d", static_cast<int>(TestSettings.durationMinutes));
    SetDlgItemTextW(window, IDC_DURATION_EDIT, duration);

    CreateTheLog();

    // The program is system-DPI-aware: Windows does not scale it, and the dpi of its window
    // stays what it is now for as long as it runs.
    if (HDC dc = GetDC(window)) {
        windowDpi = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(window, dc);
    }
    if (windowDpi <= 0) windowDpi = kBaseDpi;
    logFont.reset(CreateTahoma(kLogFontHeightPixels, false));
    headerFont.reset(CreateTahoma(kHeaderFontHeightPixels, true));
    cardPicture = ShowScaledPicture(GetDlgItem(window, IDC_CARD_PICTURE), IDB_TEST_CARD, windowDpi);
    lineHeight = kLogFontHeightPixels;

    RECT client;
    GetClientRect(window, &client);
    prevClientWidth = client.right;
    prevClientHeight = client.bottom;
    LayoutMainWindow(window, client.right, client.bottom);

    panelWindow = panel;
    logScrollBar = GetDlgItem(window, IDC_LOG_SCROLLBAR);

    theThroughputChart = new Win32ThroughputChart(chartOwner, IDC_CHART_FRAME);

    ResetAndScan(window);
    TestControl.stopRequested = true;

    // A window made from a template of our own class does get WM_CREATE, which starts the
    // timer; should a system ever skip it, the run-length check must still tick.
    if (!refreshTimerStarted) {
        refreshTimerStarted = SetTimer(window, kRefreshTimerId, kRefreshTimerMs, nullptr) != 0;
    }
}

void ResetAndScan(HWND window) {
    ResetCounters(kMainWindowReset);

    if (Logger* log = theLog.load()) log->Clear();
    firstShown = 0;
    UpdateLogScrollBar();

    InvalidateRect(window, nullptr, TRUE);

    wchar_t identification[64];
    std::swprintf(identification, 64, kIdentificationFormat, kMakerName, kProgramName,
                  kProgramVersion, kBuildNumber);
    LogAdd(identification, kLogInformation);

    InitialScan();

    RedrawPanelNow();
}

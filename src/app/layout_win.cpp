#include "app/layout_win.h"

#include "app/main_window_win.h"
#include "app/resources/resource.h"
#include "display/log_view.h"
#include "display/scaled_canvas.h"
#include "display/throughput_chart.h"
#include "display/window_layout.h"
#include "engine/main_window_port.h"
#include "engine/run_control.h"
#include "engine/run_state.h"

int32_t prevClientWidth = 0;
int32_t prevClientHeight = 0;
RECT panelRect = {0, 0, 0, 0};

namespace {

// The five push buttons keep their distance from the right edge.
constexpr int kRightHandButtons[] = {IDC_START_STOP, IDC_CONFIGURE, IDC_SAVE_LOG, IDC_ABOUT,
                                     IDC_EXIT};

RECT ControlRectInParent(HWND control, HWND parent) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

}  // namespace

void LayoutMainWindow(HWND window, int width, int height) {
    if (width == 0 || height == 0) return;
    HWND panel = GetDlgItem(window, IDC_RESULTS_PANEL);
    HWND scrollBar = GetDlgItem(window, IDC_LOG_SCROLLBAR);
    if (!panel || !scrollBar) return;

    LayoutInput input;
    input.newClientWidth = width;
    input.newClientHeight = height;
    input.prevClientWidth = prevClientWidth;
    input.prevClientHeight = prevClientHeight;
    const RECT barRect = ControlRectInParent(scrollBar, window);
    RECT barClient;
    GetClientRect(scrollBar, &barClient);
    input.scrollBar = {barRect.left, barRect.top, barClient.right, barClient.bottom};
    RECT panelClient;
    GetClientRect(panel, &panelClient);
    input.panelWidth = panelClient.right;
    input.panelHeight = panelClient.bottom;
    input.dpi = windowDpi;

    const LayoutPlan plan = PlanLayout(input);
    if (!plan.apply) return;

    SetWindowPos(panel, nullptr, 0, 0, plan.panelWidth, plan.panelHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowPos(scrollBar, nullptr, plan.scrollBar.left, plan.scrollBar.top, plan.scrollBar.width,
                 plan.scrollBar.height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (plan.dx != 0) {
        for (int id : kRightHandButtons) MoveControlBy(window, id, plan.dx);
    }
    GetClientRect(panel, &panelRect);
    linesPerPage = plan.linesPerPage;
    UpdateLogScrollBar();
    prevClientWidth = width;
    prevClientHeight = height;
    // The chart keeps its distance from the right edge and its bottom follows the bottom edge.
    if (theThroughputChart) theThroughputChart->MoveBy(plan.chartDx, 0, 0, plan.chartDy);
}

void MoveControlBy(HWND parent, int controlId, int dx) {
    HWND control = GetDlgItem(parent, controlId);
    if (!control) return;
    const RECT rect = ControlRectInParent(control, parent);
    SetWindowPos(control, nullptr, rect.left + dx, rect.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CentreWindowOver(HWND window, HWND reference) {
    RECT own;
    RECT ref;
    GetWindowRect(window, &own);
    GetWindowRect(reference, &ref);
    HDC dc = GetDC(window);
    const int screenWidth = GetDeviceCaps(dc, HORZRES);
    const int screenHeight = GetDeviceCaps(dc, VERTRES);
    ReleaseDC(window, dc);
    const int x =
        CentredOnScreen(ref.left, ref.right - ref.left, own.right - own.left, screenWidth);
    const int y =
        CentredOnScreen(ref.top, ref.bottom - ref.top, own.bottom - own.top, screenHeight);
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void OnRefreshTimer(HWND /*window*/) {
    // stopRequested before startTime: a test thread ending its run sets them in the other
    // order, so a start time of 0 here means the run has just ended.
    if (TestControl.stopRequested) return;
    if (TestCounters.startTime <= 0) {
        if (!panelWindow) return;
        const RECT bands = {0, 0, panelRect.right, UnitsToPixels(kPanelHeaderPixels, windowDpi)};
        InvalidateRect(panelWindow, &bands, FALSE);
        // Where the panel paints the strip, to the pixel: from its left edge in units.
        const int32_t width = UnitsCovering(panelRect.right, windowDpi);
        const RECT chartStrip = {UnitsToPixels(width - kPanelChartStripPixels, windowDpi),
                                 UnitsToPixels(kLogAreaTopPixels, windowDpi), panelRect.right,
                                 panelRect.bottom};
        InvalidateRect(panelWindow, &chartStrip, FALSE);
        UpdateWindow(panelWindow);
        return;
    }
    CheckRunLength();
}

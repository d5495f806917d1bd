#include "app/results_panel_win.h"

#include "app/main_window_win.h"

WNDPROC previousPanelProc = nullptr;

// The bands, counters, chart and log lines are painted by the results panel's own file. This
// procedure is the hook it replaces: a white panel with its outline, painted in one go and
// never erased first, so nothing flickers in between.
LRESULT CALLBACK PanelWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT client;
            GetClientRect(window, &client);
            FillRect(dc, &client, whiteBrush ? whiteBrush : GetSysColorBrush(COLOR_WINDOW));
            FrameRect(dc, &client, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
            EndPaint(window, &paint);
            // The region is validated now; the control's own paint draws nothing more.
            return CallWindowProcW(previousPanelProc, window, message, wParam, lParam);
        }
        case WM_ERASEBKGND:
            return 1;
        default:
            return CallWindowProcW(previousPanelProc, window, message, wParam, lParam);
    }
}

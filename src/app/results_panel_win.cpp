#include "app/results_panel_win.h"

#include "app/gdi_canvas_win.h"
#include "app/main_window_win.h"
#include "display/results_panel.h"
#include "display/scaled_canvas.h"
#include "display/throughput_chart.h"

WNDPROC previousPanelProc = nullptr;

void RedrawPanelNow() {
    if (!panelWindow) return;
    InvalidateRect(panelWindow, nullptr, FALSE);
    UpdateWindow(panelWindow);
}

namespace {

// The whole panel is painted into one off-screen bitmap and copied to the screen at once,
// and the background is never erased first, so no intermediate state is ever visible.
void PaintPanel(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    const int width = client.right;
    const int height = client.bottom;
    // Without the memory context or bitmap this paint is skipped; the next one tries again.
    OffscreenBuffer buffer(dc, width, height);
    if (buffer.Ready()) {
        {
            // The chart's font lives as long as the chart, which is never destroyed.
            static const HFONT chartFont =
                theThroughputChart ? CreateChartFont(*theThroughputChart, windowDpi) : nullptr;
            GdiCanvas device(buffer.Dc(), GdiFonts{chartFont, logFont.get(), headerFont.get()},
                             gradientFill);
            ScaledCanvas canvas(device, windowDpi);
            PaintResultsPanel(canvas, UnitsCovering(width, windowDpi),
                              UnitsCovering(height, windowDpi));
        }
        BitBlt(dc, 0, 0, width, height, buffer.Dc(), 0, 0, SRCCOPY);
    }
    EndPaint(window, &paint);
}

}  // namespace

LRESULT CALLBACK PanelWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT:
            PaintPanel(window);
            // The region is validated now; the control's own paint draws nothing more.
            return CallWindowProcW(previousPanelProc, window, message, wParam, lParam);
        case WM_ERASEBKGND:
            return 1;
        default:
            return CallWindowProcW(previousPanelProc, window, message, wParam, lParam);
    }
}

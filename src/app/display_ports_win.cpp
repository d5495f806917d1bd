#include "app/display_ports_win.h"

#include <windows.h>

#include "app/main_window_win.h"
#include "app/results_panel_win.h"

void Win32LogViewPort::SetScrollBar(const ScrollBarState& state) {
    if (!logScrollBar) return;
    if (!state.visible) {
        ShowWindow(logScrollBar, SW_HIDE);
        return;
    }
    ShowWindow(logScrollBar, SW_SHOWNA);
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMin = state.min;
    info.nMax = state.max;
    info.nPage = static_cast<UINT>(state.page);
    info.nPos = state.pos;
    SetScrollInfo(logScrollBar, SB_CTL, &info, TRUE);
}

void Win32LogViewPort::SetScrollPosition(int32_t position) {
    if (logScrollBar) SetScrollPos(logScrollBar, SB_CTL, position, TRUE);
}

void Win32LogViewPort::RedrawPanel() { RedrawPanelNow(); }

// The results panel: control 1047, subclassed so that it paints the run's status, counters,
// chart and log lines itself.
#pragma once

#include <windows.h>

// The panel control's own procedure, which PanelWndProc chains to.
extern WNDPROC previousPanelProc;

LRESULT CALLBACK PanelWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Repaints the whole panel now (main thread), if it exists yet.
void RedrawPanelNow();

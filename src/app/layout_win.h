// How the main window's controls follow its size, the centring of dialogs over it, and the
// refresh timer that keeps a run's elapsed time and ends it at its run length.
#pragma once

#include <windows.h>

#include <cstdint>

// Main thread only. The client size of the last layout; 0 until InitMainWindow records it.
extern int32_t prevClientWidth;
extern int32_t prevClientHeight;
// The results panel's client rectangle (left and top 0). The whole log lines it holds are the
// log view's linesPerPage, which the layout sets.
extern RECT panelRect;

// Every size message of the main window, and once from InitMainWindow at the unchanged size.
void LayoutMainWindow(HWND window, int width, int height);
// Moves one control horizontally by dx; a missing control is left alone.
void MoveControlBy(HWND parent, int controlId, int dx);
// Centres `window` over `reference`, kept on the screen.
void CentreWindowOver(HWND window, HWND reference);
// Timer id 1 of the main window, every 10 ms.
void OnRefreshTimer(HWND window);

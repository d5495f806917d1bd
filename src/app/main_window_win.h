// The main window: a dialog template (BRIXLANE) created with its own window class, so the
// class procedure MainWndProc sees every message while the dialog manager still handles the
// keyboard. This file holds the window's shared handles and drawing objects, its message
// handling, its initialisation and its reset-and-scan.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/gdi_canvas_win.h"

inline constexpr const wchar_t* kMainWindowClass = L"BRIXLANE";
inline constexpr const wchar_t* kMainWindowTemplate = L"BRIXLANE";
inline constexpr const wchar_t* kIconGroup = L"BRIXLANE";

inline constexpr UINT_PTR kRefreshTimerId = 1;
inline constexpr UINT kRefreshTimerMs = 10;
// Below this the panel loses room for its header bands and the buttons overlap the picture.
inline constexpr int kMinTrackWidthPixels = 750;
inline constexpr int kMinTrackHeightPixels = 530;

extern HINSTANCE instance;
extern HWND mainWindow;
extern HWND panelWindow;   // control 1047, the results panel
extern HWND logScrollBar;  // control 1050, the log view's scroll bar
// Msimg32's GradientFill, looked up at start-up; null when the system has none.
extern GradientFillEntry gradientFill;
// Made when the window is initialised, released at their step of its destruction.
extern UniqueGdiObject<HBRUSH> whiteBrush;
extern UniqueGdiObject<HFONT> logFont;
extern UniqueGdiObject<HFONT> headerFont;
extern int32_t lineHeight;
// The window's dots per inch, read once the window exists: the panel's 96-dpi geometry and its
// fonts are scaled by windowDpi / 96.
extern int32_t windowDpi;
extern int32_t wheelDelta;

class Win32WindowPort;
// Makes `port` the core's MainWindowPort, hands it the window's private messages, and gives the
// log view its scroll bar and panel. Before anything logs.
void InstallWindowPort(Win32WindowPort* port);

// Registers the window class BRIXLANE; false when the system refuses it.
bool RegisterMainWindowClass(HINSTANCE module);

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Run once, after the window and its controls exist and are shown.
void InitMainWindow(HWND window);
// Zeroes the run counters, clears the log, logs the identification line and scans for cards.
void ResetAndScan(HWND window);

// The about box (template ABOUTBOX): the maker's logo, the program's name, version and build,
// the maker's web address and notice. Closed with OK, Enter or Escape.
#pragma once

#include <windows.h>

inline constexpr const wchar_t* kAboutBoxTemplate = L"ABOUTBOX";

// The dialog procedure; the main window runs it modally with itself as owner.
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

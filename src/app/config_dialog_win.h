// The configuration dialog (template CONFBOX): shows the test settings, keeps the load's
// trackbar and edit in step, checks the constant pattern value, and writes the settings back
// only when the user presses OK.
#pragma once

#include <windows.h>

inline constexpr const wchar_t* kConfigDialogTemplate = L"CONFBOX";

// The dialog procedure; the main window runs it modally with itself as owner.
INT_PTR CALLBACK ConfigDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

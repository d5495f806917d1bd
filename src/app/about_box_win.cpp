#include "app/about_box_win.h"

#include <cwchar>

#include "app/layout_win.h"
#include "app/main_window_win.h"
#include "app/resources/resource.h"
#include "app/scaled_picture_win.h"
#include "engine/product.h"

namespace {

// The same three words the identification line of the event log names the program with.
constexpr const wchar_t* kVersionLineFormat = L"%ls %ls (%ls) WIN64";

// Short enough for the 140 dialog units of its line in Tahoma 10.
constexpr const wchar_t* kMakerNotice = L"\u00A9 2026 Korvenix. All rights reserved.";

// The logo at the main window's dpi while the box is open; null at 96 dpi.
UniqueGdiObject<HBITMAP> logoPicture;

// The logo's control has no id of its own: it is the box's one picture control.
HWND LogoControl(HWND dialog) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) return child;
    }
    return nullptr;
}

void OnInitDialog(HWND dialog) {
    CentreWindowOver(dialog, mainWindow);
    SetDlgItemTextW(dialog, IDC_NOTICE_TEXT, kMakerNotice);
    wchar_t versionLine[64];
    std::swprintf(versionLine, 64, kVersionLineFormat, kProgramName, kProgramVersion, kBuildNumber);
    SetDlgItemTextW(dialog, IDC_VERSION_TEXT, versionLine);
    logoPicture = ShowScaledPicture(LogoControl(dialog), IDB_MAKER_LOGO, windowDpi);
}

}  // namespace

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(dialog);
            return TRUE;  // the dialog manager gives OK the focus
        case WM_COMMAND:
            // OK and Enter arrive as IDOK, Escape as IDCANCEL.
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, 0);
                return TRUE;
            }
            return FALSE;
        case WM_DESTROY:
            // The picture control goes after its dialog; it must not paint a deleted bitmap.
            if (logoPicture) {
                SendMessageW(LogoControl(dialog), STM_SETIMAGE, IMAGE_BITMAP, 0);
                logoPicture.reset();
            }
            return FALSE;
        default:
            return FALSE;
    }
}

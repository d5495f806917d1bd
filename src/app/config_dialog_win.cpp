#include "app/config_dialog_win.h"

#include <commctrl.h>

#include <cstdint>
#include <cwchar>

#include "app/layout_win.h"
#include "app/main_window_win.h"
#include "app/resources/resource.h"
#include "engine/card_scan.h"
#include "engine/config_values.h"
#include "engine/test_settings.h"

namespace {

constexpr const wchar_t* kConstantOutOfRangeMessage =
    L"The constant test pattern value must be between 0 and 255.\n";
constexpr const wchar_t* kConstantResetText = L"170";

// How much of an edit each reading takes: the load edit is read for the trackbar through four
// characters (three digits and a sign are all a load needs), everything else through 63.
constexpr size_t kLoadTrackChars = 4;
constexpr size_t kFullReadChars = 63;
constexpr int kLoadTickEvery = 10;

// The last load the dialog has shown, in the edit or on the trackbar. Kept from one opening
// to the next: it is only there so that an edit change the trackbar caused is not sent back
// to the trackbar.
int32_t lastShownLoad = 0;
// The out-of-range box takes the focus, and the constant edit may report losing it again
// while the box is up: one box at a time.
bool constantWarningShown = false;
// Set once OK or Cancel has ended the dialog: hiding it moves the focus, and the edit that
// loses it must not be checked (or clamped) after the settings have been decided.
bool ending = false;

int32_t ReadNumber(HWND dialog, int id, size_t maxChars) {
    wchar_t text[kFullReadChars + 1] = {};
    GetDlgItemTextW(dialog, id, text, static_cast<int>(maxChars) + 1);
    return config::ParseLeadingInteger(text, maxChars);
}

void SetNumber(HWND dialog, int id, int32_t value) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%d", static_cast<int>(value));
    SetDlgItemTextW(dialog, id, text);
}

void MoveTrackbar(HWND dialog, int32_t position) {
    // The trackbar keeps the position within its own range of 1 to 100.
    SendDlgItemMessageW(dialog, IDC_LOAD_TRACKBAR, TBM_SETPOS, TRUE, position);
}

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

void CheckExactly(HWND dialog, int id, bool checked) {
    CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

// --- Handlers ---------------------------------------------------------------------------------

void OnInitDialog(HWND dialog) {
    ending = false;
    constantWarningShown = false;
    CentreWindowOver(dialog, mainWindow);

    const TestSettingsRecord& settings = TestSettings;
    HWND trackbar = GetDlgItem(dialog, IDC_LOAD_TRACKBAR);
    SendMessageW(trackbar, TBM_SETRANGE, TRUE,
                 MAKELPARAM(config::kMinLoadPercent, config::kMaxLoadPercent));
    SendMessageW(trackbar, TBM_SETTICFREQ, kLoadTickEvery, 0);
    SendMessageW(trackbar, TBM_SETPOS, TRUE, settings.loopbackLoadPercent);
    // The edit's update notification follows and brings the trackbar and the last shown value
    // to this number.
    SetNumber(dialog, IDC_LOAD_EDIT, settings.loopbackLoadPercent);

    HWND blockSizes = GetDlgItem(dialog, IDC_BLOCK_SIZE_LIST);
    for (int entry = 0; entry < config::kBlockSizeEntries; ++entry) {
        wchar_t text[16];
        std::swprintf(text, 16, L"%dMB", static_cast<int>(config::BlockSizeMB(entry)));
        SendMessageW(blockSizes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
    SendMessageW(blockSizes, CB_SETCURSEL,
                 static_cast<WPARAM>(config::BlockSizeEntry(settings.benchmarkBlockMB)), 0);

    // A value outside the known ones selects no radio of its group.
    CheckExactly(dialog, IDC_READ_RADIO, settings.benchmarkDirection == 1);
    CheckExactly(dialog, IDC_WRITE_RADIO, settings.benchmarkDirection == 2);
    CheckExactly(dialog, IDC_READ_WRITE_RADIO, settings.benchmarkDirection == 0);

    CheckExactly(dialog, IDC_INCREMENTING_RADIO, settings.patternType == 0);
    CheckExactly(dialog, IDC_RANDOM_RADIO, settings.patternType == 1);
    CheckExactly(dialog, IDC_CONSTANT_RADIO, settings.patternType == 2);

    wchar_t constant[8];
    std::swprintf(constant, 8, L"%u", static_cast<unsigned>(settings.constantPatternValue));
    SetDlgItemTextW(dialog, IDC_CONSTANT_EDIT, constant);

    CheckExactly(dialog, IDC_DETAILED_LOGGING, settings.detailedLogging);
    CheckExactly(dialog, IDC_STOP_ON_ERROR, settings.stopOnError);
}

void OnTrackbarMoved(HWND dialog, int code, int notifiedPosition) {
    // While the thumb is dragged or dropped the notification carries the new position; for
    // the keyboard, page clicks and the end of a drag the trackbar has it.
    const int32_t position = (code == TB_THUMBPOSITION || code == TB_THUMBTRACK)
                                 ? notifiedPosition
                                 : static_cast<int32_t>(SendDlgItemMessageW(
                                       dialog, IDC_LOAD_TRACKBAR, TBM_GETPOS, 0, 0));
    // Remembered before the edit changes, so that the edit's update notification sees its own
    // number and leaves the trackbar where the user has it.
    lastShownLoad = position;
    SetNumber(dialog, IDC_LOAD_EDIT, position);
}

void OnLoadEditUpdate(HWND dialog) {
    const int32_t load = ReadNumber(dialog, IDC_LOAD_EDIT, kLoadTrackChars);
    if (load != lastShownLoad) {
        lastShownLoad = load;
        MoveTrackbar(dialog, load);
    }
    HWND edit = GetDlgItem(dialog, IDC_LOAD_EDIT);
    InvalidateRect(edit, nullptr, TRUE);
    UpdateWindow(edit);
}

// Leaving the load edit brings a load outside 1 to 100 to the nearer end, silently.
void ClampLoadEdit(HWND dialog) {
    const int32_t load = ReadNumber(dialog, IDC_LOAD_EDIT, kLoadTrackChars);
    const int32_t clamped = config::ClampLoadPercent(load);
    if (clamped == load) return;
    lastShownLoad = clamped;
    MoveTrackbar(dialog, clamped);
    SetNumber(dialog, IDC_LOAD_EDIT, clamped);
}

void OnLoadEditLostFocus(HWND dialog) {
    if (!ending) ClampLoadEdit(dialog);
}

// False, after the warning and the reset to "170", when the constant is not a byte.
bool CheckConstantEdit(HWND dialog) {
    const int32_t value = ReadNumber(dialog, IDC_CONSTANT_EDIT, kFullReadChars);
    if (config::ConstantPatternValueValid(value)) return true;
    constantWarningShown = true;
    MessageBoxW(dialog, kConstantOutOfRangeMessage, kErrorCaption, MB_ICONEXCLAMATION | MB_OK);
    SetDlgItemTextW(dialog, IDC_CONSTANT_EDIT, kConstantResetText);
    constantWarningShown = false;
    return false;
}

void OnConstantEditLostFocus(HWND dialog) {
    if (!ending && !constantWarningShown) CheckConstantEdit(dialog);
}

// OK first checks what leaving each edit checks, since Enter or a click can end the dialog
// before an edit has lost the focus: a constant of 257 would otherwise be stored as 1 without
// a word, and a load of -99999 as it stands (every loopback pass would then pause for about
// 25 s). A refused constant keeps the dialog open with nothing stored. False then.
bool OnOk(HWND dialog) {
    ClampLoadEdit(dialog);
    if (constantWarningShown || !CheckConstantEdit(dialog)) return false;

    TestSettingsRecord& settings = TestSettings;
    // The edit holds 1 to 100 now as far as its first four characters go; the clamp again
    // covers a number that only the longer reading sees, such as "  100000".
    settings.loopbackLoadPercent =
        config::ClampLoadPercent(ReadNumber(dialog, IDC_LOAD_EDIT, kFullReadChars));

    const LRESULT entry = SendDlgItemMessageW(dialog, IDC_BLOCK_SIZE_LIST, CB_GETCURSEL, 0, 0);
    settings.benchmarkBlockMB = config::BlockSizeMB(static_cast<int>(entry));

    if (IsChecked(dialog, IDC_READ_RADIO)) {
        settings.benchmarkDirection = 1;
    } else if (IsChecked(dialog, IDC_WRITE_RADIO)) {
        settings.benchmarkDirection = 2;
    } else if (IsChecked(dialog, IDC_READ_WRITE_RADIO)) {
        settings.benchmarkDirection = 0;
    }

    if (IsChecked(dialog, IDC_CONSTANT_RADIO)) {
        settings.patternType = 2;
    } else if (IsChecked(dialog, IDC_INCREMENTING_RADIO)) {
        settings.patternType = 0;
    } else if (IsChecked(dialog, IDC_RANDOM_RADIO)) {
        settings.patternType = 1;
    }

    settings.constantPatternValue =
        config::ConstantPatternByte(ReadNumber(dialog, IDC_CONSTANT_EDIT, kFullReadChars));

    settings.detailedLogging = IsChecked(dialog, IDC_DETAILED_LOGGING);
    settings.stopOnError = IsChecked(dialog, IDC_STOP_ON_ERROR);
    return true;
}

void EndConfigDialog(HWND dialog, int result) {
    ending = true;
    EndDialog(dialog, result);
}

bool OnCommand(HWND dialog, int id, int code) {
    switch (id) {
        case IDOK:
            if (OnOk(dialog)) EndConfigDialog(dialog, IDOK);
            return true;
        case IDCANCEL:
            EndConfigDialog(dialog, IDCANCEL);
            return true;
        case IDC_LOAD_EDIT:
            if (code == EN_UPDATE) OnLoadEditUpdate(dialog);
            if (code == EN_KILLFOCUS) OnLoadEditLostFocus(dialog);
            return true;
        case IDC_CONSTANT_EDIT:
            if (code == EN_KILLFOCUS) OnConstantEditLostFocus(dialog);
            return true;
        default:
            return false;
    }
}

}  // namespace

INT_PTR CALLBACK ConfigDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(dialog);
            return TRUE;  // the dialog manager gives the first tab stop the focus
        case WM_HSCROLL:
            if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, IDC_LOAD_TRACKBAR)) {
                OnTrackbarMoved(dialog, LOWORD(wParam), HIWORD(wParam));
                return TRUE;
            }
            return FALSE;
        case WM_COMMAND:
            return OnCommand(dialog, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
        default:
            return FALSE;
    }
}

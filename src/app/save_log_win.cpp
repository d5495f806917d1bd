#include "app/save_log_win.h"

#include <commdlg.h>
#include <shlobj.h>

#include <cstddef>
#include <cwchar>

#include "engine/card_scan.h"
#include "log/log_export.h"
#include "log/logger.h"

namespace {

// What the common dialog may give back in the path buffer: a classic MAX_PATH.
constexpr DWORD kChosenPathChars = 260;
constexpr const wchar_t* kMakerFolder = L"\\Korvenix";
constexpr const wchar_t* kProgramFolder = L"\\Brixlanetool";
constexpr const wchar_t* kLogFileName = L"\\BrixlaneLog.txt";
// One description and pattern; the literal's own terminator ends the list.
constexpr wchar_t kFilter[] = L"TXT Files (*.TXT)\0*.txt\0";
constexpr const wchar_t* kDialogTitle = L"Select a log file name";
constexpr const wchar_t* kDefaultExtension = L"txt";
constexpr const wchar_t* kNotSavedFormat = L"The event log could not be saved to\n%ls\n";

// The common dialog tells the record's layout by its size. We fill the classic form, which
// ends with the template name (136 bytes on x64); the reserved fields and FlagsEx that the
// full record adds after it (152 bytes) stay unread, so the dialog takes its defaults for them.
// (OPENFILENAME_SIZE_VERSION_400W, spelt out so that it is a constant expression.)
constexpr DWORD kDialogRecordBytes =
    offsetof(OPENFILENAMEW, lpTemplateName) + sizeof(OPENFILENAMEW::lpTemplateName);
#ifdef _WIN64
static_assert(kDialogRecordBytes == 136);
#endif

// Appends what fits; the path buffer is far longer than any path the dialog accepts.
void Append(wchar_t* path, const wchar_t* piece) {
    const size_t used = std::wcslen(path);
    if (used + 1 >= static_cast<size_t>(kLogPathChars)) return;
    std::wcsncat(path, piece, static_cast<size_t>(kLogPathChars) - 1 - used);
}

}  // namespace

void GetLogFolder(wchar_t* path) {
    wchar_t documents[kLogPathChars] = {};
    // No documents folder: the proposal starts at the root of the current drive.
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, documents))) {
        documents[0] = L'\0';
    }
    path[0] = L'\0';
    Append(path, documents);
    // An existing folder is what we want; any other failure only means the dialog proposes a
    // folder that may not exist, and the user picks another.
    Append(path, kMakerFolder);
    CreateDirectoryW(path, nullptr);
    Append(path, kProgramFolder);
    CreateDirectoryW(path, nullptr);
}

void SaveLogFile(HWND owner) {
    // Rebuilt on every export: the name chosen last time is not remembered.
    wchar_t path[kLogPathChars] = {};
    GetLogFolder(path);
    Append(path, kLogFileName);

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = kDialogRecordBytes;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = kFilter;
    dialog.nFilterIndex = 0;  // no custom filter, so the first pair
    dialog.lpstrFile = path;
    dialog.nMaxFile = kChosenPathChars;
    dialog.lpstrInitialDir = nullptr;  // the folder of the proposed name
    dialog.lpstrTitle = kDialogTitle;
    dialog.lpstrDefExt = kDefaultExtension;
    dialog.Flags = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;
    if (!GetSaveFileNameW(&dialog)) return;  // cancelled, or the dialog failed

    Logger* log = theLog.load();
    if (!log) return;  // only while the main window is being destroyed
    if (WriteLogFile(path, *log)) return;
    // A read-only folder, a file another program holds open, a full disk: the user asked for
    // a file and must know it is not there, or not whole.
    wchar_t message[kLogPathChars + 64];
    std::swprintf(message, sizeof(message) / sizeof(message[0]), kNotSavedFormat, path);
    MessageBoxW(owner, message, kErrorCaption, MB_ICONEXCLAMATION | MB_OK);
}

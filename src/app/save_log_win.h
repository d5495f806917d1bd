// Save Log: proposes BrixlaneLog.txt in a folder of our own under the user's documents, asks
// for the file name in the common save dialog and writes the whole event log there.
#pragma once

#include <windows.h>

// The path buffer that GetLogFolder fills and the save dialog returns its choice in.
inline constexpr int kLogPathChars = 400;

// Writes "<documents>\Korvenix\Brixlanetool" into `path` (kLogPathChars characters) and
// creates both folders; failures to create them are ignored.
void GetLogFolder(wchar_t* path);

// The whole export. Nothing happens when the user cancels; a file that cannot be written
// completely is reported in a message box on `owner` that names it.
void SaveLogFile(HWND owner);

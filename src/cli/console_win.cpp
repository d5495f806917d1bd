#include <windows.h>
// shellapi.h needs the types windows.h declares.
#include <shellapi.h>

#include "cli/console.h"

std::vector<std::wstring> PrepareConsole(int argc, char** argv) {
    // Records hold characters beyond the console's code page (the en dash of the group lines).
    SetConsoleOutputCP(CP_UTF8);
    std::vector<std::wstring> args;
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) args.emplace_back(wide[i]);
        LocalFree(wide);
        return args;
    }
    for (int i = 1; i < argc; ++i) args.push_back(FromUtf8(argv[i]));
    return args;
}

bool StderrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

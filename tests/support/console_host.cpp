#include "support/console_host.h"

#include <cwchar>

bool is_pseudo_console_window(HWND window)
{
    // The class the console host registers for the window of a pseudo
    // console; the classic console's is "ConsoleWindowClass".
    wchar_t name[64] = {};
    return window && GetClassNameW(window, name, 64) > 0 && std::wcscmp(name, L"PseudoConsoleWindow") == 0;
}

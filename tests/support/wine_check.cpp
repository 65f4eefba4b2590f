#include "support/wine_check.h"

#include <windows.h>

bool running_under_wine()
{
    // Wine's ntdll exports its version; Windows' has no such export.
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

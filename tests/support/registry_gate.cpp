#include "support/registry_gate.h"

#include <windows.h>

bool registry_changes_allowed(std::wstring& why)
{
    if (running_under_wine())
        return true;
    wchar_t value[8] = {};
    DWORD length = GetEnvironmentVariableW(L"PROJPORT_ALLOW_REGISTRY_CHANGES", value, 8);
    if (length == 1 && value[0] == L'1')
        return true;
    why = L"changes the file association of .vcxproj in HKEY_CLASSES_ROOT, which on this machine is the real "
          L"one (and needs an administrator); set PROJPORT_ALLOW_REGISTRY_CHANGES=1 to run it anyway (what it "
          L"changes is put back afterwards), or run the tests under Wine";
    return false;
}

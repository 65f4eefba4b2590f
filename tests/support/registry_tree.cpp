#include "support/registry_tree.h"

namespace {

std::wstring dump_open_key(HKEY key, const std::wstring& path)
{
    std::wstring text = L"[" + path + L"]\n";
    for (DWORD index = 0;; ++index) {
        static wchar_t name[16384];
        static BYTE data[65536];
        DWORD name_chars = 16384;
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key, index, name, &name_chars, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        text += std::wstring(name, name_chars) + L"=" + std::to_wstring(type) + L":";
        for (DWORD i = 0; i < size; ++i)
            text += std::to_wstring(data[i]) + L",";
        text += L"\n";
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD name_chars = 256;
        if (RegEnumKeyExW(key, index, name, &name_chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY child = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &child) != ERROR_SUCCESS) {
            text += L"<cannot open " + path + L"\\" + name + L">\n";
            continue;
        }
        text += dump_open_key(child, path + L"\\" + name);
        RegCloseKey(child);
    }
    return text;
}

}  // namespace

std::wstring dump_key(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.empty() ? nullptr : path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<missing>";
    std::wstring text = dump_open_key(key, path);
    RegCloseKey(key);
    return text;
}

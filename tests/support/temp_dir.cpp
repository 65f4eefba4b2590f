#include "support/temp_dir.h"

#include <windows.h>

#include <atomic>

temp_dir::temp_dir()
{
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, base);
    for (;;) {
        path = std::wstring(base) + L"projport-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(counter++);
        if (CreateDirectoryW(path.c_str(), nullptr) || GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
}

temp_dir::~temp_dir()
{
    remove_tree(path);
}

void remove_tree(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                remove_tree(path + L"\\" + name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

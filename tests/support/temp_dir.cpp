#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>

#include <atomic>
#else
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef _WIN32

temp_dir::temp_dir()
{
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, base);
    for (;;) {
        path = std::wstring(base) + L"projport-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(counter++);
        if (CreateDirectoryW(path.c_str(), nullptr))
            break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            path.clear();
            break;
        }
    }
}

temp_dir::~temp_dir()
{
    remove_tree(path);
}

namespace {

// The path in its extended form ("\\?\C:\..." or "\\?\UNC\server\..."),
// which the file functions take beyond MAX_PATH characters.
std::wstring extended_path(const std::wstring& path)
{
    if (path.rfind(L"\\\\?\\", 0) == 0)
        return path;
    DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return path;
    std::wstring full(needed, L'\0');
    DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed)
        return path;
    full.resize(length);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

void remove_extended_tree(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    // A link to a folder is removed itself, never followed.
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name != L"." && name != L"..")
                    remove_extended_tree(path + L"\\" + name);
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
    }
    RemoveDirectoryW(path.c_str());
}

}  // namespace

void remove_tree(const std::wstring& path)
{
    if (!path.empty())
        remove_extended_tree(extended_path(path));
}

#else

namespace {

std::string temp_base()
{
    const char* base = getenv("TMPDIR");
    return base && *base ? base : "/tmp";
}

}  // namespace

temp_dir::temp_dir()
{
    std::string pattern = temp_base() + "/projport-test-XXXXXX";
    if (mkdtemp(pattern.data()))
        path = pattern;
}

temp_dir::~temp_dir()
{
    remove_tree(path);
}

void remove_tree(const std::string& path)
{
    struct stat info;
    if (path.empty() || lstat(path.c_str(), &info) != 0)
        return;
    if (!S_ISDIR(info.st_mode)) {
        unlink(path.c_str());
        return;
    }
    chmod(path.c_str(), 0700);
    if (DIR* folder = opendir(path.c_str())) {
        while (dirent* entry = readdir(folder)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                remove_tree(path + "/" + name);
        }
        closedir(folder);
    }
    rmdir(path.c_str());
}

#endif

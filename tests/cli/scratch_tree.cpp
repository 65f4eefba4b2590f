#include "scratch_tree.h"

#include <atomic>

#include "cli/file_system.h"

#ifdef _WIN32
#include <windows.h>

#include "cli/text_encoding.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
bool make_one_folder(const std::string& path)
{
    return CreateDirectoryW(widen(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool write_bytes(const std::string& path, std::string_view bytes)
{
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
              written == bytes.size();
    CloseHandle(file);
    return ok;
}

void remove_all(const std::string& path)
{
    std::wstring wide = widen(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(wide.c_str());
        return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((wide + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                std::wstring name = found.cFileName;
                if (name != L"." && name != L"..")
                    remove_all(path + "\\" + narrow(name));
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
    }
    RemoveDirectoryW(wide.c_str());
}

std::string make_root()
{
    static std::atomic<unsigned> counter{0};
    wchar_t base[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH + 1, base) == 0)
        return {};
    for (unsigned tries = 0; tries < 1000; ++tries) {
        std::wstring path = std::wstring(base) + L"projport-cli-test-" + std::to_wstring(GetCurrentProcessId()) +
                            L"-" + std::to_wstring(counter++);
        if (CreateDirectoryW(path.c_str(), nullptr))
            return narrow(path);
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return {};
    }
    return {};
}
#else
bool make_one_folder(const std::string& path)
{
    struct stat info;
    return mkdir(path.c_str(), 0777) == 0 || (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

bool write_bytes(const std::string& path, std::string_view bytes)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    bool ok = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    return close(fd) == 0 && ok;
}

void remove_all(const std::string& path)
{
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
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
                remove_all(path + "/" + name);
        }
        closedir(folder);
    }
    rmdir(path.c_str());
}

std::string make_root()
{
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/projport-cli-test-XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : std::string();
}
#endif

}  // namespace

std::string native_path(std::string_view relative)
{
    std::string path(relative);
    for (char& c : path) {
        if (c == '/')
            c = path_separator;
    }
    return path;
}

scratch_tree::scratch_tree() : root(make_root()) {}

scratch_tree::~scratch_tree()
{
    if (!root.empty())
        remove_all(root);
}

std::string scratch_tree::path(std::string_view relative) const
{
    return root + path_separator + native_path(relative);
}

bool scratch_tree::folder(std::string_view relative) const
{
    if (root.empty())
        return false;
    for (std::size_t at = 0; at <= relative.size(); ++at) {
        if ((at == relative.size() || relative[at] == '/') && at > 0 && !make_one_folder(path(relative.substr(0, at))))
            return false;
    }
    return true;
}

bool scratch_tree::file(std::string_view relative, std::string_view bytes) const
{
    std::size_t slash = relative.rfind('/');
    if (slash != std::string_view::npos && !folder(relative.substr(0, slash)))
        return false;
    return !root.empty() && write_bytes(path(relative), bytes);
}

current_folder::current_folder(const std::string& path)
{
#ifdef _WIN32
    wchar_t buffer[MAX_PATH + 1] = {};
    if (GetCurrentDirectoryW(MAX_PATH + 1, buffer) == 0)
        return;
    saved = narrow(buffer);
    changed = SetCurrentDirectoryW(widen(path).c_str()) != 0;
#else
    char buffer[4096];
    if (!getcwd(buffer, sizeof buffer))
        return;
    saved = buffer;
    changed = chdir(path.c_str()) == 0;
#endif
}

current_folder::~current_folder()
{
    if (!changed)
        return;
#ifdef _WIN32
    SetCurrentDirectoryW(widen(saved).c_str());
#else
    (void)chdir(saved.c_str());
#endif
}

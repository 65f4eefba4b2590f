#include "support/scratch_tree.h"

#include "cli/file_system.h"
#include "support/file_bytes.h"

#ifdef _WIN32
#include <windows.h>

#include "cli/text_encoding.h"
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
bool make_one_folder(const std::string& path)
{
    return CreateDirectoryW(widen(path).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}
#else
bool make_one_folder(const std::string& path)
{
    struct stat info;
    return mkdir(path.c_str(), 0777) == 0 || (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
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

#ifdef _WIN32
scratch_tree::scratch_tree() : root(folder_.made() ? narrow(folder_.path) : std::string()) {}
#else
scratch_tree::scratch_tree() : root(folder_.path) {}
#endif

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
    return !root.empty() && write_file_bytes(path(relative), bytes);
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

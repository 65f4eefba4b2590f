#include "cli/file_system.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "cli/cli_errors.h"
#include "platform/posix_handles.h"

namespace {

constexpr const char* action_open = "open";
constexpr const char* action_read = "read";

unsigned last_error() noexcept
{
    return static_cast<unsigned>(errno);
}

// Whether the entry at `path` is a folder itself, when readdir could not say.
bool is_real_folder(const std::string& path) noexcept
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

const unsigned out_of_memory_code = ENOMEM;

const char path_separator = '/';

bool is_path_separator(char c) noexcept
{
    return c == '/';
}

std::size_t drive_prefix_length(std::string_view) noexcept
{
    return 0;
}

unsigned absolute_path(const std::string& path, std::string& absolute) noexcept
{
    std::string joined;
    if (path.empty() || path[0] != '/') {
        std::string folder(256, '\0');
        while (!getcwd(folder.data(), folder.size())) {
            if (errno != ERANGE)
                return last_error();
            folder.resize(folder.size() * 2);
        }
        folder.resize(std::strlen(folder.c_str()));
        joined = std::move(folder);
        joined += '/';
    }
    joined += path;
    absolute.clear();
    std::size_t at = 0;
    while (at < joined.size()) {
        std::size_t end = joined.find('/', at);
        if (end == std::string::npos)
            end = joined.size();
        std::string_view part(joined.data() + at, end - at);
        if (part == "..") {
            std::size_t last = absolute.rfind('/');
            absolute.resize(last == std::string::npos ? 0 : last);
        } else if (!part.empty() && part != ".") {
            absolute += '/';
            absolute += part;
        }
        at = end + 1;
    }
    if (absolute.empty())
        absolute.push_back('/');
    return 0;
}

unsigned identify_file(const std::string& path, file_identity& identity) noexcept
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0)
        return last_error();
    identity.volume = static_cast<std::uint64_t>(info.st_dev);
    identity.index = static_cast<std::uint64_t>(info.st_ino);
    return 0;
}

bool is_existing_folder(const std::string& path) noexcept
{
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool is_link(const std::string& path) noexcept
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

unsigned final_path(const std::string& path, std::string& resolved)
{
    char buffer[PATH_MAX];
    if (!realpath(path.c_str(), buffer))
        return last_error();
    resolved = buffer;
    return 0;
}

bool path_exists(const std::string& path) noexcept
{
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

unsigned list_folder(const std::string& path, std::vector<folder_entry>& entries, const char*& action) noexcept
{
    entries.clear();
    unique_dir folder{opendir(path.c_str())};
    if (!folder.is_open()) {
        action = action_open;
        return last_error();
    }
    std::string prefix = path;
    if (prefix.empty() || prefix.back() != '/')
        prefix += '/';
    for (;;) {
        errno = 0;
        dirent* entry = readdir(folder.get());
        if (!entry) {
            if (errno == 0)
                return 0;
            action = action_read;
            return last_error();
        }
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        bool is_folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN)
            is_folder = is_real_folder(prefix + name);
        bool may_lead_to_folder = !is_folder && (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN);
        entries.push_back({std::move(name), is_folder, may_lead_to_folder});
    }
}

unsigned read_small_file(const std::string& path, std::string& bytes, const char*& action) noexcept
{
    bytes.clear();
    // Without waiting: a FIFO would block the open until a writer comes.
    unique_fd file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (!file.is_open()) {
        action = action_open;
        return last_error();
    }
    struct stat info;
    if (fstat(file.get(), &info) != 0) {
        action = action_read;
        return last_error();
    }
    if (!S_ISREG(info.st_mode)) {
        action = action_open;
        return error_not_regular_file;
    }
    action = action_read;
    if (fcntl(file.get(), F_SETFL, 0) != 0)
        return last_error();
    if (info.st_size < 0 || static_cast<std::uint64_t>(info.st_size) > small_file_limit)
        return EFBIG;
    // The size is only a hint: the file is read until its end.
    bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t got = read(file.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return last_error();
        }
        if (got == 0)
            return 0;
        if (bytes.size() + static_cast<std::size_t>(got) > small_file_limit)
            return EFBIG;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

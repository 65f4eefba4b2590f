#include "cli/file_system.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <utility>

#include "cli/cli_errors.h"
#include "cli/file_system_native.h"
#include "platform/last_error.h"

namespace {

constexpr const char* action_open = "open";
constexpr const char* action_read = "read";
// One read call moves at most this many bytes on every system.
constexpr std::size_t largest_transfer = 0x40000000u;

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

file_facts facts_from(const struct stat& status) noexcept
{
    file_facts facts;
    facts.identity.volume = static_cast<std::uint64_t>(status.st_dev);
    facts.identity.index = static_cast<std::uint64_t>(status.st_ino);
    facts.size = status.st_size > 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
    facts.written_seconds = static_cast<std::int64_t>(status.st_mtim.tv_sec);
    facts.written_fraction = static_cast<std::uint32_t>(status.st_mtim.tv_nsec);
    facts.changed_seconds = static_cast<std::int64_t>(status.st_ctim.tv_sec);
    facts.changed_fraction = static_cast<std::uint32_t>(status.st_ctim.tv_nsec);
    facts.links = static_cast<std::uint64_t>(status.st_nlink);
    facts.is_plain_file = S_ISREG(status.st_mode);
    facts.is_folder = S_ISDIR(status.st_mode);
    facts.read_only = (status.st_mode & S_IWUSR) == 0;
    facts.mode = static_cast<std::uint32_t>(status.st_mode & 07777);
    facts.owner = static_cast<std::uint32_t>(status.st_uid);
    facts.group = static_cast<std::uint32_t>(status.st_gid);
    return facts;
}

}  // namespace

const unsigned file_too_large_code = EFBIG;

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

file_error facts_of_file(const native_file& file, file_facts& facts) noexcept
{
    struct stat status {};
    if (fstat(file.get(), &status) != 0)
        return last_error_or(EIO);
    facts = facts_from(status);
    return 0;
}

std::int64_t seconds_now() noexcept
{
    return static_cast<std::int64_t>(time(nullptr));
}

file_error facts_of_name(const std::string& path, bool follow_links, file_facts& facts) noexcept
{
    struct stat status {};
    if ((follow_links ? stat(path.c_str(), &status) : lstat(path.c_str(), &status)) != 0)
        return last_error_or(EIO);
    facts = facts_from(status);
    return 0;
}

file_error open_for_reading(const std::string& path, native_file& file, file_facts& facts, bool& at_open) noexcept
{
    // Without waiting: a FIFO would block the open until a writer comes, a
    // device may do anything. The kind is checked on the open file.
    at_open = true;
    do
        file.reset(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    while (!file.is_open() && errno == EINTR);
    if (!file.is_open())
        return last_error_or(EIO);
    struct stat status {};
    if (fstat(file.get(), &status) != 0) {
        at_open = false;
        return last_error_or(EIO);
    }
    facts = facts_from(status);
    if (!S_ISREG(status.st_mode))
        return error_not_regular_file;
    at_open = false;
    if (fcntl(file.get(), F_SETFL, 0) != 0)
        return last_error_or(EIO);
    return 0;
}

file_error read_some(const native_file& file, char* into, std::size_t count, std::size_t& got) noexcept
{
    got = 0;
    for (;;) {
        ssize_t done = read(file.get(), into, count < largest_transfer ? count : largest_transfer);
        if (done >= 0) {
            got = static_cast<std::size_t>(done);
            return 0;
        }
        if (errno != EINTR)
            return last_error_or(EIO);
    }
}

#include "cli/project_io.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <new>
#include <vector>

#include "cli/new_file_name.h"
#include "core/file_rewrite.h"
#include "core/rewrite_hold.h"
#include "platform/last_error.h"
#include "platform/posix_handles.h"
#include "platform/posix_project_file.h"

namespace {

constexpr const char* action_write = "write";
constexpr const char* action_create = "create";
constexpr const char* action_replace = "replace";
constexpr const char* action_rename = "rename";
// More links than this between a project's name and its file is a loop.
constexpr int most_links = 40;

file_error write_all(int fd, std::string_view text) noexcept
{
    while (!text.empty()) {
        ssize_t done = ::write(fd, text.data(), text.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            return last_error_or(EIO);
        if (done == 0)
            return ENOSPC;
        text.remove_prefix(static_cast<std::size_t>(done));
    }
    return 0;
}

// Whether `now` is still the file that was opened as `then`, unchanged: the
// same inode, size, and modification and change times. A write within the
// same clock tick of the file system is not seen.
bool is_unchanged(const struct stat& then, const struct stat& now) noexcept
{
    return then.st_dev == now.st_dev && then.st_ino == now.st_ino && then.st_size == now.st_size &&
           then.st_mtim.tv_sec == now.st_mtim.tv_sec && then.st_mtim.tv_nsec == now.st_mtim.tv_nsec &&
           then.st_ctim.tv_sec == now.st_ctim.tv_sec && then.st_ctim.tv_nsec == now.st_ctim.tv_nsec;
}

// The folder part of `path` with its separator ("" for a bare name), and its last part.
void split_path(const std::string& path, std::string& folder, std::string& name)
{
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder.clear();
        name = path;
    } else {
        folder = path.substr(0, slash + 1);
        name = path.substr(slash + 1);
    }
}

// Follows the links `path` may be, to the name of the file itself; `status`
// is then that name's lstat. Returns 0 or the error.
file_error resolve_links(std::string& path, struct stat& status)
{
    for (int hops = 0;; ++hops) {
        if (lstat(path.c_str(), &status) != 0)
            return last_error_or(EIO);
        if (!S_ISLNK(status.st_mode))
            return 0;
        if (hops == most_links)
            return ELOOP;
        std::vector<char> target(status.st_size > 0 ? static_cast<std::size_t>(status.st_size) + 1 : 4096);
        ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length < 0)
            return last_error_or(EIO);
        if (static_cast<std::size_t>(length) >= target.size())
            return ENAMETOOLONG;  // the link changed meanwhile
        std::string link(target.data(), static_cast<std::size_t>(length));
        if (link.empty())
            return ENOENT;
        if (link.front() == '/') {
            path = link;
        } else {
            std::string folder, name;
            split_path(path, folder, name);
            path = folder + link;
        }
    }
}

bool process_is_gone(long pid) noexcept
{
    return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

// New files that earlier runs left behind, found once per folder for the
// whole run: a listing per project would make a folder of many projects
// quadratic. A leftover is removed when its project is replaced and the
// process that made it is gone.
struct leftover {
    std::string name;          // the leftover's own name
    std::string project_name;  // the project it was made for
    long pid = 0;
};

std::map<std::string, std::vector<leftover>>& leftovers_by_folder()
{
    static std::map<std::string, std::vector<leftover>> found;
    return found;
}

const std::vector<leftover>& leftovers_in(const std::string& folder)
{
    auto& found = leftovers_by_folder();
    auto known = found.find(folder);
    if (known != found.end())
        return known->second;
    std::vector<leftover>& list = found[folder];
    unique_dir listing{opendir(folder.empty() ? "." : folder.c_str())};
    if (!listing.is_open())
        return list;
    while (dirent* entry = readdir(listing.get())) {
        new_file_name_parts parts;
        if (parse_new_file_name(entry->d_name, parts))
            list.push_back({entry->d_name, std::string(parts.project_name), parts.pid});
    }
    return list;
}

void remove_leftovers(const std::string& folder, const std::string& project_name)
{
    for (const leftover& file : leftovers_in(folder)) {
        if (file.project_name == project_name && process_is_gone(file.pid))
            (void)unlink((folder + file.name).c_str());
    }
}

// The owner and group of this process, asked once.
uid_t own_user() noexcept
{
    static const uid_t user = geteuid();
    return user;
}

gid_t own_group() noexcept
{
    static const gid_t group = getegid();
    return group;
}

}  // namespace

struct cli_project::state {
    unique_fd file;
    std::string path;
    struct stat opened {};
    bool for_rewrite = false;
    std::string new_file;  // made and not moved over the project yet

    // Writes the converted text over the project's own bytes (file_rewrite.h).
    bool rewrite_in_place_here(std::string_view original, std::string_view converted, replace_failure& failure)
    {
        struct stat now {};
        if (fstat(file.get(), &now) != 0) {
            failure = {action_replace, last_error_or(EIO), 0};
            return false;
        }
        if (!is_unchanged(opened, now)) {
            failure = {action_replace, error_changed_meanwhile, 0};
            return false;
        }
        if (lseek(file.get(), 0, SEEK_SET) != 0) {
            failure = {action_write, last_error_or(EIO), 0};
            return false;
        }
        posix_project_file project(file.get());
        rewrite_outcome outcome = rewrite_in_place(project, original, converted);
        if (outcome.failed == rewrite_step::none)
            return true;
        failure = {action_write, outcome.error, outcome.restore_error};
        return false;
    }

    void remove_new_file() noexcept
    {
        if (!new_file.empty())
            (void)unlink(new_file.c_str());
        new_file.clear();
    }
};

cli_project::cli_project() noexcept = default;

cli_project::~cli_project()
{
    if (state_)
        state_->remove_new_file();
    delete state_;
}

file_error cli_project::open(const std::string& path, bool for_rewrite) noexcept
{
    if (state_) {
        state_->remove_new_file();
        delete state_;
    }
    state_ = new (std::nothrow) state;
    if (!state_)
        return ENOMEM;
    state_->path = path;
    state_->for_rewrite = for_rewrite;
    // Without waiting: a FIFO would block the open until a writer comes, a
    // device may do anything. The type is checked on the open file.
    int flags = (for_rewrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    do
        state_->file.reset(::open(path.c_str(), flags));
    while (!state_->file.is_open() && errno == EINTR);
    if (!state_->file.is_open())
        return last_error_or(EIO);
    if (fstat(state_->file.get(), &state_->opened) != 0)
        return last_error_or(EIO);
    if (!S_ISREG(state_->opened.st_mode))
        return error_not_regular_file;
    // A read-only project is one its owner may not write, also for root,
    // who may write anything: it is how version control marks files not
    // checked out, and Windows refuses the same project.
    if (for_rewrite && (state_->opened.st_mode & S_IWUSR) == 0)
        return EACCES;
    if (fcntl(state_->file.get(), F_SETFL, 0) != 0)
        return last_error_or(EIO);
    return 0;
}

file_error cli_project::read(std::string& bytes) noexcept
{
    bytes.clear();
    if (!state_ || !state_->file.is_open())
        return EBADF;
    // The size is a hint: the file is read until a read returns nothing.
    std::size_t capacity = static_cast<std::size_t>(state_->opened.st_size) + 1;
    std::size_t total = 0;
    bytes.resize(capacity);
    for (;;) {
        if (total == bytes.size())
            bytes.resize(bytes.size() * 2);
        ssize_t got = ::read(state_->file.get(), bytes.data() + total, bytes.size() - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            bytes.clear();
            return last_error_or(EIO);
        }
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    bytes.resize(total);
    return 0;
}

bool cli_project::replace(std::string_view original, std::string_view converted, replace_failure& failure) noexcept
{
    failure = {};
    if (!state_ || !state_->file.is_open() || !state_->for_rewrite) {
        failure = {action_write, EBADF, 0};
        return false;
    }
    if (original == converted)
        return true;
    rewrite_hold hold;
    state& s = *state_;
    // Another name of the same file would keep the old bytes.
    if (s.opened.st_nlink > 1)
        return s.rewrite_in_place_here(original, converted, failure);

    std::string target = s.path;
    struct stat now {};
    if (file_error code = resolve_links(target, now)) {
        failure = {action_replace, code, 0};
        return false;
    }
    if (!is_unchanged(s.opened, now)) {
        failure = {action_replace, error_changed_meanwhile, 0};
        return false;
    }
    std::string folder, name;
    split_path(target, folder, name);
    std::string new_file = folder + new_file_name(name, static_cast<long>(getpid()));

    unique_fd made;
    for (int attempt = 0; !made.is_open(); ++attempt) {
        made.reset(::open(new_file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (made.is_open())
            break;
        int code = errno;
        if (code == EINTR)
            continue;
        // Left by an earlier process of this number, which is gone: this
        // process never leaves one behind.
        if (code == EEXIST && attempt == 0 && unlink(new_file.c_str()) == 0)
            continue;
        // No new file in this folder (no right to write it, a file system
        // mounted read-only, a name that gets too long): in place instead.
        if (code == EACCES || code == EPERM || code == EROFS || code == ENAMETOOLONG)
            return s.rewrite_in_place_here(original, converted, failure);
        failure = {action_create, last_error_or(EIO), 0};
        return false;
    }
    s.new_file = new_file;

    if (file_error code = write_all(made.get(), converted)) {
        s.remove_new_file();
        failure = {action_write, code, 0};
        return false;
    }
    // The owner first: a change of owner clears the set-user-ID bits that
    // the mode then restores. A user who may not give the file away keeps it.
    if (s.opened.st_uid != own_user() || s.opened.st_gid != own_group())
        (void)fchown(made.get(), s.opened.st_uid, s.opened.st_gid);
    if (fchmod(made.get(), s.opened.st_mode & 07777) != 0) {
        file_error code = last_error_or(EIO);
        s.remove_new_file();
        failure = {action_write, code, 0};
        return false;
    }
    if (!made.close() && errno != EINTR) {
        file_error code = last_error_or(EIO);
        s.remove_new_file();
        failure = {action_write, code, 0};
        return false;
    }

    // The last look before the move: another writer's change is kept.
    if (lstat(target.c_str(), &now) != 0 || !is_unchanged(s.opened, now)) {
        s.remove_new_file();
        failure = {action_replace, error_changed_meanwhile, 0};
        return false;
    }
    if (::rename(new_file.c_str(), target.c_str()) != 0) {
        file_error code = last_error_or(EIO);
        s.remove_new_file();
        // A folder where files of others may not be replaced (sticky).
        if (code == EPERM || code == EACCES)
            return s.rewrite_in_place_here(original, converted, failure);
        failure = {action_rename, code, 0};
        return false;
    }
    s.new_file.clear();
    remove_leftovers(folder, name);
    return true;
}

file_error cli_write(cli_stream stream, std::string_view text) noexcept
{
    return write_all(stream == cli_stream::output ? STDOUT_FILENO : STDERR_FILENO, text);
}

std::string system_error_text(file_error code)
{
    if (const char* ours = cli_error_text(code))
        return ours;
    return strerror(static_cast<int>(code));
}

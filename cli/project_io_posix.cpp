// The POSIX side of the replacement (project_io_system.h), and printing.

#include "cli/project_io.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "cli/extended_attributes.h"
#include "cli/project_io_system.h"
#include "platform/last_error.h"

namespace {

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

// The folder part of `path` with its separator ("" for a bare name).
std::string folder_of(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows the links `path` may be, to the name of the file itself. Returns
// 0 or the error.
file_error resolve_links(std::string& path)
{
    for (int hops = 0;; ++hops) {
        struct stat status {};
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
        path = link.front() == '/' ? link : folder_of(path) + link;
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

const file_error access_denied_code = EACCES;
const file_error not_open_code = EBADF;
const bool backups_go_unlocked = false;
const bool last_look_follows_links = false;

long own_process_id() noexcept
{
    return static_cast<long>(getpid());
}

bool process_is_gone(long pid) noexcept
{
    return pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

file_error reopen_for_writing(const native_file& file, const std::string& path, native_file& writer) noexcept
{
    constexpr int flags = O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
#if defined(__linux__)
    // Through the open descriptor, where /proc is there: the very file
    // read, whatever its name leads to now (a FIFO put there, say).
    std::string self = "/proc/self/fd/" + std::to_string(file.get());
    do
        writer.reset(::open(self.c_str(), flags));
    while (!writer.is_open() && errno == EINTR);
    if (!writer.is_open() && errno != ENOENT)
        return last_error_or(EIO);
#else
    (void)file;
#endif
    while (!writer.is_open()) {
        writer.reset(::open(path.c_str(), flags));
        if (!writer.is_open() && errno != EINTR)
            return last_error_or(EIO);
    }
    if (fcntl(writer.get(), F_SETFL, 0) != 0)
        return last_error_or(EIO);
    return 0;
}

file_error locate_project(const native_file&, const std::string& path, const file_facts& opened, std::string& target)
{
    target = path;
    if (file_error code = resolve_links(target))
        return code;
    file_facts now;
    if (file_error code = facts_of_name(target, false, now))
        return code;
    return is_unchanged(opened, now) ? 0 : error_changed_meanwhile;
}

file_error create_exclusively(const std::string& path, native_file& file) noexcept
{
    do
        file.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
    while (!file.is_open() && errno == EINTR);
    return file.is_open() ? 0 : last_error_or(EIO);
}

bool is_name_taken(file_error code) noexcept
{
    return code == EEXIST;
}

bool is_no_new_file_here(file_error code) noexcept
{
    return code == EACCES || code == EPERM || code == EROFS || code == ENAMETOOLONG;
}

// A lock of the open file itself, not of the process, so that it also holds
// in another process namespace or (through the file system's lock service)
// on another host.
file_error lock_exclusively(const native_file& file) noexcept
{
#if defined(F_OFD_SETLK)
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    whole.l_start = 0;
    whole.l_len = 0;
    if (fcntl(file.get(), F_OFD_SETLK, &whole) == 0)
        return 0;
#else
    // macOS and the BSDs: flock's locks also belong to the open file.
    if (flock(file.get(), LOCK_EX | LOCK_NB) == 0)
        return 0;
#endif
    return last_error_or(EIO);
}

bool is_lock_unsupported(file_error code) noexcept
{
    return code == EINVAL || code == ENOLCK || code == ENOTSUP || code == EOPNOTSUPP || code == ENOSYS;
}

file_error finish_new_file(const native_file& project, const file_facts& opened, native_file& made,
                           bool& copyable) noexcept
{
    copyable = true;
    // The owner first: a change of owner clears the set-user-ID bits that
    // the mode then restores. A user who may not give the file away keeps it.
    if (opened.owner != own_user() || opened.group != own_group())
        (void)fchown(made.get(), opened.owner, opened.group);
    if (copy_extended_attributes(project.get(), made.get()) != 0) {
        copyable = false;
        return 0;
    }
    // After the ACL, whose mask the mode sets: the project's own mode agrees
    // with its own ACL.
    if (fchmod(made.get(), static_cast<mode_t>(opened.mode)) != 0)
        return last_error_or(EIO);
    // Every close of a descriptor flushes the file as the last one would (a
    // file system over the network tells its write errors then): a second
    // descriptor is closed here, the first keeps the lock until the move.
    int twin = fcntl(made.get(), F_DUPFD_CLOEXEC, 0);
    if (twin < 0 || (::close(twin) != 0 && errno != EINTR))
        return last_error_or(EIO);
    return 0;
}

void let_go_before_move(native_file&) noexcept {}

move_outcome move_over(const std::string& made, const std::string& target, const std::string&) noexcept
{
    move_outcome outcome;
    if (::rename(made.c_str(), target.c_str()) == 0) {
        outcome.how = move_outcome::end::moved;
        return outcome;
    }
    file_error code = last_error_or(EIO);
    // A folder where files of others may not be replaced (sticky).
    if (code == EPERM || code == EACCES) {
        outcome.how = move_outcome::end::rewrite_in_place;
        return outcome;
    }
    outcome.action = "rename";
    outcome.error = code;
    return outcome;
}

void remove_made(const std::string& path, const file_facts& facts, native_file& held) noexcept
{
    file_facts named;
    if (held.is_open() && facts_of_name(path, false, named) == 0 && same_file(facts, named))
        (void)unlink(path.c_str());
    (void)held.close();
}

file_error open_to_remove(const std::string& path, native_file& file) noexcept
{
    do
        file.reset(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    while (!file.is_open() && errno == EINTR);
    return file.is_open() ? 0 : last_error_or(EIO);
}

void remove_locked(const std::string& path, const file_facts& facts, native_file& held) noexcept
{
    remove_made(path, facts, held);
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

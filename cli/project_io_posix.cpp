#include "cli/project_io.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <map>
#include <new>
#include <vector>

#include "cli/extended_attributes.h"
#include "cli/new_file_name.h"
#include "cli/system_random.h"
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
constexpr const char* action_open = "open";
// More links than this between a project's name and its file is a loop.
constexpr int most_links = 40;
// Names tried for a new file before giving up: a taken name means another
// run drew the same random part, or a file was put there on purpose.
constexpr int most_new_file_names = 8;
// A leftover written to within this many seconds may be a live run's that
// has not taken its lock yet, or one of an earlier version, which takes none.
constexpr time_t youngest_leftover_seconds = 5 * 60;

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

bool lock_unsupported(int code) noexcept
{
    return code == EINVAL || code == ENOLCK || code == ENOTSUP || code == EOPNOTSUPP || code == ENOSYS;
}

// Takes an exclusive lock on the open file `fd` without waiting: a lock of
// the open file itself, not of the process, so that it holds against every
// other opening of the file, this process's own included, and in another
// process namespace or (through the file system's lock service) on another
// host. Returns 0 or the error (EAGAIN or EACCES: another holds it).
file_error lock_exclusively(int fd) noexcept
{
#if defined(F_OFD_SETLK)
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    whole.l_start = 0;
    whole.l_len = 0;
    if (fcntl(fd, F_OFD_SETLK, &whole) == 0)
        return 0;
#else
    // macOS and the BSDs: flock's locks also belong to the open file.
    if (flock(fd, LOCK_EX | LOCK_NB) == 0)
        return 0;
#endif
    return last_error_or(EIO);
}

bool same_file(const struct stat& a, const struct stat& b) noexcept
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// New files that earlier runs left behind, found once per folder for the
// whole run: a listing per project would make a folder of many projects
// quadratic. A leftover is removed when its project is replaced and no
// live run holds it (remove_if_abandoned).
struct leftover {
    std::string name;  // the leftover's own name
    new_file_name_parts parts;  // its project_part points into `name`
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
            list.push_back({entry->d_name, {}});
    }
    // Parsed again where each name now stays, so that the parts point into it.
    for (leftover& file : list)
        (void)parse_new_file_name(file.name, file.parts);
    return list;
}

// Removes the leftover at `path` when no run can still be making it: a
// regular file, last changed more than a few minutes ago, whose lock this
// process gets (a live writer holds it), and, for the shape of earlier
// versions, which took no lock, whose process number is no running process
// here. The name must still be the file locked when it is removed.
void remove_if_abandoned(const std::string& path, const new_file_name_parts& parts)
{
    struct stat named {};
    if (lstat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode))
        return;
    time_t now = time(nullptr);
    if (now < named.st_mtime || now - named.st_mtime < youngest_leftover_seconds)
        return;
    if (!parts.has_token && !process_is_gone(parts.pid))
        return;
    unique_fd file;
    do
        file.reset(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    while (!file.is_open() && errno == EINTR);
    struct stat opened {};
    if (!file.is_open() || fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) || !same_file(named, opened))
        return;
    if (lock_exclusively(file.get()) != 0)
        return;
    if (lstat(path.c_str(), &named) == 0 && same_file(named, opened))
        (void)unlink(path.c_str());
}

void remove_leftovers(const std::string& folder, const std::string& project_name)
{
    for (const leftover& file : leftovers_in(folder)) {
        if (is_new_file_of(file.parts, project_name))
            remove_if_abandoned(folder + file.name, file.parts);
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
    unique_fd file;  // for reading, until the replacement asks for writing
    std::string path;
    struct stat opened {};
    bool may_replace = false;
    bool writable = false;
    std::string new_file;  // made and not moved over the project yet
    unique_fd made;        // the new file, locked while it exists
    struct stat made_status {};

    // Opens the project again, for writing, and makes that the project's
    // descriptor; it must be the file that was opened. A read-only project
    // is one its owner may not write, also for root, who may write
    // anything: it is how version control marks files not checked out, and
    // Windows refuses the same project. Returns 0 or the error.
    file_error open_for_writing() noexcept
    {
        if (writable)
            return 0;
        if ((opened.st_mode & S_IWUSR) == 0)
            return EACCES;
        constexpr int flags = O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
        unique_fd writer;
#if defined(__linux__)
        // Through the open descriptor, where /proc is there: the very file
        // read, whatever its name leads to now (a FIFO put there, say).
        std::string self = "/proc/self/fd/" + std::to_string(file.get());
        do
            writer.reset(::open(self.c_str(), flags));
        while (!writer.is_open() && errno == EINTR);
        if (!writer.is_open() && errno != ENOENT)
            return last_error_or(EIO);
#endif
        while (!writer.is_open()) {
            writer.reset(::open(path.c_str(), flags));
            if (!writer.is_open() && errno != EINTR)
                return last_error_or(EIO);
        }
        struct stat now {};
        if (fstat(writer.get(), &now) != 0)
            return last_error_or(EIO);
        if (!same_file(opened, now))
            return error_changed_meanwhile;
        if (fcntl(writer.get(), F_SETFL, 0) != 0)
            return last_error_or(EIO);
        file = std::move(writer);
        writable = true;
        return 0;
    }

    // Writes the converted text over the project's own bytes (file_rewrite.h).
    bool rewrite_in_place_here(std::string_view original, std::string_view converted, replace_failure& failure)
    {
        remove_new_file();
        struct stat now {};
        if (fstat(file.get(), &now) != 0) {
            failure = {action_replace, last_error_or(EIO), 0, {}};
            return false;
        }
        if (!is_unchanged(opened, now)) {
            failure = {action_replace, error_changed_meanwhile, 0, {}};
            return false;
        }
        if (lseek(file.get(), 0, SEEK_SET) != 0) {
            failure = {action_write, last_error_or(EIO), 0, {}};
            return false;
        }
        posix_project_file project(file.get());
        rewrite_outcome outcome = rewrite_in_place(project, original, converted);
        if (outcome.failed == rewrite_step::none)
            return true;
        failure = {action_write, outcome.error, outcome.restore_error, {}};
        return false;
    }

    // Makes a new file beside the project `name` in `folder`, under a name
    // no other run has, and locks it. Returns 0, or the error of the last
    // name tried.
    file_error make_new_file(const std::string& folder, const std::string& name, std::string& tried) noexcept
    {
        file_error code = EEXIST;
        for (int attempt = 0; attempt < most_new_file_names; ++attempt) {
            std::uint64_t token = 0;
            if (file_error random_failed = system_random(token))
                return random_failed;
            tried = folder + new_file_name(name, static_cast<long>(getpid()), token);
            do
                made.reset(::open(tried.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
            while (!made.is_open() && errno == EINTR);
            if (made.is_open())
                break;
            code = last_error_or(EIO);
            // A name that is taken is another's: never removed, another drawn.
            if (code != EEXIST)
                return code;
        }
        if (!made.is_open())
            return code;
        new_file = tried;
        if (fstat(made.get(), &made_status) != 0) {
            code = last_error_or(EIO);
            remove_new_file();
            return code;
        }
        // Where the file system keeps no locks, none is held, and no sweep
        // can get one to remove the file either.
        code = lock_exclusively(made.get());
        if (code != 0 && !lock_unsupported(static_cast<int>(code))) {
            remove_new_file();
            return code;
        }
        return 0;
    }

    // Whether the new file's name still leads to the file this run wrote,
    // whole.
    bool new_file_is_ours(std::size_t size) const noexcept
    {
        struct stat now {}, named {};
        return fstat(made.get(), &now) == 0 && same_file(made_status, now) &&
               static_cast<std::uint64_t>(now.st_size) == size && lstat(new_file.c_str(), &named) == 0 &&
               same_file(made_status, named);
    }

    // Removes the new file, but only while its name is still the file this
    // run made: a name another put there is theirs. The lock goes last.
    void remove_new_file() noexcept
    {
        struct stat named {};
        if (!new_file.empty() && made.is_open() && lstat(new_file.c_str(), &named) == 0 &&
            same_file(made_status, named))
            (void)unlink(new_file.c_str());
        new_file.clear();
        (void)made.close();
    }
};

cli_project::cli_project() noexcept = default;

cli_project::~cli_project()
{
    if (state_)
        state_->remove_new_file();
    delete state_;
}

file_error cli_project::open(const std::string& path, bool may_replace) noexcept
{
    if (state_) {
        state_->remove_new_file();
        delete state_;
    }
    state_ = new (std::nothrow) state;
    if (!state_)
        return ENOMEM;
    state_->path = path;
    state_->may_replace = may_replace;
    // Without waiting: a FIFO would block the open until a writer comes, a
    // device may do anything. The type is checked on the open file.
    int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    do
        state_->file.reset(::open(path.c_str(), flags));
    while (!state_->file.is_open() && errno == EINTR);
    if (!state_->file.is_open())
        return last_error_or(EIO);
    if (fstat(state_->file.get(), &state_->opened) != 0)
        return last_error_or(EIO);
    if (!S_ISREG(state_->opened.st_mode))
        return error_not_regular_file;
    if (fcntl(state_->file.get(), F_SETFL, 0) != 0)
        return last_error_or(EIO);
    return 0;
}

file_error cli_project::read(byte_buffer& bytes) noexcept
{
    bytes.clear();
    if (!state_ || !state_->file.is_open())
        return EBADF;
    // The size the file had when it was opened bounds the read: a file
    // that reads on without end (/proc/kmsg, a file another program keeps
    // writing) cannot hold the run, and one of size 0 is empty, not read.
    if (state_->opened.st_size <= 0)
        return 0;
    auto size = static_cast<std::uint64_t>(state_->opened.st_size);
    if (size > static_cast<std::uint64_t>(PTRDIFF_MAX) || !bytes.resize(static_cast<std::size_t>(size)))
        return ENOMEM;
    std::size_t total = 0;
    while (total < bytes.size()) {
        ssize_t got = ::read(state_->file.get(), bytes.data() + total, bytes.size() - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            file_error code = last_error_or(EIO);
            bytes.clear();
            return code;
        }
        if (got == 0) {
            bytes.clear();
            return error_changed_meanwhile;  // cut since it was opened
        }
        total += static_cast<std::size_t>(got);
    }
    // One byte more means the file grew while it was read.
    for (;;) {
        char more = 0;
        ssize_t got = ::read(state_->file.get(), &more, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            file_error code = last_error_or(EIO);
            bytes.clear();
            return code;
        }
        if (got > 0) {
            bytes.clear();
            return error_changed_meanwhile;
        }
        return 0;
    }
}

bool cli_project::replace(std::string_view original, std::string_view converted, replace_failure& failure) noexcept
{
    failure = {};
    if (!state_ || !state_->file.is_open() || !state_->may_replace) {
        failure = {action_write, EBADF, 0, {}};
        return false;
    }
    if (original == converted)
        return true;
    rewrite_hold hold;
    state& s = *state_;
    if (file_error code = s.open_for_writing()) {
        failure = {action_open, code, 0, {}};
        return false;
    }
    // Another name of the same file would keep the old bytes.
    if (s.opened.st_nlink > 1)
        return s.rewrite_in_place_here(original, converted, failure);

    std::string target = s.path;
    struct stat now {};
    if (file_error code = resolve_links(target, now)) {
        failure = {action_replace, code, 0, {}};
        return false;
    }
    if (!is_unchanged(s.opened, now)) {
        failure = {action_replace, error_changed_meanwhile, 0, {}};
        return false;
    }
    std::string folder, name;
    split_path(target, folder, name);

    std::string tried;
    if (file_error code = s.make_new_file(folder, name, tried)) {
        // No new file in this folder (no right to write it, a file system
        // mounted read-only, a name still too long for it): in place instead.
        if (code == EACCES || code == EPERM || code == EROFS || code == ENAMETOOLONG)
            return s.rewrite_in_place_here(original, converted, failure);
        failure = {action_create, code, 0, tried};
        return false;
    }

    if (file_error code = write_all(s.made.get(), converted)) {
        s.remove_new_file();
        failure = {action_write, code, 0, {}};
        return false;
    }
    // The owner first: a change of owner clears the set-user-ID bits that
    // the mode then restores. A user who may not give the file away keeps it.
    if (s.opened.st_uid != own_user() || s.opened.st_gid != own_group())
        (void)fchown(s.made.get(), s.opened.st_uid, s.opened.st_gid);
    // An attribute the new file cannot be given (another user's security.*,
    // an ACL where the folder's file system has none) would change the
    // project's access: its own file is rewritten instead.
    if (copy_extended_attributes(s.file.get(), s.made.get()) != 0)
        return s.rewrite_in_place_here(original, converted, failure);
    // After the ACL, whose mask the mode sets: the project's own mode agrees
    // with its own ACL.
    if (fchmod(s.made.get(), s.opened.st_mode & 07777) != 0) {
        file_error code = last_error_or(EIO);
        s.remove_new_file();
        failure = {action_write, code, 0, {}};
        return false;
    }
    // Every close of a descriptor flushes the file as the last one would (a
    // file system over the network tells its write errors then): a second
    // descriptor is closed here, the first keeps the lock until the move.
    {
        int twin = fcntl(s.made.get(), F_DUPFD_CLOEXEC, 0);
        if (twin < 0 || (::close(twin) != 0 && errno != EINTR)) {
            file_error code = last_error_or(EIO);
            s.remove_new_file();
            failure = {action_write, code, 0, {}};
            return false;
        }
    }

    // The last look before the move: the new file is still the one written
    // (not removed or replaced by another run), and another writer's change
    // to the project is kept.
    if (!s.new_file_is_ours(converted.size()) || lstat(target.c_str(), &now) != 0 || !is_unchanged(s.opened, now)) {
        s.remove_new_file();
        failure = {action_replace, error_changed_meanwhile, 0, {}};
        return false;
    }
    if (::rename(s.new_file.c_str(), target.c_str()) != 0) {
        file_error code = last_error_or(EIO);
        // A folder where files of others may not be replaced (sticky).
        if (code == EPERM || code == EACCES)
            return s.rewrite_in_place_here(original, converted, failure);
        s.remove_new_file();
        failure = {action_rename, code, 0, {}};
        return false;
    }
    s.new_file.clear();
    // The new file is the project now; closing it ends its lock.
    (void)s.made.close();
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

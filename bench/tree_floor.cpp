// The least a rewrite of a tree of projects in place costs: the system calls
// that projport-cli cannot do without, and nothing else. Times against it show
// what the conversion, the reports and projport-cli's own extra calls add.
//
// Usage: tree_floor [--read-only] PATH...
// A PATH that is a folder is walked as projport-cli walks one: opendir and
// readdir, the type from the entry (lstat only where the system leaves it
// unknown), folders named .git or .vs skipped, every file whose name ends in
// ".vcxproj" in any case taken, and the paths sorted. Any other PATH is a file.
// Each file is then, in order, replaced as projport-cli replaces a project:
//   open(O_RDWR | O_CLOEXEC), fstat, read into one 2 MiB buffer until a read
//   returns 0, open a new file beside it (O_CREAT | O_EXCL, mode 0600), write
//   the bytes read to it, fchmod it to the file's mode, close it, lstat the
//   file (the check that it is still the one read), rename the new file over
//   it, close.
// With --read-only: open(O_RDONLY | O_CLOEXEC), fstat, read until 0, close.
// The file ends with the bytes it had. Prints nothing unless a call fails
// (exit code 1).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t buffer_bytes = 2u << 20;

struct fd_holder {
    int fd = -1;
    ~fd_holder()
    {
        if (fd >= 0)
            (void)close(fd);
    }
};

struct dir_holder {
    DIR* dir = nullptr;
    ~dir_holder()
    {
        if (dir)
            (void)closedir(dir);
    }
};

char lower_ascii(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_ignoring_case(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower_ascii(a[i]) != lower_ascii(b[i]))
            return false;
    }
    return true;
}

bool is_project_name(std::string_view name) noexcept
{
    constexpr std::string_view extension = ".vcxproj";
    return name.size() > extension.size() && same_ignoring_case(name.substr(name.size() - extension.size()), extension);
}

void report(const char* call, const std::string& path) noexcept
{
    std::fprintf(stderr, "tree_floor: %s(%s): %s\n", call, path.c_str(), std::strerror(errno));
}

// Adds the projects below `root` to `found`; false when a folder could not be listed.
bool walk(const std::string& root, std::vector<std::string>& found)
{
    bool whole = true;
    std::vector<std::string> pending{root};
    while (!pending.empty()) {
        std::string folder = std::move(pending.back());
        pending.pop_back();
        dir_holder listing{opendir(folder.c_str())};
        if (!listing.dir) {
            report("opendir", folder);
            whole = false;
            continue;
        }
        std::string prefix = folder.back() == '/' ? folder : folder + "/";
        while (dirent* entry = readdir(listing.dir)) {
            std::string_view name = entry->d_name;
            if (name == "." || name == "..")
                continue;
            std::string path = prefix + entry->d_name;
            bool is_folder = entry->d_type == DT_DIR;
            if (entry->d_type == DT_UNKNOWN) {
                struct stat info;
                is_folder = lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
            }
            if (is_folder) {
                if (!same_ignoring_case(name, ".git") && !same_ignoring_case(name, ".vs"))
                    pending.push_back(std::move(path));
            } else if (is_project_name(name)) {
                found.push_back(std::move(path));
            }
        }
    }
    return whole;
}

// Reads the file whole into `buffer`; false when a read fails or the file
// does not fit.
bool read_whole(int fd, char* buffer, std::size_t& total, const std::string& path) noexcept
{
    total = 0;
    for (;;) {
        if (total == buffer_bytes) {
            errno = EFBIG;
            report("read", path);
            return false;
        }
        ssize_t got = read(fd, buffer + total, buffer_bytes - total);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            report("read", path);
            return false;
        }
        if (got == 0)
            return true;
        total += static_cast<std::size_t>(got);
    }
}

bool write_whole(int fd, const char* bytes, std::size_t count, const std::string& path) noexcept
{
    std::size_t written = 0;
    while (written < count) {
        ssize_t done = write(fd, bytes + written, count - written);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0) {
            report("write", path);
            return false;
        }
        written += static_cast<std::size_t>(done);
    }
    return true;
}

// The new file beside `path`: ".<name>.floor-<pid>.tmp".
std::string new_file_beside(const std::string& path)
{
    std::size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return folder + "." + name + ".floor-" + std::to_string(getpid()) + ".tmp";
}

bool pass_over(const std::string& path, bool read_only, char* buffer) noexcept
{
    fd_holder file{open(path.c_str(), (read_only ? O_RDONLY : O_RDWR) | O_CLOEXEC)};
    if (file.fd < 0) {
        report("open", path);
        return false;
    }
    struct stat info;
    if (fstat(file.fd, &info) != 0) {
        report("fstat", path);
        return false;
    }
    std::size_t length = 0;
    if (!read_whole(file.fd, buffer, length, path))
        return false;
    if (read_only)
        return true;
    std::string new_file = new_file_beside(path);
    fd_holder made{open(new_file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)};
    if (made.fd < 0) {
        report("open", new_file);
        return false;
    }
    bool done = write_whole(made.fd, buffer, length, new_file);
    if (done && fchmod(made.fd, info.st_mode & 07777) != 0) {
        report("fchmod", new_file);
        done = false;
    }
    if (close(made.fd) != 0 && done) {
        report("close", new_file);
        done = false;
    }
    made.fd = -1;
    struct stat now;
    if (done && lstat(path.c_str(), &now) != 0) {
        report("lstat", path);
        done = false;
    }
    if (done && rename(new_file.c_str(), path.c_str()) != 0) {
        report("rename", path);
        done = false;
    }
    if (!done)
        (void)unlink(new_file.c_str());
    return done;
}

}  // namespace

int main(int argc, char** argv)
{
    bool read_only = false;
    std::vector<std::string> files;
    bool whole = true;
    for (int i = 1; i < argc; ++i) {
        std::string path = argv[i];
        if (path == "--read-only") {
            read_only = true;
            continue;
        }
        struct stat info;
        if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
            std::vector<std::string> found;
            whole = walk(path, found) && whole;
            std::sort(found.begin(), found.end());
            files.insert(files.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
        } else {
            files.push_back(std::move(path));
        }
    }
    if (files.empty() && whole) {
        std::fprintf(stderr, "usage: tree_floor [--read-only] PATH...\n");
        return 2;
    }

    std::unique_ptr<char[]> buffer(new (std::nothrow) char[buffer_bytes]);
    if (!buffer) {
        std::fprintf(stderr, "tree_floor: no memory\n");
        return 1;
    }
    for (const std::string& path : files)
        whole = pass_over(path, read_only, buffer.get()) && whole;
    return whole ? 0 : 1;
}

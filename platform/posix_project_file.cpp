#include "platform/posix_project_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/last_error.h"

namespace {

// One read or write call moves at most this many bytes on every system.
constexpr std::size_t largest_transfer = 0x40000000u;

}  // namespace

std::uint64_t posix_project_file::size() noexcept
{
    struct stat status {};
    if (fstat(fd_, &status) != 0 || status.st_size < 0)
        return 0;
    return static_cast<std::uint64_t>(status.st_size);
}

file_error posix_project_file::read(char* into, std::size_t count, std::size_t& got) noexcept
{
    got = 0;
    std::size_t chunk = count < largest_transfer ? count : largest_transfer;
    for (;;) {
        ssize_t done = ::read(fd_, into, chunk);
        if (done >= 0) {
            got = static_cast<std::size_t>(done);
            return 0;
        }
        if (errno != EINTR)
            return last_error_or(EIO);
    }
}

file_error posix_project_file::seek(std::uint64_t offset) noexcept
{
    return lseek(fd_, static_cast<off_t>(offset), SEEK_SET) >= 0 ? 0 : last_error_or(EIO);
}

// Writes until everything is out, a write makes no progress (a full disk),
// or one fails; `written` counts what went out.
file_error posix_project_file::write(const char* from, std::size_t count, std::size_t& written) noexcept
{
    written = 0;
    while (written < count) {
        std::size_t left = count - written;
        ssize_t done = ::write(fd_, from + written, left < largest_transfer ? left : largest_transfer);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return last_error_or(EIO);
        }
        if (done == 0)
            break;
        written += static_cast<std::size_t>(done);
    }
    return 0;
}

file_error posix_project_file::set_end() noexcept
{
    off_t at = lseek(fd_, 0, SEEK_CUR);
    if (at < 0)
        return last_error_or(EIO);
    while (ftruncate(fd_, at) != 0)
        if (errno != EINTR)
            return last_error_or(EIO);
    return 0;
}

// ftruncate alone would make a sparse file, and the disk would run out in
// the middle of the write instead; the room is reserved first.
file_error posix_project_file::extend(std::uint64_t length) noexcept
{
#if defined(__linux__)
    int code = posix_fallocate(fd_, 0, static_cast<off_t>(length));
    if (code != 0 && code != EOPNOTSUPP && code != EINVAL)
        return static_cast<file_error>(code);
#endif
    while (ftruncate(fd_, static_cast<off_t>(length)) != 0)
        if (errno != EINTR)
            return last_error_or(EIO);
    return 0;
}

file_error posix_project_file::disk_full_error() const noexcept
{
    return ENOSPC;
}

file_error posix_project_file::too_large_error() const noexcept
{
    return EFBIG;
}

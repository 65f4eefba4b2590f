#include "cli/cli_platform.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include "convert/posix_project_file.h"

namespace {

void write_all(int fd, std::string_view text) noexcept
{
    while (!text.empty()) {
        ssize_t done = ::write(fd, text.data(), text.size());
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return;
        text.remove_prefix(static_cast<std::size_t>(done));
    }
}

// Owns a descriptor for the span of one conversion.
struct descriptor {
    int fd = -1;
    ~descriptor()
    {
        if (fd >= 0)
            (void)::close(fd);
    }
};

}  // namespace

void cli_write(cli_stream stream, std::string_view text) noexcept
{
    write_all(stream == cli_stream::output ? STDOUT_FILENO : STDERR_FILENO, text);
}

file_error with_open_project(const std::string& path, bool writable, project_use use, void* context) noexcept
{
    descriptor file;
    do
        file.fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    while (file.fd < 0 && errno == EINTR);
    if (file.fd < 0)
        return errno != 0 ? static_cast<file_error>(errno) : static_cast<file_error>(EIO);
    posix_project_file project(file.fd);
    use(context, project);
    return 0;
}

std::string system_error_text(file_error code)
{
    return strerror(static_cast<int>(code));
}

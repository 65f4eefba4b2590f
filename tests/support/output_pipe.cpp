#include "support/output_pipe.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

output_pipe::output_pipe(int capacity)
{
    int ends[2];
    if (pipe(ends) != 0)
        return;
    read_end = ends[0];
    write_end = ends[1];
    (void)fcntl(read_end, F_SETFD, FD_CLOEXEC);
    (void)fcntl(write_end, F_SETFD, FD_CLOEXEC);
#ifdef F_SETPIPE_SZ
    (void)fcntl(write_end, F_SETPIPE_SZ, capacity);
#else
    (void)capacity;
#endif
}

output_pipe::~output_pipe()
{
    close_write_end();
    if (read_end >= 0)
        close(read_end);
}

void output_pipe::close_write_end() noexcept
{
    if (write_end >= 0)
        close(write_end);
    write_end = -1;
}

std::string output_pipe::read_all()
{
    std::string text;
    char chunk[65536];
    for (;;) {
        ssize_t got = read(read_end, chunk, sizeof chunk);
        if (got > 0)
            text.append(chunk, static_cast<std::size_t>(got));
        else if (got == 0 || errno != EINTR)
            break;
    }
    return text;
}

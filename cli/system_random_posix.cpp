#include "cli/system_random.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#if defined(__linux__)
#include <sys/random.h>
#endif

#include <cstring>

#include "platform/last_error.h"
#include "platform/posix_handles.h"

namespace {

#if !defined(__APPLE__) && !defined(__FreeBSD__) && !defined(__OpenBSD__) && !defined(__NetBSD__)
// Where getrandom is missing (a kernel older than 3.17) or refused (a
// seccomp filter), the device gives the same bits.
file_error from_device(unsigned char* bytes, std::size_t size) noexcept
{
    unique_fd device;
    do
        device.reset(::open("/dev/urandom", O_RDONLY | O_CLOEXEC | O_NOCTTY));
    while (!device.is_open() && errno == EINTR);
    if (!device.is_open())
        return last_error_or(EIO);
    std::size_t done = 0;
    while (done < size) {
        ssize_t got = ::read(device.get(), bytes + done, size - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got < 0 ? last_error_or(EIO) : EIO;
        done += static_cast<std::size_t>(got);
    }
    return 0;
}
#endif

}  // namespace

file_error system_random(std::uint64_t& bits) noexcept
{
    unsigned char bytes[sizeof bits];
#if defined(__APPLE__) || defined(__FreeBSD__) || defined(__OpenBSD__) || defined(__NetBSD__)
    arc4random_buf(bytes, sizeof bytes);
#else
    std::size_t done = 0;
#if defined(__linux__)
    while (done < sizeof bytes) {
        ssize_t got = getrandom(bytes + done, sizeof bytes - done, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
#endif
    if (done < sizeof bytes) {
        if (file_error code = from_device(bytes, sizeof bytes))
            return code;
    }
#endif
    std::memcpy(&bits, bytes, sizeof bits);
    return 0;
}

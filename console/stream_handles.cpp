#include "console/stream_handles.h"

#include <io.h>

HANDLE stream_os_handle(FILE* stream) noexcept
{
    if (!stream)
        return nullptr;
    // A negative descriptor is checked first: _get_osfhandle on it would
    // reach the runtime's invalid-parameter handler, which ends the process
    // under MSVC's runtime. -2 is the runtime's mark for a stream that
    // started without a handle.
    int fd = _fileno(stream);
    if (fd < 0)
        return nullptr;
    intptr_t handle = _get_osfhandle(fd);
    if (handle == -1 || handle == -2)
        return nullptr;
    return reinterpret_cast<HANDLE>(handle);
}

void std_handle_follows(DWORD which, FILE* stream) noexcept
{
    HANDLE handle = stream_os_handle(stream);
    if (handle)
        (void)SetStdHandle(which, handle);
}

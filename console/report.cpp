#include "console/report.h"

#include <windows.h>

#include <io.h>

#include <cstdarg>
#include <cstdio>

namespace {

constexpr int message_capacity = 2048;

HANDLE console_output() noexcept
{
    int fd = _fileno(stdout);
    if (fd < 0)
        return nullptr;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !handle || !GetConsoleMode(handle, &mode))
        return nullptr;
    return handle;
}

}  // namespace

void print_report(const wchar_t* format, ...) noexcept
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    wchar_t message[message_capacity];
    int length = _vsnwprintf(message, message_capacity - 1, format, args);
    va_end(args);
    if (length < 0) {
        // Longer than a message usually is: the stream formats it itself.
        (void)vfwprintf(stdout, format, again);
        va_end(again);
        return;
    }
    va_end(again);
    message[length] = L'\0';

    if (HANDLE console = console_output()) {
        DWORD written = 0;
        if (WriteConsoleW(console, message, static_cast<DWORD>(length), &written, nullptr))
            return;
    }
    (void)fputws(message, stdout);
}

#include "console/report.h"

#include "console/line_ends.h"

#include <windows.h>

#include <io.h>

#include <cstdarg>
#include <cstdio>

namespace {

constexpr int message_capacity = 2048;
// Every message that fits its buffer fits here in its text-mode form.
constexpr std::size_t console_capacity = text_mode_capacity(message_capacity);

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
    va_list measure;
    va_copy(measure, args);
    va_list again;
    va_copy(again, args);
    wchar_t message[message_capacity];
    int length = _vsnwprintf(message, message_capacity - 1, format, args);
    va_end(args);
    if (length < 0) {
        // Longer than a message usually is: formatted whole on the heap, then
        // written by the stream. Only the runtime's own formatting functions:
        // under libstdc++'s headers vfwprintf is mingw-w64's own printf,
        // some 25 KB more in projport.exe.
        int needed = _vscwprintf(format, measure);
        wchar_t* long_message = needed < 0 ? nullptr
            : static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (static_cast<SIZE_T>(needed) + 1) * sizeof(wchar_t)));
        if (long_message) {
            int written = _vsnwprintf(long_message, static_cast<std::size_t>(needed), format, again);
            long_message[written < 0 ? 0 : written] = L'\0';
            (void)fputws(long_message, stdout);
            (void)HeapFree(GetProcessHeap(), 0, long_message);
        }
        va_end(measure);
        va_end(again);
        return;
    }
    va_end(measure);
    va_end(again);
    message[length] = L'\0';

    if (HANDLE console = console_output()) {
        // WriteConsoleW passes the stream by: the line ends are made here as
        // the text-mode stream would make them, or a console with
        // DISABLE_NEWLINE_AUTO_RETURN set would show a staircase.
        wchar_t text[console_capacity];
        text_mode_result done = to_text_mode(message, static_cast<std::size_t>(length), text, console_capacity);
        DWORD written = 0;
        if (done.read == static_cast<std::size_t>(length) &&
            WriteConsoleW(console, text, static_cast<DWORD>(done.written), &written, nullptr))
            return;
    }
    (void)fputws(message, stdout);
}

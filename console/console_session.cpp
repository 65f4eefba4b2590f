// Getting a console and giving it up again.

#include "console/shadow_console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "console/console_text.h"
#include "console/report.h"
#include "console/stream_handles.h"

namespace {

// The standard handle follows the stream only when the reopening gave one:
// a failed reopening leaves nothing to point it at.
void reopen(FILE*& field, const wchar_t* device, const wchar_t* mode, FILE* stream, DWORD which) noexcept
{
    FILE* reopened = nullptr;
    (void)_wfreopen_s(&reopened, device, mode, stream);
    field = reopened;
    if (reopened)
        std_handle_follows(which, reopened);
}

void remove_input_wait(shadow_console& c) noexcept
{
    if (c.input_wait)
        (void)UnregisterWaitEx(c.input_wait, INVALID_HANDLE_VALUE);
    c.input_wait = nullptr;
}

// A failed attachment that did attach removes its input wait and detaches:
// still attached, the caller's console_alloc could not open a console of the
// program's own, and the report would be lost.
bool give_up_attachment(shadow_console& c) noexcept
{
    remove_input_wait(c);
    (void)FreeConsole();
    c.console_window = nullptr;
    return false;
}

}  // namespace

void console_bind_streams(shadow_console& c) noexcept
{
    if (c.had_console)
        return;
    reopen(c.out_stream, L"CONOUT$", L"wt+", stdout, STD_OUTPUT_HANDLE);
    reopen(c.err_stream, L"CONOUT$", L"wt+", stderr, STD_ERROR_HANDLE);
    reopen(c.in_stream, L"CONIN$", L"rt+", stdin, STD_INPUT_HANDLE);
}

void console_streams_to_nul(shadow_console& c) noexcept
{
    reopen(c.out_stream, L"NUL", L"w+", stdout, STD_OUTPUT_HANDLE);
    reopen(c.err_stream, L"NUL", L"w+", stderr, STD_ERROR_HANDLE);
    reopen(c.in_stream, L"NUL", L"r+", stdin, STD_INPUT_HANDLE);
}

int console_alloc(shadow_console& c) noexcept
{
    if (!AllocConsole())
        return static_cast<int>(GetLastError());
    c.console_window = GetConsoleWindow();
    if (c.console_window)
        (void)SetConsoleTitleW(console_title_text(c));
    console_bind_streams(c);
    stdio_wide_unbuffered();
    console_std_handles(c);
    return 0;
}

void console_release(shadow_console& c) noexcept
{
    if (c.newline_on_release) {
        c.newline_on_release = false;
        print_report(L"\n");
    }
    remove_input_wait(c);
    console_streams_to_nul(c);
    (void)FreeConsole();
    c.had_console = false;
    c.console_window = nullptr;
}

bool console_attach_parent(shadow_console& c) noexcept
{
    console_release(c);
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return false;
    c.console_window = GetConsoleWindow();
    if (!c.console_window)
        return give_up_attachment(c);
    console_std_handles(c);

    // The descriptors stay open: each owns the standard handle it was opened on.
    int out = _open_osfhandle(reinterpret_cast<intptr_t>(c.out_handle), _O_WTEXT);
    int err = _open_osfhandle(reinterpret_cast<intptr_t>(c.err_handle), _O_WTEXT);
    int in = _open_osfhandle(reinterpret_cast<intptr_t>(c.in_handle), _O_WTEXT);
    if (in < 0 || (out < 0 && err < 0))
        return give_up_attachment(c);

    console_bind_streams(c);
    stdio_wide_unbuffered();
    console_std_handles(c);
    c.newline_on_release = true;
    return true;
}

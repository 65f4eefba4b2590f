// The record, its start-up and exit-time routines, and the two small steps
// that follow every change of console.

#include "console/shadow_console.h"

#include <fcntl.h>
#include <io.h>
#include <malloc.h>

#include <cstdlib>
#include <cstring>

#include "console/console_text.h"
#include "console/stream_handles.h"

// Constant-initialised, so that console_init is the program's only dynamic
// initialiser and nothing of the record depends on initialisation order.
constinit shadow_console g_shadow_console{};

namespace {

constexpr std::uint64_t capture_chars = 0x80000;      // 1 MiB of wide characters
constexpr std::size_t capture_alignment = 0x80000;
constexpr std::size_t capture_err_offset = 0x20000;   // bytes into the capture block
constexpr std::uint64_t path_bytes = 1024;            // one slot of the path block
constexpr std::size_t path_alignment = 1024;

const wchar_t allocation_failure_text[] = L"Failed to allocate a buffer for console output or logfile path!";
const wchar_t allocation_failure_caption[] = L"g_shadow_console";

constexpr std::memory_order relaxed = std::memory_order_relaxed;

wchar_t* at_byte(void* block, std::size_t offset) noexcept
{
    return reinterpret_cast<wchar_t*>(static_cast<char*>(block) + offset);
}

// The record holds atomics, so it is cleared field by field, not with memset.
void clear_record(shadow_console& c) noexcept
{
    c.out_stream = nullptr;
    c.err_stream = nullptr;
    c.in_stream = nullptr;
    c.capture_out = nullptr;
    c.capture_err = nullptr;
    c.closing.store(false, relaxed);
    c.had_console = false;
    c.capture_chars = 0;
    c.path_bytes = 0;
    c.input_wait = nullptr;
    c.path_slot1 = nullptr;
    c.path_slot2 = nullptr;
    c.title = nullptr;
    c.saved_info = CONSOLE_SCREEN_BUFFER_INFO{};
    c.current_info = CONSOLE_SCREEN_BUFFER_INFO{};
    c.in_handle = nullptr;
    c.out_handle = nullptr;
    c.err_handle = nullptr;
    c.exit_event = nullptr;
    c.event_valid.store(false, relaxed);
    c.console_window = nullptr;
    c.capture_pending = false;
    c.handles_only = false;
    c.newline_on_release = false;
}

// A stream without a descriptor (a GUI process's usual start) is left alone:
// _setmode on it would reach the runtime's invalid-parameter handler, which
// ends the process under MSVC's runtime.
bool has_descriptor(FILE* stream) noexcept
{
    return stream_os_handle(stream) != nullptr;
}

}  // namespace

const wchar_t* console_title_text(const shadow_console& c) noexcept
{
    return c.title && c.title[0] ? c.title : default_console_title;
}

void stdio_wide_unbuffered() noexcept
{
    FILE* const streams[] = {stdout, stderr, stdin};
    for (FILE* stream : streams)
        if (has_descriptor(stream))
            (void)_setmode(_fileno(stream), _O_WTEXT);
    for (FILE* stream : streams)
        (void)setvbuf(stream, nullptr, _IONBF, 0);
}

void console_std_handles(shadow_console& c) noexcept
{
    c.out_handle = GetStdHandle(STD_OUTPUT_HANDLE);
    c.err_handle = GetStdHandle(STD_ERROR_HANDLE);
    c.in_handle = GetStdHandle(STD_INPUT_HANDLE);
    (void)GetConsoleScreenBufferInfo(c.out_handle, &c.saved_info);
    (void)GetConsoleScreenBufferInfo(c.out_handle, &c.current_info);
    (void)console_watch_input(c);
}

void console_init() noexcept
{
    shadow_console& c = g_shadow_console;

    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event) {
        c.exit_event = event;
        c.event_valid.store(true, relaxed);
    }

    c.capture_chars = capture_chars;
    void* capture = _aligned_malloc(capture_chars * sizeof(wchar_t), capture_alignment);
    c.capture_out = static_cast<wchar_t*>(capture);
    c.capture_err = capture ? at_byte(capture, capture_err_offset) : nullptr;

    c.path_bytes = path_bytes;
    void* path = _aligned_malloc(3 * path_bytes, path_alignment);
    c.path_slot1 = static_cast<wchar_t*>(path);
    c.path_slot2 = path ? at_byte(path, path_bytes) : nullptr;
    c.title = path ? at_byte(path, 2 * path_bytes) : nullptr;

    if (!capture || !path) {
        MessageBoxW(nullptr, allocation_failure_text, allocation_failure_caption, MB_ICONERROR);
        ExitProcess(1);
    }
    std::memset(capture, 0, capture_chars * sizeof(wchar_t));
    std::memset(path, 0, 3 * path_bytes);

    stdio_wide_unbuffered();
    console_std_handles(c);  // console_window is still null: arms nothing

    c.console_window = GetConsoleWindow();
    if (c.console_window) {
        (void)SetConsoleTitleW(console_title_text(c));
        c.had_console = true;
    } else {
        c.had_console = false;
    }
    (void)console_watch_input(c);
    (void)std::atexit(console_teardown);
}

void console_teardown() noexcept
{
    shadow_console& c = g_shadow_console;

    (void)setvbuf(stdout, nullptr, _IONBF, 0);
    (void)setvbuf(stderr, nullptr, _IONBF, 0);
    (void)setvbuf(stdin, nullptr, _IONBF, 0);

    if (c.console_window && !c.closing.load(relaxed) && !c.had_console)
        console_release(c);

    // A wait still registered (an inherited console, or a control event
    // arrived) is removed before the event is closed, so that no callback
    // can signal a closed handle.
    if (c.input_wait) {
        (void)UnregisterWaitEx(c.input_wait, INVALID_HANDLE_VALUE);
        c.input_wait = nullptr;
    }

    if (c.capture_out)
        _aligned_free(c.capture_out);
    if (c.path_slot1)
        _aligned_free(c.path_slot1);

    if (c.event_valid.load(relaxed)) {
        c.event_valid.store(false, relaxed);
        (void)SetEvent(c.exit_event);
        (void)CloseHandle(c.exit_event);
        c.exit_event = nullptr;
    }
    clear_record(c);
}

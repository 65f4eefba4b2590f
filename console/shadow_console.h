#pragma once
// The shadow console: the console the program reports into (one of its own,
// or the console of the process that started it), the standard streams bound
// to it, and the exit event that holds it open until the user is done.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

struct shadow_console {
    FILE* out_stream;
    FILE* err_stream;
    FILE* in_stream;
    wchar_t* capture_out;            // capture block: capture_chars wide characters
    wchar_t* capture_err;            // 0x20000 bytes into the capture block
    std::atomic<bool> closing;       // a console control event arrived
    bool had_console;                // a console was there at start-up
    std::uint64_t capture_chars;
    std::uint64_t path_bytes;
    HANDLE input_wait;               // registered wait on console input, or null
    wchar_t* path_slot1;             // path block: three slots of path_bytes
    wchar_t* path_slot2;
    wchar_t* title;                  // empty: the default title
    CONSOLE_SCREEN_BUFFER_INFO saved_info;
    CONSOLE_SCREEN_BUFFER_INFO current_info;
    HANDLE in_handle;
    HANDLE out_handle;
    HANDLE err_handle;
    HANDLE exit_event;               // manual reset, never reset once signalled
    std::atomic<bool> event_valid;   // exit_event exists
    HWND console_window;             // null while no console is held
    bool capture_pending;
    bool handles_only;
    bool newline_on_release;         // attached to the parent: end with one line break
};

extern shadow_console g_shadow_console;

// Start-up and exit: console_init runs as the program's last static
// initialiser and registers console_teardown to run first at exit.
void console_init() noexcept;
void console_teardown() noexcept;

// The standard streams in UTF-16 text mode, unbuffered.
void stdio_wide_unbuffered() noexcept;
// Fetches the three standard handles into the record and arms the input watcher.
void console_std_handles(shadow_console& console) noexcept;

// A console of the process's own. Returns 0 or the error code of AllocConsole.
int console_alloc(shadow_console& console) noexcept;
// The console of the starting process. Returns false when it cannot be used;
// the caller then falls back to console_alloc.
bool console_attach_parent(shadow_console& console) noexcept;
// Gives up whatever console is held; the streams then go to NUL.
void console_release(shadow_console& console) noexcept;
void console_bind_streams(shadow_console& console) noexcept;
void console_streams_to_nul(shadow_console& console) noexcept;

// Installs the control handler and the wait on console input. Returns -1
// when there is no console window or no input handle, else 0.
int console_watch_input(shadow_console& console) noexcept;
void CALLBACK console_input_callback(PVOID context, BOOLEAN timed_out) noexcept;
// Sets `closing`, signals the exit event and answers TRUE. Before it returns
// from the close, logoff and shutdown events, after which the system ends the
// process, it waits (at most 4 s) for a rewrite of the project file in
// progress, and lets no new one start (see platform/rewrite_stop.h).
BOOL WINAPI console_ctrl_handler(DWORD control_type) noexcept;

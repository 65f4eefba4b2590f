// The exit event's two signallers from outside the main thread: the input
// watcher on the thread pool's wait thread and the console control handler
// (and the registration of both).

#include "console/shadow_console.h"
#include "platform/rewrite_stop_win32.h"

namespace {

constexpr DWORD input_batch = 128;

void signal_exit() noexcept
{
    shadow_console& c = g_shadow_console;
    if (c.event_valid.load(std::memory_order_relaxed))
        (void)SetEvent(c.exit_event);
}

// The events after which the system ends the process once the handler
// returns, whatever it answers. Ctrl+C and Ctrl+Break end nothing here.
bool ends_the_process(DWORD control_type) noexcept
{
    return control_type == CTRL_CLOSE_EVENT || control_type == CTRL_LOGOFF_EVENT ||
           control_type == CTRL_SHUTDOWN_EVENT;
}

bool is_console_input(HANDLE handle) noexcept
{
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != FALSE;
}

}  // namespace

int console_watch_input(shadow_console& c) noexcept
{
    if (!c.console_window)
        return -1;
    (void)SetConsoleCtrlHandler(console_ctrl_handler, FALSE);
    (void)SetConsoleCtrlHandler(console_ctrl_handler, TRUE);
    if (!c.in_handle)
        return -1;
    (void)FlushConsoleInputBuffer(c.in_handle);
    if (c.input_wait)
        (void)UnregisterWaitEx(c.input_wait, INVALID_HANDLE_VALUE);
    c.input_wait = nullptr;
    // A redirected input (a file, NUL, a pipe) is always signalled, so a wait
    // on it would run the callback without end on the pool's thread.
    if (!is_console_input(c.in_handle))
        return -1;
    (void)RegisterWaitForSingleObject(&c.input_wait, c.in_handle, console_input_callback, c.in_handle, INFINITE,
                                      WT_EXECUTEINWAITTHREAD);
    return 0;
}

void CALLBACK console_input_callback(PVOID context, BOOLEAN) noexcept
{
    if (!context)
        return;
    HANDLE input = static_cast<HANDLE>(context);
    // The records are peeked, never read: with -s the parent's shell
    // may take the input between the signal and this call, and a blocking read
    // would then hold the wait thread, and the blocking unregistration at
    // exit, until the user typed.
    INPUT_RECORD batch[input_batch];
    DWORD count = 0;
    if (PeekConsoleInputW(input, batch, input_batch, &count)) {
        for (DWORD i = 0; i < count; ++i)
            if (batch[i].EventType == KEY_EVENT && batch[i].Event.KeyEvent.bKeyDown)
                signal_exit();
    }
    (void)FlushConsoleInputBuffer(input);
}

BOOL WINAPI console_ctrl_handler(DWORD control_type) noexcept
{
    g_shadow_console.closing.store(true, std::memory_order_relaxed);
    signal_exit();
    // The rewrite in progress (of the project file, or of its original bytes
    // written back) is waited for: ended half way, the process would leave
    // the file cut short or half old, half new. No rewrite starts after this.
    if (ends_the_process(control_type))
        (void)stop_rewrites(rewrite_grace_ms);
    return TRUE;
}

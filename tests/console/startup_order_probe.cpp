// A program built like projport.exe (console/console_startup.cpp first among
// its sources) with dynamic initialisers and an exit-time routine of its own,
// which report on its standard output when they ran relative to console_init
// and console_teardown. Exit code 7 shows that wWinMain's result came through.

#include <windows.h>

#include <cstdlib>

#include "console/shadow_console.h"

namespace {

HANDLE report_handle = nullptr;

void say(const char* line)
{
    if (!report_handle)
        report_handle = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    WriteFile(report_handle, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr);
    WriteFile(report_handle, "\n", 1, &written, nullptr);
}

bool console_init_has_run()
{
    return g_shadow_console.capture_out != nullptr && g_shadow_console.path_slot1 != nullptr;
}

bool record_is_clear()
{
    const shadow_console& c = g_shadow_console;
    return !c.capture_out && !c.path_slot1 && !c.title && !c.exit_event && !c.event_valid.load() &&
           !c.capture_chars && !c.path_bytes && !c.console_window && !c.input_wait;
}

// Registered before console_init registers console_teardown, so it must run
// after it.
void exit_routine()
{
    say(record_is_clear() ? "atexit: after console_teardown" : "atexit: before console_teardown");
}

struct initialiser {
    explicit initialiser(bool register_exit)
    {
        say(console_init_has_run() ? "initialiser: after console_init" : "initialiser: before console_init");
        if (register_exit)
            std::atexit(exit_routine);
    }
};

initialiser first(true);
#if defined(__GNUC__)
initialiser prioritised __attribute__((init_priority(200)))(false);
#else
initialiser second(false);
#endif

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    say(console_init_has_run() ? "wWinMain: after console_init" : "wWinMain: before console_init");
    return 7;
}

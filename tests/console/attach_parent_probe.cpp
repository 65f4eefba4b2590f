// attach_parent_probe middle|child REPORT: the two processes of
// AttachParent.WhenTheParentsConsoleCannotBeUsedItDetachesSoThatItsOwnCanOpen.
// The middle, started with a console without a window, writes to REPORT.middle
// whether its console is so and starts the child with no console; the child
// tries console_attach_parent (which attaches to the middle's console) and
// console_alloc and writes what became of them to REPORT.

#include <windows.h>

#include <string>

#include "console/shadow_console.h"
#include "support/child_process.h"
#include "support/file_bytes.h"

namespace {

bool can_open_console_output()
{
    HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (output == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(output);
    return true;
}

int run_middle(const std::wstring& report)
{
    bool windowless = can_open_console_output() && !GetConsoleWindow();
    if (!write_file_bytes(report + L".middle",
                          windowless ? "middle: console without a window" : "middle: no windowless console"))
        return 5;
    child_result r = run_program(quote_argument(sibling_program(L"attach_parent_probe.exe")) + L" child " +
                                     quote_argument(report),
                                 launch_options{});
    return r.finished ? 0 : 6;
}

int run_child(const std::wstring& report)
{
    shadow_console& c = g_shadow_console;
    bool attached = console_attach_parent(c);
    bool still_attached = GetConsoleWindow() != nullptr || c.console_window != nullptr || can_open_console_output();
    int alloc = console_alloc(c);
    bool own_window = GetConsoleWindow() != nullptr;
    return write_file_bytes(report, "attached=" + std::to_string(attached) + " still_attached=" +
                                        std::to_string(still_attached) + " alloc=" + std::to_string(alloc) +
                                        " own_window=" + std::to_string(own_window))
               ? 0
               : 5;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3)
        return 2;
    std::wstring role = argv[1];
    if (role == L"middle")
        return run_middle(argv[2]);
    if (role == L"child")
        return run_child(argv[2]);
    return 2;
}

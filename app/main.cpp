// The entry routine: reads the command line, runs the conversion it names,
// or turns to the help when it names none.

#include <windows.h>
#include <shellapi.h>

#include "app/command_line.h"
#include "app/convert_project.h"
#include "app/help_dialog.h"
#include "console/report.h"
#include "console/shadow_console.h"
#include "core/report_texts.h"

namespace {

constexpr DWORD final_wait_ms = 5000;

}  // namespace

// The annotations are those of the declaration in the Windows headers (MSVC
// reports C28251 under /analyze without them).
int WINAPI wWinMain(_In_ HINSTANCE, _In_opt_ HINSTANCE, _In_ PWSTR, _In_ int)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    conversion_request request;
    if (!parse_command_line(count, arguments, request)) {
        if (arguments)
            LocalFree(arguments);
        return show_help_dialog();
    }

    // The parent's console with -s, else (or when it cannot be used) a
    // console of the program's own. Either way the conversion runs.
    if (!request.attach || !console_attach_parent(g_shadow_console))
        (void)console_alloc(g_shadow_console);

    print_report(L"%ls%ls%ls%ls%ls", heading_open.wide, request.path, heading_version.wide,
                 version_table[request.version].label, heading_close.wide);
    (void)convert_project(request.path, request.version);
    LocalFree(arguments);

    // Hold a console of the program's own open until a key, a control event
    // or the time-out; with -s there is no wait at all.
    if (!request.attach && g_shadow_console.event_valid.load(std::memory_order_relaxed))
        (void)WaitForSingleObject(g_shadow_console.exit_event, final_wait_ms);
    return 0;
}

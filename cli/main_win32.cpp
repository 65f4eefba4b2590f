// projport-cli's entry on Windows: the arguments as the system gives them,
// in UTF-16, turned into UTF-8 without loss.

#include <windows.h>

#include <string>
#include <vector>

#include "cli/cli_main.h"
#include "cli/text_encoding.h"
#include "platform/rewrite_stop_win32.h"

namespace {

// Ctrl+C, Ctrl+Break, closing the console, logging off: the project being
// rewritten is finished first, and no other is started; then the system's
// own handling ends the process.
BOOL WINAPI finish_the_rewrite_first(DWORD) noexcept
{
    (void)stop_rewrites(rewrite_grace_ms);
    return FALSE;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    (void)SetConsoleCtrlHandler(finish_the_rewrite_first, TRUE);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.push_back(narrow(argv[i]));
    return cli_main(arguments);
}

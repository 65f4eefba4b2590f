// shared_console_parent PROGRAM: a console program whose console has no
// window (the test starts it with CREATE_NO_WINDOW) that starts PROGRAM as a
// child sharing that console, as Wine lets a GUI program do. Ends with the
// child's exit code, 2 when it did not end within 20 s (it is then ended), or
// 3 when this program's console is not as meant.

#include <windows.h>

#include <string>

#include "support/child_process.h"
#include "support/running_program.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 3;
    DWORD attached[4];
    if (GetConsoleProcessList(attached, 4) == 0 || GetConsoleWindow() != nullptr)
        return 3;
    running_program run(quote_argument(argv[1]), 0);  // shares this console
    if (!run.wait(20000))
        return 2;
    return static_cast<int>(run.exit_code());
}

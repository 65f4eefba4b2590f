// console_show PROGRAM [ARGUMENT...]: shows on its standard output (as UTF-8)
// what PROGRAM printed on a console, as a person at a command prompt would
// have seen it. It opens a console of its own, starts PROGRAM detached from
// it (PROGRAM's -s then attaches to this console, its parent's), waits for it
// to end, and copies the text of the screen. Its exit code is PROGRAM's.
// scripts/demo runs projport.exe through it, under an X server.

#include <windows.h>

#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/console_screen.h"

namespace {

std::wstring quoted_if_needed(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos)
        return argument;
    return quote_argument(argument);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    HANDLE report = GetStdHandle(STD_OUTPUT_HANDLE);
    if (argc < 2)
        return 2;
    std::wstring command_line = quoted_if_needed(argv[1]);
    for (int i = 2; i < argc; ++i)
        command_line += L" " + quoted_if_needed(argv[i]);

    if (!open_own_console()) {
        const char message[] = "console_show: no console could be opened (is there an X server?)\n";
        DWORD written = 0;
        WriteFile(report, message, sizeof message - 1, &written, nullptr);
        return 3;
    }
    child_result r = run_detached(command_line, 120000);
    if (!r.started)
        return 4;

    HANDLE screen = open_console_output();
    std::wstring text = screen_text(screen);
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::vector<char> utf8(static_cast<std::size_t>(size > 0 ? size : 0));
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                            nullptr);
    DWORD written = 0;
    WriteFile(report, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    return static_cast<int>(r.exit_code);
}

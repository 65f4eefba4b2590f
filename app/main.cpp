// The entry routine: reads the command line, runs the conversion it names,
// or turns to the help when it names none.

#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "app/command_line.h"
#include "convert/convert_project.h"

namespace {

int show_help() noexcept
{
    return 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    conversion_request request;
    if (!parse_command_line(count, arguments, request)) {
        if (arguments)
            LocalFree(arguments);
        return show_help();
    }

    wprintf(L"[%ls]\nConfiguring project for Visual Studio %ls\n\n", request.path,
            version_table[request.version].label);
    (void)convert_project(request.path, request.version);
    LocalFree(arguments);
    return 0;
}

// std_handles_probe alloc|attach|release REPORT: a GUI program started like
// projport.exe (console/console_startup.cpp first, standard handles given
// with STARTF_USESTDHANDLES) that gets a console as projport.exe does, or
// gets one and gives it up again, and writes to REPORT whether each standard
// handle is the handle under its stream and whether the record holds them:
//   in=1 out=1 err=1 record=1 console_input=1 screen=1 watcher=1
// (console_input, screen and watcher: the record's input is a console input,
// its output a screen buffer, and the input watcher is armed on it).

#include <windows.h>

#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "console/shadow_console.h"
#include "support/file_bytes.h"

namespace {

bool follows(DWORD which, FILE* stream)
{
    int fd = _fileno(stream);
    if (fd < 0)
        return false;
    intptr_t handle = _get_osfhandle(fd);
    return handle != -1 && handle != -2 && GetStdHandle(which) == reinterpret_cast<HANDLE>(handle);
}

std::string flag(const char* name, bool value)
{
    return std::string(name) + "=" + (value ? "1" : "0");
}

std::string report(const shadow_console& c)
{
    DWORD mode = 0;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    bool record = c.in_handle == GetStdHandle(STD_INPUT_HANDLE) && c.out_handle == GetStdHandle(STD_OUTPUT_HANDLE) &&
                  c.err_handle == GetStdHandle(STD_ERROR_HANDLE);
    return flag("in", follows(STD_INPUT_HANDLE, stdin)) + " " + flag("out", follows(STD_OUTPUT_HANDLE, stdout)) +
           " " + flag("err", follows(STD_ERROR_HANDLE, stderr)) + " " + flag("record", record) + " " +
           flag("console_input", GetConsoleMode(c.in_handle, &mode) != FALSE) + " " +
           flag("screen", GetConsoleScreenBufferInfo(c.out_handle, &info) != FALSE) + " " +
           flag("watcher", c.input_wait != nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 3)
        return 2;
    std::wstring mode = argv[1];
    std::wstring path = argv[2];
    LocalFree(argv);

    shadow_console& c = g_shadow_console;
    if (mode == L"alloc") {
        (void)console_alloc(c);
    } else if (mode == L"attach") {
        if (!console_attach_parent(c))
            return 3;
    } else if (mode == L"release") {
        (void)console_alloc(c);
        console_release(c);
        // The record keeps the handles of the last binding; after a release
        // they are fetched again, as the next binding would.
        console_std_handles(c);
    } else {
        return 2;
    }
    return write_file_bytes(path, report(c)) ? 0 : 5;
}

// console_probe PID COMMAND...: a person at the console of process PID.
// Started detached (with no console) and with its standard output on a file,
// it attaches to that process's console, carries out the commands in order
// and writes what it saw as "name=value" lines (UTF-16), ending with the
// console's width, its title and the text on its screen. Its first line,
// running_at_start=1 (or 0), tells whether the process was still running when
// the probe began to look for its console.
//   until=TEXT   wait until the screen shows TEXT (seen_tick=, or timeout_tick=)
//   settle       wait until the screen has not changed for 100 ms
//   absent=TEXT  tell whether the last few rows up to the cursor lack TEXT
//                right now (absent=1 or 0): a quick look for the line printed
//                last, which a read of the whole screen would see too late
//   key          press and release a key (key_tick=)
//   keyup        only release a key
//   mouse        click the left mouse button
//   ctrlc        send Ctrl+C to the processes on the console (ctrlc_tick=)
//   exit         wait for the process to end (exit_tick=)
// Ticks are GetTickCount64 values, comparable with the harness's own.

#include <windows.h>

#include <cstdlib>
#include <string>

#include "support/console_screen.h"

namespace {

HANDLE report_file = INVALID_HANDLE_VALUE;
// Rows that absent= looks at: the line printed last, and the line breaks
// that may follow it.
constexpr short tail_rows = 4;

void report(const std::wstring& line)
{
    std::wstring text = line + L"\n";
    DWORD written = 0;
    WriteFile(report_file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
}

void report_tick(const wchar_t* name)
{
    report(std::wstring(name) + L"=" + std::to_wstring(GetTickCount64()));
}

bool attach_to(DWORD pid, HANDLE process)
{
    for (int i = 0; i < 2000; ++i) {
        if (AttachConsole(pid))
            return true;
        if (WaitForSingleObject(process, 5) == WAIT_OBJECT_0)
            return AttachConsole(pid) != FALSE;
    }
    return false;
}

bool wait_for_text(HANDLE screen, const std::wstring& text)
{
    for (int i = 0; i < 1000; ++i) {
        std::wstring shown = screen_text(screen);
        if (shown.find(text) != std::wstring::npos)
            return true;
        Sleep(10);
    }
    return false;
}

void settle(HANDLE screen)
{
    std::wstring shown = screen_text(screen);
    for (int j = 0; j < 100; ++j) {
        Sleep(100);
        std::wstring again = screen_text(screen);
        if (again == shown)
            return;
        shown = again;
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    report_file = GetStdHandle(STD_OUTPUT_HANDLE);
    if (argc < 2)
        return 2;
    DWORD pid = static_cast<DWORD>(_wtoi(argv[1]));
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process) {
        report(L"error=no process");
        return 3;
    }
    report(WaitForSingleObject(process, 0) == WAIT_TIMEOUT ? L"running_at_start=1" : L"running_at_start=0");
    if (!attach_to(pid, process)) {
        report(L"error=no console to attach to");
        return 4;
    }
    report_tick(L"attach_tick");
    // The probe takes no part in a Ctrl+C that it sends itself.
    SetConsoleCtrlHandler(nullptr, TRUE);
    HANDLE screen = open_console_output();
    HANDLE input = open_console_input();

    for (int i = 2; i < argc; ++i) {
        std::wstring command = argv[i];
        if (command.rfind(L"until=", 0) == 0) {
            bool seen = wait_for_text(screen, command.substr(6));
            report_tick(seen ? L"seen_tick" : L"timeout_tick");
        } else if (command == L"settle") {
            settle(screen);
        } else if (command.rfind(L"absent=", 0) == 0) {
            bool absent = screen_tail(screen, tail_rows).find(command.substr(7)) == std::wstring::npos;
            report(absent ? L"absent=1" : L"absent=0");
        } else if (command == L"key") {
            report_tick(L"key_tick");
            write_key(input, true);
            write_key(input, false);
        } else if (command == L"keyup") {
            write_key(input, false);
        } else if (command == L"mouse") {
            write_mouse_click(input);
        } else if (command == L"ctrlc") {
            report_tick(L"ctrlc_tick");
            if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
                report(L"error=ctrl+c " + std::to_wstring(GetLastError()));
        } else if (command == L"exit") {
            bool ended = WaitForSingleObject(process, 20000) == WAIT_OBJECT_0;
            report_tick(ended ? L"exit_tick" : L"still_running_tick");
        }
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(screen, &info);
    report(L"width=" + std::to_wstring(info.dwSize.X));
    report(L"title=" + console_title());
    report(L"screen:");
    std::wstring text = screen_text(screen);
    DWORD written = 0;
    WriteFile(report_file, text.data(), static_cast<DWORD>(text.size() * sizeof(wchar_t)), &written, nullptr);
    return 0;
}

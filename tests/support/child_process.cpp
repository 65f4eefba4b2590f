#include "support/child_process.h"

#include <windows.h>

#include <vector>

#include "support/file_bytes.h"
#include "support/temp_dir.h"

std::wstring sibling_program(const wchar_t* name)
{
    wchar_t self[32768] = {};
    DWORD length = GetModuleFileNameW(nullptr, self, 32768);
    std::wstring path(self, length);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

std::wstring quote_argument(const std::wstring& argument)
{
    return L"\"" + argument + L"\"";
}

child_result run_detached(const std::wstring& command_line, unsigned timeout_ms)
{
    child_result result;
    temp_dir folder;
    std::wstring output_path = folder.file(L"output.txt");

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                               OPEN_EXISTING, 0, nullptr);
    HANDLE output = CreateFileW(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> line(command_line.begin(), command_line.end());
    line.push_back(L'\0');
    result.started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                                    nullptr, &startup, &process) != FALSE;
    CloseHandle(input);
    CloseHandle(output);
    if (!result.started)
        return result;

    result.finished = WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0;
    if (!result.finished)
        TerminateProcess(process.hProcess, 0xDEAD);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.output = decode_output(read_file_bytes(output_path));
    return result;
}

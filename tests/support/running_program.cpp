#include "support/running_program.h"

#include <vector>

#include "support/file_bytes.h"

running_program::running_program(const std::wstring& command_line, DWORD creation_flags)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                               OPEN_EXISTING, 0, nullptr);
    HANDLE output = CreateFileW(folder_.file(L"output.txt").c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> line(command_line.begin(), command_line.end());
    line.push_back(L'\0');
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, creation_flags, nullptr,
                       nullptr, &startup, &process)) {
        CloseHandle(process.hThread);
        process_ = process.hProcess;
        id_ = process.dwProcessId;
    }
    CloseHandle(input);
    CloseHandle(output);
}

running_program::~running_program()
{
    if (!process_)
        return;
    if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 0xDEAD);
        WaitForSingleObject(process_, 10000);
    }
    CloseHandle(process_);
}

bool running_program::wait(DWORD timeout_ms)
{
    return process_ && WaitForSingleObject(process_, timeout_ms) == WAIT_OBJECT_0;
}

DWORD running_program::exit_code() const
{
    DWORD code = STILL_ACTIVE;
    if (process_)
        GetExitCodeProcess(process_, &code);
    return code;
}

std::wstring running_program::output() const
{
    return decode_output(read_file_bytes(folder_.file(L"output.txt")));
}

HWND running_program::find_window(const wchar_t* class_name, const wchar_t* title, DWORD timeout_ms) const
{
    for (DWORD waited = 0;; waited += 50) {
        HWND window = nullptr;
        while ((window = FindWindowExW(nullptr, window, class_name, title)) != nullptr) {
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == id_ && IsWindowVisible(window))
                return window;
        }
        if (waited >= timeout_ms || WaitForSingleObject(process_, 50) != WAIT_TIMEOUT)
            return nullptr;
    }
}

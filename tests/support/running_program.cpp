#include "support/running_program.h"

#include "support/file_bytes.h"

running_program::running_program(const std::wstring& command_line, DWORD creation_flags)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                               OPEN_EXISTING, 0, nullptr);
    HANDLE output = CreateFileW(folder_.file(L"output.txt").c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    process_ = start_process(command_line, creation_flags, input, output);
    CloseHandle(input);
    CloseHandle(output);
}

running_program::~running_program()
{
    if (process_.started() && WaitForSingleObject(process_.handle(), 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_.handle(), 0xDEAD);
        WaitForSingleObject(process_.handle(), 10000);
    }
}

bool running_program::wait(DWORD timeout_ms)
{
    return process_.started() && WaitForSingleObject(process_.handle(), timeout_ms) == WAIT_OBJECT_0;
}

DWORD running_program::exit_code() const
{
    DWORD code = STILL_ACTIVE;
    if (process_.started())
        GetExitCodeProcess(process_.handle(), &code);
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
            if (owner == process_.id() && IsWindowVisible(window))
                return window;
        }
        if (waited >= timeout_ms || WaitForSingleObject(process_.handle(), 50) != WAIT_TIMEOUT)
            return nullptr;
    }
}

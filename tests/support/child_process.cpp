#include "support/child_process.h"

#include <cwchar>
#include <vector>

#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace {

unsigned long long to_ms(const FILETIME& time)
{
    return ((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10000;
}

}  // namespace

started_process::~started_process()
{
    if (process_)
        CloseHandle(process_);
}

started_process::started_process(started_process&& other) noexcept : process_(other.process_), id_(other.id_)
{
    other.process_ = nullptr;
    other.id_ = 0;
}

started_process& started_process::operator=(started_process&& other) noexcept
{
    if (this != &other) {
        if (process_)
            CloseHandle(process_);
        process_ = other.process_;
        id_ = other.id_;
        other.process_ = nullptr;
        other.id_ = 0;
    }
    return *this;
}

started_process start_process(const std::wstring& command_line, DWORD flags, HANDLE input, HANDLE output,
                              bool std_handles)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    // Wine's runtime cannot reopen a stream that started without a
    // descriptor, so a program normally gets all three.
    startup.dwFlags = std_handles ? STARTF_USESTDHANDLES : 0;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION info{};
    std::vector<wchar_t> line(command_line.begin(), command_line.end());
    line.push_back(L'\0');
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &info))
        return {};
    CloseHandle(info.hThread);
    return {info.hProcess, info.dwProcessId};
}

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

child_result run_program(const std::wstring& command_line, const launch_options& options)
{
    child_result result;
    temp_dir folder;
    std::wstring output_path = folder.file(L"output.txt");
    std::wstring probe_path = folder.file(L"probe.txt");

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                             OPEN_EXISTING, 0, nullptr);
    HANDLE output = CreateFileW(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE input = options.input ? options.input : nul;

    result.start_tick = GetTickCount64();
    started_process program = start_process(command_line, (options.detached ? DETACHED_PROCESS : 0) | options.more_flags,
                                            input, output, !options.no_std_handles);
    result.started = program.started();

    if (program.started() && !options.probe.empty()) {
        HANDLE probe_output = CreateFileW(probe_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                          &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        std::wstring probe_line = quote_argument(sibling_program(L"console_probe.exe")) + L" " +
                                  std::to_wstring(program.id());
        for (const std::wstring& command : options.probe)
            probe_line += L" " + quote_argument(command);
        started_process probe = start_process(probe_line, DETACHED_PROCESS, nul, probe_output);
        CloseHandle(probe_output);
        if (probe.started()) {
            if (WaitForSingleObject(probe.handle(), options.timeout_ms) != WAIT_OBJECT_0)
                TerminateProcess(probe.handle(), 0xDEAD);
            WaitForSingleObject(probe.handle(), INFINITE);
        }
        result.probe = decode_output(read_file_bytes(probe_path));
        if (!probe.started())
            result.probe = L"error=the probe did not start";
    }
    CloseHandle(nul);
    CloseHandle(output);
    if (!program.started())
        return result;

    result.finished = WaitForSingleObject(program.handle(), options.timeout_ms) == WAIT_OBJECT_0;
    result.end_tick = GetTickCount64();
    if (!result.finished)
        TerminateProcess(program.handle(), 0xDEAD);
    WaitForSingleObject(program.handle(), INFINITE);
    GetExitCodeProcess(program.handle(), &result.exit_code);
    FILETIME created{}, exited{}, kernel{}, user{};
    if (GetProcessTimes(program.handle(), &created, &exited, &kernel, &user))
        result.cpu_ms = to_ms(kernel) + to_ms(user);
    result.output = decode_output(read_file_bytes(output_path));
    return result;
}

child_result run_detached(const std::wstring& command_line, unsigned timeout_ms)
{
    launch_options options;
    options.timeout_ms = timeout_ms;
    return run_program(command_line, options);
}

std::wstring probe_value(const std::wstring& probe, const std::wstring& name)
{
    std::wstring key = name + L"=";
    std::size_t at = probe.rfind(L"screen:\n");
    std::wstring head = probe.substr(0, at);
    std::wstring value;
    std::size_t start = 0;
    while (start < head.size()) {
        std::size_t end = head.find(L'\n', start);
        if (end == std::wstring::npos)
            end = head.size();
        if (head.compare(start, key.size(), key) == 0)
            value = head.substr(start + key.size(), end - start - key.size());
        start = end + 1;
    }
    return value;
}

unsigned long long probe_tick(const std::wstring& probe, const std::wstring& name)
{
    std::wstring value = probe_value(probe, name);
    return value.empty() ? 0 : std::wcstoull(value.c_str(), nullptr, 10);
}

std::wstring probe_screen(const std::wstring& probe)
{
    const std::wstring marker = L"screen:\n";
    std::size_t at = probe.find(marker);
    return at == std::wstring::npos ? L"" : probe.substr(at + marker.size());
}

// Times whole runs of "projport.exe 2019 <project> -s" against runs of a GUI
// program that does nothing, both started the same way from a console of
// this program's own (as from a command prompt), and prints the medians,
// their ratio, and the peak memory of each. Consoles need an X server under
// Wine: run it under xvfb-run.
//
// Usage: process_bench [runs] [project-bytes]

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct run_figures {
    double milliseconds = 0;
    SIZE_T peak_working_set = 0;
    DWORD exit_code = 0;
};

std::wstring beside_me(const wchar_t* name)
{
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

bool run(const std::wstring& command_line, run_figures& figures)
{
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> line(command_line.begin(), command_line.end());
    line.push_back(L'\0');

    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    if (started)
        WaitForSingleObject(process.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    CloseHandle(nul);
    if (!started)
        return false;

    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory))
        figures.peak_working_set = memory.PeakWorkingSetSize;
    GetExitCodeProcess(process.hProcess, &figures.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    figures.milliseconds = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                           static_cast<double>(frequency.QuadPart);
    return true;
}

std::string typical_project(std::size_t bytes)
{
    std::string text =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\" "
        "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n";
    for (int group = 0; text.size() + 400 < bytes; ++group) {
        text += "  <PropertyGroup Condition=\"'$(Configuration)|$(Platform)'=='Debug" + std::to_string(group) +
                "|x64'\" Label=\"Configuration\">\r\n    <PlatformToolset>v140</PlatformToolset>\r\n  </PropertyGroup>\r\n";
        for (int item = 0; item < 8 && text.size() + 400 < bytes; ++item)
            text += "  <ItemGroup>\r\n    <ClCompile Include=\"src\\module" + std::to_string(group) + "_" +
                    std::to_string(item) + ".cpp\" />\r\n  </ItemGroup>\r\n";
    }
    return text + "</Project>\r\n";
}

bool write_project(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    int runs = argc > 1 ? _wtoi(argv[1]) : 30;
    std::size_t project_bytes = argc > 2 ? static_cast<std::size_t>(_wtoi(argv[2])) : 20000;
    if (runs < 1)
        runs = 1;
    // The console that -s reports into, as a command prompt's would be.
    FreeConsole();
    AllocConsole();

    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    std::wstring project = std::wstring(temp) + L"projport-bench-" + std::to_wstring(GetCurrentProcessId()) +
                           L".vcxproj";
    std::string bytes = typical_project(project_bytes);
    std::wstring convert_command = L"\"" + beside_me(L"projport.exe") + L"\" 2019 \"" + project + L"\" -s";
    std::wstring idle_command = L"\"" + beside_me(L"idle_gui.exe") + L"\"";

    std::vector<double> convert_times, idle_times;
    SIZE_T convert_peak = 0, idle_peak = 0;
    // Alternate the two so that drift in the machine affects both alike.
    for (int i = 0; i < runs; ++i) {
        run_figures convert{}, idle{};
        if (!write_project(project, bytes) || !run(convert_command, convert) || !run(idle_command, idle)) {
            std::fwprintf(stderr, L"run %d failed\n", i);
            DeleteFileW(project.c_str());
            return 1;
        }
        convert_times.push_back(convert.milliseconds);
        idle_times.push_back(idle.milliseconds);
        convert_peak = std::max(convert_peak, convert.peak_working_set);
        idle_peak = std::max(idle_peak, idle.peak_working_set);
    }
    DeleteFileW(project.c_str());

    double convert_median = median(convert_times), idle_median = median(idle_times);
    std::wprintf(L"runs: %d, project: %zu bytes\n", runs, bytes.size());
    std::wprintf(L"projport 2019 -s: median %.2f ms, peak working set %zu KiB\n", convert_median,
                 convert_peak / 1024);
    std::wprintf(L"idle GUI program: median %.2f ms, peak working set %zu KiB\n", idle_median, idle_peak / 1024);
    std::wprintf(L"ratio of medians: %.3f\n", convert_median / idle_median);
    return 0;
}

#pragma once
// Starts a program the way a user's shell would and collects what it printed:
// on its standard output, and, through a probe, on the console it opened.

#include <windows.h>

#include <string>
#include <vector>

struct child_result {
    bool started = false;
    bool finished = false;      // ended within the time limit
    unsigned long exit_code = 0;
    std::wstring output;        // standard output and error, carriage returns removed
    unsigned long long start_tick = 0;  // GetTickCount64 just before the start
    unsigned long long end_tick = 0;    // ... and once the end was seen
    unsigned long long cpu_ms = 0;      // user and kernel time of the whole run
    std::wstring probe;         // the report of console_probe, when one ran
};

struct launch_options {
    // DETACHED_PROCESS: no console at start, as from Explorer. Without it the
    // program shares the console of the caller (under Wine even a GUI
    // program does).
    bool detached = true;
    // Standard input to hand over (inheritable); null: NUL.
    HANDLE input = nullptr;
    // Start with no standard handles at all (no STARTF_USESTDHANDLES): the
    // runtime's streams then have no descriptor, and under Wine they cannot
    // be reopened, so nothing printed is seen.
    bool no_std_handles = false;
    // More process creation flags, e.g. CREATE_NO_WINDOW: a console program
    // then gets a console without a window.
    DWORD more_flags = 0;
    // Commands of console_probe (see console_probe.cpp), carried out on the
    // console of the program while it runs; none: no probe.
    std::vector<std::wstring> probe;
    unsigned timeout_ms = 30000;
};

// A process a test started: its handle (with every access) and its id. The
// handle is closed when this goes; the process is not ended.
class started_process {
public:
    started_process() = default;
    started_process(HANDLE process, DWORD id) noexcept : process_(process), id_(id) {}
    ~started_process();
    started_process(started_process&& other) noexcept;
    started_process& operator=(started_process&& other) noexcept;
    started_process(const started_process&) = delete;
    started_process& operator=(const started_process&) = delete;

    bool started() const noexcept { return process_ != nullptr; }
    HANDLE handle() const noexcept { return process_; }
    DWORD id() const noexcept { return id_; }

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// The one way the tests start a program: `command_line` with the creation
// `flags` (DETACHED_PROCESS, CREATE_NO_WINDOW...), handles inherited, and
// standard input on `input`, output and error on `output` (both
// inheritable); with `std_handles` false, no standard handles at all (no
// STARTF_USESTDHANDLES). Not started() when CreateProcessW fails.
started_process start_process(const std::wstring& command_line, DWORD flags, HANDLE input, HANDLE output,
                              bool std_handles = true);

// Path of a program that lies beside the running test program.
std::wstring sibling_program(const wchar_t* name);

// Runs `command_line` with standard output and error in a file (and standard
// input on NUL unless given).
child_result run_program(const std::wstring& command_line, const launch_options& options);

// Runs `command_line` detached from any console (as Explorer starts programs),
// with standard input on NUL and standard output and error in a file.
child_result run_detached(const std::wstring& command_line, unsigned timeout_ms = 30000);

// Quotes one argument for a command line.
std::wstring quote_argument(const std::wstring& argument);

// The value of the last "name=value" line of a probe's report ("" when absent), a
// tick as a number (0 when absent), and the screen text at its end.
std::wstring probe_value(const std::wstring& probe, const std::wstring& name);
unsigned long long probe_tick(const std::wstring& probe, const std::wstring& name);
std::wstring probe_screen(const std::wstring& probe);

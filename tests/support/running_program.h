#pragma once
// A program under test that keeps running while the test drives it (its
// message box, its console), started the way Explorer starts programs.

#include <windows.h>

#include <string>

#include "support/child_process.h"
#include "support/temp_dir.h"

class running_program {
public:
    // Starts `command_line` with standard input on NUL and standard output and
    // error in a file; by default detached from any console (as Explorer
    // starts programs), with 0 sharing the caller's (as from a command prompt).
    explicit running_program(const std::wstring& command_line, DWORD creation_flags = DETACHED_PROCESS);
    // Ends the program if it is still running.
    ~running_program();
    running_program(const running_program&) = delete;
    running_program& operator=(const running_program&) = delete;

    bool started() const { return process_.started(); }
    DWORD id() const { return process_.id(); }
    // The process handle, with every access; owned by this object.
    HANDLE process() const { return process_.handle(); }
    // Whether it ended within the time limit.
    bool wait(DWORD timeout_ms);
    // The exit code once it has ended, else STILL_ACTIVE.
    DWORD exit_code() const;
    // A visible top-level window of the program with this class and title
    // (FindWindowW's), once it is there; null when the program ends first or
    // after the time limit.
    HWND find_window(const wchar_t* class_name, const wchar_t* title, DWORD timeout_ms = 15000) const;
    // What it wrote to its standard output and error, carriage returns removed.
    std::wstring output() const;

private:
    temp_dir folder_;
    started_process process_;
};

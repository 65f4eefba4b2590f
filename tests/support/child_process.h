#pragma once
// Starts a program the way a user's shell would and collects what it printed.

#include <string>

struct child_result {
    bool started = false;
    bool finished = false;      // ended within the time limit
    unsigned long exit_code = 0;
    std::wstring output;        // standard output and error, carriage returns removed
};

// Path of a program that lies beside the running test program.
std::wstring sibling_program(const wchar_t* name);

// Runs `command_line` detached from any console (as Explorer starts programs),
// with standard input on NUL and standard output and error in a file.
child_result run_detached(const std::wstring& command_line, unsigned timeout_ms = 30000);

// Quotes one argument for a command line.
std::wstring quote_argument(const std::wstring& argument);

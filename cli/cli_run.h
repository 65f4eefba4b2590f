#pragma once
// One run of projport-cli over the paths of its command line: every project
// they name converted (or checked) once, each reported as projport.exe
// reports it, then a summary line. Returns the exit code.

#include "cli/cli_command_line.h"

// Exit codes: nothing failed; --check found a project to retarget; something
// failed (a project, a solution, a folder) or the command line was wrong.
enum cli_exit_code : int {
    cli_exit_done = 0,
    cli_exit_would_retarget = 1,
    cli_exit_failed = 2,
};

int run_cli(const cli_request& request);

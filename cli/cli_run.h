#pragma once
// One run of projport-cli over the paths of its command line: every project
// they name converted (or checked) once and reported, each solution they
// name given its header (solution_run.h), then the summary lines. Returns
// the exit code.

#include "cli/cli_command_line.h"

// Exit codes: nothing failed; --check found a project or a solution's header
// to retarget; something failed (a project, a solution, a folder, standard
// output) or the command line was wrong. A run ended by signal N (held while
// a project or a solution was being written) exits with
// cli_exit_signal_base + N.
enum cli_exit_code : int {
    cli_exit_done = 0,
    cli_exit_would_retarget = 1,
    cli_exit_failed = 2,
    cli_exit_signal_base = 128,
};

int run_cli(const cli_request& request);

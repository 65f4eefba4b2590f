#include "cli/cli_main.h"

#include <string>

#include "cli/cli_command_line.h"
#include "cli/cli_run.h"
#include "cli/printable_output.h"
#include "cli/project_io.h"

#ifndef PROJPORT_VERSION_TEXT
#define PROJPORT_VERSION_TEXT "unknown"
#endif

int cli_main(const std::vector<std::string>& arguments)
{
    cli_request request = parse_cli_arguments(arguments);
    switch (request.action) {
    case cli_action::show_help:
        return cli_write(cli_stream::output, cli_usage_text()) == 0 ? cli_exit_done : cli_exit_failed;
    case cli_action::show_version:
        return cli_write(cli_stream::output, "projport-cli " PROJPORT_VERSION_TEXT "\n") == 0 ? cli_exit_done
                                                                                             : cli_exit_failed;
    case cli_action::usage_error: {
        // The problem names what was typed (an option, a version): data.
        std::string line = "projport-cli: ";
        append_printable(line, request.problem);
        line += "\n";
        // The exit code says it already; standard error may be closed.
        (void)cli_write(cli_stream::error, line);
        (void)cli_write(cli_stream::error, cli_usage_text());
        return cli_exit_failed;
    }
    case cli_action::convert:
        break;
    }
    return run_cli(request);
}

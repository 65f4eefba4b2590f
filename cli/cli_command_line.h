#pragma once
// The command line of projport-cli:
//   projport-cli <2010|2015|2017|2019> [--check] PATH...
//   projport-cli --help | --version
// Pure: no system header.

#include <string>
#include <string_view>
#include <vector>

#include "convert/version_table.h"

enum class cli_action {
    convert,       // retarget (or check) the projects the paths name
    show_help,     // --help: the usage on standard output
    show_version,  // --version
    usage_error,   // the usage on standard error, exit code 2
};

struct cli_request {
    cli_action action = cli_action::usage_error;
    vs_version target = 0;
    bool check = false;
    std::vector<std::string> paths;
    std::string problem;  // with usage_error: what was wrong, for the first line
};

// Reads the arguments after the program's name, as UTF-8. Options may stand
// anywhere; "--" makes every later argument a path. The version must be one
// of the four labels exactly.
cli_request parse_cli_arguments(const std::vector<std::string>& arguments);

// The usage text, ending with a line break.
std::string_view cli_usage_text() noexcept;

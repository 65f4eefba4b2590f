#pragma once
// The command line of projport-cli:
//   projport-cli <2010|2012|2013|2015|2017|2019|2022|2026> [--check] [--sdk VERSION]
//                [--annotate=github|azure] [--as-projport] [--jobs N] PATH...
//   projport-cli --help | --version
// Pure: no system header.

#include <string>
#include <string_view>
#include <vector>

#include "cli/annotations.h"
#include "core/version_table.h"

enum class cli_action {
    convert,       // retarget (or check) the projects the paths name
    show_help,     // --help: the usage on standard output
    show_version,  // --version
    usage_error,   // the usage on standard error, exit code 2
};

struct cli_request {
    cli_action action = cli_action::usage_error;
    cli_version target{};             // row of cli_version_table, valid with convert
    vs_version projport_target = no_vs_version;  // with as_projport: the row of version_table
    bool check = false;
    bool as_projport = false;      // projport.exe's rules and texts (retarget.h)
    annotation_format annotate = annotation_format::none;  // CI annotations after each report
    std::string sdk;               // --sdk VERSION, or empty
    unsigned jobs = 0;             // --jobs N: projects converted at once; 0 for the default
    std::vector<std::string> paths;
    std::string problem;  // with usage_error: what was wrong, for the first line
};

// The most projects --jobs converts at once.
inline constexpr unsigned most_jobs = 256;

// Reads the arguments after the program's name, as UTF-8. Options may stand
// anywhere; "--" makes every later argument a path. The version must be one
// of the eight labels exactly (one of the four of projport.exe with
// --as-projport). An option given twice, or one unknown, is a usage error.
cli_request parse_cli_arguments(const std::vector<std::string>& arguments);

// Whether `version` is a Windows SDK version --sdk takes: "8.1", "10.0", or
// "10.0.N.N" with N one or more digits.
bool is_sdk_version(std::string_view version) noexcept;

// The usage text, ending with a line break.
std::string_view cli_usage_text() noexcept;

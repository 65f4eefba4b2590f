#include "cli/cli_command_line.h"

namespace {

constexpr std::string_view usage =
    "usage: projport-cli <2010|2015|2017|2019> [--check] PATH...\n"
    "       projport-cli --help | --version\n"
    "\n"
    "Retargets Visual Studio C++ projects to Visual Studio 2010, 2015, 2017 or 2019, in place:\n"
    "their <PlatformToolset> elements and ToolsVersion attribute, byte for byte.\n"
    "\n"
    "Each PATH is a project file, a solution (.sln, .slnx: its .vcxproj projects),\n"
    "or a folder (every .vcxproj below it, .git and .vs left out).\n"
    "\n"
    "  --check    change nothing; tell what would be retargeted\n"
    "  --help     show this text\n"
    "  --version  show the program's version\n"
    "\n"
    "Exit code: 0 done, 1 with --check when a project would be retargeted,\n"
    "2 when anything failed or the command line is wrong.\n";

// The row whose label the argument is, exactly; -1 when none.
vs_version version_named(std::string_view argument) noexcept
{
    for (vs_version row = 0; row < static_cast<vs_version>(version_count); ++row) {
        const wchar_t* label = version_table[row].label;
        std::size_t i = 0;
        while (label[i] != L'\0' && i < argument.size() && static_cast<unsigned char>(argument[i]) == label[i])
            ++i;
        if (label[i] == L'\0' && i == argument.size())
            return row;
    }
    return -1;
}

}  // namespace

cli_request parse_cli_arguments(const std::vector<std::string>& arguments)
{
    cli_request request;
    bool have_version = false;
    bool options_ended = false;
    bool help = false;
    bool version = false;
    for (const std::string& argument : arguments) {
        if (!options_ended && argument.size() > 1 && argument[0] == '-') {
            if (argument == "--")
                options_ended = true;
            else if (argument == "--check")
                request.check = true;
            else if (argument == "--help" || argument == "-h")
                help = true;
            else if (argument == "--version")
                version = true;
            else if (request.problem.empty())
                request.problem = "unknown option " + argument;
            continue;
        }
        if (!have_version) {
            vs_version target = version_named(argument);
            if (target < 0 && request.problem.empty())
                request.problem = "unknown version " + argument + " (use 2010, 2015, 2017 or 2019)";
            request.target = target < 0 ? 0 : target;
            have_version = true;
            continue;
        }
        request.paths.push_back(argument);
    }
    if (help) {
        request.action = cli_action::show_help;
        return request;
    }
    if (version) {
        request.action = cli_action::show_version;
        return request;
    }
    if (request.problem.empty() && !have_version)
        request.problem = "no version given";
    if (request.problem.empty() && request.paths.empty())
        request.problem = "no PATH given";
    request.action = request.problem.empty() ? cli_action::convert : cli_action::usage_error;
    return request;
}

std::string_view cli_usage_text() noexcept
{
    return usage;
}

#include "cli/cli_command_line.h"

namespace {

constexpr std::string_view usage_head =
    "usage: projport-cli <2010|2012|2013|2015|2017|2019|2022|2026> [--check] [--sdk VERSION]\n"
    "                    [--annotate=github|azure] [--as-projport] [--jobs N] PATH...\n"
    "       projport-cli --help | --version\n"
    "\n"
    "Retargets Visual Studio C++ projects in place, byte for byte: every <PlatformToolset>\n"
    "element that names another version's toolset, the ToolsVersion of the project\n"
    "element, and with --sdk the Windows SDK version.\n"
    "\n"
    "  version  toolset  xp variant  ToolsVersion\n";

constexpr std::string_view usage_tail =
    "\n"
    "A toolset element this leaves as it stands (another maker's toolset, one with a\n"
    "Condition, an xp variant the version has none of) is listed with its line.\n"
    "\n"
    "Each PATH is a project file, a solution (.sln, .slnx: its .vcxproj projects),\n"
    "or a folder (every .vcxproj below it, .git and .vs left out).\n"
    "\n"
    "  --check            change nothing; tell what would be retargeted\n"
    "  --sdk VERSION      set every <WindowsTargetPlatformVersion> to VERSION too:\n"
    "                     8.1, 10.0 or 10.0.N.N (none is added where a project has none)\n"
    "  --annotate=github  add GitHub Actions annotations (workflow commands) to the report\n"
    "  --annotate=azure   add Azure Pipelines annotations (logging commands) to the report\n"
    "  --as-projport      projport.exe's conversion, rules and lines: 2010, 2015, 2017\n"
    "                     or 2019 only, without --sdk\n"
    "  -j, --jobs N       convert up to N projects at once (1 to 256; the default is\n"
    "                     the number of processors, at most 8); the report is the same\n"
    "  --help             show this text\n"
    "  --version          show the program's version\n"
    "  --                 every later argument is a PATH\n"
    "\n"
    "Exit code: 0 done, 1 with --check when a project would be retargeted,\n"
    "2 when anything failed or the command line is wrong, 128 + N when signal N\n"
    "ended the run.\n";

constexpr std::string_view sdk_option = "--sdk";
constexpr std::string_view annotate_option = "--annotate=";
constexpr std::string_view jobs_option = "--jobs";

std::string known_labels()
{
    std::string labels;
    for (std::size_t row = 0; row < cli_version_count; ++row) {
        if (row != 0)
            labels += row + 1 == cli_version_count ? " or " : ", ";
        labels += cli_version_table[row].label;
    }
    return labels;
}

std::string padded(std::string_view text, std::size_t width)
{
    std::string cell(text.empty() ? "-" : text);
    if (cell.size() < width)
        cell.append(width - cell.size(), ' ');
    return cell;
}

std::string usage_text()
{
    std::string text(usage_head);
    for (const cli_version_row& row : cli_version_table) {
        text += "  " + padded(row.label, 9) + padded(row.toolset, 9) + padded(row.xp_toolset, 12);
        text += row.tools_version.empty() ? std::string("-") : std::string(row.tools_version);
        if (row.inserts_tools_version)
            text += ", inserted when absent";
        text += "\n";
    }
    text += usage_tail;
    return text;
}

bool all_digits(std::string_view text) noexcept
{
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// The N of --jobs N: 1 to most_jobs, in decimal digits only; 0 for anything
// else.
unsigned jobs_number(std::string_view text) noexcept
{
    if (!all_digits(text) || text.size() > 3)
        return 0;
    unsigned number = 0;
    for (char c : text)
        number = number * 10 + static_cast<unsigned>(c - '0');
    return number <= most_jobs ? number : 0;
}

// Keeps the first problem: it names what the user typed first.
void note_problem(cli_request& request, std::string problem)
{
    if (request.problem.empty())
        request.problem = std::move(problem);
}

}  // namespace

bool is_sdk_version(std::string_view version) noexcept
{
    if (version == "8.1" || version == "10.0")
        return true;
    constexpr std::string_view prefix = "10.0.";
    if (version.substr(0, prefix.size()) != prefix)
        return false;
    std::string_view rest = version.substr(prefix.size());
    std::size_t dot = rest.find('.');
    return dot != std::string_view::npos && all_digits(rest.substr(0, dot)) && all_digits(rest.substr(dot + 1));
}

cli_request parse_cli_arguments(const std::vector<std::string>& arguments)
{
    cli_request request;
    bool have_version = false;
    bool options_ended = false;
    bool help = false;
    bool version = false;
    bool have_sdk = false;
    bool have_annotate = false;
    bool have_jobs = false;
    auto once = [&request](bool& seen, std::string_view name) {
        if (seen)
            note_problem(request, "option " + std::string(name) + " given twice");
        seen = true;
    };
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        // The value of an option named by the first `name_size` bytes of the
        // argument: after its "=", or the next argument.
        auto value_of = [&](std::size_t name_size, std::string& value) {
            if (argument.size() > name_size) {
                value = argument.substr(name_size + 1);
                return true;
            }
            if (i + 1 >= arguments.size())
                return false;
            value = arguments[++i];
            return true;
        };
        if (!options_ended && argument.size() > 1 && argument[0] == '-') {
            std::string_view option = argument;
            if (option == "--") {
                options_ended = true;
            } else if (option == "--check") {
                once(request.check, option);
            } else if (option == "--as-projport") {
                once(request.as_projport, option);
            } else if (option == "--help" || option == "-h") {
                help = true;
            } else if (option == "--version") {
                version = true;
            } else if (option == sdk_option || option.substr(0, sdk_option.size() + 1) == "--sdk=") {
                once(have_sdk, sdk_option);
                std::string value;
                if (!value_of(sdk_option.size(), value)) {
                    note_problem(request, "--sdk needs a VERSION (8.1, 10.0 or 10.0.N.N)");
                    continue;
                }
                if (!is_sdk_version(value))
                    note_problem(request, "unknown SDK version " + value + " (use 8.1, 10.0 or 10.0.N.N)");
                request.sdk = value;
            } else if (option == jobs_option || option == "-j" || option.substr(0, jobs_option.size() + 1) == "--jobs=") {
                once(have_jobs, jobs_option);
                std::string value;
                if (!value_of(option == "-j" ? option.size() : jobs_option.size(), value)) {
                    note_problem(request, "--jobs needs a number N (1 to 256)");
                    continue;
                }
                request.jobs = jobs_number(value);
                if (request.jobs == 0)
                    note_problem(request, "--jobs takes a number from 1 to 256, not " + value);
            } else if (option.substr(0, annotate_option.size()) == annotate_option || option == "--annotate") {
                once(have_annotate, "--annotate");
                annotation_format format = option.size() > annotate_option.size()
                                               ? find_annotation_format(option.substr(annotate_option.size()))
                                               : annotation_format::none;
                if (format == annotation_format::none)
                    note_problem(request,
                                 "unknown annotations " + argument + " (use --annotate=github or --annotate=azure)");
                request.annotate = format;
            } else {
                note_problem(request, "unknown option " + argument);
            }
            continue;
        }
        if (!have_version) {
            cli_version target = find_cli_version(argument);
            if (target < 0)
                note_problem(request, "unknown version " + argument + " (use " + known_labels() + ")");
            request.target = target < 0 ? cli_version{} : target;
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
    if (!have_version)
        note_problem(request, "no version given");
    if (request.paths.empty())
        note_problem(request, "no PATH given");
    if (request.as_projport && request.problem.empty()) {
        request.projport_target = cli_version_table[request.target].projport_row;
        if (request.projport_target < 0)
            note_problem(request, "--as-projport retargets to 2010, 2015, 2017 or 2019 only, not " +
                                      std::string(cli_version_table[request.target].label));
        if (have_sdk)
            note_problem(request, "--as-projport does not take --sdk");
    }
    request.action = request.problem.empty() ? cli_action::convert : cli_action::usage_error;
    return request;
}

std::string_view cli_usage_text() noexcept
{
    // Built once from the table, so that the help never disagrees with it.
    static const std::string text = usage_text();
    return text;
}

#include "cli/cli_errors.h"

namespace {

constexpr const char* not_regular_file_text = "not a regular file";
constexpr const char* changed_meanwhile_text = "changed while being converted; left as it now is";
constexpr const char* control_in_path_text = "the solution names a path with a control character";
constexpr const char* not_a_solution_text = "not a solution file, or in an encoding projport-cli cannot read";
constexpr const char* link_outside_text = "link leads outside the folder";
constexpr const char* link_not_project_text = "link leads to a file that is not a project";

}  // namespace

const char* cli_error_text(cli_error code) noexcept
{
    switch (code) {
    case error_not_regular_file:
        return not_regular_file_text;
    case error_changed_meanwhile:
        return changed_meanwhile_text;
    case error_control_in_path:
        return control_in_path_text;
    case error_not_a_solution:
        return not_a_solution_text;
    case error_link_outside:
        return link_outside_text;
    case error_link_not_project:
        return link_not_project_text;
    default:
        return nullptr;
    }
}

#pragma once
// The files a project's settings may come from, as far as the rules need
// them (cli_rules.h, cli_imported): the property sheets the project imports
// itself, one level deep, and the nearest Directory.Build.props. They are
// read, never written, as hostile as the project: regular files only, and
// no more than read_small_file reads.

#include <string>
#include <string_view>

#include "core/cli_rules.h"

struct project_sheets {
    cli_imported imported;
    std::string toolset_sheet;  // the first sheet with a toolset element, or empty
    std::string sdk_file;       // the first sheet, or else the Directory.Build.props,
                                // with a <WindowsTargetPlatformVersion start tag
};

// Follows the <Import Project="..."> elements of `text` (the project's own,
// up to its first zero byte) to the files they name, for the project at
// `project_path` reached through a solution in `solution_folder` (its folder
// with the trailing separator; empty when not through a solution or where
// the solution stands in the current folder, see `through_solution`). The
// path of an import may use $(MSBuildThisFileDirectory),
// $(MSBuildProjectDirectory), $(ProjectDir) and, through a solution,
// $(SolutionDir); an import with any other property, or a control
// character, is left alone. Files that cannot be read are left alone too.
void read_project_sheets(std::string_view text, const std::string& project_path, bool through_solution,
                         std::string_view solution_folder, const cli_target& target, project_sheets& sheets);

// Looks for the nearest Directory.Build.props, as MSBuild does: in the
// project's folder, then in each folder above it; where it has a
// <WindowsTargetPlatformVersion start tag, sets sheets.imported.sdk and
// sheets.sdk_file.
void read_directory_props(const std::string& project_path, const cli_target& target, project_sheets& sheets);

#pragma once
// Turning the PATH arguments of the command line tool into the project files
// to convert. A PATH is one of:
//   - an existing folder: every file below it whose name ends in ".vcxproj"
//     (in any case), in bytewise order of the full paths; links to folders
//     (reparse points on Windows) are not followed, and folders named ".git"
//     or ".vs" (in any case) are skipped; a link to a file is taken only when
//     the file it leads to is named like a project and lies inside the
//     folder (else it is told as left, error_link_outside or
//     error_link_not_project), and one that leads nowhere is taken for the
//     open to report;
//   - a solution, by its extension ".sln" or ".slnx" (in any case): the
//     projects it lists (see solution_reader.h), relative to its folder; an
//     entry with a control character is a problem, not a project;
//   - anything else: a project file, whether it exists or not (the open of
//     the conversion reports a missing one), wherever it leads; but a link
//     to a file not named like a project is told as left.
// Paths are UTF-8 on every platform. Found projects are joined to the walked
// folder or to the solution's folder part with the platform's separator:
// "dir/x.sln" listing "sub\a.vcxproj" gives "dir/sub/a.vcxproj" on POSIX,
// "dir/sub\a.vcxproj" on Windows, and "x.sln" just "sub/a.vcxproj". A path in
// a solution that is absolute (starts with a separator, or a drive on
// Windows) is not joined.

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/cli_errors.h"

// A solution that could not be opened or read (or is not a solution:
// error_not_a_solution), a solution entry with a control character
// (error_control_in_path), a folder that could not be listed, or a link left
// as it is.
struct discovery_problem {
    std::string path;              // as the solution or the walk has it: not yet printable
    const char* action = nullptr;  // "open" or "read"
    unsigned code = 0;             // errno on POSIX, the Windows error code on Windows, or a cli_error
    bool left = false;             // a link left as it is (error_link_*): told, neither a project nor a failure
};

// The project files already taken, so that a project reached twice (named
// directly and through a solution, or through two solutions) is converted
// once. A file is known by its identity (device and inode on POSIX, volume
// serial number and file index on Windows); one that cannot be identified,
// because it is missing say, by its path as written.
class project_set {
public:
    // True the first time the file `path` names is added, false after. A
    // project replaced by a new file has a new identity: it is added again
    // after the replacement, so that a later way to it still finds it known.
    bool add(const std::string& path);

private:
    std::set<std::pair<std::uint64_t, std::uint64_t>> identified;
    std::set<std::string> unidentified;
};

// Appends to `projects` every project file that `path` names, each once per
// `seen`, in order. Appends to `problems` a solution that cannot be opened or
// read or is not a solution, a rejected solution entry, and a folder that
// cannot be listed; the rest of the walk goes on. A folder is walked, also
// one named like a project or a solution.
// With `solution_folders`, appends beside each project the folder part of
// the solution it was reached through (as a found project is joined to it),
// or nothing for a project not reached through one; `through_solution`
// likewise tells which were.
// Never prints.
void discover_projects(const std::string& path, project_set& seen, std::vector<std::string>& projects,
                       std::vector<discovery_problem>& problems,
                       std::vector<std::string>* solution_folders = nullptr,
                       std::vector<bool>* through_solution = nullptr);

// Where a path written in a solution leads: `written` (backslashes or
// slashes) with the platform's separators, after `folder` (the solution's
// folder part, with its trailing separator, or empty). A part that does not
// exist as written but matches exactly one name in its folder when case is
// ignored (ASCII letters only) takes that name; from the first part that
// neither exists nor matches once, the rest is kept as written.
std::string solution_project_path(std::string_view folder, std::string_view written);

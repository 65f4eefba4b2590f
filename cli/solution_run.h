#pragma once
// The solutions of projport-cli's command line, given the version header of
// the target (solution_header.h): a ".sln" (in any case) named as a PATH,
// never one a folder walk passes, nor a ".slnx", which has no version
// header; each file once; by projport-cli's own rules only, never with
// --as-projport. A solution is replaced as a project is (cli_project: in one
// step, only while it is still the file that was read, never when read-only,
// never when its bytes would stay as they are; --check writes nothing), and
// gets a report entry of its own, printed before the projects it lists, and
// a summary line before the projects' one.

#include <string>
#include <vector>

#include "cli/cli_command_line.h"
#include "cli/project_discovery.h"
#include "core/project_file.h"

enum class solution_outcome {
    retargeted,     // or, with --check, would be
    already_named,  // the header names the target already
    left_utf16,     // UTF-16 text, whose header is left as it stands
    failed,         // could not be opened, read or replaced
};

struct solution_result {
    solution_outcome outcome = solution_outcome::failed;
    file_error output_error = 0;  // 0, or the error of writing the report
};

struct solution_counts {
    unsigned solutions = 0;
    unsigned retargeted = 0;
    unsigned already_named = 0;
    unsigned left_utf16 = 0;
    unsigned failed = 0;
};

// Whether the run gives the PATH `path` the target's header: a solution as
// above whose reading for its projects did not fail (`problems`, what
// discover_projects told of `path`), not known to `seen` yet (the same file
// under another name is the same solution). Call it for every PATH before
// any file is replaced: a replaced solution is a new file. False with
// --as-projport.
bool takes_solution_header(const cli_request& request, const std::string& path,
                           const std::vector<discovery_problem>& problems, project_set& seen);

// Retargets (or checks) the header of the solution at `path` and prints its
// entry, with its annotations, under a rewrite_hold while the solution is
// replaced and its entry printed.
solution_result retarget_solution(const cli_request& request, const std::string& path);

void count_solution(solution_counts& counts, const solution_result& result) noexcept;

// Prints the solutions' summary line; nothing when the run gave no solution
// a header. Returns 0 or the error of the write.
[[nodiscard]] file_error print_solution_summary(const cli_request& request, const solution_counts& counts);

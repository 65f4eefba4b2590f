#pragma once
// A projport-cli report read back: its entries, each from a heading
// ("[path]" on a line, then "Configuring project for ..." or "Configuring
// solution for ..."), and the summary lines that end it; and whether one
// report is what another would have been had the run stopped after some of
// its projects.

#include <cstddef>
#include <string>
#include <vector>

struct report_parts {
    std::string body;                        // all before the summary
    std::string summary;                     // the summary lines, solutions' and projects'
    std::vector<std::size_t> entry_starts;   // where each heading starts in `body`
    std::vector<std::string> entry_paths;    // the path of each heading
};

report_parts parts_of(const std::string& report);

// The projects' summary line that the project entries of `body` make, read
// from their verdicts, failures and listed elements; with `check`, in the
// words of --check. For bodies of project entries alone (no solution, no
// PATH that failed outside an entry).
std::string summary_of_entries(const std::string& body, bool check);

// "" when `part` is the report `whole` would have been had the run stopped
// after its first few projects: the first entries of `whole`, none cut and
// none missing in between, then a summary of exactly those (for reports of
// project entries alone). Else what is wrong.
std::string stopped_report_problem(const std::string& whole, const std::string& part, bool check);

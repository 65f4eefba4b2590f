#pragma once
// The version header of a line-based Visual Studio solution (.sln) for a
// target of projport-cli's table: what Visual Studio's Version Selector
// reads to pick the Visual Studio that opens a double-clicked solution, and
// what Visual Studio itself would write there on saving it:
//   - the format line "Microsoft Visual Studio Solution File, Format Version
//     11.00" (2010) or "12.00" (every later version), found as the solution
//     reader finds it: the first line that is not blank (spaces, tabs, CR),
//     after spaces and tabs;
//   - the comment line directly after it ("# Visual Studio Version 17"),
//     replaced whole, or inserted after the format line where the line
//     after it does not start with "# ";
//   - for 2013 and later the first "VisualStudioVersion = " line of the
//     header (the lines up to the first that starts, after spaces and tabs,
//     with "Project" or "Global"): left when its major version is the
//     target's, else its value, to the end of the line, becomes "N.0";
//     inserted after the comment line where there is none, followed by
//     "MinimumVisualStudioVersion = 10.0.40219.1" where that line is missing
//     too. 2010 and 2012 leave these lines as they stand;
//   - the UTF-8 byte order mark, inserted where it is missing.
// Everything else keeps its bytes: blank lines, the line ends, the projects
// and the Global section. An inserted line takes the line end of the line it
// follows; the last line of a file that ends without one lends it that of
// the nearest line above that has one (CR LF where none has), and the file
// still ends without one. A zero byte is a byte like any other, as for the
// solution reader. Pure computation, no system header, no allocation:
// linear in the input.

#include <cstddef>
#include <string_view>

#include "core/retarget.h"
#include "core/version_table.h"

// One edit of the input: input[at, at + length) gives way to `text`.
struct solution_edit {
    std::size_t at = 0;
    std::size_t length = 0;  // 0 for an insertion
    std::string_view text;   // what stands there instead; an inserted line
                             // comes with its line end in front of it, and
                             // goes in where the line it follows ends
    change_kind kind = change_kind::replaced;
    std::string_view reported;  // what is printed: the line as it stood,
                                // without its line end (a view of the input),
                                // the inserted line, or "UTF-8 byte order mark"
};

struct solution_header {
    bool found = false;  // the text is a solution: its format line was found
    bool utf16 = false;  // a UTF-16 byte order mark: nothing is looked at
    std::size_t count = 0;  // edits told
};

// Tells `edit(context, e)` of every edit that gives `input` the header of
// `target`, in file order: offsets never decrease and edits never overlap;
// insertions at one offset are told in the order their lines stand. Nothing
// is told for a UTF-16 text, a text without a format line, or a `target`
// that is not a row of cli_version_table.
solution_header find_solution_header_edits(std::string_view input, cli_version target,
                                           void (*edit)(void* context, const solution_edit& e),
                                           void* context) noexcept;

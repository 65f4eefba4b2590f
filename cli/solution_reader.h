#pragma once
// Reading the projects out of a Visual Studio solution. Both readers are pure
// functions over the file's bytes (no system header), linear in them, and
// give the paths as the solution writes them, in UTF-8 and in file order:
// relative to the solution's folder, usually with backslashes. Only paths
// that end in ".vcxproj" (compared case-insensitively) are taken; solution
// folders and other kinds of project are left out. A file that is not a
// solution of its kind, or in an encoding the readers do not know, fails as a
// whole: never "no projects".

#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_errors.h"

// What a solution lists.
struct solution_listing {
    std::vector<std::string> paths;     // the projects, as written
    // Project entries holding a zero byte or another control character,
    // which no file of a project is named with: left out of `paths`, and
    // told as they are written.
    std::vector<std::string> rejected;
};

// Whether `path` ends in ".vcxproj", in any case.
bool has_project_extension(std::string_view path) noexcept;

// Whether `text` holds a byte below 0x20 or the byte 0x7F.
bool has_control_character(std::string_view text) noexcept;

// The text of a solution file in UTF-8: a UTF-8 byte order mark is dropped,
// UTF-16 LE or BE with its byte order mark is decoded; anything else is taken
// as UTF-8. False for UTF-16 of an odd number of bytes.
[[nodiscard]] bool solution_text(std::string_view bytes, std::string& text);

// The projects of a line-based `.sln`: the second quoted field of each line
// `Project("{type}") = "Name", "path", "{guid}"`. The text (see
// solution_text) must start with the line "Microsoft Visual Studio Solution
// File, Format Version ...", after blank lines only; lines end in CRLF or LF.
// Returns 0, or error_not_a_solution with `listing` empty.
[[nodiscard]] cli_error sln_project_paths(std::string_view bytes, solution_listing& listing);

// The projects of an XML `.slnx`: the Path attribute of each Project element,
// at any depth. The file must be one well-formed element named Solution
// (start and end tags matched, comments, processing instructions, CDATA
// sections and a DOCTYPE closed); attribute values have their entity and
// character references replaced. The text is read as solution_text reads it.
// Returns 0, or error_not_a_solution with `listing` empty.
[[nodiscard]] cli_error slnx_project_paths(std::string_view bytes, solution_listing& listing);

// An XML attribute value as XML reads it: line ends, tabs and line feeds
// become spaces, references (the five named ones, "&#N;" and "&#xN;") are
// replaced; one that is not well formed is kept as written. Linear.
std::string xml_attribute_value(std::string_view raw);

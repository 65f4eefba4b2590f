#pragma once
// Reading the projects out of a Visual Studio solution. Both readers are pure
// functions over the file's bytes (no system header) and return the paths as
// the solution writes them, in UTF-8 and in file order: relative to the
// solution's folder, usually with backslashes. Only paths that end in
// ".vcxproj" (compared case-insensitively) are returned; solution folders and
// other kinds of project are left out. A malformed part is skipped: the
// readers never fail, at worst they find fewer projects.

#include <string>
#include <string_view>
#include <vector>

// Whether `path` ends in ".vcxproj", in any case.
bool has_project_extension(std::string_view path) noexcept;

// The projects of a line-based `.sln`: the second quoted field of each line
// `Project("{type}") = "Name", "path", "{guid}"`. The text may start with a
// UTF-8 byte order mark, or be UTF-16LE with its byte order mark; lines end
// in CRLF or LF.
std::vector<std::string> sln_project_paths(std::string_view bytes);

// The projects of an XML `.slnx`: the Path attribute of each Project element,
// at any depth. Attribute values have their entity and character references
// replaced; comments, processing instructions, CDATA sections and a DOCTYPE
// are skipped. The text is UTF-8 and may start with a byte order mark.
std::vector<std::string> slnx_project_paths(std::string_view bytes);

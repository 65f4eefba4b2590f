#pragma once
// The lines projport-cli prints about where a project's toolset or Windows
// SDK comes from, when not from the project itself. Each is the text before
// a path or a value, then the rest of the line.

#include <string_view>

// "toolset set in <sheet>": the project has no toolset element, an
// imported sheet has.
inline constexpr std::string_view toolset_set_in = "toolset set in ";

// "Windows SDK set in <file>": no SDK element inserted, an imported sheet or
// Directory.Build.props sets it.
inline constexpr std::string_view sdk_set_in = "Windows SDK set in ";

// "Windows SDK kept: minimum version <minimum> is above <VERSION>".
inline constexpr std::string_view sdk_kept_open = "Windows SDK kept: minimum version ";
inline constexpr std::string_view sdk_kept_above = " is above ";

inline constexpr std::string_view text_line_end = "\n";

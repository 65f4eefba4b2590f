#pragma once
// The four Visual Studio versions a project can be retargeted to, and the
// texts that identify each of them in a project file. Pure data: no Windows
// header, so it builds and is tested on any host.

#include <cstddef>
#include <string_view>

using vs_version = int;  // row index into version_table: 0 = 2010 .. 3 = 2019

struct version_row {
    const wchar_t* label;           // "2010": matched against the command line, printed in messages
    std::string_view toolset;       // the whole <PlatformToolset> element
    std::string_view tools_version; // the ToolsVersion attribute of the project element
};

inline constexpr std::size_t version_count = 4;

extern const version_row version_table[version_count];

// The start of the project element; a missing ToolsVersion goes right behind it.
inline constexpr std::string_view project_anchor = "<Project DefaultTargets=\"Build\"";

// A project without a ToolsVersion gets one inserted for every target but 2019.
constexpr bool inserts_tools_version(vs_version v) noexcept
{
    return v >= 0 && v < 3;
}

constexpr bool is_valid_version(vs_version v) noexcept
{
    return static_cast<unsigned>(v) < version_count;
}

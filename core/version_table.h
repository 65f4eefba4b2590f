#pragma once
// The Visual Studio versions a project can be retargeted to, and the texts
// that identify each of them in a project file: the four of projport.exe and
// the eight of projport-cli's own rules, side by side. Pure data: no Windows
// header, so it builds and is tested on any host.

#include <cstddef>
#include <string_view>

// A row of version_table: 0 = 2010 .. 3 = 2019, or -1 for none. A type of
// its own, so that a row of the other table cannot be passed for one; it
// still reads as its number wherever one is printed or compared.
enum vs_version : int {};

struct version_row {
    const wchar_t* label;           // "2010": matched against the command line, printed in messages
    std::string_view toolset;       // the whole <PlatformToolset> element
    std::string_view tools_version; // the ToolsVersion attribute of the project element
    bool inserts_tools_version;     // a project without a ToolsVersion gets this one
};

inline constexpr std::size_t version_count = 4;

extern const version_row version_table[version_count];

// The start of the project element; a missing ToolsVersion goes right behind it.
inline constexpr std::string_view project_anchor = "<Project DefaultTargets=\"Build\"";

constexpr bool is_valid_version(vs_version v) noexcept
{
    return static_cast<unsigned>(v) < version_count;
}

// Whether a project without a ToolsVersion gets the target's inserted: for
// every target but 2019. False for an invalid row.
bool inserts_tools_version(vs_version v) noexcept;

// The eight versions of projport-cli's own rules (cli_rules.h).
// A row of cli_version_table: 0 = 2010 .. 7 = 2026, or -1 for none; its own
// type, as vs_version is.
enum cli_version : int {};

inline constexpr vs_version no_vs_version = vs_version(-1);
inline constexpr cli_version no_cli_version = cli_version(-1);

// The next row, for walking a table.
constexpr vs_version& operator++(vs_version& v) noexcept
{
    return v = vs_version(v + 1);
}
constexpr cli_version& operator++(cli_version& v) noexcept
{
    return v = cli_version(v + 1);
}

struct cli_version_row {
    std::string_view label;               // "2022": matched against the command line, printed
    std::string_view toolset;             // "v143": the value of a <PlatformToolset> element
    std::string_view xp_toolset;          // "v141_xp", or empty where the version has none
    std::string_view tools_version;       // "15.0", or empty where the version sets none
    bool inserts_tools_version = false;   // a project element without one gets it
    std::string_view inserted_attribute;  // "ToolsVersion=\"4.0\"" where it is inserted
    vs_version projport_row = no_vs_version;  // the row of version_table, or none
    std::string_view inserted_text;       // " ToolsVersion=\"4.0\"": what goes right behind
                                          // "<Project", the space included
};

inline constexpr std::size_t cli_version_count = 8;

extern const cli_version_row cli_version_table[cli_version_count];

// The row whose label is `label` exactly, or no_cli_version.
cli_version find_cli_version(std::string_view label) noexcept;

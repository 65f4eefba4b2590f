#include "core/version_table.h"

// Rows 2 and 3 share ToolsVersion="15.0" on purpose: both versions use the
// same MSBuild tools version.
constinit const version_row version_table[version_count] = {
    {L"2010", "<PlatformToolset>v100</PlatformToolset>", "ToolsVersion=\"4.0\"", true},
    {L"2015", "<PlatformToolset>v140</PlatformToolset>", "ToolsVersion=\"14.0\"", true},
    {L"2017", "<PlatformToolset>v141</PlatformToolset>", "ToolsVersion=\"15.0\"", true},
    {L"2019", "<PlatformToolset>v142</PlatformToolset>", "ToolsVersion=\"15.0\"", false},
};

namespace {

// The inserted attribute is the inserted text without its leading space.
constexpr std::string_view attribute_of(std::string_view inserted) noexcept
{
    return inserted.substr(1);
}

constexpr std::string_view insert_4_0 = " ToolsVersion=\"4.0\"";
constexpr std::string_view insert_12_0 = " ToolsVersion=\"12.0\"";
constexpr std::string_view insert_14_0 = " ToolsVersion=\"14.0\"";
constexpr std::string_view insert_15_0 = " ToolsVersion=\"15.0\"";

}  // namespace

// 2019 keeps the ToolsVersion of 2017 but inserts none; from 2022 on the
// project element needs none at all.
constinit const cli_version_row cli_version_table[cli_version_count] = {
    {"2010", "v100", "", "4.0", true, attribute_of(insert_4_0), vs_version(0), insert_4_0},
    {"2012", "v110", "v110_xp", "4.0", true, attribute_of(insert_4_0), vs_version(-1), insert_4_0},
    {"2013", "v120", "v120_xp", "12.0", true, attribute_of(insert_12_0), vs_version(-1), insert_12_0},
    {"2015", "v140", "v140_xp", "14.0", true, attribute_of(insert_14_0), vs_version(1), insert_14_0},
    {"2017", "v141", "v141_xp", "15.0", true, attribute_of(insert_15_0), vs_version(2), insert_15_0},
    {"2019", "v142", "", "15.0", false, "", vs_version(3), ""},
    {"2022", "v143", "", "", false, "", vs_version(-1), ""},
    {"2026", "v145", "", "", false, "", vs_version(-1), ""},
};

bool inserts_tools_version(vs_version v) noexcept
{
    return is_valid_version(v) && version_table[v].inserts_tools_version;
}

cli_version find_cli_version(std::string_view label) noexcept
{
    for (std::size_t row = 0; row < cli_version_count; ++row)
        if (cli_version_table[row].label == label)
            return static_cast<cli_version>(row);
    return no_cli_version;
}

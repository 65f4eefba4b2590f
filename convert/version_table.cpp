#include "convert/version_table.h"

// Rows 2 and 3 share ToolsVersion="15.0" on purpose: both versions use the
// same MSBuild tools version.
constinit const version_row version_table[version_count] = {
    {L"2010", "<PlatformToolset>v100</PlatformToolset>", "ToolsVersion=\"4.0\""},
    {L"2015", "<PlatformToolset>v140</PlatformToolset>", "ToolsVersion=\"14.0\""},
    {L"2017", "<PlatformToolset>v141</PlatformToolset>", "ToolsVersion=\"15.0\""},
    {L"2019", "<PlatformToolset>v142</PlatformToolset>", "ToolsVersion=\"15.0\""},
};

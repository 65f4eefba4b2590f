#pragma once
// The <PlatformToolset> elements that a conversion left as they were although
// they name a Visual Studio toolset: versions outside the table (v110, v143,
// v141_xp, V140 ...), or elements its rules passed over. No system header.

#include <cstddef>
#include <string_view>

#include "convert/version_table.h"

struct leftover_toolset {
    std::size_t line = 0;      // 1-based line of the element in the text
    std::string_view element;  // "<PlatformToolset>...</PlatformToolset>" as it stands
};

// Calls `found(context, element)` for every element of `text` whose whole
// text is not the target's toolset element and whose value, with white space
// around it removed, is "v" or "V" followed by two digits and anything else.
// Returns how many were found.
std::size_t find_leftover_toolsets(std::string_view text, vs_version target,
                                   void (*found)(void* context, const leftover_toolset& element),
                                   void* context) noexcept;

#pragma once
// Ladders: toolset elements of one property group that choose the toolset by
// the Visual Studio that reads the project, one rung per version:
//   <PlatformToolset Condition="'$(VisualStudioVersion)'=='17'">v143</PlatformToolset>
// A rung is a toolset element whose only attribute is a Condition testing
// $(VisualStudioVersion) for equality with a number; a ladder is a group with
// one or more rungs and no toolset element without attributes (the element
// tokens that come, in file order, between the group's start tag and its
// next group tag). No system header, no allocation.

#include <cstddef>
#include <string_view>

#include "core/msbuild_text.h"
#include "core/project_tokens.h"
#include "core/version_table.h"

// The number $(VisualStudioVersion) has in the target's Visual Studio: 11
// (2012) to 18 (2026); 0 for 2010, which does not set it.
unsigned ladder_number(cli_version target) noexcept;

// Whether a toolset token is a rung; `condition` is its condition read.
bool is_rung(const project_token& toolset, rung_condition& condition) noexcept;

struct group_ladder {
    bool plain_toolset = false; // an attribute-less toolset element
    bool rungs = false;
    bool has_number = false;    // a rung tests the number asked for
    std::size_t last_rung = 0;  // where the last rung starts
};

// Reads the rest of the open property group from where `scanner` (a copy,
// the groups not paused) stands: up to the next group tag or the end.
group_ladder read_rest_of_group(token_scanner scanner, unsigned number) noexcept;

// Adds one toolset token of a group to what is known of its ladder.
void add_to_ladder(group_ladder& ladder, const project_token& toolset, unsigned number) noexcept;

// Whether the group is a ladder, and one with the number asked for.
constexpr bool is_ladder(const group_ladder& g) noexcept
{
    return g.rungs && !g.plain_toolset;
}

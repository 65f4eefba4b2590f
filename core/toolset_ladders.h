#pragma once
// Ladders: toolset elements of one property group that choose the toolset by
// the Visual Studio that reads the project, one rung per version:
//   <PlatformToolset Condition="'$(VisualStudioVersion)'=='17'">v143</PlatformToolset>
// A rung is a toolset element whose only attribute is a Condition testing
// $(VisualStudioVersion) for equality with a number; a ladder is a group with
// one or more rungs and no toolset element without attributes. No system
// header, no allocation.

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
    bool ladder = false;       // rungs, and no attribute-less toolset element
    bool has_number = false;   // a rung tests the number asked for
    std::size_t last_rung = 0; // where the last rung starts
};

// Reads the property group whose content starts at `content`, up to its
// end tag, the next group's start tag or the end of `text`, each part once.
group_ladder read_group_ladder(std::string_view text, std::size_t content, unsigned number) noexcept;

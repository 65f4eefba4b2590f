#pragma once
// The <PlatformToolset> elements that a conversion left as they stand
// although they name a Visual Studio toolset of another version: versions
// outside the table (v110, v145, v141_xp, V140 ...), elements whose start
// tag carries attributes (a Condition, say), or elements the rules passed
// over. No system header, no allocation.

#include <cstddef>
#include <string_view>

struct unchanged_toolset {
    std::size_t line = 0;      // 1-based line of the element in the text
    std::size_t offset = 0;    // where the element starts in the text
    std::string_view element;  // from "<PlatformToolset" to "</PlatformToolset>", as it stands
};

// Calls `found(context, element)` for every element of `text` up to its
// first zero byte (the bytes the rules see), in order, whose start tag is "<PlatformToolset>" or "<PlatformToolset" followed by
// white space and attributes (ending at the first '>' outside a quoted
// value), whose value holds no '<', and whose value, with white space around
// it removed, starts with "v" or "V" and two digits and is, without regard to
// case, neither `toolset` nor `xp_toolset` (which may be empty). With a
// `ladder_number` (toolset_ladders.h), the rungs of a ladder that has a rung
// for that number are not listed: the ladder chooses the target's toolset.
// Linear in the text. Returns how many were found.
std::size_t find_unchanged_toolsets(std::string_view text, std::string_view toolset, std::string_view xp_toolset,
                                   void (*found)(void* context, const unchanged_toolset& element), void* context,
                                   unsigned ladder_number = 0) noexcept;

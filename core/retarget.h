#pragma once
// The byte-level retargeting of a project's text: the ToolsVersion attribute
// and the <PlatformToolset> elements are replaced by those of the target
// version, without parsing the XML. Pure computation, no Windows header.

#include <cstddef>
#include <string_view>

#include "core/text_edit.h"
#include "core/version_table.h"

// Told of every change, in the order of the searches, before the conversion returns.
struct change_listener {
    void (*on_change)(void* context, change_kind kind, std::string_view text) = nullptr;
    void* context = nullptr;
};

struct retarget_result {
    std::size_t length = 0;  // bytes of converted text written to the output
    bool changed = false;    // something was replaced or inserted
    bool overflow = false;   // the converted text did not fit: the output is incomplete
};

// The most a converted text can be longer than its input: one inserted
// attribute with a space of its own.
inline constexpr std::size_t retarget_max_growth = 20;

// Builds the converted text of `input` into output[0, output_capacity).
// The searches see the input up to its first zero byte; everything after that
// byte is still copied, byte for byte. `target` must be a valid version.
retarget_result retarget_text(std::string_view input, char* output, std::size_t output_capacity,
                              vs_version target, change_listener listener) noexcept;

// Whether the searchable text already names the target's ToolsVersion or its
// toolset: tells "already configured" from "no match" when nothing changed.
bool names_target(std::string_view input, vs_version target) noexcept;

// The part of the input that the searches see: up to the first zero byte.
std::string_view searchable_text(std::string_view input) noexcept;

// What find_edits tells besides its edits.
struct found_edits {
    std::size_t count = 0;      // edits told
    bool names_target = false;  // the searchable text names the target's
                                // ToolsVersion or toolset (names_target)
};

// Tells `edit(context, e)` of every edit of the rules above that retargets
// `input` to `target`, in file order (offsets increase, edits never overlap),
// without allocating; nothing for an invalid target. The replaced and
// inserted texts are those retarget_text writes; `reported` is the text
// retarget_text tells its listener. A replacement has its `text` and
// `reported`; the inserted ToolsVersion comes in two pieces, its separator
// (a view of the input, or a space) and the attribute, which alone is
// reported (reported_from 1, reported_to 2).
found_edits find_edits(std::string_view input, vs_version target, edit_sink edit, void* context) noexcept;

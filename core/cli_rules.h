#pragma once
// The rules projport-cli retargets a project by (its default; --as-projport
// keeps projport.exe's rules of retarget.h): every toolset element of the
// eight-row table, the ToolsVersion of the project element, and optionally
// the Windows SDK version. Bytes only, never an XML parser; the searches see
// the text up to its first zero byte. Pure computation, no system header,
// no allocation: linear in the input.

#include <cstddef>
#include <string_view>

#include "core/retarget.h"
#include "core/version_table.h"

struct cli_target {
    cli_version version = 0;  // row of cli_version_table
    std::string_view sdk;     // --sdk VERSION, or empty for none
};

// One edit of the input: input[at, at + length) gives way to `text`.
struct cli_edit {
    std::size_t at = 0;
    std::size_t length = 0;     // 0 for an insertion
    std::string_view text;      // what stands there instead
    change_kind kind = change_kind::replaced;
    std::string_view reported;  // what is printed: the attribute or element as
                                // it stood (a view of the input), or the
                                // inserted attribute ToolsVersion="X"
};

struct cli_edits {
    std::size_t count = 0;      // edits told
    bool names_target = false;  // an attribute-less toolset element is the
                                // target's toolset or xp variant, or the project
                                // element's ToolsVersion is the target's value
};

// Tells `edit(context, e)` of every edit that retargets `input`, in file
// order: offsets increase and edits never overlap. `target.version` must be
// a valid row.
cli_edits find_cli_edits(std::string_view input, const cli_target& target,
                         void (*edit)(void* context, const cli_edit& e), void* context) noexcept;

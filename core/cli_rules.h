#pragma once
// The rules projport-cli retargets a project by (its default; --as-projport
// keeps projport.exe's rules of retarget.h): every toolset element of the
// eight-row table, the ToolsVersion of the project element, a toolset for
// configurations without one, a rung for ladders of $(VisualStudioVersion),
// and optionally the Windows SDK version. Bytes only, never an XML parser;
// the searches see the text up to its first zero byte. Pure computation, no
// system header, no allocation: linear in the input.

#include <cstddef>
#include <string_view>

#include "core/text_edit.h"
#include "core/version_table.h"

// What the files a project imports say, as far as the rules need it; the
// program reads them (a project's sheets, Directory.Build.props).
struct cli_imported {
    bool toolset = false;               // an imported sheet has a toolset element
    bool toolset_names_target = false;  // one naming the target, or $(DefaultPlatformToolset)
    bool toolset_visual_studio = false; // and all of them name Visual Studio toolsets
    bool sdk = false;                   // a sheet or Directory.Build.props has a
                                        // <WindowsTargetPlatformVersion start tag
};

struct cli_target {
    cli_version version{};  // row of cli_version_table
    std::string_view sdk;     // --sdk VERSION, or empty for none
    cli_imported imported{};
};

struct cli_edits {
    std::size_t count = 0;      // edits told
    bool names_target = false;  // an attribute-less toolset element is the
                                // target's toolset or xp variant or
                                // $(DefaultPlatformToolset), a ladder has the
                                // target's rung, the project element's
                                // ToolsVersion is the target's value,
                                // or, for a project with no toolset element,
                                // an imported sheet's toolset names it
    bool has_toolset = false;   // the project has a toolset element of its own
    bool toolset_names_target = false;   // an attribute-less one names the target
    bool toolsets_visual_studio = false; // it has some, all Visual Studio toolsets
    bool has_sdk = false;       // it has a <WindowsTargetPlatformVersion start tag
    bool sdk_insertion = false; // the SDK element goes in, or would but for
                                // target.imported.sdk
    bool sdk_imported = false;  // it did not, for target.imported.sdk
    std::string_view sdk_minimum;  // the project's minimum SDK version, when it is
                                   // above the SDK asked for and kept the SDK
};

// Tells `edit(context, e)` of every edit that retargets `input`, in file
// order: offsets increase and edits never overlap. `target.version` must be
// a valid row.
cli_edits find_cli_edits(std::string_view input, const cli_target& target,
                         void (*edit)(void* context, const text_edit& e), void* context) noexcept;

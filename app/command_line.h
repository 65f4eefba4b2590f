#pragma once
// What the command line asks for: "<2010|2015|2017|2019> <project.vcxproj> [-s]".
// Pure logic over the argument vector, no Windows header.

#include "core/version_table.h"

struct conversion_request {
    vs_version version = no_vs_version;
    const wchar_t* path = nullptr;  // points into the argument vector
    bool attach = false;            // -s: report into the console of the starting process
};

// Matches argv[1] against the version labels by its first four characters.
// Returns the row, or no_vs_version (-1) when no label matches.
vs_version match_version(const wchar_t* argument) noexcept;

// Fills `request` and returns true when the arguments name a conversion;
// false means the help dialog.
bool parse_command_line(int count, wchar_t* const* arguments, conversion_request& request) noexcept;

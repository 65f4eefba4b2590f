#pragma once
// Retargets one project file, in place, to a Visual Studio version, printing
// every change and a verdict on standard output.

#include "core/conversion.h"
#include "core/version_table.h"

// Returns one of the convert_result codes, or the system error code of a
// rewrite that failed (the file then holds its original bytes again).
int convert_project(const wchar_t* path, vs_version target) noexcept;

// The conversion of the open `file`, positioned at its start, in `block`:
// read, converted by projport.exe's rules and rewritten in place, the rewrite
// under a rewrite_hold. Returns what convert_project does.
int convert_open_project(project_file& file, const conversion_block& block, vs_version target,
                         conversion_listener& listener) noexcept;

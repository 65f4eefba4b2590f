#pragma once
// Retargets one project file, in place, to a Visual Studio version, printing
// every change and a verdict on standard output.

#include "convert/version_table.h"

// Result codes of convert_project. A rewrite that fails returns the system
// error code instead, which may coincide with the small codes below.
enum convert_result : int {
    convert_done = 0,            // rewritten and its end set
    convert_bad_version = -1,    // target outside 0 to 3
    convert_no_memory = 1,       // the working block could not be obtained
    convert_open_failed = 2,     // reported by the open
    convert_read_failed = 3,     // read failed, or the file is empty
    convert_nothing_to_do = 4,   // nothing to replace or insert
    convert_seek_failed = 5,     // the file position could not be reset
    convert_too_large = 6,       // the converted text would not fit its buffer
};

int convert_project(const wchar_t* path, vs_version target) noexcept;

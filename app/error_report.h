#pragma once
// Reporting a system error on standard output, the way every failure of the
// program is reported: a caption line, then the code and the system's text.

#include <windows.h>

#include <cstddef>

// Prints the caption (if not null) on a line of its own, then
// "   ^ERROR: <code>, <system text>". Returns `code` unchanged.
DWORD print_system_error(DWORD code, const wchar_t* caption) noexcept;

// Prints "<action>(<path>)" as the caption of `code`, whole however long the
// path is. Returns `code` unchanged.
DWORD print_path_error(DWORD code, const wchar_t* action, const wchar_t* path) noexcept;

// Formats into buffer[0, capacity), always zero-terminated. Returns the number
// of characters written, or -1 when the text does not fit or cannot be formatted.
int format_bounded(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...) noexcept;

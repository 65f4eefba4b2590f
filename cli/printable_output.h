#pragma once
// Appending a text that came from a path or a file to what projport-cli
// prints, in its printable form (core/printable_text.h): the one way such a
// text enters a report, an annotation or a line of standard error.

#include <string>
#include <string_view>

#include "cli/byte_buffer.h"

// Appends the printable form of `text`. Returns false, part of it appended,
// when the memory cannot be had: a report grows as large as a file makes it.
[[nodiscard]] bool append_printable(byte_buffer& out, std::string_view text) noexcept;

// The same for a text of a size the program bounds (the command line).
void append_printable(std::string& out, std::string_view text);

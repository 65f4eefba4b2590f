#pragma once
// Texts that came from a path or a file, as they can be printed: whatever a
// name or a project holds, it never moves the terminal's cursor, retitles
// its window, or starts a line that a CI runner takes for a command. No
// system header and no allocation: the caller gives the room.
//
// The printable form of a text is the text with, each as \xHH (two
// upper-case hex digits, one escape per byte):
//   - every byte of a control character: U+0000 to U+001F but the tab,
//     U+007F, and U+0080 to U+009F (C2 80 to C2 9F);
//   - every byte that is not part of a well-formed UTF-8 sequence (a stray
//     continuation byte, a cut, overlong or surrogate sequence, a code point
//     past U+10FFFF);
//   - a backslash followed by 'x', so that every \x of the printable form
//     starts an escape and the form reads back to one text only; any other
//     backslash, a Windows path's, stays as it is;
//   - the first '#' of "##vso[", which Azure Pipelines takes for a logging
//     command wherever it stands in a line ("\x23#vso[").
// Every other byte, tab and well-formed UTF-8 included, stays as it is.

#include <cstddef>
#include <string_view>

// The size of the printable form of `text`: text.size() exactly when there
// is nothing to escape. Linear.
std::size_t printable_size(std::string_view text) noexcept;

// Writes the printable form of the start of `text` to `out`, as much of it
// as fits in `room` bytes without cutting a character or an escape (four
// bytes of room always take at least one byte of a text that is not empty).
// Returns how many bytes of `text` it took; `written` is how many it wrote.
std::size_t write_printable(std::string_view text, char* out, std::size_t room, std::size_t& written) noexcept;

#pragma once
// Line ends as a text-mode stream of the C runtime writes them: every line
// feed goes out as a carriage return and a line feed, also one that follows a
// carriage return already. For text written past the stream, straight to a
// console (WriteConsoleW), which would otherwise get bare line feeds. No
// system header here.

#include <cstddef>

// Room that the text-mode form of `length` characters needs at most.
constexpr std::size_t text_mode_capacity(std::size_t length) noexcept
{
    return 2 * length;
}

struct text_mode_result {
    std::size_t read;     // characters of the text that were translated
    std::size_t written;  // characters put in the output
};

// Writes the text-mode form of text[0, length) into out[0, capacity), as far
// as it fits: it stops before a line feed whose carriage return and line feed
// would not both fit, so a pair is never split and the rest of the text
// (from `read` on) can follow in another piece. Adds no terminating zero.
// With capacity >= text_mode_capacity(length) all of the text is read.
text_mode_result to_text_mode(const wchar_t* text, std::size_t length, wchar_t* out,
                              std::size_t capacity) noexcept;
text_mode_result to_text_mode(const char* text, std::size_t length, char* out, std::size_t capacity) noexcept;

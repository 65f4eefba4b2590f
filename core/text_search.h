#pragma once
// Plain, case-sensitive substring search over bytes, and the few byte tests
// the conversions share. All of their searches go through here. No system
// header; nothing here checks its arguments by throwing.

#include <cstddef>
#include <cstring>
#include <string_view>

inline constexpr std::size_t text_none = std::string_view::npos;

// Offset of the first occurrence of `needle` in `text` at or after `from`,
// or std::string_view::npos.
std::size_t find_text(std::string_view text, std::string_view needle, std::size_t from) noexcept;

// Offset of the first byte `c` in `text` at or after `from`, or npos.
inline std::size_t find_byte(std::string_view text, char c, std::size_t from) noexcept
{
    if (from >= text.size())
        return text_none;
    const void* hit = std::memchr(text.data() + from, c, text.size() - from);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : text_none;
}

// text[from, to) without the checks of substr, whose throwing path
// projport.exe leaves out; callers keep from <= to <= size.
inline std::string_view slice(std::string_view text, std::size_t from, std::size_t to) noexcept
{
    return std::string_view(text.data() + from, to - from);
}

// The white space of XML: space, tab, CR and LF.
constexpr bool is_white_space(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

constexpr bool is_digit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

// ASCII letters only: project files name their toolsets in ASCII.
constexpr char lower(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool equals_ignoring_case(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

// `value` without the white space around it.
constexpr std::string_view trimmed(std::string_view value) noexcept
{
    while (!value.empty() && is_white_space(value.front()))
        value.remove_prefix(1);
    while (!value.empty() && is_white_space(value.back()))
        value.remove_suffix(1);
    return value;
}

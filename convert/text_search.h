#pragma once
// Plain, case-sensitive substring search over bytes. All of the conversion's
// searches go through here.

#include <cstddef>
#include <string_view>

// Offset of the first occurrence of `needle` in `text` at or after `from`,
// or std::string_view::npos.
std::size_t find_text(std::string_view text, std::string_view needle, std::size_t from) noexcept;

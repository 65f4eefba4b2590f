#pragma once
// A number in decimal digits, as the report, its summaries and its
// annotations print it.

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/byte_buffer.h"

namespace decimal_detail {

// Writes the digits of `number` at the end of `digits`; returns where they start.
inline std::size_t write_digits(char (&digits)[24], std::uint64_t number) noexcept
{
    std::size_t at = sizeof digits;
    do {
        digits[--at] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    return at;
}

}  // namespace decimal_detail

inline void append_number(std::string& text, std::uint64_t number)
{
    char digits[24];
    std::size_t at = decimal_detail::write_digits(digits, number);
    text.append(digits + at, sizeof digits - at);
}

// Returns false when the memory cannot be had.
[[nodiscard]] inline bool append_number(byte_buffer& text, std::uint64_t number) noexcept
{
    char digits[24];
    std::size_t at = decimal_detail::write_digits(digits, number);
    return text.append(std::string_view(digits + at, sizeof digits - at));
}

#include "convert/leftover_toolsets.h"

#include <algorithm>

#include "convert/text_search.h"

namespace {

constexpr std::string_view open_tag = "<PlatformToolset>";
constexpr std::string_view close_tag = "</PlatformToolset>";

// text[from, to) without the checks of substr, whose throwing path the
// program leaves out; callers keep from <= to <= size.
std::string_view slice(std::string_view text, std::size_t from, std::size_t to) noexcept
{
    return std::string_view(text.data() + from, to - from);
}

bool is_white_space(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool is_digit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

bool names_a_toolset_version(std::string_view value) noexcept
{
    std::size_t first = 0;
    while (first < value.size() && is_white_space(value[first]))
        ++first;
    value.remove_prefix(first);
    return value.size() >= 3 && (value[0] == 'v' || value[0] == 'V') && is_digit(value[1]) && is_digit(value[2]);
}

}  // namespace

std::size_t find_leftover_toolsets(std::string_view text, vs_version target,
                                   void (*found)(void* context, const leftover_toolset& element),
                                   void* context) noexcept
{
    std::string_view target_element = is_valid_version(target) ? version_table[target].toolset : std::string_view();
    std::size_t count = 0;
    std::size_t line = 1;
    std::size_t counted_to = 0;  // lines are counted up to here
    for (std::size_t at = find_text(text, open_tag, 0); at != std::string_view::npos;) {
        std::size_t value_start = at + open_tag.size();
        std::size_t value_end = find_text(text, close_tag, value_start);
        if (value_end == std::string_view::npos)
            break;
        std::string_view value = slice(text, value_start, value_end);
        std::size_t end = value_end + close_tag.size();
        std::string_view element = slice(text, at, end);
        // A value holding markup is not a plain element: look again inside it.
        if (value.find('<') != std::string_view::npos) {
            at = find_text(text, open_tag, value_start);
            continue;
        }
        if (element != target_element && names_a_toolset_version(value)) {
            line += static_cast<std::size_t>(std::count(text.begin() + static_cast<std::ptrdiff_t>(counted_to),
                                                        text.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
            counted_to = at;
            ++count;
            if (found)
                found(context, {line, element});
        }
        at = find_text(text, open_tag, end);
    }
    return count;
}

#include "core/leftover_toolsets.h"

#include <cstring>

#include "core/text_search.h"

// One pass: each candidate's start tag and value are read forward, and the
// next candidate is looked for behind what was read, never inside it. A
// "<PlatformToolset" inside another one's start tag is thus no element of
// its own, and a start tag that never ends leaves nothing behind it.

namespace {

constexpr std::size_t none = std::string_view::npos;
constexpr std::string_view open_name = "<PlatformToolset";
constexpr std::string_view close_tag = "</PlatformToolset>";

bool is_leftover(std::string_view value, std::string_view toolset, std::string_view xp_toolset) noexcept
{
    value = trimmed(value);
    if (value.size() < 3 || (value[0] != 'v' && value[0] != 'V') || !is_digit(value[1]) || !is_digit(value[2]))
        return false;
    return !equals_ignoring_case(value, toolset) && (xp_toolset.empty() || !equals_ignoring_case(value, xp_toolset));
}

// The '>' ending a start tag whose attributes start at `from`: the first
// one outside a quoted value; none when the tag does not end.
std::size_t tag_end(std::string_view text, std::size_t from) noexcept
{
    for (std::size_t i = from; i < text.size(); ++i) {
        char c = text[i];
        if (c == '>')
            return i;
        if (c == '"' || c == '\'') {
            i = find_byte(text, c, i + 1);
            if (i == none)
                return none;
        }
    }
    return none;
}

// The line feeds in text[from, to).
std::size_t count_lines(std::string_view text, std::size_t from, std::size_t to) noexcept
{
    std::string_view part = slice(text, 0, to);
    std::size_t count = 0;
    for (std::size_t at = find_byte(part, '\n', from); at != none; at = find_byte(part, '\n', at + 1))
        ++count;
    return count;
}

}  // namespace

std::size_t find_leftover_toolsets(std::string_view text, std::string_view toolset, std::string_view xp_toolset,
                                   void (*found)(void* context, const leftover_toolset& element),
                                   void* context) noexcept
{
    std::size_t count = 0;
    std::size_t line = 1;
    std::size_t counted_to = 0;  // lines are counted up to here
    for (std::size_t at = find_text(text, open_name, 0); at != none;) {
        std::size_t name_end = at + open_name.size();
        if (name_end >= text.size())
            break;
        std::size_t value_start = 0;
        if (text[name_end] == '>') {
            value_start = name_end + 1;
        } else if (is_white_space(text[name_end])) {
            std::size_t end = tag_end(text, name_end);
            if (end == none)
                break;
            value_start = end + 1;
        } else {
            at = find_text(text, open_name, name_end);
            continue;
        }
        std::size_t value_end = find_byte(text, '<', value_start);
        if (value_end == none)
            break;
        std::size_t resume = value_end;
        if (close_tag.size() <= text.size() - value_end &&
            std::memcmp(text.data() + value_end, close_tag.data(), close_tag.size()) == 0) {
            resume = value_end + close_tag.size();
            if (is_leftover(slice(text, value_start, value_end), toolset, xp_toolset)) {
                line += count_lines(text, counted_to, at);
                counted_to = at;
                ++count;
                if (found)
                    found(context, {line, at, slice(text, at, resume)});
            }
        }
        at = find_text(text, open_name, resume);
    }
    return count;
}

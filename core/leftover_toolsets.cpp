#include "core/leftover_toolsets.h"

#include "core/project_tokens.h"
#include "core/text_search.h"
#include "core/toolset_ladders.h"

// One pass over the tokens of project_tokens.h, the same the rules read:
// each start tag and value is read forward, and the next token is looked
// for behind what was read, never inside it. A "<PlatformToolset" inside
// another one's start tag is thus no element of its own, and a start tag
// that never ends leaves nothing behind it.

namespace {

constexpr std::size_t none = std::string_view::npos;

bool is_leftover(std::string_view value, std::string_view toolset, std::string_view xp_toolset) noexcept
{
    value = trimmed(value);
    if (value.size() < 3 || (value[0] != 'v' && value[0] != 'V') || !is_digit(value[1]) || !is_digit(value[2]))
        return false;
    return !equals_ignoring_case(value, toolset) && (xp_toolset.empty() || !equals_ignoring_case(value, xp_toolset));
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
                                   void (*found)(void* context, const leftover_toolset& element), void* context,
                                   unsigned ladder_number) noexcept
{
    std::size_t zero = find_byte(text, '\0', 0);
    if (zero != text_none)
        text = slice(text, 0, zero);
    std::size_t count = 0;
    std::size_t line = 1;
    std::size_t counted_to = 0;  // lines are counted up to here
    bool in_group = false;
    group_ladder so_far;         // of the open group, up to the token in hand
    bool ladder_read = false;
    bool silenced = false;       // the group is a ladder with the rung asked for
    token_scanner scanner(text);
    for (;;) {
        const project_token& t = scanner.next();
        if (t.kind == token_kind::end_of_text)
            break;
        if (t.kind == token_kind::group_start || t.kind == token_kind::group_end) {
            in_group = t.kind == token_kind::group_start && !t.tag.self_closing;
            so_far = {};
            ladder_read = false;
            silenced = false;
            continue;
        }
        if (t.kind != token_kind::toolset || !t.element)
            continue;
        if (in_group)
            add_to_ladder(so_far, t, ladder_number);
        if (!is_leftover(t.value(text), toolset, xp_toolset))
            continue;
        rung_condition condition;
        if (ladder_number != 0 && in_group && is_rung(t, condition)) {
            if (!ladder_read) {
                group_ladder whole = so_far;
                group_ladder rest = read_rest_of_group(scanner, ladder_number);
                whole.plain_toolset = whole.plain_toolset || rest.plain_toolset;
                whole.has_number = whole.has_number || rest.has_number;
                silenced = is_ladder(whole) && whole.has_number;
                ladder_read = true;
            }
            if (silenced)
                continue;
        }
        line += count_lines(text, counted_to, t.at);
        counted_to = t.at;
        ++count;
        if (found)
            found(context, {line, t.at, slice(text, t.at, t.end)});
    }
    return count;
}

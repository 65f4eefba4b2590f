#include "core/unchanged_toolsets.h"

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

bool is_unchanged_toolset(std::string_view value, std::string_view toolset, std::string_view xp_toolset) noexcept
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

std::size_t find_unchanged_toolsets(std::string_view text, std::string_view toolset, std::string_view xp_toolset,
                                   void (*found)(void* context, const unchanged_toolset& element), void* context,
                                   unsigned ladder_number) noexcept
{
    std::size_t zero = find_byte(text, '\0', 0);
    if (zero != text_none)
        text = slice(text, 0, zero);
    std::size_t count = 0;
    std::size_t line = 1;
    std::size_t counted_to = 0;  // lines are counted up to here
    // The group tags matter only at a rung: they are read then, up to it.
    bool in_group = false;
    std::size_t group_at = 0;     // the open group's start tag
    bool ladder_read = false;
    bool silenced = false;        // the open group is a ladder with the rung asked for
    bool plain_seen = false;
    std::size_t last_plain = 0;   // the last attribute-less toolset element
    bool number_seen = false;
    std::size_t last_number = 0;  // the last rung for ladder_number
    token_scanner scanner(text);
    scanner.pause_groups();
    for (;;) {
        const project_token& t = scanner.next();
        if (t.kind == token_kind::end_of_text)
            break;
        if (t.kind != token_kind::toolset || !t.element)
            continue;
        rung_condition condition;
        bool rung = ladder_number != 0 && is_rung(t, condition);
        if (t.plain) {
            plain_seen = true;
            last_plain = t.at;
        } else if (rung && rung_tests(condition, ladder_number)) {
            number_seen = true;
            last_number = t.at;
        }
        if (!is_unchanged_toolset(t.value(text), toolset, xp_toolset))
            continue;
        if (rung) {
            project_token g;
            while (scanner.next_group_before(t.at, g)) {
                in_group = g.kind == token_kind::group_start && !g.tag.self_closing;
                group_at = g.at;
                ladder_read = false;
            }
            if (in_group && !ladder_read) {
                token_scanner rest_scanner = scanner;
                rest_scanner.resume_groups();
                group_ladder rest = read_rest_of_group(rest_scanner, ladder_number);
                bool plain = (plain_seen && last_plain > group_at) || rest.plain_toolset;
                bool number = (number_seen && last_number > group_at) || rest.has_number;
                silenced = !plain && number;
                ladder_read = true;
            }
            if (in_group && silenced)
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

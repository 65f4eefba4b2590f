#include "core/toolset_ladders.h"

namespace {

// $(VisualStudioVersion) of each row of cli_version_table.
constexpr unsigned numbers[cli_version_count] = {0, 11, 12, 14, 15, 16, 17, 18};

}  // namespace

unsigned ladder_number(cli_version target) noexcept
{
    return static_cast<std::size_t>(target) < cli_version_count ? numbers[target] : 0;
}

bool is_rung(const project_token& toolset, rung_condition& condition) noexcept
{
    if (toolset.kind != token_kind::toolset || !toolset.element || toolset.plain)
        return false;
    const start_tag& tag = toolset.tag;
    if (!tag.plain || tag.attributes != 1 || !tag.has_condition || tag.self_closing)
        return false;
    condition = read_rung_condition(tag.condition);
    return condition.is_rung;
}

void add_to_ladder(group_ladder& g, const project_token& t, unsigned number) noexcept
{
    if (t.kind != token_kind::toolset || !t.element)
        return;
    rung_condition condition;
    if (t.plain) {
        g.plain_toolset = true;
    } else if (is_rung(t, condition)) {
        g.rungs = true;
        g.has_number = g.has_number || rung_tests(condition, number);
        g.last_rung = t.at;
    }
}

group_ladder read_rest_of_group(token_scanner scanner, unsigned number) noexcept
{
    group_ladder g;
    for (;;) {
        const project_token& t = scanner.next();
        if (t.kind == token_kind::end_of_text)
            break;
        if (t.kind == token_kind::group_end || t.kind == token_kind::group_start)
            break;
        add_to_ladder(g, t, number);
    }
    return g;
}

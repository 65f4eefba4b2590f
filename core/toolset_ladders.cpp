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

group_ladder read_group_ladder(std::string_view text, std::size_t content, unsigned number) noexcept
{
    group_ladder g;
    bool plain_toolset = false;
    bool rungs = false;
    token_scanner scanner(text, content);
    for (project_token t = scanner.next(); t.kind != token_kind::end_of_text; t = scanner.next()) {
        if (t.kind == token_kind::group_end || t.kind == token_kind::group_start)
            break;
        if (t.kind != token_kind::toolset || !t.element)
            continue;
        rung_condition condition;
        if (t.plain) {
            plain_toolset = true;
        } else if (is_rung(t, condition)) {
            rungs = true;
            g.has_number = g.has_number || rung_tests(condition, number);
            g.last_rung = t.at;
        }
    }
    g.ladder = rungs && !plain_toolset;
    return g;
}

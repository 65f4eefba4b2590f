#include "core/msbuild_text.h"

#include "core/text_search.h"

namespace {

constexpr std::size_t none = std::string_view::npos;

bool is_quote(char c) noexcept
{
    return c == '"' || c == '\'';
}

bool name_byte(char c) noexcept
{
    return !is_white_space(c) && c != '=' && c != '>' && c != '/' && !is_quote(c);
}

// Reads the blanks at `at` of `text` and moves past them.
void skip_blanks(std::string_view text, std::size_t& at) noexcept
{
    while (at < text.size() && is_white_space(text[at]))
        ++at;
}

bool take(std::string_view text, std::size_t& at, std::string_view what) noexcept
{
    if (what.size() > text.size() - at || text.substr(at, what.size()) != what)
        return false;
    at += what.size();
    return true;
}

// The digits of a part of a version at `at`; false when there is none.
bool take_number(std::string_view text, std::size_t& at) noexcept
{
    std::size_t from = at;
    while (at < text.size() && is_digit(text[at]))
        ++at;
    return at > from;
}

// The number of a version's part: leading zeros left out, then compared by
// length and bytes, so that no part is too long to compare.
std::string_view significant(std::string_view digits) noexcept
{
    while (digits.size() > 1 && digits.front() == '0')
        digits.remove_prefix(1);
    return digits;
}

}  // namespace

start_tag read_start_tag(std::string_view text, std::size_t name_end) noexcept
{
    start_tag tag;
    std::size_t i = name_end;
    while (i < text.size()) {
        char c = text[i];
        if (c == '>') {
            tag.ended = true;
            tag.end = i + 1;
            tag.self_closing = i > name_end && text[i - 1] == '/';
            return tag;
        }
        if (is_white_space(c) || c == '/') {
            ++i;
            continue;
        }
        if (!name_byte(c)) {
            // A quote or '=' where a name should stand: read on to the end.
            tag.plain = false;
            if (is_quote(c)) {
                std::size_t close = find_byte(text, c, i + 1);
                if (close == none)
                    return tag;
                i = close + 1;
            } else {
                ++i;
            }
            continue;
        }
        std::size_t name = i;
        while (i < text.size() && name_byte(text[i]))
            ++i;
        std::string_view attribute = slice(text, name, i);
        std::size_t j = i;
        skip_blanks(text, j);
        if (j >= text.size() || text[j] != '=') {
            tag.plain = false;
            continue;
        }
        ++j;
        skip_blanks(text, j);
        i = j;
        if (j >= text.size() || !is_quote(text[j])) {
            tag.plain = false;
            continue;
        }
        std::size_t close = find_byte(text, text[j], j + 1);
        if (close == none)
            return tag;
        std::string_view value = slice(text, j + 1, close);
        i = close + 1;
        ++tag.attributes;
        if (attribute == "Condition" && !tag.has_condition) {
            tag.has_condition = true;
            tag.condition = value;
        } else if (attribute == "Label" && !tag.has_label) {
            tag.has_label = true;
            tag.label = value;
        } else if (attribute == "Project" && !tag.has_project) {
            tag.has_project = true;
            tag.project = value;
        }
    }
    return tag;
}

rung_condition read_rung_condition(std::string_view condition) noexcept
{
    rung_condition rung;
    std::size_t at = 0;
    skip_blanks(condition, at);
    if (!take(condition, at, "'$(VisualStudioVersion)'"))
        return rung;
    skip_blanks(condition, at);
    if (!take(condition, at, "=="))
        return rung;
    skip_blanks(condition, at);
    if (!take(condition, at, "'"))
        return rung;
    std::size_t number = at;
    if (!take_number(condition, at))
        return rung;
    std::size_t major_end = at;
    bool whole = true;
    bool dotted = false;
    if (at < condition.size() && condition[at] == '.') {
        ++at;
        std::size_t fraction = at;
        if (!take_number(condition, at))
            return rung;
        dotted = true;
        for (std::size_t k = fraction; k < at; ++k)
            whole = whole && condition[k] == '0';
    }
    std::size_t number_end = at;
    if (!take(condition, at, "'"))
        return rung;
    skip_blanks(condition, at);
    if (at != condition.size())
        return rung;
    std::string_view major = significant(slice(condition, number, major_end));
    unsigned value = 0;
    if (major.size() <= 6) {
        for (char c : major)
            value = value * 10 + static_cast<unsigned>(c - '0');
    } else {
        value = 1000000;  // no version's number
    }
    rung.is_rung = true;
    rung.number_at = number;
    rung.number_end = number_end;
    rung.dotted = dotted;
    rung.whole = whole;
    rung.major = value;
    return rung;
}

bool rung_tests(const rung_condition& rung, unsigned number) noexcept
{
    return rung.is_rung && rung.whole && rung.major == number;
}

bool is_sdk_default_setter(std::string_view condition) noexcept
{
    std::size_t at = 0;
    skip_blanks(condition, at);
    if (!take(condition, at, "'$(WindowsTargetPlatformVersion)'"))
        return false;
    skip_blanks(condition, at);
    if (!take(condition, at, "=="))
        return false;
    skip_blanks(condition, at);
    if (!take(condition, at, "''"))
        return false;
    skip_blanks(condition, at);
    return at == condition.size();
}

bool is_visual_studio_toolset(std::string_view value) noexcept
{
    value = trimmed(value);
    if (value == default_toolset)
        return true;
    if (value.size() < 2 || (value[0] != 'v' && value[0] != 'V'))
        return false;
    std::size_t at = 1;
    if (!take_number(value, at))
        return false;
    return at == value.size() || equals_ignoring_case(value.substr(at), "_xp");
}

bool is_full_version(std::string_view version) noexcept
{
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0 && !take(version, at, "."))
            return false;
        if (!take_number(version, at))
            return false;
    }
    return at == version.size();
}

bool version_above(std::string_view a, std::string_view b) noexcept
{
    std::size_t i = 0;
    std::size_t j = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            ++i;
            ++j;
        }
        std::size_t a_from = i;
        std::size_t b_from = j;
        (void)take_number(a, i);
        (void)take_number(b, j);
        std::string_view x = significant(slice(a, a_from, i));
        std::string_view y = significant(slice(b, b_from, j));
        if (x.size() != y.size())
            return x.size() > y.size();
        if (x != y)
            return x > y;
    }
    return false;
}

#include "core/project_tokens.h"

#include <cstring>

#include "core/text_search.h"

namespace {

constexpr std::size_t none = std::string_view::npos;

constexpr std::string_view toolset_name = "<PlatformToolset";
constexpr std::string_view toolset_close = "</PlatformToolset>";
constexpr std::string_view sdk_prefix = "<WindowsTargetPlatform";
constexpr std::string_view sdk_name = "<WindowsTargetPlatformVersion";
constexpr std::string_view sdk_close = "</WindowsTargetPlatformVersion>";
constexpr std::string_view minimum_open = "<WindowsTargetPlatformMinVersion>";
constexpr std::string_view minimum_close = "</WindowsTargetPlatformMinVersion>";
constexpr std::string_view group_name = "<PropertyGroup";
constexpr std::string_view group_close = "</PropertyGroup>";

constexpr char element_key = 'T';
constexpr std::size_t toolset_key = toolset_name.find(element_key);
constexpr std::size_t sdk_key = sdk_prefix.find(element_key);
constexpr char group_key = 'y';
constexpr std::size_t group_open_key = group_name.find(group_key);
constexpr std::size_t group_close_key = group_close.find(group_key);
static_assert(toolset_key != none && sdk_key != none && sdk_key < toolset_key);
static_assert(group_open_key != none && group_close_key == group_open_key + 1);

// The first byte is compared on its own: most candidates differ there.
bool starts_with_at(std::string_view text, std::size_t at, std::string_view prefix) noexcept
{
    return at <= text.size() && prefix.size() <= text.size() - at && text[at] == prefix[0] &&
           std::memcmp(text.data() + at, prefix.data(), prefix.size()) == 0;
}

// The value behind a start tag ending at `value_at`, up to the next '<',
// and whether that '<' starts `close`.
void read_value(std::string_view text, std::size_t value_at, std::string_view close, project_token& t) noexcept
{
    std::size_t value_end = find_byte(text, '<', value_at);
    if (value_end == none) {
        t.kind = token_kind::end_of_text;
        t.resume = text.size();
        return;
    }
    t.value_at = value_at;
    t.value_end = value_end;
    t.resume = value_end;
    if (starts_with_at(text, value_end, close)) {
        t.element = true;
        t.end = value_end + close.size();
        t.resume = t.end;
    }
}

// An element whose name ends at `name_end`: a plain start tag, or one with
// attributes (or, where `bare` allows, "/>").
void read_element(std::string_view text, std::size_t name_end, std::string_view close, project_token& t) noexcept
{
    if (text[name_end] == '>') {
        t.plain = true;
        read_value(text, name_end + 1, close, t);
        return;
    }
    t.tag = read_start_tag(text, name_end);
    if (!t.tag.ended) {
        t.kind = token_kind::end_of_text;
        t.resume = text.size();
        return;
    }
    read_value(text, t.tag.end, close, t);
}

}  // namespace

project_token read_token(std::string_view text, std::size_t at) noexcept
{
    project_token t;
    read_token_into(text, at, t);
    return t;
}

void read_token_into(std::string_view text, std::size_t at, project_token& t) noexcept
{
    t = {};
    t.at = at;
    t.resume = at + 1;
    if (starts_with_at(text, at, toolset_name)) {
        std::size_t name_end = at + toolset_name.size();
        if (name_end >= text.size()) {
            t.kind = token_kind::end_of_text;
            t.resume = text.size();
        } else if (text[name_end] == '>' || is_white_space(text[name_end])) {
            t.kind = token_kind::toolset;
            read_element(text, name_end, toolset_close, t);
        }
    } else if (starts_with_at(text, at, minimum_open)) {
        t.kind = token_kind::sdk_minimum;
        t.plain = true;
        read_value(text, at + minimum_open.size(), minimum_close, t);
    } else if (starts_with_at(text, at, sdk_name)) {
        std::size_t name_end = at + sdk_name.size();
        if (name_end >= text.size()) {
            t.kind = token_kind::end_of_text;
            t.resume = text.size();
        } else if (text[name_end] == '>' || is_white_space(text[name_end])) {
            t.kind = token_kind::sdk;
            read_element(text, name_end, sdk_close, t);
        } else if (text[name_end] == '/') {
            // "<WindowsTargetPlatformVersion/>": a start tag, no value.
            t.kind = token_kind::sdk;
            t.tag = read_start_tag(text, name_end);
            if (!t.tag.ended) {
                t.kind = token_kind::end_of_text;
                t.resume = text.size();
            } else {
                t.resume = t.tag.end;
            }
        }
    } else if (starts_with_at(text, at, group_close)) {
        t.kind = token_kind::group_end;
        t.resume = at + group_close.size();
    } else if (starts_with_at(text, at, group_name)) {
        std::size_t name_end = at + group_name.size();
        if (name_end >= text.size()) {
            t.kind = token_kind::end_of_text;
            t.resume = text.size();
        } else if (text[name_end] == '>' || text[name_end] == '/' || is_white_space(text[name_end])) {
            t.kind = token_kind::group_start;
            t.tag = read_start_tag(text, name_end);
            t.plain = text[name_end] == '>';
            if (!t.tag.ended) {
                t.kind = token_kind::end_of_text;
                t.resume = text.size();
            } else {
                t.resume = t.tag.end;
            }
        }
    }
}

token_scanner::token_scanner(std::string_view text) noexcept : text_(text)
{
    groups_.groups = true;
}

// Where the next "<PlatformToolset" or "<WindowsTargetPlatform" (for the
// elements), or "<PropertyGroup" or "</PropertyGroup>" (for the groups),
// starts at or after `from`; or none.
std::size_t token_scanner::candidate(const stream& s, std::size_t from) const noexcept
{
    if (!s.groups) {
        for (std::size_t key = find_byte(text_, element_key, from + sdk_key); key != none;
             key = find_byte(text_, element_key, key + 1)) {
            if (key >= from + toolset_key && starts_with_at(text_, key - toolset_key, toolset_name))
                return key - toolset_key;
            if (starts_with_at(text_, key - sdk_key, sdk_prefix))
                return key - sdk_key;
        }
        return none;
    }
    for (std::size_t key = find_byte(text_, group_key, from + group_open_key); key != none;
         key = find_byte(text_, group_key, key + 1)) {
        if (starts_with_at(text_, key - group_open_key, group_name))
            return key - group_open_key;
        if (key >= from + group_close_key && starts_with_at(text_, key - group_close_key, group_close))
            return key - group_close_key;
    }
    return none;
}

// Reads the stream's next token into `pending`, unless it has one or ended.
void token_scanner::fill(stream& s) noexcept
{
    while (!s.read && !s.ended) {
        std::size_t at = candidate(s, s.cursor);
        if (at == none) {
            s.ended = true;
            break;
        }
        project_token& t = s.pending;
        read_token_into(text_, at, t);
        s.cursor = t.resume;
        if (t.kind == token_kind::end_of_text)
            s.ended = true;
        else if (t.kind != token_kind::none)
            s.read = true;
    }
}

const project_token& token_scanner::next() noexcept
{
    fill(elements_);
    if (!groups_paused_)
        fill(groups_);
    bool element = elements_.read;
    bool group = !groups_paused_ && groups_.read;
    if (element && group) {
        element = elements_.pending.at < groups_.pending.at;
        group = !element;
    }
    if (element) {
        elements_.read = false;
        return elements_.pending;
    }
    if (group) {
        groups_.read = false;
        return groups_.pending;
    }
    end_ = {};
    end_.kind = token_kind::end_of_text;
    end_.at = text_.size();
    end_.resume = text_.size();
    return end_;
}

bool token_scanner::next_group_before(std::size_t limit, project_token& t) noexcept
{
    fill(groups_);
    if (!groups_.read || groups_.pending.at >= limit)
        return false;
    groups_.read = false;
    t = groups_.pending;
    return true;
}

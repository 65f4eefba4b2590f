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
    return t;
}

token_scanner::token_scanner(std::string_view text, std::size_t from) noexcept
    : text_(text), cursor_(from), elements_(element_candidate(from)), groups_(group_candidate(from))
{
}

// Where the next "<PlatformToolset" or "<WindowsTargetPlatform" starts at or
// after `from`; or none.
std::size_t token_scanner::element_candidate(std::size_t from) const noexcept
{
    for (std::size_t key = find_byte(text_, element_key, from + sdk_key); key != none;
         key = find_byte(text_, element_key, key + 1)) {
        if (key >= from + toolset_key && starts_with_at(text_, key - toolset_key, toolset_name))
            return key - toolset_key;
        if (starts_with_at(text_, key - sdk_key, sdk_prefix))
            return key - sdk_key;
    }
    return none;
}

// Where the next "<PropertyGroup" or "</PropertyGroup>" starts at or after
// `from`; or none.
std::size_t token_scanner::group_candidate(std::size_t from) const noexcept
{
    for (std::size_t key = find_byte(text_, group_key, from + group_open_key); key != none;
         key = find_byte(text_, group_key, key + 1)) {
        if (starts_with_at(text_, key - group_open_key, group_name))
            return key - group_open_key;
        if (key >= from + group_close_key && starts_with_at(text_, key - group_close_key, group_close))
            return key - group_close_key;
    }
    return none;
}

project_token token_scanner::next() noexcept
{
    while (!ended_) {
        if (elements_ != none && elements_ < cursor_)
            elements_ = element_candidate(cursor_);
        if (groups_ != none && groups_ < cursor_)
            groups_ = group_candidate(cursor_);
        std::size_t at = elements_ < groups_ ? elements_ : groups_;
        if (at == none)
            break;
        project_token t = read_token(text_, at);
        cursor_ = t.resume;
        if (t.kind == token_kind::end_of_text)
            ended_ = true;
        if (t.kind != token_kind::none)
            return t;
    }
    ended_ = true;
    project_token end;
    end.kind = token_kind::end_of_text;
    end.at = text_.size();
    end.resume = text_.size();
    cursor_ = text_.size();
    return end;
}

#include "convert/retarget.h"

#include <cstring>

#include "convert/text_search.h"

namespace {

// The bytes [from, to) of `text`; callers keep from <= to <= size.
std::string_view slice(std::string_view text, std::size_t from, std::size_t to) noexcept
{
    return std::string_view(text.data() + from, to - from);
}

// The converted text under construction. Copies from the input always start
// at the read position, which only ever moves forward.
struct text_builder {
    std::string_view input;
    char* output;
    std::size_t capacity;
    std::size_t written = 0;
    std::size_t read = 0;
    bool overflow = false;

    void append(std::string_view bytes) noexcept
    {
        if (overflow)
            return;
        if (bytes.size() > capacity - written) {
            overflow = true;
            return;
        }
        if (!bytes.empty())
            std::memcpy(output + written, bytes.data(), bytes.size());
        written += bytes.size();
    }

    void copy_input_to(std::size_t end) noexcept
    {
        append(slice(input, read, end));
        read = end;
    }
};

void report(const change_listener& listener, change_kind kind, std::string_view text) noexcept
{
    if (listener.on_change)
        listener.on_change(listener.context, kind, text);
}

bool is_white_space(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Whether the project element starting at `element` already carries a
// ToolsVersion attribute (one whose value the table does not know, or the
// replacement would have found it).
bool element_has_tools_version(std::string_view text, std::size_t element) noexcept
{
    constexpr std::string_view name = "ToolsVersion";
    std::size_t end = text.find('>', element);
    if (end == std::string_view::npos)
        end = text.size();
    std::string_view tag = slice(text, element, end);
    for (std::size_t at = tag.find(name); at != std::string_view::npos; at = tag.find(name, at + 1)) {
        if (at == 0 || !is_white_space(tag[at - 1]))
            continue;
        std::size_t next = at + name.size();
        while (next < tag.size() && is_white_space(tag[next]))
            ++next;
        if (next < tag.size() && tag[next] == '=')
            return true;
    }
    return false;
}

// Replaces the first ToolsVersion of another row, trying the rows in table order.
bool replace_tools_version(text_builder& text_out, std::string_view text, vs_version target,
                           const change_listener& listener) noexcept
{
    for (vs_version row = 0; row < static_cast<vs_version>(version_count); ++row) {
        if (row == target)
            continue;
        std::string_view old_text = version_table[row].tools_version;
        std::size_t at = find_text(text, old_text, 0);
        if (at == std::string_view::npos)
            continue;
        text_out.copy_input_to(at);
        text_out.append(version_table[target].tools_version);
        text_out.read = at + old_text.size();
        report(listener, change_kind::replaced, old_text);
        return true;
    }
    return false;
}

// Puts the target's ToolsVersion behind the project anchor of a project that has none.
bool insert_tools_version(text_builder& text_out, std::string_view text, vs_version target,
                          const change_listener& listener) noexcept
{
    std::string_view attribute = version_table[target].tools_version;
    if (find_text(text, attribute, 0) != std::string_view::npos)
        return false;
    std::size_t anchor = find_text(text, project_anchor, 0);
    if (anchor == std::string_view::npos || element_has_tools_version(text, anchor))
        return false;

    std::size_t behind = anchor + project_anchor.size();
    text_out.copy_input_to(behind);
    // The white space that follows the anchor is repeated behind the attribute,
    // so the element keeps its shape; a '>' or the end of the text gets a space
    // in front of the attribute instead.
    if (behind < text.size() && is_white_space(text[behind]))
        text_out.append(slice(text, behind, behind + 1));
    else
        text_out.append(" ");
    text_out.append(attribute);
    report(listener, change_kind::inserted, attribute);
    return true;
}

// Replaces every toolset element of the other rows, found from the read position on.
bool replace_toolsets(text_builder& text_out, std::string_view text, vs_version target,
                      const change_listener& listener) noexcept
{
    bool changed = false;
    for (vs_version row = 0; row < static_cast<vs_version>(version_count); ++row) {
        if (row == target)
            continue;
        std::string_view old_text = version_table[row].toolset;
        for (std::size_t at = find_text(text, old_text, text_out.read); at != std::string_view::npos;
             at = find_text(text, old_text, text_out.read)) {
            text_out.copy_input_to(at);
            text_out.append(version_table[target].toolset);
            text_out.read = at + old_text.size();
            report(listener, change_kind::replaced, old_text);
            changed = true;
        }
    }
    return changed;
}

}  // namespace

std::string_view searchable_text(std::string_view input) noexcept
{
    const void* zero = std::memchr(input.data(), 0, input.size());
    if (!zero)
        return input;
    return slice(input, 0, static_cast<std::size_t>(static_cast<const char*>(zero) - input.data()));
}

retarget_result retarget_text(std::string_view input, char* output, std::size_t output_capacity,
                              vs_version target, change_listener listener) noexcept
{
    retarget_result result;
    if (!is_valid_version(target))
        return result;

    std::string_view text = searchable_text(input);
    text_builder text_out{input, output, output_capacity};

    bool changed = replace_tools_version(text_out, text, target, listener);
    if (!changed && inserts_tools_version(target))
        changed = insert_tools_version(text_out, text, target, listener);
    if (replace_toolsets(text_out, text, target, listener))
        changed = true;
    text_out.copy_input_to(input.size());

    result.length = text_out.written;
    result.changed = changed;
    result.overflow = text_out.overflow;
    return result;
}

bool names_target(std::string_view input, vs_version target) noexcept
{
    if (!is_valid_version(target))
        return false;
    std::string_view text = searchable_text(input);
    const version_row& row = version_table[target];
    return find_text(text, row.tools_version, 0) != std::string_view::npos ||
           find_text(text, row.toolset, 0) != std::string_view::npos;
}

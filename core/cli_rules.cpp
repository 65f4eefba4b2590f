#include "core/cli_rules.h"

#include <cstring>

#include "core/text_search.h"

// One pass over the elements, front to back: find the next start tag, read
// its value up to the next '<', and go on from that '<', whether it closed
// the element or not. No byte is looked at twice by the same search, so a
// file of start tags without ends costs no more than any other. The project
// element is read once beforehand; its edit is told where it falls among
// the others.

namespace {

constexpr std::size_t none = std::string_view::npos;

constexpr std::string_view toolset_open = "<PlatformToolset>";
constexpr std::string_view toolset_close = "</PlatformToolset>";
constexpr std::string_view sdk_open = "<WindowsTargetPlatformVersion>";
constexpr std::string_view sdk_close = "</WindowsTargetPlatformVersion>";
constexpr std::string_view project_open = "<Project";
constexpr std::string_view tools_version_name = "ToolsVersion";

bool starts_with_at(std::string_view text, std::size_t at, std::string_view prefix) noexcept
{
    return at <= text.size() && prefix.size() <= text.size() - at &&
           std::memcmp(text.data() + at, prefix.data(), prefix.size()) == 0;
}

bool is_quote(char c) noexcept
{
    return c == '"' || c == '\'';
}

// The '>' that ends a declaration such as a DOCTYPE whose name starts at
// `from`: the first one outside quotes and outside its internal subset.
std::size_t declaration_end(std::string_view text, std::size_t from) noexcept
{
    bool in_subset = false;
    for (std::size_t i = from; i < text.size(); ++i) {
        char c = text[i];
        if (is_quote(c)) {
            i = find_byte(text, c, i + 1);
            if (i == none)
                return none;
        } else if (c == '[') {
            in_subset = true;
        } else if (c == ']') {
            in_subset = false;
        } else if (c == '>' && !in_subset) {
            return i;
        }
    }
    return none;
}

// Where the file's first start tag begins, behind the XML declaration (and
// other processing instructions), comments and a DOCTYPE; or none.
std::size_t first_start_tag(std::string_view text) noexcept
{
    for (std::size_t at = find_byte(text, '<', 0); at != none; at = find_byte(text, '<', at)) {
        std::size_t end = none;
        std::size_t end_length = 1;
        if (starts_with_at(text, at, "<?")) {
            end = find_text(text, "?>", at + 2);
            end_length = 2;
        } else if (starts_with_at(text, at, "<!--")) {
            end = find_text(text, "-->", at + 4);
            end_length = 3;
        } else if (starts_with_at(text, at, "<!")) {
            end = declaration_end(text, at + 2);
        } else {
            return at;
        }
        if (end == none)
            return none;
        at = end + end_length;
    }
    return none;
}

// The project element's ToolsVersion as the rules see it.
struct project_element {
    bool found = false;
    std::size_t name_end = 0;  // just behind "<Project"
    bool has_tools_version = false;
    std::size_t attribute = 0;    // where the first ToolsVersion attribute's name starts
    std::size_t value = 0;        // its value, between the quotes
    std::size_t value_end = 0;    // its closing quote
};

// Reads the attributes of the tag starting at `at` one by one, up to its
// first '>' outside a quoted value, stopping at the first ToolsVersion.
project_element read_project_element(std::string_view text) noexcept
{
    project_element p;
    std::size_t at = first_start_tag(text);
    if (at == none || !starts_with_at(text, at, project_open))
        return p;
    std::size_t i = at + project_open.size();
    if (i < text.size() && !is_white_space(text[i]) && text[i] != '>' && text[i] != '/')
        return p;  // another name, such as <ProjectExtensions>
    p.found = true;
    p.name_end = i;

    while (i < text.size()) {
        char c = text[i];
        if (c == '>')
            break;
        if (is_white_space(c) || c == '/' || c == '=') {
            ++i;
            continue;
        }
        if (is_quote(c)) {
            std::size_t close = find_byte(text, c, i + 1);
            if (close == none)
                break;
            i = close + 1;
            continue;
        }
        std::size_t name = i;
        while (i < text.size() && !is_white_space(text[i]) && text[i] != '=' && text[i] != '>' && text[i] != '/' &&
               !is_quote(text[i]))
            ++i;
        std::size_t name_end = i;
        std::size_t j = i;
        while (j < text.size() && is_white_space(text[j]))
            ++j;
        if (j >= text.size() || text[j] != '=')
            continue;
        ++j;
        while (j < text.size() && is_white_space(text[j]))
            ++j;
        i = j;
        if (j >= text.size() || !is_quote(text[j]))
            continue;  // an unquoted value is read as the next name
        std::size_t close = find_byte(text, text[j], j + 1);
        if (close == none)
            break;
        if (slice(text, name, name_end) == tools_version_name) {
            p.has_tools_version = true;
            p.attribute = name;
            p.value = j + 1;
            p.value_end = close;
            break;
        }
        i = close + 1;
    }
    return p;
}

// Both start tags hold a 'T', a byte that is rare in project files: one
// memchr for it finds the candidates of both.
constexpr char key_byte = 'T';
constexpr std::size_t toolset_key = toolset_open.find(key_byte);
constexpr std::size_t sdk_key = sdk_open.find(key_byte);
static_assert(toolset_key != none && sdk_key != none && sdk_key <= toolset_key);

// Where the next toolset start tag (or, with `sdk`, SDK start tag) begins
// at or after `from`; or none.
std::size_t next_element(std::string_view text, std::size_t from, bool sdk) noexcept
{
    for (std::size_t key = find_byte(text, key_byte, from + sdk_key); key != none;
         key = find_byte(text, key_byte, key + 1)) {
        if (key >= from + toolset_key && starts_with_at(text, key - toolset_key, toolset_open))
            return key - toolset_key;
        if (sdk && starts_with_at(text, key - sdk_key, sdk_open))
            return key - sdk_key;
    }
    return none;
}

// What a toolset element's value becomes, or empty to leave it; sets
// `names_target` for the target's own toolset or xp variant. The table's
// values are in lower case and none is longer than 7 bytes.
std::string_view new_toolset(std::string_view value, const cli_version_row& target, bool& names_target) noexcept
{
    value = trimmed(value);
    char lowered[8] = {};
    if (value.size() > sizeof lowered)
        return {};
    for (std::size_t i = 0; i < value.size(); ++i)
        lowered[i] = lower(value[i]);
    std::string_view v(lowered, value.size());
    if (v == target.toolset || (!target.xp_toolset.empty() && v == target.xp_toolset)) {
        names_target = true;
        return {};
    }
    for (const cli_version_row& row : cli_version_table) {
        if (v == row.toolset)
            return target.toolset;
        if (!row.xp_toolset.empty() && v == row.xp_toolset)
            return target.xp_toolset;
    }
    return {};
}

// Tells the edits in file order, with the project element's edit put in its
// place among the element edits. An element edit inside the replaced
// ToolsVersion value is left out: the value is replaced whole.
struct edit_teller {
    void (*edit)(void* context, const cli_edit& e) = nullptr;
    void* context = nullptr;
    cli_edit attribute;
    bool attribute_pending = false;
    std::size_t count = 0;

    void tell(const cli_edit& e) noexcept
    {
        ++count;
        if (edit)
            edit(context, e);
    }

    void element(const cli_edit& e) noexcept
    {
        if (attribute_pending) {
            std::size_t end = attribute.at + attribute.length;
            if (end <= e.at) {
                tell(attribute);
                attribute_pending = false;
            } else if (e.at + e.length > attribute.at) {
                return;
            }
        }
        tell(e);
    }

    void finish() noexcept
    {
        if (attribute_pending)
            tell(attribute);
        attribute_pending = false;
    }
};

}  // namespace

cli_edits find_cli_edits(std::string_view input, const cli_target& target,
                         void (*edit)(void* context, const cli_edit& e), void* context) noexcept
{
    cli_edits result;
    if (static_cast<std::size_t>(target.version) >= cli_version_count)
        return result;
    const cli_version_row& row = cli_version_table[target.version];
    std::size_t zero = find_byte(input, '\0', 0);
    std::string_view text = zero == none ? input : slice(input, 0, zero);

    edit_teller teller;
    teller.edit = edit;
    teller.context = context;
    if (!row.tools_version.empty()) {
        project_element p = read_project_element(text);
        if (p.found && p.has_tools_version) {
            std::string_view value = slice(text, p.value, p.value_end);
            if (value == row.tools_version) {
                result.names_target = true;
            } else {
                teller.attribute = {p.value, value.size(), row.tools_version, change_kind::replaced,
                                    slice(text, p.attribute, p.value_end + 1)};
                teller.attribute_pending = true;
            }
        } else if (p.found && row.inserts_tools_version) {
            teller.attribute = {p.name_end, 0, row.inserted_text, change_kind::inserted, row.inserted_attribute};
            teller.attribute_pending = true;
        }
    }

    bool sdk = !target.sdk.empty();
    for (std::size_t from = 0;;) {
        std::size_t at = next_element(text, from, sdk);
        if (at == none)
            break;
        bool toolset = starts_with_at(text, at, toolset_open);
        std::string_view close = toolset ? toolset_close : sdk_close;
        std::size_t value_start = at + (toolset ? toolset_open.size() : sdk_open.size());
        std::size_t value_end = find_byte(text, '<', value_start);
        if (value_end == none)
            break;  // no tag further on at all
        from = value_end;
        if (!starts_with_at(text, value_end, close))
            continue;
        from = value_end + close.size();
        std::string_view value = slice(text, value_start, value_end);
        std::string_view replacement;
        if (toolset)
            replacement = new_toolset(value, row, result.names_target);
        else if (trimmed(value) != target.sdk)
            replacement = target.sdk;
        if (!replacement.empty())
            teller.element({value_start, value.size(), replacement, change_kind::replaced, slice(text, at, from)});
    }
    teller.finish();
    result.count = teller.count;
    return result;
}

#include "core/retarget.h"

#include <cstring>

#include "core/text_search.h"

// Every text the rules look for holds a 'T', a byte that is rare in project
// files, so one memchr for it finds them all. A first pass notes the first
// attribute and the last toolset element of each row and the anchor, which
// settles every edit, and the places of the first toolset elements; the
// toolset edits are told from those, and only behind them is the text
// searched again.

namespace {

constexpr std::size_t none = text_none;
constexpr char key_byte = 'T';
constexpr std::string_view toolset_start = "<PlatformToolset>";
constexpr std::size_t toolset_key = toolset_start.find(key_byte);
constexpr std::size_t anchor_key = project_anchor.find(key_byte);
constexpr std::string_view attribute_prefix = "ToolsVersion=\"";
static_assert(attribute_prefix.find(key_byte) == 0);

bool starts_at(std::string_view text, std::size_t at, std::string_view prefix) noexcept
{
    return prefix.size() <= text.size() - at && std::memcmp(text.data() + at, prefix.data(), prefix.size()) == 0;
}

// The row whose toolset element starts at `at`, or -1 for none.
int toolset_at(std::string_view text, std::size_t at) noexcept
{
    if (!starts_at(text, at, toolset_start))
        return -1;
    for (int row = 0; row < static_cast<int>(version_count); ++row)
        if (starts_at(text, at, version_table[row].toolset))
            return row;
    return -1;
}

// Whether the project element at `element` has a ToolsVersion attribute of
// its own: the name after white space, then optional white space and '='.
bool element_has_tools_version(std::string_view text, std::size_t element) noexcept
{
    constexpr std::string_view name = "ToolsVersion";
    std::size_t end = find_byte(text, '>', element);
    std::string_view tag = slice(text, element, end == none ? text.size() : end);
    for (std::size_t at = tag.find(name); at != none; at = tag.find(name, at + 1)) {
        std::size_t next = at + name.size();
        while (next < tag.size() && is_white_space(tag[next]))
            ++next;
        if (at != 0 && is_white_space(tag[at - 1]) && next < tag.size() && tag[next] == '=')
            return true;
    }
    return false;
}

struct findings {
    static constexpr std::size_t kept_capacity = 256;
    std::size_t first_attribute[version_count] = {none, none, none, none};
    std::size_t last_toolset[version_count] = {none, none, none, none};
    std::size_t anchor = none;
    std::size_t kept[kept_capacity];  // the first toolset elements, in file order
    std::size_t kept_count = 0;
};

findings find_texts(std::string_view text) noexcept
{
    findings f;
    const std::size_t toolset_length = version_table[0].toolset.size();
    for (std::size_t key = find_byte(text, key_byte, 0); key != none; key = find_byte(text, key_byte, key + 1)) {
        if (int row = key >= toolset_key ? toolset_at(text, key - toolset_key) : -1; row >= 0) {
            f.last_toolset[row] = key - toolset_key;
            if (f.kept_count < findings::kept_capacity)
                f.kept[f.kept_count++] = key - toolset_key;
            key += toolset_length - toolset_key - 1;  // no other text starts inside the element
        } else if (starts_at(text, key, attribute_prefix)) {
            for (int r = 0; r < static_cast<int>(version_count); ++r)
                if (f.first_attribute[r] == none && starts_at(text, key, version_table[r].tools_version))
                    f.first_attribute[r] = key;
        } else if (f.anchor == none && key >= anchor_key && starts_at(text, key - anchor_key, project_anchor))
            f.anchor = key - anchor_key;
    }
    return f;
}

// The converted text, written front to back as the edits are told, never
// past the capacity.
struct output_writer {
    std::string_view input;
    char* output = nullptr;
    std::size_t capacity = 0;
    change_listener listener;
    std::size_t copied = 0;   // input bytes accounted for
    std::size_t written = 0;  // length of the converted text so far, room or not
    std::size_t cut = 0;      // the last place within the capacity where an edit begins or ends, or the end

    void put(std::string_view bytes) noexcept
    {
        if (written < capacity && !bytes.empty())
            std::memcpy(output + written, bytes.data(), bytes.size() < capacity - written ? bytes.size() : capacity - written);
        written += bytes.size();
        cut = written <= capacity ? written : cut;
    }

    static void on_edit(void* context, const text_edit& e) noexcept
    {
        auto& w = *static_cast<output_writer*>(context);
        w.put(slice(w.input, w.copied, e.at));
        w.put(e.text);  // empty for a text in pieces
        for (std::size_t i = 0; i < e.pieces.count; ++i)
            w.put(e.pieces.piece[i]);
        w.copied = e.at + e.length;
        // find_edits reports a text in pieces as one piece.
        if (w.listener.on_change)
            w.listener.on_change(w.listener.context, e.kind, e.pieces.count ? e.pieces.piece[e.reported_from] : e.reported);
    }
};

void ignore_edit(void*, const text_edit&) noexcept {}

}  // namespace

std::string_view searchable_text(std::string_view input) noexcept
{
    std::size_t zero = find_byte(input, '\0', 0);
    return zero == none ? input : slice(input, 0, zero);
}

found_edits find_edits(std::string_view input, vs_version target, edit_sink edit, void* context) noexcept
{
    found_edits result;
    if (!is_valid_version(target))
        return result;
    std::string_view text = searchable_text(input);
    const findings f = find_texts(text);
    const version_row& to = version_table[target];
    result.names_target = f.first_attribute[target] != none || f.last_toolset[target] != none;
    auto tell = [&](const text_edit& e) { edit(context, e); ++result.count; };

    std::size_t read = 0;  // where the toolset searches start
    for (int row = 0; row < static_cast<int>(version_count) && read == 0; ++row)
        if (row != target && f.first_attribute[row] != none) {
            std::string_view old_text = version_table[row].tools_version;
            tell({f.first_attribute[row], old_text.size(), to.tools_version, change_kind::replaced, old_text});
            read = f.first_attribute[row] + old_text.size();
        }
    if (read == 0 && inserts_tools_version(target) && f.first_attribute[target] == none && f.anchor != none &&
        !element_has_tools_version(text, f.anchor)) {
        // The white space behind the anchor is repeated in front of the
        // attribute, so the element keeps its shape; a '>' or the end gets a space.
        std::size_t behind = f.anchor + project_anchor.size();
        std::string_view separator = behind < text.size() && is_white_space(text[behind])
                                         ? slice(text, behind, behind + 1) : std::string_view(" ");
        tell({behind, 0, {}, change_kind::inserted, {}, {{separator, to.tools_version}, 2}, 1, 2});
        read = behind;
    }

    // Each row's search replaces its elements from its start to its last one.
    const std::size_t toolset_length = to.toolset.size();
    std::size_t start[version_count] = {};
    std::size_t from = read;  // where the elements not kept are searched for
    if (f.kept_count == findings::kept_capacity && f.kept[f.kept_count - 1] + toolset_length > from)
        from = f.kept[f.kept_count - 1] + toolset_length;
    for (int row = 0; row < static_cast<int>(version_count); ++row) {
        start[row] = read;
        if (row != target && f.last_toolset[row] != none && f.last_toolset[row] >= read)
            read = f.last_toolset[row] + toolset_length;
    }
    auto replace = [&](std::size_t at, int row) {
        if (row != target && at >= start[row])
            tell({at, toolset_length, to.toolset, change_kind::replaced, version_table[row].toolset});
    };
    for (std::size_t i = 0; i < f.kept_count && f.kept[i] < read; ++i)
        replace(f.kept[i], toolset_at(text, f.kept[i]));
    std::string_view searched = slice(text, 0, read);
    bool all_kept = f.kept_count < findings::kept_capacity;
    for (std::size_t key = !all_kept && from < read ? find_byte(searched, key_byte, from + toolset_key) : none;
         key != none; key = find_byte(searched, key_byte, key + 1))
        if (int row = toolset_at(searched, key - toolset_key); row >= 0) {
            replace(key - toolset_key, row);
            key += toolset_length - toolset_key - 1;
        }
    return result;
}

retarget_result retarget_text(std::string_view input, char* output, std::size_t output_capacity,
                              vs_version target, change_listener listener) noexcept
{
    retarget_result result;
    if (!is_valid_version(target))
        return result;
    output_writer w{input, output, output_capacity, listener};
    result.changed = find_edits(input, target, output_writer::on_edit, &w).count != 0;
    w.put(slice(input, w.copied, input.size()));
    result.overflow = w.written > output_capacity;
    result.length = w.cut;
    return result;
}

bool names_target(std::string_view input, vs_version target) noexcept
{
    return find_edits(input, target, ignore_edit, nullptr).names_target;
}

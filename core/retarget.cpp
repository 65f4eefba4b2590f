#include "core/retarget.h"

#include <cstring>

#include "core/text_search.h"

// The conversion reads the text once, in chunks that stay in the first-level
// cache while they are checked for a zero byte, copied to the output and
// searched. Every text it looks for holds a 'T', a byte that is rare in
// project files, so one memchr for it finds the candidates of all of them.
//
// The ToolsVersion edit depends on the whole text (the first row found in
// table order wins, wherever it stands), so the pass goes ahead on what it has
// seen so far and starts again behind the edit when a later find changes it.
// That happens at most a few times, and in a usual project near the top.
//
// A toolset element is replaced by one of the same length, so behind the
// edit the output is the input shifted by a fixed amount, with two digits
// changed in every replaced element.

namespace {

constexpr std::size_t none = std::string_view::npos;
constexpr char key_byte = 'T';

// Every toolset of the table is this prefix, two digits and this suffix.
constexpr std::string_view toolset_prefix = "<PlatformToolset>v1";
constexpr std::string_view toolset_suffix = "</PlatformToolset>";
constexpr std::size_t toolset_length = toolset_prefix.size() + 2 + toolset_suffix.size();
constexpr std::string_view attribute_prefix = "ToolsVersion=\"";

constexpr std::size_t toolset_key = toolset_prefix.find(key_byte);
constexpr std::size_t anchor_key = project_anchor.find(key_byte);
static_assert(attribute_prefix.find(key_byte) == 0);

// Bytes copied and checked for zero beyond a chunk: more than any text
// reaches past its key byte, so a text whose key is in the chunk is whole.
constexpr std::size_t lookahead = 64;
constexpr std::size_t chunk_size = 8 << 10;

bool starts_with_at(std::string_view input, std::size_t at, std::string_view text) noexcept
{
    return std::memcmp(input.data() + at, text.data(), text.size()) == 0;
}

void report(const change_listener& listener, change_kind kind, std::string_view text) noexcept
{
    if (listener.on_change)
        listener.on_change(listener.context, kind, text);
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

// Finds the first zero byte of the input, looking only as far as asked.
struct zero_finder {
    std::string_view input;
    std::size_t checked = 0;
    std::size_t zero = none;

    // The end of the searchable text as far as known once [0, end) is checked:
    // the zero byte, or `end` when there is none before it.
    std::size_t searchable_end(std::size_t end) noexcept
    {
        if (zero != none)
            return zero;
        if (end > checked) {
            const void* found = std::memchr(input.data() + checked, 0, end - checked);
            if (found) {
                zero = static_cast<std::size_t>(static_cast<const char*>(found) - input.data());
                return zero;
            }
            checked = end;
        }
        return checked;
    }
};

// What has been found of the ToolsVersion attributes and of the anchor; it only grows.
struct attribute_findings {
    std::size_t first_attribute[version_count] = {none, none, none, none};
    std::size_t anchor = none;
    bool anchor_has_tools_version = false;
};

// The one edit in front of the toolsets: [at, resume) of the input gives way
// to `separator` (when not zero) and `text`. Copying and the toolset search
// go on from `resume`, the read position.
struct attribute_edit {
    bool active = false;
    change_kind kind = change_kind::replaced;
    std::size_t at = 0;
    std::size_t resume = 0;
    char separator = 0;
    std::string_view text;      // written into the output
    std::string_view reported;  // told to the listener

    std::size_t length() const noexcept { return (separator ? 1 : 0) + text.size(); }

    bool operator==(const attribute_edit& other) const noexcept
    {
        return active == other.active && kind == other.kind && at == other.at;
    }
};

// The edit that steps 6 and 7 would make on a text with these findings.
attribute_edit plan_attribute_edit(const attribute_findings& found, std::string_view input,
                                   vs_version target) noexcept
{
    attribute_edit edit;
    std::string_view attribute = version_table[target].tools_version;
    for (vs_version row = 0; row < static_cast<vs_version>(version_count); ++row) {
        if (row == target || found.first_attribute[row] == none)
            continue;
        std::string_view old_text = version_table[row].tools_version;
        edit.active = true;
        edit.at = found.first_attribute[row];
        edit.resume = edit.at + old_text.size();
        edit.text = attribute;
        edit.reported = old_text;
        return edit;
    }
    if (!inserts_tools_version(target) || found.first_attribute[target] != none || found.anchor == none ||
        found.anchor_has_tools_version)
        return edit;

    std::size_t behind = found.anchor + project_anchor.size();
    edit.active = true;
    edit.kind = change_kind::inserted;
    edit.at = behind;
    edit.resume = behind;
    // The white space that follows the anchor is repeated behind the attribute,
    // so the element keeps its shape; a '>' or the end of the text gets a space
    // in front of the attribute instead.
    edit.separator = behind < input.size() && is_white_space(input[behind]) ? input[behind] : ' ';
    edit.text = attribute;
    edit.reported = attribute;
    return edit;
}

// The output: the input with the edit applied, copied front to back, never
// written past the capacity.
struct output_writer {
    std::string_view input;
    char* output = nullptr;
    std::size_t capacity = 0;
    attribute_edit edit;
    std::size_t copied = 0;  // input offset up to which the output holds its copy
    bool edit_written = false;

    // Where input byte `at` (at or behind edit.resume) stands in the output.
    std::size_t output_of(std::size_t at) const noexcept { return at - edit.resume + edit.at + edit.length(); }

    void put(std::size_t out, const char* bytes, std::size_t count) noexcept
    {
        if (out >= capacity)
            return;
        if (count > capacity - out)
            count = capacity - out;
        if (count)
            std::memcpy(output + out, bytes, count);
    }

    void copy_through(std::size_t end) noexcept
    {
        if (end > input.size())
            end = input.size();
        if (copied < edit.at) {
            std::size_t to = end < edit.at ? end : edit.at;
            put(copied, input.data() + copied, to - copied);
            copied = to;
            if (copied < edit.at)
                return;
        }
        if (!edit_written) {
            if (edit.separator)
                put(edit.at, &edit.separator, 1);
            put(edit.at + (edit.separator ? 1 : 0), edit.text.data(), edit.text.size());
            edit_written = true;
            if (copied < edit.resume)
                copied = edit.resume;
        }
        if (end > copied) {
            put(output_of(copied), input.data() + copied, end - copied);
            copied = end;
        }
    }

    // Puts input[from, to) back over what stands for it in the output.
    void restore(std::size_t from, std::size_t to) noexcept { put(output_of(from), input.data() + from, to - from); }
};

// The toolset elements of the other rows, by rank: the place of their row
// among the rows searched, in table order. With the read position shared and
// never moving back, an element is replaced exactly when no element of a
// lower rank stands behind it: the replaced ones are a run of rank 0, then
// one of rank 1, then one of rank 2.
struct toolset_runs {
    static constexpr std::size_t ranks = version_count - 1;
    std::size_t run_start[ranks] = {};       // where the run of each rank may start
    std::size_t count[ranks] = {};           // elements replaced in each run
    std::size_t last_in_room[ranks] = {none, none, none};  // last of each rank starting within the capacity

    void restart(std::size_t read) noexcept
    {
        *this = toolset_runs{};
        for (std::size_t& start : run_start)
            start = read;
    }
};

struct conversion {
    std::string_view input;
    vs_version target = 0;
    output_writer out;
    zero_finder zeros;
    attribute_findings found;
    toolset_runs runs;
    int rank_of_row[version_count] = {};
    std::string_view digits;  // the target's two toolset digits

    void add_element(std::size_t at, std::size_t rank) noexcept
    {
        bool higher_replaced = false;
        for (std::size_t r = rank + 1; r < toolset_runs::ranks; ++r)
            higher_replaced = higher_replaced || runs.count[r] != 0;
        if (higher_replaced)
            out.restore(runs.run_start[rank + 1], at);
        out.put(out.output_of(at) + toolset_prefix.size(), digits.data(), digits.size());
        ++runs.count[rank];
        for (std::size_t r = rank + 1; r < toolset_runs::ranks; ++r) {
            runs.count[r] = 0;
            runs.run_start[r] = at + toolset_length;
        }
        if (out.output_of(at) <= out.capacity)
            runs.last_in_room[rank] = at;
    }

    // A toolset element at `at` of the searchable text.
    void on_toolset(std::size_t at) noexcept
    {
        if (at < out.edit.resume)
            return;
        std::string_view element_digits = slice(input, at + toolset_prefix.size(), at + toolset_prefix.size() + 2);
        for (vs_version row = 0; row < static_cast<vs_version>(version_count); ++row)
            if (rank_of_row[row] >= 0 && slice(version_table[row].toolset, toolset_prefix.size(), toolset_prefix.size() + 2) == element_digits) {
                add_element(at, static_cast<std::size_t>(rank_of_row[row]));
                return;
            }
    }

    // The ToolsVersion texts of the table at `at`; whether the edit changed.
    bool on_attribute(std::size_t at, std::size_t limit) noexcept
    {
        for (vs_version row = 0; row < static_cast<vs_version>(version_count); ++row) {
            std::string_view text = version_table[row].tools_version;
            if (found.first_attribute[row] == none && at + text.size() <= limit && starts_with_at(input, at, text))
                found.first_attribute[row] = at;
        }
        return replan();
    }

    bool on_anchor(std::size_t at) noexcept
    {
        if (found.anchor != none)
            return false;
        found.anchor = at;
        const void* close = std::memchr(input.data() + at, '>', input.size() - at);
        std::size_t end = close ? static_cast<std::size_t>(static_cast<const char*>(close) - input.data()) : input.size();
        found.anchor_has_tools_version = element_has_tools_version(slice(input, 0, zeros.searchable_end(end)), at);
        return replan();
    }

    bool replan() noexcept
    {
        attribute_edit edit = plan_attribute_edit(found, input, target);
        if (edit == out.edit)
            return false;
        out.edit = edit;
        out.copied = 0;
        out.edit_written = false;
        runs.restart(edit.resume);
        return true;
    }

    // Searches [from, end) of a chunk whose texts end before `limit`; returns
    // where the search goes on, or `none` when the edit changed.
    std::size_t search(std::size_t from, std::size_t end, std::size_t limit) noexcept
    {
        const char* text = input.data();
        while (from < end) {
            const void* hit = std::memchr(text + from, key_byte, end - from);
            if (!hit)
                return end;
            std::size_t key = static_cast<std::size_t>(static_cast<const char*>(hit) - text);
            from = key + 1;
            if (key >= toolset_key && key - toolset_key + toolset_length <= limit) {
                std::size_t at = key - toolset_key;
                if (starts_with_at(input, at, toolset_prefix) &&
                    starts_with_at(input, at + toolset_prefix.size() + 2, toolset_suffix)) {
                    on_toolset(at);
                    from = at + toolset_length;
                    continue;
                }
            }
            if (key + attribute_prefix.size() <= limit && starts_with_at(input, key, attribute_prefix)) {
                if (on_attribute(key, limit))
                    return none;
                continue;
            }
            if (key >= anchor_key && key - anchor_key + project_anchor.size() <= limit &&
                starts_with_at(input, key - anchor_key, project_anchor) && on_anchor(key - anchor_key))
                return none;
        }
        return from;
    }

    void run() noexcept
    {
        std::size_t from = 0;
        for (;;) {
            std::size_t end = from + chunk_size < input.size() ? from + chunk_size : input.size();
            std::size_t ahead = end + lookahead < input.size() ? end + lookahead : input.size();
            std::size_t limit = zeros.searchable_end(ahead);
            if (end > limit)
                end = limit;
            if (from >= end)
                break;
            out.copy_through(ahead);
            std::size_t next = search(from, end, limit);
            from = next == none ? out.edit.resume : next;
        }
        out.copy_through(input.size());
    }

    // The length of the converted text, or, when it does not fit, that of the
    // part that does, cut where a replaced or inserted text begins or ends.
    std::size_t length(bool& overflow) const noexcept
    {
        const attribute_edit& edit = out.edit;
        std::size_t full = edit.active ? input.size() - (edit.resume - edit.at) + edit.length() : input.size();
        overflow = full > out.capacity;
        if (!overflow)
            return full;

        std::size_t cut = 0;
        auto consider = [&](std::size_t at) {
            if (at <= out.capacity && at > cut)
                cut = at;
        };
        if (edit.active) {
            consider(edit.at);
            if (edit.separator)
                consider(edit.at + 1);
            consider(edit.at + edit.length());
        }
        for (std::size_t rank = 0; rank < toolset_runs::ranks; ++rank) {
            std::size_t at = runs.last_in_room[rank];
            if (at == none || at < runs.run_start[rank])
                continue;
            consider(out.output_of(at));
            consider(out.output_of(at) + toolset_length);
        }
        return cut;
    }

    void tell(const change_listener& listener) const noexcept
    {
        if (out.edit.active)
            report(listener, out.edit.kind, out.edit.reported);
        for (vs_version row = 0; row < static_cast<vs_version>(version_count); ++row)
            if (rank_of_row[row] >= 0)
                for (std::size_t i = 0; i < runs.count[rank_of_row[row]]; ++i)
                    report(listener, change_kind::replaced, version_table[row].toolset);
    }
};

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

    conversion c;
    c.input = input;
    c.target = target;
    c.out.input = input;
    c.out.output = output;
    c.out.capacity = output_capacity;
    c.zeros.input = input;
    int rank = 0;
    for (vs_version row = 0; row < static_cast<vs_version>(version_count); ++row)
        c.rank_of_row[row] = row == target ? -1 : rank++;
    c.digits = slice(version_table[target].toolset, toolset_prefix.size(), toolset_prefix.size() + 2);
    c.runs.restart(0);
    c.run();

    result.length = c.length(result.overflow);
    result.changed = c.out.edit.active || c.runs.count[0] + c.runs.count[1] + c.runs.count[2] != 0;
    c.tell(listener);
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

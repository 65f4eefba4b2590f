// Converts arbitrary bytes to every target and checks the edits found and the
// converted text against the plain reference, the declared growth bound and
// the capacity given.
// The first input byte picks the target; the rest is the project's text.

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/retarget.h"
#include "core/text_search.h"
#include "fuzz_require.h"
#include "reference_retarget.h"

namespace {

struct reported_change {
    change_kind kind;
    std::string text;
};

void record(void* context, change_kind kind, std::string_view text)
{
    static_cast<std::vector<reported_change>*>(context)->push_back({kind, std::string(text)});
}

// '0' to '3' pick that version, '4' to '7' an out-of-range one, as does every
// other byte in the same way (by its value modulo 8).
vs_version target_from(std::uint8_t byte)
{
    switch (byte % 8) {
    case 4: return vs_version(-1);
    case 5: return vs_version(4);
    case 6: return vs_version(INT_MIN);
    case 7: return vs_version(INT_MAX - byte);
    default: return vs_version(byte % 8);
    }
}

struct conversion {
    std::string text;
    std::vector<reported_change> changes;
    retarget_result result;
};

// Converts into a heap buffer of exactly `capacity` bytes, so that a write
// past it is caught.
conversion convert(const std::string& input, vs_version target, std::size_t capacity)
{
    conversion c;
    std::unique_ptr<char[]> buffer(new char[capacity]);
    std::memset(buffer.get(), 0x5a, capacity);
    c.result = retarget_text(input, buffer.get(), capacity, target, {record, &c.changes});
    require(c.result.length <= capacity, "length within the capacity");
    c.text.assign(buffer.get(), c.result.length);
    return c;
}

void check_reference_is_consistent(const std::string& input, const reference_conversion& expected)
{
    std::size_t end = 0;
    for (const reference_edit& edit : expected.edits) {
        require(edit.at >= end && edit.at + edit.old_length <= input.size(), "reference edits ascend");
        if (edit.inserted)
            require(edit.old_length == 0 && edit.new_text.ends_with(edit.reported), "reference inserts what it reports");
        else
            require(input.compare(edit.at, edit.old_length, edit.reported) == 0, "reference replaces what it reports");
        end = edit.at + edit.old_length;
    }
}

// An edit as find_edits tells it, its pieces joined.
struct told_edit {
    std::size_t at = 0;
    std::size_t length = 0;
    std::string text;
    std::string reported;
    change_kind kind = change_kind::replaced;
};

void record_edit(void* context, const text_edit& e)
{
    told_edit told{e.at, e.length, std::string(e.text), std::string(e.reported), e.kind};
    if (e.pieces.count != 0) {
        require(e.text.empty() && e.reported.empty(), "an edit in pieces has no text besides");
        require(e.pieces.count <= text_pieces::capacity && e.reported_from <= e.reported_to &&
                    e.reported_to <= e.pieces.count,
                "the pieces reported are pieces of the edit");
        for (std::size_t i = 0; i < e.pieces.count; ++i) {
            told.text.append(e.pieces.piece[i]);
            if (i >= e.reported_from && i < e.reported_to)
                told.reported.append(e.pieces.piece[i]);
        }
    }
    static_cast<std::vector<told_edit>*>(context)->push_back(told);
}

// find_edits against the reference, edit by edit and byte for byte.
void check_edits(const std::string& input, vs_version target, const reference_conversion& expected)
{
    std::vector<told_edit> edits;
    found_edits found = find_edits(input, target, record_edit, &edits);
    require(found.count == edits.size(), "count of the edits told");
    require(edits.size() == expected.edits.size(), "as many edits as the reference");
    for (std::size_t i = 0; i < edits.size(); ++i) {
        const told_edit& e = edits[i];
        const reference_edit& r = expected.edits[i];
        require(e.at == r.at, "offset of each edit");
        require(e.length == r.old_length, "length of each edit");
        require(e.text == r.new_text, "new text of each edit");
        require(e.reported == r.reported, "reported text of each edit");
        require(e.kind == (r.inserted ? change_kind::inserted : change_kind::replaced), "kind of each edit");
    }
    require(found.names_target == reference_names_target(input, target), "names_target of find_edits");
}

void check_out_of_range(const std::string& input, vs_version target)
{
    std::size_t capacity = input.size() + retarget_max_growth;
    std::unique_ptr<char[]> buffer(new char[capacity]);
    std::memset(buffer.get(), 0x5a, capacity);
    std::vector<reported_change> changes;
    retarget_result r = retarget_text(input, buffer.get(), capacity, target, {record, &changes});
    require(!r.changed && !r.overflow && r.length == 0, "out-of-range target converts nothing");
    require(changes.empty(), "out-of-range target reports nothing");
    for (std::size_t i = 0; i < capacity; ++i)
        require(buffer[i] == 0x5a, "out-of-range target writes nothing");
    require(!names_target(input, target), "out-of-range target is never named");
    std::vector<told_edit> edits;
    found_edits found = find_edits(input, target, record_edit, &edits);
    require(found.count == 0 && edits.empty() && !found.names_target, "out-of-range target finds no edit");
}

// The length the text must have with the reported changes applied: each
// replaced text gives way to the target's text of the same kind, and an
// insertion adds the attribute and one separating byte.
std::size_t length_after(std::size_t length, const std::vector<reported_change>& changes, vs_version target)
{
    for (const reported_change& change : changes) {
        const version_row& row = version_table[target];
        if (change.kind == change_kind::inserted)
            length += 1 + change.text.size();
        else if (change.text.starts_with("<PlatformToolset>"))
            length += row.toolset.size() - change.text.size();
        else
            length += row.tools_version.size() - change.text.size();
    }
    return length;
}

void check_full_conversion(const std::string& input, vs_version target, const reference_conversion& expected)
{
    conversion c = convert(input, target, input.size() + retarget_max_growth);
    require(!c.result.overflow, "growth bound is enough room");
    require(c.text.size() <= input.size() + retarget_max_growth, "growth within the bound");

    require(c.changes.size() == expected.edits.size(), "as many changes reported as made");
    for (std::size_t i = 0; i < c.changes.size(); ++i) {
        const reference_edit& edit = expected.edits[i];
        require(c.changes[i].kind == (edit.inserted ? change_kind::inserted : change_kind::replaced),
                "kind of each change");
        require(c.changes[i].text == edit.reported, "text of each change");
    }
    require(c.result.changed == !expected.edits.empty(), "changed flag");
    require(c.text.size() == length_after(input.size(), c.changes, target), "length follows the reported changes");
    require(c.text == expected.text, "converted text is the input with the reported changes");
    if (expected.edits.empty())
        require(c.text == input, "nothing to change leaves the text as it was");
    require(names_target(input, target) == reference_names_target(input, target), "names_target");
}

void check_tight_capacities(const std::string& input, vs_version target, const reference_conversion& expected)
{
    std::size_t needed = expected.text.size();
    conversion exact = convert(input, target, needed);
    require(!exact.result.overflow && exact.text == expected.text, "exact capacity is enough");
    if (needed == 0)
        return;

    for (std::size_t capacity : {needed - 1, needed / 2, std::size_t{0}}) {
        conversion c = convert(input, target, capacity);
        require(c.result.overflow, "too small a capacity is flagged");
        require(expected.text.compare(0, c.text.size(), c.text) == 0, "an overflowed output is a prefix");
    }
}

// The conversion's own search against the plain one, with a needle cut from
// the text itself so that it occurs at least once, and with the table's texts.
void check_find_text(const std::string& input)
{
    if (input.empty())
        return;
    std::string_view text = input;
    std::size_t at = (input.size() * 7919 + static_cast<unsigned char>(input.back())) % input.size();
    std::size_t length = static_cast<unsigned char>(input.front()) % 48;
    std::vector<std::string_view> needles = {text.substr(at, length), project_anchor};
    for (const version_row& row : version_table) {
        needles.push_back(row.toolset);
        needles.push_back(row.tools_version);
    }
    for (std::string_view needle : needles)
        for (std::size_t from : {std::size_t{0}, at, at + 1, input.size() / 2, input.size(), input.size() + 1})
            require(find_text(text, needle, from) == text.find(needle, from), "find_text is a plain search");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    vs_version target = target_from(data[0]);
    std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    check_find_text(input);

    if (target < 0 || target > 3) {
        check_out_of_range(input, target);
        return 0;
    }
    reference_conversion expected = reference_retarget(input, target);
    check_reference_is_consistent(input, expected);
    check_edits(input, target, expected);
    check_full_conversion(input, target, expected);
    check_tight_capacities(input, target, expected);

    // The same text far from the start, behind a filler of 8 KiB.
    constexpr std::size_t filler = 8 << 10;
    std::string shifted = std::string(filler - std::min(input.size() / 2, filler), 'x') + input;
    reference_conversion shifted_expected = reference_retarget(shifted, target);
    check_edits(shifted, target, shifted_expected);
    check_full_conversion(shifted, target, shifted_expected);

    // A short text with a toolset element, many times over: more elements
    // than the first pass keeps the places of.
    if (input.size() <= 160 && input.find("<PlatformToolset>") != std::string::npos) {
        std::string repeated;
        for (int i = 0; i < 300; ++i)
            repeated += input;
        check_edits(repeated, target, reference_retarget(repeated, target));
    }
    return 0;
}

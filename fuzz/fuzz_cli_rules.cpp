// Runs projport-cli's rules over arbitrary bytes for every target and checks
// them against the plain reference: the edits told, their order, what each
// reports, the converted text and names_target; then the listing of
// elements left unchanged, over the input and over the converted text.
// The first input byte picks the target (its value modulo 8) and the SDK
// version (divided by 8, modulo 4); the second, what the imported files say
// (one bit each); the rest is the project's text.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/cli_rules.h"
#include "core/conversion.h"
#include "core/unchanged_toolsets.h"
#include "core/toolset_ladders.h"
#include "fuzz_require.h"
#include "reference_cli_rules.h"

namespace {

struct collected {
    std::string_view input;
    std::vector<text_edit> edits;
};

void collect(void* context, const text_edit& e)
{
    auto& c = *static_cast<collected*>(context);
    if (e.kind == change_kind::replaced) {
        // What is reported is a view of the input around the edit.
        require(e.reported.data() >= c.input.data() &&
                    e.reported.data() + e.reported.size() <= c.input.data() + c.input.size(),
                "a replaced text is reported from the input");
        require(e.reported.data() <= c.input.data() + e.at &&
                    e.reported.data() + e.reported.size() >= c.input.data() + e.at + e.length,
                "what is reported holds what is replaced");
    }
    c.edits.push_back(e);
}

struct found_unchanged {
    std::string_view text;
    std::vector<unchanged_toolset> found;
};

void collect_unchanged(void* context, const unchanged_toolset& e)
{
    auto& c = *static_cast<found_unchanged*>(context);
    require(e.element.data() == c.text.data() + e.offset, "an unchanged toolset is a view of the text at its offset");
    c.found.push_back(e);
}

void check_unchanged(const std::string& text, const cli_version_row& row, unsigned ladder)
{
    found_unchanged c{text, {}};
    std::size_t count = find_unchanged_toolsets(text, row.toolset, row.xp_toolset, collect_unchanged, &c, ladder);
    std::vector<reference_unchanged_toolset> expected =
        reference_unchanged_toolsets(text, std::string(row.toolset), std::string(row.xp_toolset), ladder);
    require(count == c.found.size(), "unchanged toolset count is what was told");
    require(count == expected.size(), "as many unchanged toolsets as the reference");
    for (std::size_t i = 0; i < count; ++i) {
        require(c.found[i].line == expected[i].line, "line of each unchanged toolset");
        require(c.found[i].offset == expected[i].offset, "offset of each unchanged toolset");
        require(c.found[i].element == expected[i].element, "text of each unchanged toolset");
    }
}

const char* const sdks[4] = {"", "10.0", "8.1", "10.0.19041.0"};

// The conversion's side: the converted text in a string, the changes and
// the line shifts as they are told.
class string_output final : public text_output {
public:
    bool append(std::string_view bytes) noexcept override
    {
        text_.append(bytes);
        return true;
    }
    std::string_view text() const noexcept override { return text_; }

private:
    std::string text_;
};

struct told_edits final : edit_listener {
    std::vector<std::string> changes;
    std::vector<line_shift> shifts;
    void changed(change_kind, std::string_view text) noexcept override { changes.emplace_back(text); }
    bool shifted(line_shift shift) noexcept override
    {
        shifts.push_back(shift);
        return true;
    }
};

std::ptrdiff_t line_feeds(std::string_view text)
{
    std::ptrdiff_t count = 0;
    for (char c : text)
        count += c == '\n' ? 1 : 0;
    return count;
}

// The rules' edits applied by the conversion (conversion.h): the reference's
// text and changes, every edit a change of bytes (so the first edit is the
// first change, and a text with edits is a changed one), and line shifts
// that add up.
void check_application(const std::string& input, const cli_target& target, const reference_cli_conversion& expected)
{
    string_output output;
    told_edits told;
    edit_application application(input, output, told);
    cli_edits found = find_cli_edits(input, target, edit_application::tell, &application);
    applied_edits applied = application.finish();
    require(!applied.output_full && !applied.shift_lost, "the whole text was applied");
    require(applied.edits == found.count, "every edit was applied");
    require(applied.text == expected.text, "applied text is the reference's");
    require(applied.changed == (found.count != 0), "edits always change bytes");
    if (found.count != 0)
        require(applied.first_change == expected.edits.front().at, "the first edit is the first change");
    require(told.changes.size() == expected.edits.size(), "a change told for each edit");
    for (std::size_t i = 0; i < told.changes.size(); ++i)
        require(told.changes[i] == expected.edits[i].reported, "each change told as the reference reports it");
    std::ptrdiff_t shifted = 0;
    std::size_t from = 0;
    for (const line_shift& shift : told.shifts) {
        require(shift.lines != 0 && shift.from >= from && shift.from <= applied.text.size(), "shifts ascend");
        from = shift.from;
        shifted += shift.lines;
    }
    require(shifted == line_feeds(applied.text) - line_feeds(input), "the shifts add up to the lines added");
}

// An edit's text and what it reports, whole.
void whole_texts(const text_edit& e, std::string& text, std::string& reported)
{
    text.clear();
    reported.clear();
    if (e.pieces.count == 0) {
        text = e.text;
        reported = e.reported;
        return;
    }
    require(e.kind == change_kind::inserted && e.length == 0, "an edit in pieces is an insertion");
    require(e.pieces.count <= text_pieces::capacity && e.reported_from <= e.reported_to &&
                e.reported_to <= e.pieces.count,
            "the pieces reported are pieces of the edit");
    for (std::size_t i = 0; i < e.pieces.count; ++i) {
        text.append(e.pieces.piece[i]);
        if (i >= e.reported_from && i < e.reported_to)
            reported.append(e.pieces.piece[i]);
    }
}

// Runs the rules over `input` and checks them against the reference;
// returns the converted text.
std::string check_conversion(const std::string& input, cli_version version, const std::string& sdk,
                             const cli_imported& imported, const reference_imported& plain)
{
    collected c{input, {}};
    cli_edits result = find_cli_edits(input, {version, sdk, imported}, collect, &c);
    reference_cli_conversion expected = reference_cli_rules(input, version, sdk, plain);

    require(result.count == c.edits.size(), "count is what was told");
    require(c.edits.size() == expected.edits.size(), "as many edits as the reference");
    std::string converted;
    std::size_t copied = 0;
    std::string text;
    std::string reported;
    for (std::size_t i = 0; i < c.edits.size(); ++i) {
        const text_edit& e = c.edits[i];
        const reference_cli_edit& r = expected.edits[i];
        whole_texts(e, text, reported);
        require(e.at == r.at && e.length == r.length, "place of each edit");
        require(text == r.text, "text of each edit");
        require(reported == r.reported, "what each edit reports");
        require((e.kind == change_kind::inserted) == r.inserted, "kind of each edit");
        require(e.at >= copied && e.at + e.length <= input.size(), "edits ascend within the input");
        converted.append(input, copied, e.at - copied).append(text);
        copied = e.at + e.length;
    }
    converted.append(input, copied);
    require(converted == expected.text, "converted text");
    require(result.names_target == expected.names_target, "names_target");
    require(result.has_toolset == expected.has_toolset, "has_toolset");
    require(result.toolset_names_target == expected.toolset_names_target, "toolset_names_target");
    require(result.toolsets_visual_studio == expected.toolsets_visual_studio, "toolsets_visual_studio");
    require(result.has_sdk == expected.has_sdk, "has_sdk");
    require(result.sdk_insertion == expected.sdk_insertion, "sdk_insertion");
    require(result.sdk_imported == expected.sdk_imported, "sdk_imported");
    require(result.sdk_minimum == expected.sdk_minimum, "sdk_minimum");
    check_application(input, {version, sdk, imported}, expected);
    return converted;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    cli_version version = cli_version(data[0] % 8);
    std::string sdk = sdks[(data[0] / 8) % 4];
    cli_imported imported;
    imported.toolset = (data[1] & 1) != 0;
    imported.toolset_names_target = (data[1] & 2) != 0;
    imported.toolset_visual_studio = (data[1] & 4) != 0;
    imported.sdk = (data[1] & 8) != 0;
    reference_imported plain{imported.toolset, imported.toolset_names_target, imported.toolset_visual_studio,
                             imported.sdk};
    std::string input(reinterpret_cast<const char*>(data + 2), size - 2);
    const cli_version_row& row = cli_version_table[version];

    std::string converted = check_conversion(input, version, sdk, imported, plain);
    unsigned ladder = ladder_number(version);
    check_unchanged(input, row, ladder);
    check_unchanged(converted, row, ladder);

    // The converted text, with its insertions, is read as the reference reads it too.
    (void)check_conversion(converted, version, sdk, imported, plain);
    return 0;
}

// Runs projport-cli's rules over arbitrary bytes for every target and checks
// them against the plain reference: the edits told, their order, what each
// reports, the converted text and names_target; then the listing of
// elements left unchanged, over the input and over the converted text.
// The first input byte picks the target (its value modulo 8) and the SDK
// version (the rest of the value, modulo 4); the rest is the project's text.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/cli_rules.h"
#include "core/leftover_toolsets.h"
#include "reference_cli_rules.h"

namespace {

void require(bool condition, const char* what)
{
    if (condition)
        return;
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
}

struct collected {
    std::string_view input;
    std::vector<cli_edit> edits;
};

void collect(void* context, const cli_edit& e)
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

struct found_leftovers {
    std::string_view text;
    std::vector<leftover_toolset> found;
};

void collect_leftover(void* context, const leftover_toolset& e)
{
    auto& c = *static_cast<found_leftovers*>(context);
    require(e.element.data() == c.text.data() + e.offset, "a leftover is a view of the text at its offset");
    c.found.push_back(e);
}

void check_leftovers(const std::string& text, const cli_version_row& row)
{
    found_leftovers c{text, {}};
    std::size_t count = find_leftover_toolsets(text, row.toolset, row.xp_toolset, collect_leftover, &c);
    std::vector<reference_leftover> expected =
        reference_leftover_toolsets(text, std::string(row.toolset), std::string(row.xp_toolset));
    require(count == c.found.size(), "leftover count is what was told");
    require(count == expected.size(), "as many leftovers as the reference");
    for (std::size_t i = 0; i < count; ++i) {
        require(c.found[i].line == expected[i].line, "line of each leftover");
        require(c.found[i].offset == expected[i].offset, "offset of each leftover");
        require(c.found[i].element == expected[i].element, "text of each leftover");
    }
}

const char* const sdks[4] = {"", "10.0", "8.1", "10.0.19041.0"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    cli_version version = data[0] % 8;
    std::string sdk = sdks[(data[0] / 8) % 4];
    std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    const cli_version_row& row = cli_version_table[version];

    collected c{input, {}};
    cli_edits result = find_cli_edits(input, {version, sdk}, collect, &c);
    reference_cli_conversion expected = reference_cli_rules(input, version, sdk);

    require(result.count == c.edits.size(), "count is what was told");
    require(c.edits.size() == expected.edits.size(), "as many edits as the reference");
    std::string converted;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < c.edits.size(); ++i) {
        const cli_edit& e = c.edits[i];
        const reference_cli_edit& r = expected.edits[i];
        require(e.at == r.at && e.length == r.length, "place of each edit");
        require(e.text == r.text, "text of each edit");
        require(e.reported == r.reported, "what each edit reports");
        require((e.kind == change_kind::inserted) == r.inserted, "kind of each edit");
        require(e.at >= copied && e.at + e.length <= input.size(), "edits ascend within the input");
        converted.append(input, copied, e.at - copied).append(e.text);
        copied = e.at + e.length;
    }
    converted.append(input, copied);
    require(converted == expected.text, "converted text");
    require(result.names_target == expected.names_target, "names_target");

    check_leftovers(input, row);
    check_leftovers(converted, row);
    return 0;
}

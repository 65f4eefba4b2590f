// Runs the header rules of solutions over arbitrary bytes for every target
// and checks them against the plain reference: the edits told, their order,
// what each reports, the converted text; that a second pass over the
// converted text finds nothing to do; and that the solution reader finds a
// solution exactly where the rules find a header, with the same projects
// before and after. The first input byte picks the target (its value modulo
// 8); the rest is the solution's text.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli/solution_reader.h"
#include "core/solution_header.h"
#include "fuzz_require.h"
#include "reference_solution_header.h"

namespace {

struct collected {
    std::string_view input;
    std::string converted;
    std::vector<std::string> reported;
    std::size_t copied = 0;
};

void collect(void* context, const solution_edit& e)
{
    auto& c = *static_cast<collected*>(context);
    require(e.at >= c.copied && e.length <= c.input.size() - e.at, "edits ascend within the input");
    if (e.kind == change_kind::replaced) {
        require(e.reported.data() >= c.input.data() &&
                    e.reported.data() + e.reported.size() <= c.input.data() + c.input.size(),
                "a replaced line is reported from the input");
        require(e.reported.data() <= c.input.data() + e.at &&
                    e.reported.data() + e.reported.size() >= c.input.data() + e.at + e.length,
                "what is reported holds what is replaced");
    } else {
        require(e.length == 0, "an insertion replaces nothing");
    }
    c.converted.append(c.input.substr(c.copied, e.at - c.copied)).append(e.text);
    c.copied = e.at + e.length;
    c.reported.push_back((e.kind == change_kind::inserted ? "+ " : "") + std::string(e.reported));
}

void count_only(void*, const solution_edit&) {}

bool same_listing(const solution_listing& a, const solution_listing& b)
{
    return a.paths == b.paths && a.rejected == b.rejected;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    cli_version target = cli_version(data[0] % 8);
    // A buffer of the input's exact size, so that the address sanitizer sees
    // any read past it.
    std::unique_ptr<char[]> exact(new char[size - 1]);
    for (std::size_t i = 1; i < size; ++i)
        exact[i - 1] = static_cast<char>(data[i]);
    std::string_view input(exact.get(), size - 1);

    collected c{input, {}, {}, 0};
    solution_header header = find_solution_header_edits(input, target, collect, &c);
    c.converted.append(input.substr(c.copied));
    reference_solution_header expected = reference_header_rules(std::string(input), target);
    require(header.count == c.reported.size(), "count is what was told");
    require(header.found == expected.found, "found");
    require(header.utf16 == expected.utf16, "utf16");
    require(c.reported == expected.reported, "what each edit reports");
    require(c.converted == expected.text, "converted text");
    require(header.found || header.count == 0, "no edit without a header");

    solution_header again = find_solution_header_edits(c.converted, target, count_only, nullptr);
    require(again.found == header.found && again.count == 0, "a second pass finds nothing to do");

    solution_listing before;
    cli_error read = sln_project_paths(input, before);
    if (!header.utf16)
        require((read == 0) == header.found, "a header exactly where the reader finds a solution");
    if (header.found) {
        solution_listing after;
        require(sln_project_paths(c.converted, after) == 0, "the retargeted solution is still one");
        require(same_listing(before, after), "the same projects after the header");
    }
    return 0;
}

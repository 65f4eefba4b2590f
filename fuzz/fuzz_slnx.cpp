// Reads arbitrary bytes as a .slnx (see fuzz_sln_checks.h for what is
// checked). A path's references are replaced, so it is looked for in the
// whole text read as one attribute value: a reference never spans a quote.

#include "fuzz_sln_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzz_solution_reader(data, size, slnx_project_paths,
                                [](const std::string& decoded) { return xml_attribute_value(decoded); });
}

// Reads arbitrary bytes as a .slnx (see fuzz_sln_checks.h for what is
// checked). A path's references are replaced, so it is looked for in the
// whole text read as one attribute value: a reference never spans a quote.
// The input is copied to a buffer of its exact size, so that the address
// sanitizer sees any read past it.

#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_sln_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::unique_ptr<char[]> exact(new char[size ? size : 1]);
    for (std::size_t i = 0; i < size; ++i)
        exact[i] = static_cast<char>(data[i]);
    std::string_view bytes(exact.get(), size);

    solution_listing listing;
    cli_error code = slnx_project_paths(bytes, listing);
    check_failure(code, listing);
    std::string decoded;
    if (!solution_text(bytes, decoded)) {
        require(code == error_not_a_solution, "odd UTF-16 read as a solution");
        return 0;
    }
    check_listing(listing, xml_attribute_value(decoded));
    return 0;
}

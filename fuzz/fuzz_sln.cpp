// Reads arbitrary bytes as a .sln (see fuzz_sln_checks.h for what is checked).

#include "fuzz_sln_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    return fuzz_solution_reader(data, size, sln_project_paths, [](const std::string& decoded) { return decoded; });
}

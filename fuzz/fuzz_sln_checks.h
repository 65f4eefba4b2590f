#pragma once
// What both solution fuzz targets check of a reader's result: every path it
// gives stands in the text it read (after the same decoding, and with
// backslashes taken for slashes on both sides), ends in ".vcxproj", and is
// a project or a rejected entry according to its control characters.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "cli/solution_reader.h"
#include "fuzz_require.h"

inline std::string with_slashes(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if (c == '\\')
            c = '/';
    }
    return out;
}

inline void check_listing(const solution_listing& listing, std::string_view decoded)
{
    std::string haystack = with_slashes(decoded);
    for (const std::string& path : listing.paths) {
        require(has_project_extension(path), "a path without the project extension");
        require(!has_control_character(path), "a path with a control character");
        require(haystack.find(with_slashes(path)) != std::string::npos, "a path that is not in the text");
    }
    for (const std::string& path : listing.rejected) {
        require(has_project_extension(path), "a rejected entry without the project extension");
        require(has_control_character(path), "a rejected entry without a control character");
        require(haystack.find(with_slashes(path)) != std::string::npos, "a rejected entry that is not in the text");
    }
}

inline void check_failure(cli_error code, const solution_listing& listing)
{
    require(code == 0 || code == error_not_a_solution, "an unknown error");
    if (code != 0)
        require(listing.paths.empty() && listing.rejected.empty(), "a failed solution that lists projects");
}

// One run of a fuzz target: `read` (a reader of solution_reader.h) on a copy
// of the input in a buffer of its exact size, so that the address sanitizer
// sees any read past it, then the checks above against `searched(decoded)`,
// the text the reader's paths must stand in.
template <typename Searched>
int fuzz_solution_reader(const std::uint8_t* data, std::size_t size,
                         cli_error (*read)(std::string_view bytes, solution_listing& listing), Searched searched)
{
    std::unique_ptr<char[]> exact(new char[size ? size : 1]);
    for (std::size_t i = 0; i < size; ++i)
        exact[i] = static_cast<char>(data[i]);
    std::string_view bytes(exact.get(), size);

    solution_listing listing;
    cli_error code = read(bytes, listing);
    check_failure(code, listing);
    std::string decoded;
    if (!solution_text(bytes, decoded)) {
        require(code == error_not_a_solution, "odd UTF-16 read as a solution");
        return 0;
    }
    check_listing(listing, searched(decoded));
    return 0;
}

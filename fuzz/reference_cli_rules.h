#pragma once
// A second, deliberately plain implementation of projport-cli's rules and of
// the listing of toolset elements left unchanged, used as the oracle of the
// fuzzer. It keeps its own copy of the eight versions and shares no code
// with the conversion, so a mistake in one is not repeated in the other.

#include <cstddef>
#include <string>
#include <vector>

struct reference_cli_edit {
    std::size_t at = 0;      // offset in the input
    std::size_t length = 0;  // bytes of the input replaced; 0 for the insertion
    std::string text;        // what stands there in the converted text
    std::string reported;    // the attribute or element as it stood, or the inserted attribute
    bool inserted = false;
};

struct reference_cli_conversion {
    std::vector<reference_cli_edit> edits;  // in input order
    std::string text;                       // the input with the edits made
    bool names_target = false;
    bool has_toolset = false;
    bool toolset_names_target = false;
    bool toolsets_visual_studio = false;
    bool has_sdk = false;
    bool sdk_insertion = false;
    bool sdk_imported = false;
    std::string sdk_minimum;
};

// What the files the project imports say.
struct reference_imported {
    bool toolset = false;
    bool toolset_names_target = false;
    bool toolset_visual_studio = false;
    bool sdk = false;
};

// `target` is a row 0 (2010) to 7 (2026); `sdk` empty for none.
reference_cli_conversion reference_cli_rules(const std::string& input, int target, const std::string& sdk,
                                             const reference_imported& imported);

struct reference_unchanged_toolset {
    std::size_t line = 0;
    std::size_t offset = 0;
    std::string element;
};

// The toolset elements of `text` (up to its first zero byte) that name a
// Visual Studio toolset other than `toolset` and `xp_toolset`, but for the
// rungs of a ladder that has a rung for `ladder_number` (0 for none).
std::vector<reference_unchanged_toolset> reference_unchanged_toolsets(const std::string& text, const std::string& toolset,
                                                            const std::string& xp_toolset, unsigned ladder_number);

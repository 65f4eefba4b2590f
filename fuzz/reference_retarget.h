#pragma once
// A second, deliberately plain implementation of the retargeting rules, used
// as the oracle of the fuzzer. It keeps its own copy of the version texts and
// shares no code with the conversion, so a mistake in one is not repeated in
// the other.

#include <cstddef>
#include <string>
#include <vector>

struct reference_edit {
    std::size_t at = 0;          // offset in the input
    std::size_t old_length = 0;  // bytes of the input replaced; 0 for the insertion
    std::string new_text;        // what stands there in the converted text
    std::string reported;        // the text told to the listener
    bool inserted = false;
};

struct reference_conversion {
    std::vector<reference_edit> edits;  // in input order, as reported
    std::string text;                   // the input with the edits applied
};

// Out-of-range targets give no edits and the input unchanged.
reference_conversion reference_retarget(const std::string& input, int target);

// Whether the text before the first zero byte holds the target's attribute or element.
bool reference_names_target(const std::string& input, int target);

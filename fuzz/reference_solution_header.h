#pragma once
// A second, deliberately plain implementation of the header rules of
// solution_header.h, used as the oracle of the fuzzer: the text split into
// lines, the lines replaced and inserted one by one, joined again. It keeps
// its own copy of each version's lines and shares no code with the rules.

#include <string>
#include <vector>

struct reference_solution_header {
    bool found = false;
    bool utf16 = false;
    std::string text;                   // the input with the header of the target
    std::vector<std::string> reported;  // in file order: the line as it stood, or "+ " and the line
};

// `target` is a row 0 (2010) to 7 (2026).
reference_solution_header reference_header_rules(const std::string& input, int target);

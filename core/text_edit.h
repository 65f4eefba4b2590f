#pragma once
// One edit of a text, as every rule set tells it: the projport.exe rules
// (retarget.h), projport-cli's (cli_rules.h), and in the same shape a
// solution's header (solution_header.h). The rules find the edits; the
// conversion (conversion.h) applies them. No system header here.

#include <cstddef>
#include <string_view>

enum class change_kind {
    replaced,  // the edit's reported text is the attribute or element as it stood
    inserted,  // the edit's reported text is what went in
};

// A text made of pieces, for an inserted line that copies the bytes around
// it: views of the input, and constant texts.
struct text_pieces {
    static constexpr std::size_t capacity = 8;
    std::string_view piece[capacity];
    std::size_t count = 0;
};

// One edit of the input: input[at, at + length) gives way to `text`.
struct text_edit {
    std::size_t at = 0;
    std::size_t length = 0;     // 0 for an insertion
    std::string_view text;      // what stands there instead
    change_kind kind = change_kind::replaced;
    std::string_view reported;  // what is printed: the attribute or element as
                                // it stood (a view of the input), or what was
                                // inserted
    // An inserted element (a toolset, a rung, the SDK) on a line of its own,
    // in pieces: when pieces.count is not 0, the text is pieces [0, count)
    // and what is printed pieces [reported_from, reported_to), and `text`
    // and `reported` are empty.
    text_pieces pieces{};
    std::size_t reported_from = 0;
    std::size_t reported_to = 0;
};

// Where a rule set tells its edits, in file order: offsets increase and
// edits never overlap.
using edit_sink = void (*)(void* context, const text_edit& e);

#pragma once
// Reading a project file whole, and rewriting it in place so that it ends up
// either as the converted text or, after any failure, as its original bytes.

#include <cstddef>
#include <string_view>

#include "core/project_file.h"

// Reads the file from its current position into buffer[0, capacity - 1),
// leaving room for a terminating zero. A file with more bytes than that (one
// that grew since it was measured) is a failure: nothing is converted from
// part of a file. Returns 0 or the error; `total` is the count read.
[[nodiscard]] file_error read_whole(project_file& file, char* buffer, std::size_t capacity,
                                    std::size_t& total) noexcept;

// The step of a rewrite that failed.
enum class rewrite_step {
    none,      // rewritten
    extend,    // the file could not be made long enough; no byte was changed
    write,     // the converted text could not be written whole
    set_end,   // the end of the file could not be set behind the converted text
};

struct rewrite_outcome {
    rewrite_step failed = rewrite_step::none;
    file_error error = 0;          // of the failed step
    file_error restore_error = 0;  // 0, or why the original bytes could not be put back
};

// Writes `converted` over the file, whose position is at its start and whose
// bytes are `original`. A longer text first extends the file, so that a full
// disk fails before any byte changes. After a failed or short write, or a
// failed end, the original bytes and length are written back; the end of the
// file is never set behind a short write.
[[nodiscard]] rewrite_outcome rewrite_in_place(project_file& file, std::string_view original,
                                               std::string_view converted) noexcept;

#pragma once
// What projport-cli needs of the system: printing, and opening, reading and
// replacing a project. The replacement is written once (project_io.cpp) over
// the calls that differ per platform (project_io_system.h); printing is one
// source per platform (project_io_posix.cpp, project_io_win32.cpp).

#include <string>
#include <string_view>

#include "cli/byte_buffer.h"
#include "cli/cli_errors.h"
#include "core/project_file.h"

enum class cli_stream { output, error };

// Writes UTF-8 text, whose lines end in "\n", to standard output or error:
// on a Windows console as the console wants it (UTF-16, CR LF); redirected
// to a file or a pipe as UTF-8 with the platform's line ends. Returns 0, or
// the error of the write that failed (a full disk, a closed pipe, a closed
// stream).
[[nodiscard]] file_error cli_write(cli_stream stream, std::string_view text) noexcept;

// How a replacement failed: the step, its error, whether the original bytes
// could not be put back (only an in-place rewrite can fail so), and the file
// the step failed on where that is not the project (the new file it could
// not create).
struct replace_failure {
    const char* action = nullptr;  // "write", "rename", ...: printed as action(path)
    file_error error = 0;
    file_error restore_error = 0;  // 0, or why the original bytes are not back
    std::string file;              // empty: the project
};

// One project, open for one conversion. Closed, and a new file it left
// removed, when it goes out of scope.
class cli_project {
public:
    cli_project() noexcept;
    ~cli_project();
    cli_project(const cli_project&) = delete;
    cli_project& operator=(const cli_project&) = delete;

    // Opens the project at `path` (UTF-8) for reading, without waiting on a
    // FIFO or a device; anything but a regular file fails with
    // error_not_regular_file. `may_replace` allows a later replace, which
    // asks for write access then: a project that needs no change is never
    // opened for writing. Returns 0 or the error.
    [[nodiscard]] file_error open(const std::string& path, bool may_replace) noexcept;

    // Reads the project into `bytes`: as many bytes as its size when it was
    // opened (none for a size of 0), so that a file whose read never ends
    // cannot hold the run. Returns 0 or the error: error_changed_meanwhile
    // when the file is no longer that size, the system's code for a lack of
    // memory (ENOMEM, ERROR_NOT_ENOUGH_MEMORY) when its bytes cannot be held.
    [[nodiscard]] file_error read(byte_buffer& bytes) noexcept;

    // Makes the project hold `converted` in place of `original`, the bytes
    // read. First the project is opened for writing: a project whose owner
    // may not write it (POSIX), or that is read-only (Windows), fails as
    // action "open" with the system's code for a denied access (EACCES,
    // ERROR_ACCESS_DENIED), whoever runs the program, before anything is
    // written. Then the text is written to a new file in the project's
    // folder (new_file_name.h), held locked while it exists against other
    // runs' sweep of stale new files, given the project's owner, mode and
    // extended attributes (POSIX), and moved over the project in one step,
    // so that whatever ends the process the project is either its original
    // or its converted bytes; just before the move, the new file must still
    // be the one written and the project the file that was read (identity,
    // size and modification time), or nothing is moved and the error is
    // error_changed_meanwhile. A project with more than one hard link, in a
    // folder where no new file can be made, or with an attribute the new
    // file cannot be given, is rewritten in place instead (file_rewrite.h).
    // Returns true when done; false with `failure` filled.
    [[nodiscard]] bool replace(std::string_view original, std::string_view converted,
                               replace_failure& failure) noexcept;

private:
    struct state;
    state* state_ = nullptr;
};

// The system's text for an error code (or cli_error_text's for one of
// ours), in UTF-8, without a line break at its end.
std::string system_error_text(file_error code);

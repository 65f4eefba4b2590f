#pragma once
// What projport-cli needs of the system, with one Windows and one POSIX
// implementation (project_io_posix.cpp, project_io_win32.cpp): printing, and
// opening, reading and replacing a project.

#include <string>
#include <string_view>

#include "cli/cli_errors.h"
#include "core/project_file.h"

enum class cli_stream { output, error };

// Writes UTF-8 text, whose lines end in "\n", to standard output or error:
// on a Windows console as the console wants it (UTF-16, CR LF); redirected
// to a file or a pipe as UTF-8 with the platform's line ends. Returns 0, or
// the error of the write that failed (a full disk, a closed pipe, a closed
// stream).
[[nodiscard]] file_error cli_write(cli_stream stream, std::string_view text) noexcept;

// How a replacement failed: the step, its error, and whether the original
// bytes could not be put back (only an in-place rewrite can fail so).
struct replace_failure {
    const char* action = nullptr;  // "write", "rename", ...: printed as action(path)
    file_error error = 0;
    file_error restore_error = 0;  // 0, or why the original bytes are not back
};

// One project, open for one conversion. Closed, and a new file it left
// removed, when it goes out of scope.
class cli_project {
public:
    cli_project() noexcept;
    ~cli_project();
    cli_project(const cli_project&) = delete;
    cli_project& operator=(const cli_project&) = delete;

    // Opens the project at `path` (UTF-8) without waiting on a FIFO or a
    // device; anything but a regular file fails with error_not_regular_file.
    // With `for_rewrite`, a project whose owner may not write it (POSIX), or
    // that is read-only (Windows), fails with the system's code for a denied
    // access (EACCES, ERROR_ACCESS_DENIED), whoever runs the program. Returns
    // 0 or the error.
    [[nodiscard]] file_error open(const std::string& path, bool for_rewrite) noexcept;

    // Reads the whole project into `bytes`. Returns 0 or the error.
    [[nodiscard]] file_error read(std::string& bytes) noexcept;

    // Makes the project hold `converted` in place of `original`, the bytes
    // read: written to a new file in the project's folder and moved over the
    // project in one step, so that whatever ends the process the project is
    // either its original or its converted bytes; just before the move, the
    // project must still be the file that was read (identity, size and
    // modification time), or nothing is written and the error is
    // error_changed_meanwhile. A project with more than one hard link, or in
    // a folder where no new file can be made, is rewritten in place instead
    // (file_rewrite.h). Returns true when done; false with `failure` filled.
    [[nodiscard]] bool replace(std::string_view original, std::string_view converted,
                               replace_failure& failure) noexcept;

private:
    struct state;
    state* state_ = nullptr;
};

// The system's text for an error code (or cli_error_text's for one of
// ours), in UTF-8, without a line break at its end.
std::string system_error_text(file_error code);

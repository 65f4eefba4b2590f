#pragma once
// What projport-cli needs of the system, with one Windows and one POSIX
// implementation: printing, and opening a project file for the conversion.

#include <string>
#include <string_view>

#include "convert/project_file.h"

enum class cli_stream { output, error };

// Writes UTF-8 text, whose lines end in "\n", to standard output or error:
// on a Windows console as the console wants it (UTF-16, CR LF); redirected
// to a file or a pipe as UTF-8 with the platform's line ends.
void cli_write(cli_stream stream, std::string_view text) noexcept;

// Opens the project at `path` (UTF-8) for reading, and for writing too when
// `writable`, with the same sharing as projport.exe; calls `use` with it and
// closes it. Returns 0, or the error of the open (`use` is then not called).
using project_use = void (*)(void* context, project_file& file);
[[nodiscard]] file_error with_open_project(const std::string& path, bool writable, project_use use,
                                           void* context) noexcept;

// The system's text for an error code, in UTF-8, without a line break at its end.
std::string system_error_text(file_error code);

#pragma once
// The few file system operations the discovery of projects needs (folders,
// file identities, small files, the rules of paths), one source per platform
// (file_system_posix.cpp, file_system_win32.cpp; the reading of a small file
// is shared, file_system.cpp). Paths are UTF-8 on every platform. Failures
// are the system's own codes: errno on POSIX, the Windows error code on
// Windows. No system header here.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The system's code for memory that could not be had: ENOMEM on POSIX,
// ERROR_NOT_ENOUGH_MEMORY on Windows.
extern const unsigned out_of_memory_code;

// How this platform writes paths: the separator it puts between their parts
// ('\\' on Windows, '/' on POSIX), whether `c` is one ('\\' or '/' on
// Windows, '/' on POSIX), and the length of the drive `path` starts with
// (2 for "C:" on Windows; always 0 on POSIX).
extern const char path_separator;
[[nodiscard]] bool is_path_separator(char c) noexcept;
[[nodiscard]] std::size_t drive_prefix_length(std::string_view path) noexcept;

// The absolute form of `path`: behind the current folder when it is
// relative, with its "." and ".." parts resolved as written (as Windows'
// GetFullPathNameW does, without following links), in the platform's own
// separators on Windows. Returns 0, or the error code of the failed call
// (the current folder is gone, say).
[[nodiscard]] unsigned absolute_path(const std::string& path, std::string& absolute) noexcept;

// What tells one file from every other while the program runs: the device
// and inode on POSIX, the volume serial number and file index on Windows.
struct file_identity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
};

// One name in a folder. `is_folder` is true only for a folder itself: a
// link (POSIX) or reparse point (Windows) that leads to a folder is not one.
struct folder_entry {
    std::string name;
    bool is_folder = false;
    // Not a folder itself, but it may lead to one (a link, or a type the
    // listing did not tell): only such a name needs a look of its own.
    bool may_lead_to_folder = true;
};

// Identifies the file `path` names, following links. Returns 0, or the error
// code of the failed call (the file is missing, say).
[[nodiscard]] unsigned identify_file(const std::string& path, file_identity& identity) noexcept;

// Whether `path` names a folder (following links, so that a link to a folder
// named on the command line counts as the folder).
[[nodiscard]] bool is_existing_folder(const std::string& path) noexcept;

// Whether `path` itself is a symbolic link (on Windows a symbolic link or
// a junction), not following it.
[[nodiscard]] bool is_link(const std::string& path) noexcept;

// The absolute path of the file `path` leads to, every link on the way
// resolved (realpath on POSIX; on Windows GetFinalPathNameByHandleW on the
// file opened, in its "\\?\" form). Returns 0, or the error code of the
// failed call (a link that leads nowhere, a loop of links).
[[nodiscard]] unsigned final_path(const std::string& path, std::string& resolved);

// Whether something exists under `path` as it is written (a link counts even
// when it leads nowhere).
[[nodiscard]] bool path_exists(const std::string& path) noexcept;

// Replaces `entries` with the names in folder `path`, "." and ".." left out,
// in the order the system gives them. Returns 0, or the error code with
// `action` set to "open" (the folder cannot be opened) or "read" (the
// listing broke off).
[[nodiscard]] unsigned list_folder(const std::string& path, std::vector<folder_entry>& entries,
                                   const char*& action) noexcept;

// The most read_small_file reads: far more than any solution needs.
inline constexpr std::uint64_t small_file_limit = 64u << 20;

// Replaces `bytes` with the whole content of file `path`. Returns 0, or the
// error code with `action` set to "open" or "read"; a file larger than
// small_file_limit is a read failure (EFBIG, ERROR_FILE_TOO_LARGE). Anything
// but a regular file (a FIFO, a device) is refused without waiting on it:
// error_not_regular_file (cli_errors.h), with "open".
[[nodiscard]] unsigned read_small_file(const std::string& path, std::string& bytes, const char*& action) noexcept;

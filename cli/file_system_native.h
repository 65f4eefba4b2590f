#pragma once
// A file as the system holds it, for the readers of solutions and sheets
// (file_system.h) and for the projects' replacement (project_io.h): its
// handle or descriptor, what the system tells of it, and the one way a
// file a user names is opened and read. The calls are one source per
// platform (file_system_posix.cpp, file_system_win32.cpp); the read loop is
// shared (file_system.cpp). Paths are UTF-8 (WTF-8 on Windows).

#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/byte_buffer.h"
#include "cli/file_system.h"
#include "core/project_file.h"

#if defined(_WIN32)
#include "platform/win32_handles.h"
using native_file = unique_handle;
#else
#include "platform/posix_handles.h"
using native_file = unique_fd;
#endif

// The system's code for a file too large to read whole: EFBIG on POSIX,
// ERROR_FILE_TOO_LARGE on Windows.
extern const unsigned file_too_large_code;

// What the system tells of one file.
struct file_facts {
    file_identity identity;
    std::uint64_t size = 0;
    // The last write, in seconds and the platform's own fraction of one
    // (nanoseconds on POSIX, 100 ns ticks on Windows).
    std::int64_t written_seconds = 0;
    std::uint32_t written_fraction = 0;
    // The last change of content or metadata (POSIX; 0 on Windows).
    std::int64_t changed_seconds = 0;
    std::uint32_t changed_fraction = 0;
    std::uint64_t links = 0;
    // The file itself holds its bytes: not a folder, a device, a FIFO, a
    // link (POSIX) or reparse point (Windows).
    bool is_plain_file = false;
    // A folder (on Windows also one that is a reparse point).
    bool is_folder = false;
    // Its owner may not write it (POSIX), or it carries the read-only
    // attribute (Windows).
    bool read_only = false;
    // POSIX only: the permission bits, owner and group.
    std::uint32_t mode = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
};

[[nodiscard]] inline bool same_file(const file_facts& a, const file_facts& b) noexcept
{
    return a.identity.volume == b.identity.volume && a.identity.index == b.identity.index;
}

// Whether `now` is still the file that was `then`, unchanged: the same file,
// size, last write and (POSIX) last change. A write within the same clock
// tick of the file system is not seen.
[[nodiscard]] inline bool is_unchanged(const file_facts& then, const file_facts& now) noexcept
{
    return same_file(then, now) && then.size == now.size && then.written_seconds == now.written_seconds &&
           then.written_fraction == now.written_fraction && then.changed_seconds == now.changed_seconds &&
           then.changed_fraction == now.changed_fraction;
}

// The facts of the open `file`. Returns 0 or the error.
[[nodiscard]] file_error facts_of_file(const native_file& file, file_facts& facts) noexcept;

// Now, in the seconds of file_facts' times.
[[nodiscard]] std::int64_t seconds_now() noexcept;

// The facts of the file `path` names: the name itself when
// `follow_links` is false (a link's own, on Windows a reparse point's),
// else the file it leads to. Returns 0 or the error.
[[nodiscard]] file_error facts_of_name(const std::string& path, bool follow_links, file_facts& facts) noexcept;

// Opens the file `path` names for reading, without waiting on a FIFO or a
// device, and tells its facts; anything but a regular file is refused with
// error_not_regular_file. Returns 0 or the error; `at_open` is true when
// the open itself, or the kind of file, failed, false when a later step
// (asking its facts, leaving the mode without waiting) did.
[[nodiscard]] file_error open_for_reading(const std::string& path, native_file& file, file_facts& facts,
                                          bool& at_open) noexcept;

// Reads at most `count` bytes from the current position of `file` into
// `into`; `got` 0 at the end. Returns 0 or the error.
[[nodiscard]] file_error read_some(const native_file& file, char* into, std::size_t count,
                                   std::size_t& got) noexcept;

// Reads `file` from its position to its end into `bytes`, room made first
// for `expected` bytes (its size when it was opened), but never more than
// `limit`: one byte past the limit ends the read with `past_limit` true and
// `bytes` cleared. Returns 0, or the error (the system's code for a lack of
// memory when the bytes cannot be held) with `bytes` cleared.
[[nodiscard]] file_error read_to_end(const native_file& file, std::uint64_t expected, std::uint64_t limit,
                                     byte_buffer& bytes, bool& past_limit) noexcept;

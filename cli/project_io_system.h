#pragma once
// The calls in which the replacement of a project (project_io.cpp) differs
// between the platforms, one source each (project_io_posix.cpp,
// project_io_win32.cpp). Paths are UTF-8 (WTF-8 on Windows).

#include <string>

#include "cli/file_system_native.h"
#include "core/project_file.h"

#if defined(_WIN32)
#include "platform/win32_project_file.h"
using native_project_file = win32_project_file;
#else
#include "platform/posix_project_file.h"
using native_project_file = posix_project_file;
#endif

// The system's codes for a denied access and for a handle that is not open.
extern const file_error access_denied_code;
extern const file_error not_open_code;

// A backup name (new_file_name.h) is made by this platform's replacement
// itself, without a lock (Windows): the sweep then also asks whether its
// process is gone.
extern const bool backups_go_unlocked;

// Whether the last look at the project before the move follows a link
// that its name has become (Windows), or takes the name itself (POSIX).
extern const bool last_look_follows_links;

[[nodiscard]] long own_process_id() noexcept;

// Whether no process of number `pid` runs here.
[[nodiscard]] bool process_is_gone(long pid) noexcept;

// Opens the project open as `file` (from `path`) again for reading and
// writing, as `writer`, in the mode that waits for its reads and writes:
// the very file opened where the system can tell, else `path`. Returns 0 or
// the error.
[[nodiscard]] file_error reopen_for_writing(const native_file& file, const std::string& path,
                                            native_file& writer) noexcept;

// The name of the project's file itself, past any link on the way to it,
// into `target`: of the project open as `file` from `path`, whose facts
// were `opened`. Returns 0 or the error (error_changed_meanwhile: the file
// named is no longer the one opened, where that is seen on the way).
[[nodiscard]] file_error locate_project(const native_file& file, const std::string& path, const file_facts& opened,
                                        std::string& target);

// Makes the file `path`, which must not exist yet, open for reading and
// writing, kept from other runs (no sharing of deletion on Windows).
// Returns 0 or the error.
[[nodiscard]] file_error create_exclusively(const std::string& path, native_file& file) noexcept;

// Whether a failed create_exclusively found the name taken.
[[nodiscard]] bool is_name_taken(file_error code) noexcept;

// Whether a failed create_exclusively means that no new file can be made in
// that folder at all (no right to write it, a read-only file system, a name
// too long for it).
[[nodiscard]] bool is_no_new_file_here(file_error code) noexcept;

// Takes an exclusive lock on all of the open `file` without waiting, a lock
// that holds against every other opening of the file, this process's own
// included. Returns 0 or the error (the lock is another's, or
// is_lock_unsupported).
[[nodiscard]] file_error lock_exclusively(const native_file& file) noexcept;
[[nodiscard]] bool is_lock_unsupported(file_error code) noexcept;

// Gives the new file `made`, written, what the project open as `project`
// (of facts `opened`) has and the move would not carry, and finishes it for
// the move; on Windows, where the move carries it all, closes it. Returns 0,
// or the error of the write; `copyable` false when an attribute of the
// project cannot be given to the new file, which then must not take its
// place.
[[nodiscard]] file_error finish_new_file(const native_file& project, const file_facts& opened, native_file& made,
                                         bool& copyable) noexcept;

// Lets go of what this process holds of the project before the move, where
// holding it would stand in the move's way (Windows).
void let_go_before_move(native_file& project) noexcept;

// How the move of the new file over the project ended.
struct move_outcome {
    enum class end { moved, rewrite_in_place, failed } how = end::failed;
    const char* action = nullptr;  // of the failure
    file_error error = 0;
    file_error restore_error = 0;   // the original bytes stand under `backup`
};

// Moves the new file `made` over `target` in one step; on Windows through
// `backup`, where the project stands for the moment of the move.
[[nodiscard]] move_outcome move_over(const std::string& made, const std::string& target,
                                     const std::string& backup) noexcept;

// Removes the name `path` while it still leads to the file of `facts`,
// open as `held`, and closes `held` (its lock goes last where it can).
void remove_made(const std::string& path, const file_facts& facts, native_file& held) noexcept;

// Opens the stale new file `path` so that it can be locked and removed;
// fails while a live run holds it open without letting it be removed.
[[nodiscard]] file_error open_to_remove(const std::string& path, native_file& file) noexcept;

// Removes the stale new file `path`, open and locked as `held`, of facts
// `facts`: the file removed is the one locked.
void remove_locked(const std::string& path, const file_facts& facts, native_file& held) noexcept;

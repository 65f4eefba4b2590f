// The replacement of a project, over the calls that differ between the
// platforms (project_io_system.h).

#include "cli/project_io.h"

#include <cstdint>
#include <map>
#include <new>
#include <utility>
#include <vector>

#include "cli/file_system.h"
#include "cli/file_system_native.h"
#include "cli/new_file_name.h"
#include "cli/project_io_system.h"
#include "cli/system_random.h"
#include "cli/work_threads.h"
#include "core/file_rewrite.h"
#include "core/rewrite_hold.h"

namespace {

constexpr const char* action_write = "write";
constexpr const char* action_create = "create";
constexpr const char* action_replace = "replace";
constexpr const char* action_open = "open";
// Names tried for a new file before giving up: a taken name means another
// run drew the same random part, or a file was put there on purpose.
constexpr int most_new_file_names = 8;
// A stale new file written to within this many seconds may be a live run's
// that has not locked it yet, or one of an earlier version, which locks
// none.
constexpr std::int64_t youngest_stale_seconds = 5 * 60;

// The folder part of `path` with its separator ("" for a bare name), and its
// last part.
void split_path(const std::string& path, std::string& folder, std::string& name)
{
    std::size_t at = path.size();
    std::size_t drive = drive_prefix_length(path);
    while (at > drive && !is_path_separator(path[at - 1]))
        --at;
    folder = path.substr(0, at);
    name = path.substr(at);
}

// The new files that earlier runs left behind, found once per folder for
// the whole run: a listing per project would make a folder of many projects
// quadratic. The threads that replace projects share the listings, each
// made under a lock; once made, a listing is only read. A stale new file is removed when its project is replaced and no
// live run holds it (remove_if_abandoned).
struct stale_new_file {
    std::string name;
    new_file_name_parts parts;  // its project_part points into `name`
};

work_lock listings_lock;

const std::vector<stale_new_file>& stale_new_files_in(const std::string& folder)
{
    static std::map<std::string, std::vector<stale_new_file>> found;
    work_guard guard(listings_lock);
    auto known = found.find(folder);
    if (known != found.end())
        return known->second;
    std::vector<stale_new_file>& list = found[folder];
    std::vector<folder_entry> entries;
    const char* action = nullptr;
    (void)list_folder(folder.empty() ? "." : folder, entries, action);
    for (folder_entry& entry : entries) {
        new_file_name_parts parts;
        if (!entry.is_folder && parse_new_file_name(entry.name, parts))
            list.push_back({std::move(entry.name), {}});
    }
    // Parsed again where each name now stays, so that the parts point into it.
    for (stale_new_file& file : list)
        (void)parse_new_file_name(file.name, file.parts);
    return list;
}

// Removes the stale new file at `path` when no run can still be making it:
// a file of its own, last written more than a few minutes ago, that this
// process can open for removal and lock (a live writer holds the lock, and
// on Windows keeps it from removal); for a name that is made without a lock
// (of earlier versions, and Windows' backups) only when its process number
// is no running process here. The file removed is the one locked.
void remove_if_abandoned(const std::string& path, const new_file_name_parts& parts)
{
    file_facts named;
    if (facts_of_name(path, false, named) != 0 || !named.is_plain_file)
        return;
    std::int64_t now = seconds_now();
    if (now < named.written_seconds || now - named.written_seconds < youngest_stale_seconds)
        return;
    bool made_unlocked = !parts.has_token || (parts.backup && backups_go_unlocked);
    if (made_unlocked && (parts.pid == own_process_id() || !process_is_gone(parts.pid)))
        return;
    native_file file;
    file_facts opened;
    if (open_to_remove(path, file) != 0 || facts_of_file(file, opened) != 0 || !opened.is_plain_file ||
        !same_file(named, opened))
        return;
    if (lock_exclusively(file) != 0)
        return;
    remove_locked(path, opened, file);
}

void remove_stale_new_files(const std::string& folder, const std::string& project_name)
{
    for (const stale_new_file& file : stale_new_files_in(folder)) {
        if (is_new_file_of(file.parts, project_name))
            remove_if_abandoned(folder + file.name, file.parts);
    }
}

}  // namespace

struct cli_project::state {
    native_file file;  // for reading, until the replacement asks for writing
    std::string path;
    file_facts opened;
    bool may_replace = false;
    bool writable = false;
    std::string new_file;  // made and not moved over the project yet
    native_file made;      // the new file, locked while this run holds it
    file_facts made_facts;

    // Opens the project again, for writing, and makes that the project's
    // handle; it must be the file that was opened. A read-only project (one
    // its owner may not write, on POSIX also for root, who may write
    // anything; the read-only attribute on Windows, also where an
    // administrator's backup rights would let the open pass) is refused:
    // it is how version control marks a file not checked out. Returns 0 or
    // the error.
    file_error open_for_writing() noexcept
    {
        if (writable)
            return 0;
        if (opened.read_only)
            return access_denied_code;
        native_file writer;
        if (file_error code = reopen_for_writing(file, path, writer))
            return code;
        file_facts now;
        if (file_error code = facts_of_file(writer, now))
            return code;
        if (!same_file(opened, now))
            return error_changed_meanwhile;
        file = std::move(writer);
        writable = true;
        return 0;
    }

    // Writes the converted text over the project's own bytes (file_rewrite.h).
    bool rewrite_in_place_here(std::string_view original, std::string_view converted, replace_failure& failure)
    {
        remove_new_file();
        file_facts now;
        if (file_error code = facts_of_file(file, now)) {
            failure = {action_replace, code, 0, {}};
            return false;
        }
        if (!is_unchanged(opened, now)) {
            failure = {action_replace, error_changed_meanwhile, 0, {}};
            return false;
        }
        native_project_file project(file.get());
        if (file_error code = project.seek(0)) {
            failure = {action_write, code, 0, {}};
            return false;
        }
        rewrite_outcome outcome = rewrite_in_place(project, original, converted);
        if (outcome.failed == rewrite_step::none)
            return true;
        failure = {action_write, outcome.error, outcome.restore_error, {}};
        return false;
    }

    // Makes a new file beside the project `name` in `folder`, under a name
    // no other run has, and locks it; `backup` gets the backup name of the
    // same random part. Returns 0, or the error of the last name tried.
    file_error make_new_file(const std::string& folder, const std::string& name, std::string& tried,
                             std::string& backup) noexcept
    {
        file_error code = 0;
        long pid = own_process_id();
        for (int attempt = 0; attempt < most_new_file_names && !made.is_open(); ++attempt) {
            std::uint64_t token = 0;
            if (file_error random_failed = system_random(token))
                return random_failed;
            tried = folder + new_file_name(name, pid, token);
            backup = folder + backup_file_name(name, pid, token);
            code = create_exclusively(tried, made);
            // A name that is taken is another's: never removed, another drawn.
            if (code != 0 && !is_name_taken(code))
                return code;
        }
        if (!made.is_open())
            return code;
        if (file_error unknown = facts_of_file(made, made_facts)) {
            (void)made.close();
            return unknown;
        }
        new_file = tried;
        // Where the file system keeps no locks, none is held, and no sweep
        // can get one to remove the file either (on Windows the open without
        // the sharing of deletion still keeps a sweep away).
        code = lock_exclusively(made);
        if (code != 0 && !is_lock_unsupported(code)) {
            remove_new_file();
            return code;
        }
        return 0;
    }

    // Whether the new file's name still leads to the file this run made, of
    // the size written. (Not its time: a file system may set that when the
    // writing handle closes.)
    bool new_file_is_ours(std::size_t size) const noexcept
    {
        file_facts now;
        return facts_of_name(new_file, false, now) == 0 && same_file(made_facts, now) && now.size == size;
    }

    // Removes the new file, but only while its name is still the file this
    // run made: a name another put there is theirs.
    void remove_new_file() noexcept
    {
        if (!new_file.empty())
            remove_made(new_file, made_facts, made);
        new_file.clear();
        (void)made.close();
    }

    // Drops the new file on a failure of `action`.
    bool fail_with_new_file(const char* action, file_error code, replace_failure& failure) noexcept
    {
        remove_new_file();
        failure = {action, code, 0, {}};
        return false;
    }
};

cli_project::cli_project() noexcept = default;

cli_project::~cli_project()
{
    if (state_)
        state_->remove_new_file();
    delete state_;
}

file_error cli_project::open(const std::string& path, bool may_replace) noexcept
{
    if (state_) {
        state_->remove_new_file();
        delete state_;
    }
    state_ = new (std::nothrow) state;
    if (!state_)
        return out_of_memory_code;
    state_->path = path;
    state_->may_replace = may_replace;
    bool at_open = true;
    return open_for_reading(path, state_->file, state_->opened, at_open);
}

file_error cli_project::read(byte_buffer& bytes) noexcept
{
    bytes.clear();
    if (!state_ || !state_->file.is_open())
        return not_open_code;
    // The size the file had when it was opened bounds the read: a file
    // that reads on without end (/proc/kmsg, a file another program keeps
    // writing) cannot hold the run, and one of size 0 is empty, not read.
    std::uint64_t size = state_->opened.size;
    if (size == 0)
        return 0;
    bool past_limit = false;
    if (file_error code = read_to_end(state_->file, size, size, bytes, past_limit))
        return code;
    // Cut since it was opened, or grown while it was read.
    if (past_limit || bytes.size() != size) {
        bytes.clear();
        return error_changed_meanwhile;
    }
    return 0;
}

bool cli_project::replace(std::string_view original, std::string_view converted, replace_failure& failure) noexcept
{
    failure = {};
    if (!state_ || !state_->file.is_open() || !state_->may_replace) {
        failure = {action_write, not_open_code, 0, {}};
        return false;
    }
    if (original == converted)
        return true;
    rewrite_hold hold;
    state& s = *state_;
    if (file_error code = s.open_for_writing()) {
        failure = {action_open, code, 0, {}};
        return false;
    }
    // Another name of the same file would keep the old bytes.
    if (s.opened.links > 1)
        return s.rewrite_in_place_here(original, converted, failure);

    std::string target;
    if (file_error code = locate_project(s.file, s.path, s.opened, target)) {
        failure = {action_replace, code, 0, {}};
        return false;
    }
    std::string folder, name;
    split_path(target, folder, name);

    std::string tried, backup;
    if (file_error code = s.make_new_file(folder, name, tried, backup)) {
        // No new file in this folder: in place instead.
        if (is_no_new_file_here(code))
            return s.rewrite_in_place_here(original, converted, failure);
        failure = {action_create, code, 0, tried};
        return false;
    }
    {
        native_project_file out(s.made.get());
        std::size_t written = 0;
        file_error code = out.write(converted.data(), converted.size(), written);
        if (code == 0 && written < converted.size())
            code = out.disk_full_error();
        if (code != 0)
            return s.fail_with_new_file(action_write, code, failure);
    }
    bool copyable = true;
    if (file_error code = finish_new_file(s.file, s.opened, s.made, copyable))
        return s.fail_with_new_file(action_write, code, failure);
    // An attribute the new file cannot be given (another user's security.*,
    // an ACL where the folder's file system has none) would change the
    // project's access: its own file is rewritten instead.
    if (!copyable)
        return s.rewrite_in_place_here(original, converted, failure);

    // The last look before the move: the new file is still the one written
    // (not removed or replaced by another run), and another writer's change
    // to the project is kept.
    let_go_before_move(s.file);
    file_facts now;
    if (!s.new_file_is_ours(converted.size()) || facts_of_name(target, last_look_follows_links, now) != 0 ||
        !is_unchanged(s.opened, now))
        return s.fail_with_new_file(action_replace, error_changed_meanwhile, failure);
    move_outcome moved = move_over(s.new_file, target, backup);
    if (moved.how == move_outcome::end::rewrite_in_place)
        return s.rewrite_in_place_here(original, converted, failure);
    if (moved.how == move_outcome::end::failed) {
        if (moved.restore_error != 0)
            s.new_file.clear();  // beside the original bytes, for the user
        else
            s.remove_new_file();
        failure = {moved.action, moved.error, moved.restore_error, {}};
        return false;
    }
    s.new_file.clear();
    // The new file is the project now; closing it ends its lock.
    (void)s.made.close();
    remove_stale_new_files(folder, name);
    return true;
}

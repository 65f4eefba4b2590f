#include "cli/project_io.h"

#include <windows.h>

#include <cstdint>
#include <iterator>
#include <new>
#include <utility>

#include "cli/new_file_name.h"
#include "cli/system_random.h"
#include "cli/text_encoding.h"
#include "console/line_ends.h"
#include "core/file_rewrite.h"
#include "core/rewrite_hold.h"
#include "platform/last_error.h"
#include "platform/win32_handles.h"
#include "platform/win32_project_file.h"

namespace {

constexpr DWORD largest_console_write = 8192;
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr const char* action_write = "write";
constexpr const char* action_create = "create";
constexpr const char* action_replace = "replace";
constexpr const char* action_open = "open";
// Names tried for a new file before giving up: a taken name means another
// run drew the same random part, or a file was put there on purpose.
constexpr int most_new_file_names = 8;
// A leftover written to within this time (in 100 ns ticks: five minutes)
// may be a live run's that has not locked it yet, or one of an earlier
// version, which locks none.
constexpr std::uint64_t youngest_leftover_ticks = 5ull * 60 * 10000000;
// A scanner or the search indexer that opens a file for a moment makes its
// replacement fail with a sharing violation or a denied access: tried again
// after each of these pauses (310 ms in all), then failed.
constexpr DWORD held_file_pauses_ms[] = {10, 20, 40, 80, 160};

bool is_console(HANDLE handle) noexcept
{
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

// Every line feed becomes CR LF, as a text-mode stream writes it.
template <typename Char>
std::basic_string<Char> with_crlf(const std::basic_string<Char>& text)
{
    std::basic_string<Char> out(text_mode_capacity(text.size()), Char());
    text_mode_result done = to_text_mode(text.data(), text.size(), out.data(), out.size());
    out.resize(done.written);
    return out;
}

file_error write_console(HANDLE console, std::string_view text) noexcept
{
    std::wstring wide = with_crlf(widen(text));
    const wchar_t* next = wide.data();
    std::size_t left = wide.size();
    while (left != 0) {
        DWORD chunk = static_cast<DWORD>(left < largest_console_write ? left : largest_console_write);
        // A surrogate pair is never split between two writes.
        if (chunk < left && next[chunk - 1] >= 0xD800 && next[chunk - 1] <= 0xDBFF)
            --chunk;
        DWORD written = 0;
        if (!WriteConsoleW(console, next, chunk, &written, nullptr))
            return last_error_or(ERROR_GEN_FAILURE);
        if (written == 0)
            return ERROR_WRITE_FAULT;
        next += written;
        left -= written;
    }
    return 0;
}

file_error write_bytes(HANDLE file, std::string_view bytes) noexcept
{
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left != 0) {
        DWORD written = 0;
        if (!WriteFile(file, next, static_cast<DWORD>(left < 0x40000000u ? left : 0x40000000u), &written, nullptr))
            return last_error_or(ERROR_GEN_FAILURE);
        if (written == 0)
            return ERROR_HANDLE_DISK_FULL;
        next += written;
        left -= written;
    }
    return 0;
}

struct file_facts {
    DWORD volume = 0;
    DWORD index_high = 0;
    DWORD index_low = 0;
    DWORD size_high = 0;
    DWORD size_low = 0;
    FILETIME written{};
    DWORD links = 0;
    DWORD attributes = 0;
};

file_error facts_of(HANDLE file, file_facts& facts) noexcept
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info))
        return last_error_or(ERROR_GEN_FAILURE);
    facts.volume = info.dwVolumeSerialNumber;
    facts.index_high = info.nFileIndexHigh;
    facts.index_low = info.nFileIndexLow;
    facts.size_high = info.nFileSizeHigh;
    facts.size_low = info.nFileSizeLow;
    facts.written = info.ftLastWriteTime;
    facts.links = info.nNumberOfLinks;
    facts.attributes = info.dwFileAttributes;
    return 0;
}

// Whether `now` is still the file that was opened as `then`, unchanged. A
// write within the same clock tick of the file system is not seen.
bool is_unchanged(const file_facts& then, const file_facts& now) noexcept
{
    return then.volume == now.volume && then.index_high == now.index_high && then.index_low == now.index_low &&
           then.size_high == now.size_high && then.size_low == now.size_low &&
           then.written.dwLowDateTime == now.written.dwLowDateTime &&
           then.written.dwHighDateTime == now.written.dwHighDateTime;
}

// The folder part of `path` with its separator ("" for a bare name), and its last part.
void split_path(const std::wstring& path, std::wstring& folder, std::wstring& name)
{
    std::size_t at = path.find_last_of(L"\\/:");
    if (at == std::wstring::npos) {
        folder.clear();
        name = path;
    } else {
        folder = path.substr(0, at + 1);
        name = path.substr(at + 1);
    }
}

// The name of the file itself, past any link on the way, or `given` when the
// system cannot tell it.
std::wstring final_name(HANDLE file, const std::wstring& given)
{
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return given;
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        name.resize(length);
    }
}

bool process_is_gone(unsigned long pid) noexcept
{
    unique_handle process{OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid))};
    return !process.is_open() && GetLastError() == ERROR_INVALID_PARAMETER;
}

bool same_file(const file_facts& a, const file_facts& b) noexcept
{
    return a.volume == b.volume && a.index_high == b.index_high && a.index_low == b.index_low;
}

std::uint64_t ticks_of(const FILETIME& time) noexcept
{
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Takes an exclusive lock on all of `file` without waiting. Returns 0 or the
// error (ERROR_LOCK_VIOLATION: another holds it).
file_error lock_exclusively(HANDLE file) noexcept
{
    OVERLAPPED from_start{};
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &from_start))
        return 0;
    return last_error_or(ERROR_LOCK_VIOLATION);
}

// ReplaceFileW may also say that the project could not be removed, which
// leaves both files under their own names: as safe to try again.
bool is_held_for_a_moment(file_error code) noexcept
{
    return code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED || code == ERROR_UNABLE_TO_REMOVE_REPLACED;
}

// Runs `step` (a call that returns a BOOL) until it succeeds, fails with an
// error other than a file held for a moment, or the pauses are spent.
// Returns 0 or the last error.
template <typename Step>
file_error retry_while_held(Step step) noexcept
{
    for (std::size_t attempt = 0;; ++attempt) {
        if (step() != FALSE)
            return 0;
        file_error code = last_error_or(ERROR_GEN_FAILURE);
        if (!is_held_for_a_moment(code) || attempt == std::size(held_file_pauses_ms))
            return code;
        Sleep(held_file_pauses_ms[attempt]);
    }
}

// Removes the leftover `path`, found as `found` and parsed as `parts`, when
// no run can still be making it: a file last written more than a few
// minutes ago that this process can open for deleting and lock (a live
// writer holds it open without letting it be deleted, and locked); a backup,
// or a name of the shape of earlier versions, which took no lock, also
// only when its process number is no running process. It is deleted through
// the handle that holds the lock, so that the file removed is the one locked.
void remove_if_abandoned(const std::wstring& path, const WIN32_FIND_DATAW& found, const new_file_name_parts& parts)
{
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        return;
    FILETIME now_time;
    GetSystemTimeAsFileTime(&now_time);
    std::uint64_t now = ticks_of(now_time), written = ticks_of(found.ftLastWriteTime);
    if (now < written || now - written < youngest_leftover_ticks)
        return;
    if ((parts.backup || !parts.has_token) &&
        (static_cast<DWORD>(parts.pid) == GetCurrentProcessId() || !process_is_gone(static_cast<unsigned long>(parts.pid))))
        return;
    unique_handle file{CreateFileW(path.c_str(), GENERIC_READ | DELETE, share_all, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    file_facts facts;
    if (!file.is_open() || facts_of(file.get(), facts) != 0 ||
        (facts.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
        return;
    if (lock_exclusively(file.get()) != 0)
        return;
    // Its one member is named DeleteFile, which <windows.h> may define as a macro.
    FILE_DISPOSITION_INFO gone{TRUE};
    (void)SetFileInformationByHandle(file.get(), FileDispositionInfo, &gone, sizeof gone);
}

// Removes the new files and backups that earlier runs left beside the
// project `name` in `folder` and that no live run holds.
void remove_leftovers(const std::wstring& folder, const std::wstring& name)
{
    std::string project_name = narrow(name);
    std::wstring pattern = folder + L"." + widen(std::string(new_file_project_part(project_name))) + L".projport-*.tmp";
    WIN32_FIND_DATAW found;
    unique_find search{FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0)};
    if (!search.is_open())
        return;
    do {
        std::string leftover = narrow(found.cFileName);
        new_file_name_parts parts;
        if (parse_new_file_name(leftover, parts) && is_new_file_of(parts, project_name))
            remove_if_abandoned(folder + found.cFileName, found, parts);
    } while (FindNextFileW(search.get(), &found));
}

}  // namespace

struct cli_project::state {
    unique_handle file;  // for reading, until the replacement asks for writing
    std::wstring path;
    file_facts opened;
    bool may_replace = false;
    bool writable = false;
    std::wstring new_file;  // made and not moved over the project yet
    file_facts made;        // what the new file was when it was written

    // Opens the project again, for writing, and makes that the project's
    // handle; it must be the file that was opened. The read-only attribute
    // refuses it also where the open itself would let it pass (an
    // administrator's backup rights, say): read-only is how version control
    // marks a file not checked out. Returns 0 or the error.
    file_error open_for_writing() noexcept
    {
        if (writable)
            return 0;
        if (opened.attributes & FILE_ATTRIBUTE_READONLY)
            return ERROR_ACCESS_DENIED;
        // The very file read, whatever its name leads to now.
        unique_handle writer{ReOpenFile(file.get(), GENERIC_READ | GENERIC_WRITE, share_all,
                                        FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS)};
        if (!writer.is_open())
            return last_error_or(ERROR_GEN_FAILURE);
        file_facts now;
        if (file_error code = facts_of(writer.get(), now))
            return code;
        if (!same_file(opened, now))
            return error_changed_meanwhile;
        file = std::move(writer);
        writable = true;
        return 0;
    }

    bool rewrite_in_place_here(std::string_view original, std::string_view converted, replace_failure& failure)
    {
        file_facts now;
        if (file_error code = facts_of(file.get(), now)) {
            failure = {action_replace, code, 0, {}};
            return false;
        }
        if (!is_unchanged(opened, now)) {
            failure = {action_replace, error_changed_meanwhile, 0, {}};
            return false;
        }
        LARGE_INTEGER start{};
        if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) {
            failure = {action_write, last_error_or(ERROR_GEN_FAILURE), 0, {}};
            return false;
        }
        win32_project_file project(file.get());
        rewrite_outcome outcome = rewrite_in_place(project, original, converted);
        if (outcome.failed == rewrite_step::none)
            return true;
        failure = {action_write, outcome.error, outcome.restore_error, {}};
        return false;
    }

    // Makes a new file beside the project `name` in `folder` under a name no
    // other run has, open in `handle` without letting others delete it, and
    // locks it; `backup` gets the backup name of the same random part.
    // Returns 0, or the error of the last name tried.
    file_error make_new_file(const std::wstring& folder, const std::string& name, unique_handle& handle,
                             std::wstring& tried, std::wstring& backup) noexcept
    {
        file_error code = ERROR_FILE_EXISTS;
        long pid = static_cast<long>(GetCurrentProcessId());
        for (int attempt = 0; attempt < most_new_file_names && !handle.is_open(); ++attempt) {
            std::uint64_t token = 0;
            if (file_error random_failed = system_random(token))
                return random_failed;
            tried = folder + widen(new_file_name(name, pid, token));
            backup = folder + widen(backup_file_name(name, pid, token));
            handle.reset(CreateFileW(tried.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
            if (handle.is_open())
                break;
            code = last_error_or(ERROR_GEN_FAILURE);
            // A name that is taken is another's: never removed, another drawn.
            if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS)
                return code;
        }
        if (!handle.is_open())
            return code;
        if (file_error unknown = facts_of(handle.get(), made)) {
            (void)handle.close();
            (void)DeleteFileW(tried.c_str());
            return unknown;
        }
        new_file = tried;
        // Where the file system keeps no locks, the open without delete
        // sharing still keeps a sweep away.
        code = lock_exclusively(handle.get());
        if (code != 0 && code != ERROR_NOT_SUPPORTED && code != ERROR_INVALID_FUNCTION) {
            (void)handle.close();
            remove_new_file();
            return code;
        }
        return 0;
    }

    // Whether the new file's name still leads to the file this run wrote, of
    // the size written. (Not its time: a file system may set that when the
    // writing handle closes.)
    bool new_file_is_ours() const noexcept
    {
        unique_handle current{CreateFileW(new_file.c_str(), FILE_READ_ATTRIBUTES, share_all, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
        file_facts now;
        return current.is_open() && facts_of(current.get(), now) == 0 && same_file(made, now) &&
               now.size_high == made.size_high && now.size_low == made.size_low;
    }

    // Removes the new file, but only while its name is still the file this
    // run made: a name another put there is theirs.
    void remove_new_file() noexcept
    {
        if (!new_file.empty()) {
            unique_handle current{CreateFileW(new_file.c_str(), DELETE | FILE_READ_ATTRIBUTES, share_all, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
            file_facts now;
            if (current.is_open() && facts_of(current.get(), now) == 0 && same_file(made, now)) {
                FILE_DISPOSITION_INFO gone{TRUE};
                (void)SetFileInformationByHandle(current.get(), FileDispositionInfo, &gone, sizeof gone);
            }
        }
        new_file.clear();
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
        return ERROR_NOT_ENOUGH_MEMORY;
    state& s = *state_;
    s.path = widen(path);
    s.may_replace = may_replace;
    s.file.reset(CreateFileW(s.path.c_str(), GENERIC_READ, share_all, nullptr, OPEN_EXISTING, project_open_flags,
                             nullptr));
    if (!s.file.is_open())
        return last_error_or(ERROR_GEN_FAILURE);
    if (GetFileType(s.file.get()) != FILE_TYPE_DISK)
        return error_not_regular_file;
    if (file_error code = facts_of(s.file.get(), s.opened))
        return code;
    if (s.opened.attributes & FILE_ATTRIBUTE_DIRECTORY)
        return error_not_regular_file;
    return 0;
}

file_error cli_project::read(byte_buffer& bytes) noexcept
{
    bytes.clear();
    if (!state_ || !state_->file.is_open())
        return ERROR_INVALID_HANDLE;
    // The size the file had when it was opened bounds the read: a file
    // another program keeps writing cannot hold the run, and one of size 0
    // is empty, not read.
    std::uint64_t size = (static_cast<std::uint64_t>(state_->opened.size_high) << 32) | state_->opened.size_low;
    if (size == 0)
        return 0;
    if (size > static_cast<std::uint64_t>(PTRDIFF_MAX) || !bytes.resize(static_cast<std::size_t>(size)))
        return ERROR_NOT_ENOUGH_MEMORY;
    std::size_t total = 0;
    while (total < bytes.size()) {
        std::size_t room = bytes.size() - total;
        DWORD got = 0;
        if (!ReadFile(state_->file.get(), bytes.data() + total, static_cast<DWORD>(room < 0x40000000u ? room : 0x40000000u),
                      &got, nullptr)) {
            file_error code = last_error_or(ERROR_GEN_FAILURE);
            bytes.clear();
            return code;
        }
        if (got == 0) {
            bytes.clear();
            return error_changed_meanwhile;  // cut since it was opened
        }
        total += got;
    }
    // One byte more means the file grew while it was read.
    char more = 0;
    DWORD got = 0;
    if (!ReadFile(state_->file.get(), &more, 1, &got, nullptr)) {
        file_error code = last_error_or(ERROR_GEN_FAILURE);
        bytes.clear();
        return code;
    }
    if (got != 0) {
        bytes.clear();
        return error_changed_meanwhile;
    }
    return 0;
}

bool cli_project::replace(std::string_view original, std::string_view converted, replace_failure& failure) noexcept
{
    failure = {};
    if (!state_ || !state_->file.is_open() || !state_->may_replace) {
        failure = {action_write, ERROR_INVALID_HANDLE, 0, {}};
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

    std::wstring target = final_name(s.file.get(), s.path);
    std::wstring folder, name;
    split_path(target, folder, name);
    std::string narrow_name = narrow(name);
    std::wstring tried, backup;
    unique_handle made;
    if (file_error code = s.make_new_file(folder, narrow_name, made, tried, backup)) {
        // No new file in this folder: in place instead.
        if (code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT || code == ERROR_FILENAME_EXCED_RANGE)
            return s.rewrite_in_place_here(original, converted, failure);
        failure = {action_create, code, 0, narrow(tried)};
        return false;
    }
    if (file_error code = write_bytes(made.get(), converted)) {
        (void)made.close();
        s.remove_new_file();
        failure = {action_write, code, 0, {}};
        return false;
    }
    if (file_error code = facts_of(made.get(), s.made)) {
        (void)made.close();
        s.remove_new_file();
        failure = {action_write, code, 0, {}};
        return false;
    }
    // The replacement opens the new file without sharing it: it is closed,
    // and its lock ends, here.
    if (!made.close()) {
        file_error code = last_error_or(ERROR_GEN_FAILURE);
        s.remove_new_file();
        failure = {action_write, code, 0, {}};
        return false;
    }

    // The last look before the move: the new file is still the one written,
    // and another writer's change to the project is kept. The project's own
    // handle goes first, so that nothing of this process stands in the
    // replacement's way.
    (void)s.file.close();
    {
        unique_handle current{CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES, share_all, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
        file_facts now;
        if (!s.new_file_is_ours() || !current.is_open() || facts_of(current.get(), now) != 0 ||
            !is_unchanged(s.opened, now)) {
            s.remove_new_file();
            failure = {action_replace, error_changed_meanwhile, 0, {}};
            return false;
        }
    }
    // With a backup name the project keeps its own name on every failure but
    // one, where it has moved to the backup name and is moved back. The new
    // file takes the project's security, attributes, creation time and
    // streams: the project keeps its access rights.
    file_error code = retry_while_held(
        [&] { return ReplaceFileW(target.c_str(), s.new_file.c_str(), backup.c_str(), 0, nullptr, nullptr); });
    if (code != 0) {
        if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
            if (file_error back = retry_while_held([&] { return MoveFileExW(backup.c_str(), target.c_str(), 0); })) {
                // The original bytes stand under the backup name: left for
                // the user, with the converted text beside them.
                failure = {action_replace, code, back, {}};
                s.new_file.clear();
                return false;
            }
        }
        s.remove_new_file();
        failure = {action_replace, code, 0, {}};
        return false;
    }
    s.new_file.clear();
    (void)DeleteFileW(backup.c_str());
    remove_leftovers(folder, name);
    return true;
}

file_error cli_write(cli_stream stream, std::string_view text) noexcept
{
    HANDLE handle = GetStdHandle(stream == cli_stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_HANDLE;
    if (is_console(handle))
        return write_console(handle, text);
    return write_bytes(handle, with_crlf(std::string(text)));
}

std::string system_error_text(file_error code)
{
    if (const char* ours = cli_error_text(code))
        return ours;
    system_message message(code);
    if (!message.text)
        return "(null)";
    std::wstring_view wide(message.text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' '))
        wide.remove_suffix(1);
    return narrow(wide);
}

// The Windows side of the replacement (project_io_system.h), and printing.

#include "cli/project_io.h"

#include <windows.h>

#include <iterator>

#include "cli/project_io_system.h"
#include "cli/text_encoding.h"
#include "console/line_ends.h"
#include "platform/last_error.h"
#include "platform/win32_handles.h"
#include "platform/win32_project_file.h"

namespace {

constexpr DWORD largest_console_write = 8192;
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
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

}  // namespace

const file_error access_denied_code = ERROR_ACCESS_DENIED;
const file_error not_open_code = ERROR_INVALID_HANDLE;
const bool backups_go_unlocked = true;
const bool last_look_follows_links = true;

long own_process_id() noexcept
{
    return static_cast<long>(GetCurrentProcessId());
}

bool process_is_gone(long pid) noexcept
{
    unique_handle process{OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid))};
    return !process.is_open() && GetLastError() == ERROR_INVALID_PARAMETER;
}

file_error reopen_for_writing(const native_file& file, const std::string&, native_file& writer) noexcept
{
    // The very file read, whatever its name leads to now.
    writer.reset(ReOpenFile(file.get(), GENERIC_READ | GENERIC_WRITE, share_all,
                            FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS));
    return writer.is_open() ? 0 : last_error_or(ERROR_GEN_FAILURE);
}

// The name of the file itself, past any link on the way, or `path` when the
// system cannot tell it.
file_error locate_project(const native_file& file, const std::string& path, const file_facts&, std::string& target)
{
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetFinalPathNameByHandleW(file.get(), name.data(), static_cast<DWORD>(name.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            target = path;
            return 0;
        }
        if (length < name.size()) {
            name.resize(length);
            target = narrow(name);
            return 0;
        }
        name.resize(length);
    }
}

file_error create_exclusively(const std::string& path, native_file& file) noexcept
{
    file.reset(CreateFileW(widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.is_open() ? 0 : last_error_or(ERROR_GEN_FAILURE);
}

bool is_name_taken(file_error code) noexcept
{
    return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
}

bool is_no_new_file_here(file_error code) noexcept
{
    return code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT || code == ERROR_FILENAME_EXCED_RANGE;
}

file_error lock_exclusively(const native_file& file) noexcept
{
    OVERLAPPED from_start{};
    if (LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                   &from_start))
        return 0;
    return last_error_or(ERROR_LOCK_VIOLATION);
}

bool is_lock_unsupported(file_error code) noexcept
{
    return code == ERROR_NOT_SUPPORTED || code == ERROR_INVALID_FUNCTION;
}

// The move gives the new file the project's security, attributes, creation
// time and streams. It opens the new file without sharing it: it is closed,
// and its lock ends, here.
file_error finish_new_file(const native_file&, const file_facts&, native_file& made, bool& copyable) noexcept
{
    copyable = true;
    return made.close() ? 0 : last_error_or(ERROR_GEN_FAILURE);
}

// The project's own handle goes, so that nothing of this process stands in
// the replacement's way.
void let_go_before_move(native_file& project) noexcept
{
    (void)project.close();
}

// With a backup name the project keeps its own name on every failure but
// one, where it has moved to the backup name and is moved back.
move_outcome move_over(const std::string& made, const std::string& target, const std::string& backup) noexcept
{
    std::wstring wide_made = widen(made), wide_target = widen(target), wide_backup = widen(backup);
    move_outcome outcome;
    outcome.action = "replace";
    file_error code = retry_while_held([&] {
        return ReplaceFileW(wide_target.c_str(), wide_made.c_str(), wide_backup.c_str(), 0, nullptr, nullptr);
    });
    if (code == 0) {
        (void)DeleteFileW(wide_backup.c_str());
        outcome.how = move_outcome::end::moved;
        return outcome;
    }
    outcome.error = code;
    if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        // The original bytes stand under the backup name when they cannot
        // be moved back: left for the user, with the converted text beside
        // them.
        outcome.restore_error =
            retry_while_held([&] { return MoveFileExW(wide_backup.c_str(), wide_target.c_str(), 0); });
    }
    return outcome;
}

// Deleted through the handle that holds the lock, so that the file removed
// is the one locked.
void remove_locked(const std::string&, const file_facts&, native_file& held) noexcept
{
    // Its one member is named DeleteFile, which <windows.h> may define as a macro.
    FILE_DISPOSITION_INFO gone{TRUE};
    (void)SetFileInformationByHandle(held.get(), FileDispositionInfo, &gone, sizeof gone);
    (void)held.close();
}

// Removed through a handle of its own, opened for deleting; `held` is
// closed first, since it does not let the file be deleted.
void remove_made(const std::string& path, const file_facts& facts, native_file& held) noexcept
{
    (void)held.close();
    native_file current{CreateFileW(widen(path).c_str(), DELETE | FILE_READ_ATTRIBUTES, share_all, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    file_facts now;
    if (current.is_open() && facts_of_file(current, now) == 0 && same_file(facts, now))
        remove_locked(path, facts, current);
}

// A live writer holds its new file open without letting it be deleted: the
// open for deleting fails then.
file_error open_to_remove(const std::string& path, native_file& file) noexcept
{
    file.reset(CreateFileW(widen(path).c_str(), GENERIC_READ | DELETE, share_all, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file.is_open() ? 0 : last_error_or(ERROR_GEN_FAILURE);
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

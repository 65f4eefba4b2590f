#include "cli/project_io.h"

#include <windows.h>

#include <new>

#include "cli/new_file_name.h"
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

// Removes the new files and backups that earlier runs left beside the
// project `name` in `folder` when the process that made them is gone.
void remove_leftovers(const std::wstring& folder, const std::wstring& name)
{
    std::wstring pattern = folder + L"." + name + L".projport-*.tmp";
    WIN32_FIND_DATAW found;
    unique_find search{FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0)};
    if (!search.is_open())
        return;
    std::string project_name = narrow(name);
    do {
        std::string leftover = narrow(found.cFileName);
        new_file_name_parts parts;
        if (parse_new_file_name(leftover, parts) && parts.project_name == project_name &&
            static_cast<DWORD>(parts.pid) != GetCurrentProcessId() && process_is_gone(static_cast<unsigned long>(parts.pid)))
            (void)DeleteFileW((folder + found.cFileName).c_str());
    } while (FindNextFileW(search.get(), &found));
}

}  // namespace

struct cli_project::state {
    unique_handle file;
    std::wstring path;
    file_facts opened;
    bool for_rewrite = false;
    std::wstring new_file;  // made and not moved over the project yet

    bool rewrite_in_place_here(std::string_view original, std::string_view converted, replace_failure& failure)
    {
        file_facts now;
        if (file_error code = facts_of(file.get(), now)) {
            failure = {action_replace, code, 0};
            return false;
        }
        if (!is_unchanged(opened, now)) {
            failure = {action_replace, error_changed_meanwhile, 0};
            return false;
        }
        LARGE_INTEGER start{};
        if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN)) {
            failure = {action_write, last_error_or(ERROR_GEN_FAILURE), 0};
            return false;
        }
        win32_project_file project(file.get());
        rewrite_outcome outcome = rewrite_in_place(project, original, converted);
        if (outcome.failed == rewrite_step::none)
            return true;
        failure = {action_write, outcome.error, outcome.restore_error};
        return false;
    }

    void remove_new_file() noexcept
    {
        if (!new_file.empty())
            (void)DeleteFileW(new_file.c_str());
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

file_error cli_project::open(const std::string& path, bool for_rewrite) noexcept
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
    s.for_rewrite = for_rewrite;
    // A read-only project fails the open for writing with ERROR_ACCESS_DENIED.
    s.file.reset(CreateFileW(s.path.c_str(), GENERIC_READ | (for_rewrite ? GENERIC_WRITE : 0), share_all, nullptr,
                             OPEN_EXISTING, project_open_flags, nullptr));
    if (!s.file.is_open())
        return last_error_or(ERROR_GEN_FAILURE);
    if (GetFileType(s.file.get()) != FILE_TYPE_DISK)
        return error_not_regular_file;
    if (file_error code = facts_of(s.file.get(), s.opened))
        return code;
    if (s.opened.attributes & FILE_ATTRIBUTE_DIRECTORY)
        return error_not_regular_file;
    // Also where the open itself let it pass (an administrator's backup
    // rights, say): read-only is how version control marks a file not
    // checked out.
    if (for_rewrite && (s.opened.attributes & FILE_ATTRIBUTE_READONLY))
        return ERROR_ACCESS_DENIED;
    return 0;
}

file_error cli_project::read(std::string& bytes) noexcept
{
    bytes.clear();
    if (!state_ || !state_->file.is_open())
        return ERROR_INVALID_HANDLE;
    std::uint64_t size = (static_cast<std::uint64_t>(state_->opened.size_high) << 32) | state_->opened.size_low;
    // The size is a hint: the file is read until a read returns nothing.
    bytes.resize(static_cast<std::size_t>(size) + 1);
    std::size_t total = 0;
    for (;;) {
        if (total == bytes.size())
            bytes.resize(bytes.size() * 2);
        std::size_t room = bytes.size() - total;
        DWORD got = 0;
        if (!ReadFile(state_->file.get(), bytes.data() + total, static_cast<DWORD>(room < 0x40000000u ? room : 0x40000000u),
                      &got, nullptr)) {
            bytes.clear();
            return last_error_or(ERROR_GEN_FAILURE);
        }
        if (got == 0)
            break;
        total += got;
    }
    bytes.resize(total);
    return 0;
}

bool cli_project::replace(std::string_view original, std::string_view converted, replace_failure& failure) noexcept
{
    failure = {};
    if (!state_ || !state_->file.is_open() || !state_->for_rewrite) {
        failure = {action_write, ERROR_INVALID_HANDLE, 0};
        return false;
    }
    if (original == converted)
        return true;
    rewrite_hold hold;
    state& s = *state_;
    // Another name of the same file would keep the old bytes.
    if (s.opened.links > 1)
        return s.rewrite_in_place_here(original, converted, failure);

    std::wstring target = final_name(s.file.get(), s.path);
    std::wstring folder, name;
    split_path(target, folder, name);
    std::string narrow_name = narrow(name);
    DWORD pid = GetCurrentProcessId();
    std::wstring new_file = folder + widen(new_file_name(narrow_name, static_cast<long>(pid)));
    std::wstring backup = folder + widen(backup_file_name(narrow_name, static_cast<long>(pid)));

    unique_handle made{CreateFileW(new_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr)};
    if (!made.is_open()) {
        DWORD code = GetLastError();
        // Left by an earlier process of this number, which is gone.
        if (code == ERROR_FILE_EXISTS && DeleteFileW(new_file.c_str()))
            made.reset(CreateFileW(new_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
        if (!made.is_open()) {
            code = last_error_or(ERROR_GEN_FAILURE);
            // No new file in this folder: in place instead.
            if (code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT || code == ERROR_FILENAME_EXCED_RANGE)
                return s.rewrite_in_place_here(original, converted, failure);
            failure = {action_create, code, 0};
            return false;
        }
    }
    s.new_file = new_file;
    if (file_error code = write_bytes(made.get(), converted)) {
        (void)made.close();
        s.remove_new_file();
        failure = {action_write, code, 0};
        return false;
    }
    if (!made.close()) {
        file_error code = last_error_or(ERROR_GEN_FAILURE);
        s.remove_new_file();
        failure = {action_write, code, 0};
        return false;
    }

    // The last look before the move: another writer's change is kept. The
    // project's own handle goes first, so that nothing of this process
    // stands in the replacement's way.
    (void)s.file.close();
    {
        unique_handle current{CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES, share_all, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
        file_facts now;
        if (!current.is_open() || facts_of(current.get(), now) != 0 || !is_unchanged(s.opened, now)) {
            s.remove_new_file();
            failure = {action_replace, error_changed_meanwhile, 0};
            return false;
        }
    }
    // With a backup name the project keeps its own name on every failure but
    // one, where it has moved to the backup name and is moved back.
    if (!ReplaceFileW(target.c_str(), new_file.c_str(), backup.c_str(), 0, nullptr, nullptr)) {
        file_error code = last_error_or(ERROR_GEN_FAILURE);
        if (code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
            if (!MoveFileExW(backup.c_str(), target.c_str(), 0)) {
                // The original bytes stand under the backup name: left for
                // the user, with the converted text beside them.
                failure = {action_replace, code, last_error_or(ERROR_GEN_FAILURE)};
                s.new_file.clear();
                return false;
            }
        }
        s.remove_new_file();
        failure = {action_replace, code, 0};
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

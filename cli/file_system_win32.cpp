#include "cli/file_system.h"

#include <windows.h>

#include <utility>

#include "cli/cli_errors.h"
#include "cli/file_system_native.h"
#include "cli/text_encoding.h"
#include "platform/last_error.h"
#include "platform/win32_handles.h"
#include "platform/win32_project_file.h"

namespace {

constexpr const char* action_open = "open";
constexpr const char* action_read = "read";
constexpr DWORD share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr std::uint64_t ticks_per_second = 10000000;
// One ReadFile call moves at most this many bytes.
constexpr std::size_t largest_transfer = 0x40000000u;

std::uint64_t ticks_of(const FILETIME& time) noexcept
{
    return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

}  // namespace

const unsigned file_too_large_code = ERROR_FILE_TOO_LARGE;

const unsigned out_of_memory_code = ERROR_NOT_ENOUGH_MEMORY;

const char path_separator = '\\';

bool is_path_separator(char c) noexcept
{
    return c == '\\' || c == '/';
}

std::size_t drive_prefix_length(std::string_view path) noexcept
{
    return path.size() >= 2 && path[1] == ':' ? 2 : 0;
}

unsigned absolute_path(const std::string& path, std::string& absolute) noexcept
{
    std::wstring wide = widen(path);
    std::wstring full;
    DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    while (size != 0) {
        full.resize(size);
        DWORD written = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
        if (written == 0)
            break;
        if (written < size) {
            full.resize(written);
            absolute = narrow(full);
            return 0;
        }
        // The current folder changed meanwhile, to a longer one.
        size = written;
    }
    return last_error_or(ERROR_GEN_FAILURE);
}

unsigned identify_file(const std::string& path, file_identity& identity) noexcept
{
    // No access right is needed to read the identity, and full sharing lets
    // it be read while another program holds the file open.
    unique_handle file{CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (!file.is_open())
        return last_error_or(ERROR_GEN_FAILURE);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info))
        return last_error_or(ERROR_GEN_FAILURE);
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    return 0;
}

bool is_existing_folder(const std::string& path) noexcept
{
    DWORD attributes = GetFileAttributesW(widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool is_link(const std::string& path) noexcept
{
    // The reparse point itself, not where it leads: a symbolic link or a
    // junction leads elsewhere; other reparse points (a file of a cloud
    // drive, a deduplicated file) are the file itself.
    unique_handle file{CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                   nullptr)};
    FILE_ATTRIBUTE_TAG_INFO info;
    if (!file.is_open() || !GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &info, sizeof info))
        return false;
    return (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (info.ReparseTag == IO_REPARSE_TAG_SYMLINK || info.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

unsigned final_path(const std::string& path, std::string& resolved)
{
    // Opened as identify_file opens it: following links, with no right
    // asked, so that a file held by another program still resolves.
    unique_handle file{CreateFileW(widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr)};
    if (!file.is_open())
        return last_error_or(ERROR_GEN_FAILURE);
    std::wstring name(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetFinalPathNameByHandleW(file.get(), name.data(), static_cast<DWORD>(name.size()),
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return last_error_or(ERROR_GEN_FAILURE);
        // Too small a buffer: the length needed, its terminating zero included.
        if (length >= name.size()) {
            name.resize(length);
            continue;
        }
        name.resize(length);
        resolved = narrow(name);
        return 0;
    }
}

bool path_exists(const std::string& path) noexcept
{
    return GetFileAttributesW(widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

unsigned list_folder(const std::string& path, std::vector<folder_entry>& entries, const char*& action) noexcept
{
    entries.clear();
    std::wstring pattern = widen(path);
    if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/' && pattern.back() != L':')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    unique_find search{FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                        FIND_FIRST_EX_LARGE_FETCH)};
    if (!search.is_open()) {
        // The root of an empty drive has not even "." and "..".
        unsigned code = last_error_or(ERROR_GEN_FAILURE);
        if (code == ERROR_FILE_NOT_FOUND && is_existing_folder(path))
            return 0;
        action = action_open;
        return code;
    }
    do {
        std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        bool is_reparse_point = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        bool is_folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !is_reparse_point;
        // A symbolic link or a junction may lead to a folder or elsewhere;
        // a plain file leads nowhere else and needs no look of its own.
        entries.push_back({narrow(name), is_folder, is_reparse_point});
    } while (FindNextFileW(search.get(), &found));
    unsigned code = last_error_or(ERROR_GEN_FAILURE);
    if (code == ERROR_NO_MORE_FILES)
        return 0;
    action = action_read;
    return code;
}

file_error facts_of_file(const native_file& file, file_facts& facts) noexcept
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file.get(), &info))
        return last_error_or(ERROR_GEN_FAILURE);
    facts = file_facts{};
    facts.identity.volume = info.dwVolumeSerialNumber;
    facts.identity.index = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
    facts.size = static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
    std::uint64_t ticks = ticks_of(info.ftLastWriteTime);
    facts.written_seconds = static_cast<std::int64_t>(ticks / ticks_per_second);
    facts.written_fraction = static_cast<std::uint32_t>(ticks % ticks_per_second);
    facts.links = info.nNumberOfLinks;
    facts.is_plain_file = (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    facts.is_folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    return 0;
}

std::int64_t seconds_now() noexcept
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return static_cast<std::int64_t>(ticks_of(now) / ticks_per_second);
}

file_error facts_of_name(const std::string& path, bool follow_links, file_facts& facts) noexcept
{
    // No access right is needed for the facts, and full sharing lets them be
    // read while another program holds the file open.
    native_file file{CreateFileW(widen(path).c_str(), FILE_READ_ATTRIBUTES, share_all, nullptr, OPEN_EXISTING,
                                 follow_links ? FILE_FLAG_BACKUP_SEMANTICS : FILE_FLAG_OPEN_REPARSE_POINT, nullptr)};
    if (!file.is_open())
        return last_error_or(ERROR_GEN_FAILURE);
    return facts_of_file(file, facts);
}

file_error open_for_reading(const std::string& path, native_file& file, file_facts& facts, bool& at_open) noexcept
{
    at_open = true;
    file.reset(CreateFileW(widen(path).c_str(), GENERIC_READ, share_all, nullptr, OPEN_EXISTING, project_open_flags,
                           nullptr));
    if (!file.is_open())
        return last_error_or(ERROR_GEN_FAILURE);
    // A pipe or a device is never read: it may block, or never end.
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        return error_not_regular_file;
    if (file_error code = facts_of_file(file, facts)) {
        at_open = false;
        return code;
    }
    if (facts.is_folder)
        return error_not_regular_file;
    at_open = false;
    return 0;
}

file_error read_some(const native_file& file, char* into, std::size_t count, std::size_t& got) noexcept
{
    DWORD done = 0;
    got = 0;
    if (!ReadFile(file.get(), into, static_cast<DWORD>(count < largest_transfer ? count : largest_transfer), &done,
                  nullptr))
        return last_error_or(ERROR_GEN_FAILURE);
    got = done;
    return 0;
}

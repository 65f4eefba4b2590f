#include "convert/convert_project.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <malloc.h>

#include "console/report.h"
#include "convert/async_file.h"
#include "convert/error_report.h"
#include "convert/retarget.h"

namespace {

constexpr std::size_t block_half = 2u << 20;  // the usual input and output halves
constexpr std::size_t block_alignment = 2u << 20;

// The input half holds the file and one terminating zero; the output half the
// converted text. Both grow in steps of 2 MiB for files that need it.
std::size_t half_size_for(std::size_t file_size) noexcept
{
    std::size_t needed = file_size + 1 + retarget_max_growth;
    if (needed <= block_half)
        return block_half;
    return (needed + block_half - 1) / block_half * block_half;
}

struct working_block {
    char* bytes = nullptr;
    std::size_t half = 0;

    explicit working_block(std::size_t half_size) noexcept : half(half_size)
    {
        bytes = static_cast<char*>(_aligned_malloc(2 * half, block_alignment));
        if (bytes)
            std::memset(bytes, 0, 2 * half);
    }
    ~working_block() { _aligned_free(bytes); }
    working_block(const working_block&) = delete;
    working_block& operator=(const working_block&) = delete;

    char* input() const noexcept { return bytes; }
    char* output() const noexcept { return bytes + half; }
};

void print_change(void*, change_kind kind, std::string_view text)
{
    int length = static_cast<int>(text.size());
    if (kind == change_kind::inserted)
        print_report(L"+ %.*hs\n", length, text.data());
    else
        print_report(L"%.*hs\n", length, text.data());
}

std::size_t known_size(HANDLE file) noexcept
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0)
        return 0;
    return static_cast<std::size_t>(size.QuadPart);
}

// Reads the whole file into the input half, leaving room for the terminating
// zero. A file with more bytes than that (one that grew since its size was
// taken) counts as a failed read: nothing is converted from part of a file.
bool read_whole(async_file& file, char* input, std::size_t capacity, std::size_t& total) noexcept
{
    total = 0;
    std::size_t room = capacity - 1;
    while (total < room) {
        DWORD chunk = static_cast<DWORD>(room - total < 0x40000000u ? room - total : 0x40000000u);
        DWORD got = 0;
        if (!ReadFile(file.handle, input + total, chunk, &got, file.read_overlapped)) {
            file.last_error = GetLastError();
            return false;
        }
        if (got == 0)
            return true;
        total += got;
    }
    char extra = 0;
    DWORD got = 0;
    if (ReadFile(file.handle, &extra, 1, &got, file.read_overlapped) && got == 0)
        return true;
    file.last_error = ERROR_FILE_TOO_LARGE;
    return false;
}

bool seek_to(HANDLE file, std::size_t offset) noexcept
{
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) != FALSE;
}

bool set_length(HANDLE file, std::size_t length) noexcept
{
    return seek_to(file, length) && SetEndOfFile(file);
}

bool write_all(async_file& file, std::string_view bytes, DWORD& code) noexcept
{
    DWORD written = 0;
    if (!WriteFile(file.handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   file.write_overlapped)) {
        code = GetLastError();
        return false;
    }
    if (written != bytes.size()) {
        code = ERROR_HANDLE_DISK_FULL;
        return false;
    }
    return true;
}

// Puts the original bytes back after a failed rewrite, so the project is
// never left cut short or half old, half new.
void restore_original(async_file& file, const wchar_t* path, std::string_view original) noexcept
{
    DWORD code = 0;
    if (!seek_to(file.handle, 0))
        code = GetLastError();
    else if (!write_all(file, original, code))
        ;
    else if (!SetEndOfFile(file.handle))
        code = GetLastError();
    if (code != 0)
        (void)print_path_error(code, L"restore", path);
}

// Writes the converted text over the file, which is positioned at its start.
// Returns 0, or the system error code of the step that failed, in which case
// the file holds its original bytes again.
DWORD rewrite(async_file& file, const wchar_t* path, std::string_view original,
              std::string_view converted) noexcept
{
    DWORD code = 0;
    // Growing the file first makes a full disk fail before any byte changes.
    if (converted.size() > original.size()) {
        if (!set_length(file.handle, converted.size())) {
            code = GetLastError();
            (void)set_length(file.handle, original.size());
            return print_path_error(code, L"write", path);
        }
        if (!seek_to(file.handle, 0)) {
            code = GetLastError();
            (void)set_length(file.handle, original.size());
            return print_path_error(code, L"write", path);
        }
    }
    if (!write_all(file, converted, code)) {
        (void)print_path_error(code, L"write", path);
        restore_original(file, path, original);
        return code;
    }
    if (!SetEndOfFile(file.handle)) {
        code = GetLastError();
        (void)print_path_error(code, L"write", path);
        restore_original(file, path, original);
        return code;
    }
    return 0;
}

}  // namespace

int convert_project(const wchar_t* path, vs_version target) noexcept
{
    if (!is_valid_version(target)) {
        print_report(L"invalid argument  vs_version %i\n", target);
        return convert_bad_version;
    }
    const version_row& row = version_table[target];

    async_file file;
    (void)file.open(path, 0);  // a failure is printed by the open itself
    if (!file.is_open)
        return convert_open_failed;

    working_block block(half_size_for(known_size(file.handle)));
    if (!block.bytes)
        return convert_no_memory;

    std::size_t read = 0;
    if (!read_whole(file, block.input(), block.half, read) || read == 0)
        return convert_read_failed;
    block.input()[read] = '\0';

    std::string_view original(block.input(), read);
    retarget_result converted =
        retarget_text(original, block.output(), block.half, target, {print_change, nullptr});
    if (converted.overflow) {
        print_report(L"the converted project would not fit its buffer; the file is left unchanged\n");
        return convert_too_large;
    }
    if (!converted.changed) {
        if (names_target(original, target))
            print_report(L"Already configured for Visual Studio %ls\n", row.label);
        else
            print_report(L"could not find a match\n");
        return convert_nothing_to_do;
    }

    LARGE_INTEGER zero{};
    if (SetFilePointerEx(file.handle, zero, nullptr, FILE_BEGIN)) {
        file.last_error = 0;
    } else {
        file.last_error = GetLastError();
        if (file.last_error != 0)
            return convert_seek_failed;
    }
    file.write_error =
        rewrite(file, path, original, std::string_view(block.output(), converted.length));
    if (file.write_error != 0)
        return static_cast<int>(file.write_error);
    print_report(L"\nProject is ready for Visual Studio %ls\n", row.label);
    return convert_done;
}

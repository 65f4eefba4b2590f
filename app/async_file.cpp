#include "app/async_file.h"

#include "app/error_report.h"
#include "platform/win32_project_file.h"

namespace {

bool is_no_handle(HANDLE h) noexcept
{
    return h == nullptr || h == INVALID_HANDLE_VALUE;
}

// Code unit by code unit up to and including the terminating zero: a
// linguistic comparison (lstrcmpW) would skip ignorable characters such as
// a soft hyphen and take "con\u00AD" for "con".
bool same_name(const wchar_t* name, const wchar_t* wanted) noexcept
{
    for (;; ++name, ++wanted) {
        if (*name != *wanted)
            return false;
        if (*name == L'\0')
            return true;
    }
}

}  // namespace

bool is_standard_output_name(const wchar_t* name) noexcept
{
    if (!name)
        return false;
    return same_name(name, L"-") || same_name(name, L"con") || same_name(name, L"CON");
}

DWORD async_file::open(const wchar_t* name, DWORD extra_flags) noexcept
{
    if (is_open)
        return 0xFFFFFFFF;
    DWORD flags = extra_flags | project_open_flags;
    SetLastError(0);
    last_error = 0;

    if (is_standard_output_name(name)) {
        // A process without a standard output (NULL as well as INVALID_HANDLE_VALUE)
        // opens the name as a file instead.
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (!is_no_handle(out)) {
            // The runtime's standard output descriptor holds the same handle
            // and closes it when the streams are rebound or at exit: the
            // record owns a copy of its own. Should no copy be had, it
            // borrows the original and leaves the closing to the runtime.
            HANDLE copy = nullptr;
            if (DuplicateHandle(GetCurrentProcess(), out, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS)) {
                handle = copy;
            } else {
                handle = out;
                borrowed = true;
            }
            is_open = true;
            (void)SetStdHandle(STD_OUTPUT_HANDLE, GetStdHandle(STD_ERROR_HANDLE));
            return 0;
        }
    }

    handle = CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, flags, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        is_open = true;
        return 0;
    }
    DWORD code = GetLastError();
    if (!quiet)
        (void)print_path_error(code, L"open", name);
    last_error = code;
    return code;
}

void async_file::close() noexcept
{
    if (!is_open)
        return;
    is_async = false;
    read_overlapped = nullptr;
    write_overlapped = nullptr;
    is_open = false;
    if (borrowed)
        borrowed = false;
    else
        CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
}

#include "app/error_report.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "console/report.h"
#include "core/report_texts.h"
#include "platform/win32_project_file.h"

namespace {

constexpr std::size_t caption_capacity = 512;

}  // namespace

DWORD print_system_error(DWORD code, const wchar_t* caption) noexcept
{
    system_message message(code);
    if (caption)
        print_report(L"%ls%ls", caption, line_end.wide);
    print_report(L"%ls%u%ls%ls", failure_code.wide, static_cast<unsigned>(code), failure_text.wide,
                 message.text ? message.text : L"(null)");
    return code;
}

DWORD print_path_error(DWORD code, const wchar_t* action, const wchar_t* path) noexcept
{
    wchar_t caption[caption_capacity] = {};
    if (format_bounded(caption, caption_capacity, L"%ls%ls%ls%ls", action, failure_open.wide, path,
                       failure_close.wide) >= 0)
        return print_system_error(code, caption);
    // Too long for the caption buffer: print it straight from its parts.
    print_report(L"%ls%ls%ls%ls%ls", action, failure_open.wide, path, failure_close.wide, line_end.wide);
    return print_system_error(code, nullptr);
}

int format_bounded(wchar_t* buffer, std::size_t capacity, const wchar_t* format, ...) noexcept
{
    if (!buffer || capacity == 0)
        return -1;
    va_list args;
    va_start(args, format);
    int written = _vsnwprintf(buffer, capacity - 1, format, args);
    va_end(args);
    buffer[capacity - 1] = L'\0';
    if (written < 0) {
        buffer[0] = L'\0';
        return -1;
    }
    return written;
}

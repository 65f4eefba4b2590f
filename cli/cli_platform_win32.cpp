#include "cli/cli_platform.h"

#include <windows.h>

#include "cli/text_encoding.h"
#include "console/line_ends.h"
#include "convert/win32_project_file.h"

namespace {

constexpr DWORD open_flags = FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS | FILE_ATTRIBUTE_NORMAL;
constexpr DWORD largest_console_write = 8192;

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

void write_console(HANDLE console, std::string_view text) noexcept
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
        if (!WriteConsoleW(console, next, chunk, &written, nullptr) || written == 0)
            return;
        next += written;
        left -= written;
    }
}

void write_file(HANDLE file, std::string_view text) noexcept
{
    std::string bytes = with_crlf(std::string(text));
    const char* next = bytes.data();
    std::size_t left = bytes.size();
    while (left != 0) {
        DWORD written = 0;
        if (!WriteFile(file, next, static_cast<DWORD>(left < 0x40000000u ? left : 0x40000000u), &written, nullptr) ||
            written == 0)
            return;
        next += written;
        left -= written;
    }
}

// Owns a file handle for the span of one conversion.
struct file_handle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~file_handle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

}  // namespace

void cli_write(cli_stream stream, std::string_view text) noexcept
{
    HANDLE handle = GetStdHandle(stream == cli_stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return;
    if (is_console(handle))
        write_console(handle, text);
    else
        write_file(handle, text);
}

file_error with_open_project(const std::string& path, bool writable, project_use use, void* context) noexcept
{
    std::wstring name = widen(path);
    file_handle file;
    file.handle = CreateFileW(name.c_str(), GENERIC_READ | (writable ? GENERIC_WRITE : 0),
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              open_flags, nullptr);
    if (file.handle == INVALID_HANDLE_VALUE) {
        DWORD code = GetLastError();
        return code != 0 ? code : ERROR_GEN_FAILURE;
    }
    win32_project_file project(file.handle);
    use(context, project);
    return 0;
}

std::string system_error_text(file_error code)
{
    wchar_t* text = nullptr;
    (void)FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (!text)
        return "(null)";
    std::wstring_view wide(text);
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' || wide.back() == L' '))
        wide.remove_suffix(1);
    std::string utf8 = narrow(wide);
    LocalFree(text);
    return utf8;
}

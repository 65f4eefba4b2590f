#include "platform/win32_project_file.h"

#include "platform/last_error.h"

namespace {

// One ReadFile or WriteFile call moves at most this many bytes.
constexpr std::size_t largest_transfer = 0x40000000u;

}  // namespace

system_message::system_message(DWORD code) noexcept
{
    (void)FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
}

system_message::~system_message()
{
    if (text)
        (void)LocalFree(text);
}

std::uint64_t win32_project_file::size() noexcept
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle_, &size) || size.QuadPart < 0)
        return 0;
    return static_cast<std::uint64_t>(size.QuadPart);
}

file_error win32_project_file::read(char* into, std::size_t count, std::size_t& got) noexcept
{
    DWORD chunk = static_cast<DWORD>(count < largest_transfer ? count : largest_transfer);
    DWORD done = 0;
    got = 0;
    if (!ReadFile(handle_, into, chunk, &done, nullptr))
        return last_error_or(ERROR_GEN_FAILURE);
    got = done;
    return 0;
}

// The one call whose failure may leave no code: that counts as a success.
file_error win32_project_file::seek(std::uint64_t offset) noexcept
{
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN))
        return 0;
    return GetLastError();
}

// One WriteFile call for any project of a sensible size; a short write ends it.
file_error win32_project_file::write(const char* from, std::size_t count, std::size_t& written) noexcept
{
    written = 0;
    while (written < count) {
        std::size_t left = count - written;
        DWORD chunk = static_cast<DWORD>(left < largest_transfer ? left : largest_transfer);
        DWORD done = 0;
        if (!WriteFile(handle_, from + written, chunk, &done, nullptr))
            return last_error_or(ERROR_GEN_FAILURE);
        written += done;
        if (done < chunk)
            break;
    }
    return 0;
}

file_error win32_project_file::set_end() noexcept
{
    return SetEndOfFile(handle_) ? 0 : last_error_or(ERROR_GEN_FAILURE);
}

file_error win32_project_file::extend(std::uint64_t length) noexcept
{
    LARGE_INTEGER distance{};
    distance.QuadPart = static_cast<LONGLONG>(length);
    if (!SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN))
        return last_error_or(ERROR_GEN_FAILURE);
    return set_end();
}

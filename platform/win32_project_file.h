#pragma once
// A project file held by a Windows file handle, for the shared conversion
// steps. The handle stays its owner's: this never closes it.

#include <windows.h>

#include "core/project_file.h"

// The flags both programs open a project with: read front to back, and a
// folder opens too (its read then fails, or its type is checked).
inline constexpr DWORD project_open_flags =
    FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS | FILE_ATTRIBUTE_NORMAL;

// The system's message for `code`, as FormatMessageW gives it (its line
// break kept), held until the holder goes out of scope; `text` is null when
// the system has none.
struct system_message {
    wchar_t* text = nullptr;

    explicit system_message(DWORD code) noexcept;
    ~system_message();
    system_message(const system_message&) = delete;
    system_message& operator=(const system_message&) = delete;
};

class win32_project_file final : public project_file {
public:
    explicit win32_project_file(HANDLE handle) noexcept : handle_(handle) {}

    std::uint64_t size() noexcept override;
    file_error read(char* into, std::size_t count, std::size_t& got) noexcept override;
    file_error seek(std::uint64_t offset) noexcept override;
    file_error write(const char* from, std::size_t count, std::size_t& written) noexcept override;
    file_error set_end() noexcept override;
    file_error extend(std::uint64_t length) noexcept override;
    file_error disk_full_error() const noexcept override { return ERROR_HANDLE_DISK_FULL; }
    file_error too_large_error() const noexcept override { return ERROR_FILE_TOO_LARGE; }

private:
    HANDLE handle_;
};

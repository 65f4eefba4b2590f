#pragma once
// The error code of the system call that just failed: GetLastError() on
// Windows, errno on POSIX; `fallback` where the system left 0 behind, since a
// failed call is a failure even then. Read it right after the call, before
// anything else can change it.

#include <cstdint>

#ifdef _WIN32
#include <windows.h>

[[nodiscard]] inline std::uint32_t last_error_or(std::uint32_t fallback) noexcept
{
    DWORD code = GetLastError();
    return code != 0 ? static_cast<std::uint32_t>(code) : fallback;
}
#else
#include <errno.h>

[[nodiscard]] inline std::uint32_t last_error_or(std::uint32_t fallback) noexcept
{
    return errno != 0 ? static_cast<std::uint32_t>(errno) : fallback;
}
#endif

#pragma once
// Random bits from the system's own source, for names that must differ
// between runs that share a process number. One source per platform
// (system_random_posix.cpp, system_random_win32.cpp).

#include <cstdint>

#include "core/project_file.h"

// Fills `bits` from the system's random source. Returns 0 or the error;
// `bits` is then left as it was.
[[nodiscard]] file_error system_random(std::uint64_t& bits) noexcept;

#include "cli/system_random.h"

#include <windows.h>

#include <bcrypt.h>

#include <cstring>

file_error system_random(std::uint64_t& bits) noexcept
{
    unsigned char bytes[sizeof bits];
    // The system's preferred generator, without opening an algorithm handle.
    NTSTATUS status = BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(sizeof bytes), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0)
        return ERROR_GEN_FAILURE;
    std::memcpy(&bits, bytes, sizeof bits);
    return 0;
}

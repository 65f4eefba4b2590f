#include "cli/file_system_native.h"

#include <cstddef>

namespace {

constexpr const char* action_open = "open";
constexpr const char* action_read = "read";

}  // namespace

file_error read_to_end(const native_file& file, std::uint64_t expected, std::uint64_t limit, byte_buffer& bytes,
                       bool& past_limit) noexcept
{
    bytes.clear();
    past_limit = false;
    if (expected > limit)
        expected = limit;
    if (expected > static_cast<std::uint64_t>(PTRDIFF_MAX) || !bytes.resize(static_cast<std::size_t>(expected)))
        return out_of_memory_code;
    // First into the room made for the size the file had.
    std::size_t total = 0;
    while (total < bytes.size()) {
        std::size_t got = 0;
        if (file_error code = read_some(file, bytes.data() + total, bytes.size() - total, got)) {
            bytes.clear();
            return code;
        }
        if (got == 0) {
            (void)bytes.resize(total);  // shorter than it was: never grows
            return 0;
        }
        total += got;
    }
    // Then on in pieces, up to one byte past the limit.
    for (;;) {
        char more[65536];
        std::uint64_t room = limit - total + 1;
        std::size_t want = room < sizeof more ? static_cast<std::size_t>(room) : sizeof more;
        std::size_t got = 0;
        if (file_error code = read_some(file, more, want, got)) {
            bytes.clear();
            return code;
        }
        if (got == 0)
            return 0;
        if (got > limit - total) {
            bytes.clear();
            past_limit = true;
            return 0;
        }
        if (!bytes.append({more, got})) {
            bytes.clear();
            return out_of_memory_code;
        }
        total += got;
    }
}

unsigned read_small_file(const std::string& path, std::string& bytes, const char*& action) noexcept
{
    bytes.clear();
    native_file file;
    file_facts facts;
    bool at_open = true;
    if (file_error code = open_for_reading(path, file, facts, at_open)) {
        action = at_open ? action_open : action_read;
        return code;
    }
    action = action_read;
    if (facts.size > small_file_limit)
        return file_too_large_code;
    // The size is only a hint: the file is read until its end.
    byte_buffer content;
    bool past_limit = false;
    if (file_error code = read_to_end(file, facts.size, small_file_limit, content, past_limit))
        return code;
    if (past_limit)
        return file_too_large_code;
    bytes.assign(content.view());
    return 0;
}

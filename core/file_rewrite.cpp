#include "core/file_rewrite.h"

namespace {

// Reads in pieces that every platform's single read accepts.
constexpr std::size_t largest_read = 0x40000000u;

file_error write_whole(project_file& file, std::string_view bytes) noexcept
{
    std::size_t written = 0;
    if (file_error code = file.write(bytes.data(), bytes.size(), written))
        return code;
    return written == bytes.size() ? 0 : file.disk_full_error();
}

// Puts the original bytes and length back after a failed rewrite. The end
// is set only behind a whole write, never behind a short one.
file_error restore_original(project_file& file, std::string_view original) noexcept
{
    if (file_error code = file.seek(0))
        return code;
    if (file_error code = write_whole(file, original))
        return code;
    return file.set_end();
}

}  // namespace

file_error read_whole(project_file& file, char* buffer, std::size_t capacity, std::size_t& total) noexcept
{
    total = 0;
    if (capacity == 0)
        return file.too_large_error();
    std::size_t room = capacity - 1;
    while (total < room) {
        std::size_t chunk = room - total < largest_read ? room - total : largest_read;
        std::size_t got = 0;
        if (file_error code = file.read(buffer + total, chunk, got))
            return code;
        if (got == 0)
            return 0;
        total += got;
    }
    char extra = 0;
    std::size_t got = 0;
    if (file.read(&extra, 1, got) == 0 && got == 0)
        return 0;
    return file.too_large_error();
}

rewrite_outcome rewrite_in_place(project_file& file, std::string_view original, std::string_view converted) noexcept
{
    rewrite_outcome outcome;
    if (converted.size() > original.size()) {
        file_error code = file.extend(converted.size());
        if (code == 0)
            code = file.seek(0);
        if (code != 0) {
            outcome.failed = rewrite_step::extend;
            outcome.error = code;
            // Only the length may have changed; the bytes are still the original ones.
            if (file.seek(original.size()) != 0 || file.set_end() != 0)
                outcome.restore_error = restore_original(file, original);
            return outcome;
        }
    }
    if (file_error code = write_whole(file, converted)) {
        outcome.failed = rewrite_step::write;
        outcome.error = code;
    } else if (file_error end = file.set_end()) {
        outcome.failed = rewrite_step::set_end;
        outcome.error = end;
    } else {
        return outcome;
    }
    outcome.restore_error = restore_original(file, original);
    return outcome;
}

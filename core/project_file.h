#pragma once
// What the conversion needs of an open project file. The steps that read a
// project whole and rewrite it in place are written once against this, with
// one Windows and one POSIX implementation below it. No system header here.

#include <cstddef>
#include <cstdint>

// 0, or the platform's error code: a Windows system error code, or an errno value.
using file_error = std::uint32_t;

class project_file {
public:
    // The file's size in bytes as the system tells it, or 0 when it cannot.
    virtual std::uint64_t size() noexcept = 0;

    // Reads at most `count` bytes at the file position into `into`; `got` is
    // 0 at the end of the file.
    virtual file_error read(char* into, std::size_t count, std::size_t& got) noexcept = 0;

    // Moves the file position to `offset` from the start.
    virtual file_error seek(std::uint64_t offset) noexcept = 0;

    // Writes `count` bytes at the file position; `written` says how many
    // went out, which may be fewer without an error (a full disk).
    virtual file_error write(const char* from, std::size_t count, std::size_t& written) noexcept = 0;

    // Sets the end of the file at the file position.
    virtual file_error set_end() noexcept = 0;

    // Makes the file `length` bytes long, reserving its room on the disk,
    // so that a disk without room fails here rather than in the write.
    virtual file_error extend(std::uint64_t length) noexcept = 0;

    // The platform's codes for a write that wrote less than asked, and for a
    // file that grew beyond the size it had when it was measured.
    virtual file_error disk_full_error() const noexcept = 0;
    virtual file_error too_large_error() const noexcept = 0;

protected:
    ~project_file() = default;
};

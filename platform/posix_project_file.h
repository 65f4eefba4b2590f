#pragma once
// A project file held by a POSIX file descriptor, for the shared conversion
// steps. The descriptor stays its owner's: this never closes it.

#include "core/project_file.h"

class posix_project_file final : public project_file {
public:
    explicit posix_project_file(int descriptor) noexcept : fd_(descriptor) {}

    std::uint64_t size() noexcept override;
    file_error read(char* into, std::size_t count, std::size_t& got) noexcept override;
    file_error seek(std::uint64_t offset) noexcept override;
    file_error write(const char* from, std::size_t count, std::size_t& written) noexcept override;
    file_error set_end() noexcept override;
    file_error extend(std::uint64_t length) noexcept override;
    file_error disk_full_error() const noexcept override;
    file_error too_large_error() const noexcept override;

private:
    int fd_;
};

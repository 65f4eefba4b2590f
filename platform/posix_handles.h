#pragma once
// The kinds of POSIX resource held by unique_resource.

#include <dirent.h>
#include <unistd.h>

#include "platform/unique_resource.h"

// A file descriptor; a negative one is none.
struct posix_fd_kind {
    using value_type = int;
    static int none() noexcept { return -1; }
    static bool is_none(int fd) noexcept { return fd < 0; }
    static bool close(int fd) noexcept { return ::close(fd) == 0; }
};
using unique_fd = unique_resource<posix_fd_kind>;

// A folder listing of opendir.
struct posix_dir_kind {
    using value_type = DIR*;
    static DIR* none() noexcept { return nullptr; }
    static bool is_none(DIR* dir) noexcept { return dir == nullptr; }
    static bool close(DIR* dir) noexcept { return closedir(dir) == 0; }
};
using unique_dir = unique_resource<posix_dir_kind>;

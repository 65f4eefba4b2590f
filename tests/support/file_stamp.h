#pragma once
// A file's identity and modification time on POSIX, to tell a file that was
// never written (the same inode, the same time to the nanosecond) from one
// written back with the same bytes.

#include <sys/types.h>
#include <time.h>

#include <filesystem>

struct file_stamp {
    ino_t inode = 0;
    timespec modified{};
};

// The stamp of `path`; a failed stat is a test failure.
file_stamp stamp_of(const std::filesystem::path& path);

// A test failure unless `path` still has the stamp `before`.
void expect_untouched(const file_stamp& before, const std::filesystem::path& path);

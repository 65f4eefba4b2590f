#include "support/file_stamp.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

file_stamp stamp_of(const std::filesystem::path& path)
{
    struct stat s {};
    EXPECT_EQ(stat(path.c_str(), &s), 0) << path;
    return {s.st_ino, s.st_mtim};
}

void expect_untouched(const file_stamp& before, const std::filesystem::path& path)
{
    file_stamp after = stamp_of(path);
    EXPECT_EQ(after.inode, before.inode) << path;
    EXPECT_EQ(after.modified.tv_sec, before.modified.tv_sec) << path;
    EXPECT_EQ(after.modified.tv_nsec, before.modified.tv_nsec) << path;
}

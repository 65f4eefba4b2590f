// cli_project on files of the test's own: what a replacement leaves, and
// what it refuses. Natively and under Wine.

#include "cli/project_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/new_file_name.h"
#include "cli/file_system.h"
#include "scratch_tree.h"

#ifdef _WIN32
#include <windows.h>

#include "cli/text_encoding.h"
#else
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/posix_child.h"
#endif

namespace {

const std::string original_text = "<Project ToolsVersion=\"4.0\">\r\n<PlatformToolset>v100</PlatformToolset>\r\n</Project>\r\n";
const std::string converted_text = "<Project ToolsVersion=\"15.0\">\r\n<PlatformToolset>v142</PlatformToolset>\r\n</Project>\r\n";
// A process number no system hands out: the process that made a file with it is gone.
constexpr long gone_process = 999999996;

#ifdef _WIN32
constexpr file_error access_denied = ERROR_ACCESS_DENIED;
#else
constexpr file_error access_denied = EACCES;
#endif

std::string read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The names in `folder`, sorted.
std::vector<std::string> names_in(const std::string& folder)
{
    std::vector<folder_entry> entries;
    const char* action = nullptr;
    EXPECT_EQ(list_folder(folder, entries, action), 0u);
    std::vector<std::string> names;
    for (const folder_entry& entry : entries)
        names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

// Opens, reads and replaces `path`; the failure, if any, in `failure`.
bool convert(const std::string& path, replace_failure& failure, const std::string& converted = converted_text)
{
    cli_project project;
    std::string bytes;
    if (project.open(path, true) != 0 || project.read(bytes) != 0)
        return false;
    return project.replace(bytes, converted, failure);
}

}  // namespace

TEST(CliProject, ReplacementLeavesTheConvertedTextAndNothingBeside)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("p/a.vcxproj", original_text));
    replace_failure failure;
    ASSERT_TRUE(convert(tree.path("p/a.vcxproj"), failure)) << failure.action << " " << failure.error;
    EXPECT_EQ(read_bytes(tree.path("p/a.vcxproj")), converted_text);
    EXPECT_EQ(names_in(tree.path("p")), std::vector<std::string>{"a.vcxproj"});
}

TEST(CliProject, ReadGivesTheWholeFile)
{
    scratch_tree tree;
    std::string big(3u << 20, 'x');
    big += original_text;
    ASSERT_TRUE(tree.file("a.vcxproj", big));
    cli_project project;
    std::string bytes;
    ASSERT_EQ(project.open(tree.path("a.vcxproj"), false), 0u);
    ASSERT_EQ(project.read(bytes), 0u);
    EXPECT_EQ(bytes, big);
}

TEST(CliProject, AProjectChangedSinceItWasReadIsLeftAsItNowIs)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    cli_project project;
    std::string bytes;
    ASSERT_EQ(project.open(tree.path("a.vcxproj"), true), 0u);
    ASSERT_EQ(project.read(bytes), 0u);
    // Another program saves the project meanwhile.
    std::string theirs = original_text + "<!-- saved by another program -->\r\n";
    { std::ofstream(tree.path("a.vcxproj"), std::ios::binary | std::ios::trunc) << theirs; }
    replace_failure failure;
    EXPECT_FALSE(project.replace(bytes, converted_text, failure));
    EXPECT_EQ(failure.error, error_changed_meanwhile);
    EXPECT_EQ(read_bytes(tree.path("a.vcxproj")), theirs);
    EXPECT_EQ(names_in(tree.root), std::vector<std::string>{"a.vcxproj"});
}

TEST(CliProject, SameBytesWriteNothing)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    file_identity before, after;
    ASSERT_EQ(identify_file(tree.path("a.vcxproj"), before), 0u);
    replace_failure failure;
    ASSERT_TRUE(convert(tree.path("a.vcxproj"), failure, original_text));
    ASSERT_EQ(identify_file(tree.path("a.vcxproj"), after), 0u);
    EXPECT_EQ(before.index, after.index);
}

TEST(CliProject, AReadOnlyProjectIsNotOpenedForARewrite)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesW(widen(tree.path("a.vcxproj")).c_str(), FILE_ATTRIBUTE_READONLY));
#else
    ASSERT_EQ(chmod(tree.path("a.vcxproj").c_str(), 0444), 0);
#endif
    cli_project project;
    EXPECT_EQ(project.open(tree.path("a.vcxproj"), true), access_denied);
    cli_project reader;
    EXPECT_EQ(reader.open(tree.path("a.vcxproj"), false), 0u);
    EXPECT_EQ(read_bytes(tree.path("a.vcxproj")), original_text);
#ifdef _WIN32
    (void)SetFileAttributesW(widen(tree.path("a.vcxproj")).c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
}

TEST(CliProject, AFolderIsNotAProject)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.folder("f.vcxproj"));
    cli_project reader;
    EXPECT_EQ(reader.open(tree.path("f.vcxproj"), false), error_not_regular_file);
    cli_project writer;
    EXPECT_NE(writer.open(tree.path("f.vcxproj"), true), 0u);
}

TEST(CliProject, LeftoversOfProcessesThatAreGoneAreRemovedWhenTheProjectIsReplaced)
{
    scratch_tree tree;
    std::vector<std::string> kept{"a.vcxproj", new_file_name("b.vcxproj", gone_process)};
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    ASSERT_TRUE(tree.file(new_file_name("a.vcxproj", gone_process), "cut"));
    ASSERT_TRUE(tree.file(backup_file_name("a.vcxproj", gone_process), "old"));
    ASSERT_TRUE(tree.file(kept[1], "cut"));
#ifndef _WIN32
    // The process that started this one is there: its file may be in the making.
    kept.push_back(new_file_name("a.vcxproj", static_cast<long>(getppid())));
    ASSERT_TRUE(tree.file(kept.back(), "in the making"));
#endif
    std::sort(kept.begin(), kept.end());
    std::size_t all = names_in(tree.root).size();

    // A check removes nothing.
    {
        cli_project reader;
        std::string bytes;
        ASSERT_EQ(reader.open(tree.path("a.vcxproj"), false), 0u);
        ASSERT_EQ(reader.read(bytes), 0u);
    }
    EXPECT_EQ(names_in(tree.root).size(), all);

    replace_failure failure;
    ASSERT_TRUE(convert(tree.path("a.vcxproj"), failure)) << failure.action << " " << failure.error;
    EXPECT_EQ(names_in(tree.root), kept);
}

TEST(CliProject, ALeftoverUnderThisProcesssOwnNumberIsNoObstacle)
{
    scratch_tree tree;
#ifdef _WIN32
    long own = static_cast<long>(GetCurrentProcessId());
#else
    long own = static_cast<long>(getpid());
#endif
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    ASSERT_TRUE(tree.file(new_file_name("a.vcxproj", own), "left by an earlier process of this number"));
    replace_failure failure;
    ASSERT_TRUE(convert(tree.path("a.vcxproj"), failure)) << failure.action << " " << failure.error;
    EXPECT_EQ(read_bytes(tree.path("a.vcxproj")), converted_text);
    EXPECT_EQ(names_in(tree.root), std::vector<std::string>{"a.vcxproj"});
}

TEST(CliErrorText, NamesEachOfOurOwnCodes)
{
    EXPECT_EQ(system_error_text(error_not_regular_file), "not a regular file");
    EXPECT_NE(system_error_text(error_changed_meanwhile).find("changed while being converted"), std::string::npos);
    EXPECT_NE(system_error_text(error_control_in_path).find("control character"), std::string::npos);
    EXPECT_NE(system_error_text(error_not_a_solution).find("not a solution"), std::string::npos);
    EXPECT_EQ(cli_error_text(0), nullptr);
    EXPECT_EQ(cli_error_text(2), nullptr);
    EXPECT_FALSE(system_error_text(2).empty());
}

#ifdef _WIN32
// Another program holds the project open without letting it be deleted or
// renamed: the replacement fails, and the project stays under its own name
// with its own bytes, nothing left beside it.
TEST(CliProjectWindows, AFailedReplacementLeavesTheProjectUnderItsOwnName)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    HANDLE other = CreateFileW(widen(tree.path("a.vcxproj")).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    replace_failure failure;
    bool replaced = convert(tree.path("a.vcxproj"), failure);
    CloseHandle(other);
    EXPECT_FALSE(replaced);
    EXPECT_NE(failure.error, 0u);
    EXPECT_EQ(failure.restore_error, 0u);
    EXPECT_EQ(read_bytes(tree.path("a.vcxproj")), original_text);
    EXPECT_EQ(names_in(tree.root), std::vector<std::string>{"a.vcxproj"});
}
#endif

#ifndef _WIN32

TEST(CliProjectPosix, TheReplacementKeepsModeAndIsANewFile)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    ASSERT_EQ(chmod(tree.path("a.vcxproj").c_str(), 0640), 0);
    struct stat before {}, after {};
    ASSERT_EQ(stat(tree.path("a.vcxproj").c_str(), &before), 0);
    replace_failure failure;
    ASSERT_TRUE(convert(tree.path("a.vcxproj"), failure));
    ASSERT_EQ(stat(tree.path("a.vcxproj").c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640u);
    EXPECT_NE(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_uid, before.st_uid);
}

TEST(CliProjectPosix, AProjectReplacedByAnotherFileSinceItWasReadIsLeft)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    ASSERT_TRUE(tree.file("other", original_text));
    cli_project project;
    std::string bytes;
    ASSERT_EQ(project.open(tree.path("a.vcxproj"), true), 0u);
    ASSERT_EQ(project.read(bytes), 0u);
    ASSERT_EQ(rename(tree.path("other").c_str(), tree.path("a.vcxproj").c_str()), 0);
    replace_failure failure;
    EXPECT_FALSE(project.replace(bytes, converted_text, failure));
    EXPECT_EQ(failure.error, error_changed_meanwhile);
    EXPECT_EQ(read_bytes(tree.path("a.vcxproj")), original_text);
}

TEST(CliProjectPosix, AnEqualSizedChangeIsSeenByItsTime)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    cli_project project;
    std::string bytes;
    ASSERT_EQ(project.open(tree.path("a.vcxproj"), true), 0u);
    ASSERT_EQ(project.read(bytes), 0u);
    std::string theirs = original_text;
    theirs[0] = '\n';
    int fd = open(tree.path("a.vcxproj").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, theirs.data(), theirs.size(), 0), static_cast<ssize_t>(theirs.size()));
    // Another second, as a coarse clock would give it.
    timespec times[2] = {{0, UTIME_OMIT}, {1, 0}};
    ASSERT_EQ(futimens(fd, times), 0);
    close(fd);
    replace_failure failure;
    EXPECT_FALSE(project.replace(bytes, converted_text, failure));
    EXPECT_EQ(failure.error, error_changed_meanwhile);
    EXPECT_EQ(read_bytes(tree.path("a.vcxproj")), theirs);
}

TEST(CliProjectPosix, AProjectReachedThroughALinkIsReplacedAtItsTarget)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("real/a.vcxproj", original_text));
    ASSERT_TRUE(tree.folder("links"));
    ASSERT_EQ(symlink("../real/a.vcxproj", tree.path("links/hop").c_str()), 0);
    ASSERT_EQ(symlink("hop", tree.path("links/a.vcxproj").c_str()), 0);
    replace_failure failure;
    ASSERT_TRUE(convert(tree.path("links/a.vcxproj"), failure)) << failure.action << " " << failure.error;
    struct stat link {};
    ASSERT_EQ(lstat(tree.path("links/a.vcxproj").c_str(), &link), 0);
    EXPECT_TRUE(S_ISLNK(link.st_mode));
    EXPECT_EQ(read_bytes(tree.path("real/a.vcxproj")), converted_text);
    EXPECT_EQ(names_in(tree.path("links")), (std::vector<std::string>{"a.vcxproj", "hop"}));
    EXPECT_EQ(names_in(tree.path("real")), std::vector<std::string>{"a.vcxproj"});
}

TEST(CliProjectPosix, AProjectWithAnotherHardLinkIsRewrittenInPlace)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    ASSERT_EQ(link(tree.path("a.vcxproj").c_str(), tree.path("b.vcxproj").c_str()), 0);
    replace_failure failure;
    ASSERT_TRUE(convert(tree.path("a.vcxproj"), failure));
    EXPECT_EQ(read_bytes(tree.path("a.vcxproj")), converted_text);
    EXPECT_EQ(read_bytes(tree.path("b.vcxproj")), converted_text);
}

TEST(CliProjectPosix, AFolderWithoutRoomForANewFileGetsAnInPlaceRewrite)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("locked/a.vcxproj", original_text));
    std::string locked = tree.path("locked");
    // The folder is opened again on every path out, so that it can be removed.
    struct unlock {
        std::string folder;
        ~unlock() { chmod(folder.c_str(), 0755); }
    } unlock_later{locked};
    ASSERT_EQ(chmod(locked.c_str(), 0555), 0);
    int probe = open((locked + "/probe").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (probe >= 0) {
        close(probe);
        unlink((locked + "/probe").c_str());
        GTEST_SKIP() << "this process may write any folder";
    }
    struct stat before {}, after {};
    ASSERT_EQ(stat(tree.path("locked/a.vcxproj").c_str(), &before), 0);
    replace_failure failure;
    ASSERT_TRUE(convert(tree.path("locked/a.vcxproj"), failure)) << failure.action << " " << failure.error;
    ASSERT_EQ(stat(tree.path("locked/a.vcxproj").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(read_bytes(tree.path("locked/a.vcxproj")), converted_text);
}

// The exit code of a forked child that writes `text` to standard output set
// up by `prepare` (0 when the write failed with `expected`).
template <typename Prepare>
int write_in_child(Prepare prepare, file_error expected)
{
    return end_code(run_in_child([&] {
        signal(SIGPIPE, SIG_IGN);
        if (!prepare())
            return 3;
        return cli_write(cli_stream::output, "a line\n") == expected ? 0 : 1;
    }));
}

TEST(CliWritePosix, AFailedWriteIsTold)
{
    EXPECT_EQ(write_in_child(
                  [] {
                      int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
                      return full >= 0 && dup2(full, STDOUT_FILENO) == STDOUT_FILENO;
                  },
                  ENOSPC),
              0);
    EXPECT_EQ(write_in_child(
                  [] {
                      int ends[2];
                      if (pipe(ends) != 0)
                          return false;
                      close(ends[0]);
                      return dup2(ends[1], STDOUT_FILENO) == STDOUT_FILENO;
                  },
                  EPIPE),
              0);
    EXPECT_EQ(write_in_child([] { return close(STDOUT_FILENO) == 0; }, EBADF), 0);
}

#endif

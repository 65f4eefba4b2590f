// cli_project on files of the test's own: what a replacement leaves, and
// what it refuses. Natively and under Wine.

#include "cli/project_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <fstream>
#include <string>

#include "cli/new_file_name.h"
#include "cli/file_system.h"
#include "support/file_bytes.h"
#include "support/scratch_tree.h"

#ifdef _WIN32
#include <windows.h>

#include <atomic>

#include "cli/text_encoding.h"
#include "support/joined_thread.h"
#else
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#endif

#include <array>
#include <map>

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
    byte_buffer bytes;
    if (project.open(path, true) != 0 || project.read(bytes) != 0)
        return false;
    return project.replace(bytes.view(), converted, failure);
}

// A random part for names made by the test itself.
constexpr std::uint64_t test_token = 0x0123456789abcdefull;

// The name earlier versions gave a new file, without a random part.
std::string earlier_new_file_name(const std::string& project_name, long pid, const char* suffix = ".tmp")
{
    return "." + project_name + ".projport-" + std::to_string(pid) + suffix;
}

// Makes the file at `path` last written an hour ago.
bool make_old(const std::string& path)
{
#ifdef _WIN32
    HANDLE file = CreateFileW(widen(path).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    ticks.QuadPart -= 3600ull * 10000000;
    FILETIME then{ticks.LowPart, ticks.HighPart};
    bool done = SetFileTime(file, nullptr, nullptr, &then) != 0;
    CloseHandle(file);
    return done;
#else
    timespec times[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
#endif
}

}  // namespace

TEST(CliProject, ReplacementLeavesTheConvertedTextAndNothingBeside)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("p/a.vcxproj", original_text));
    replace_failure failure;
    ASSERT_TRUE(convert(tree.path("p/a.vcxproj"), failure)) << failure.action << " " << failure.error;
    EXPECT_EQ(read_file_bytes(tree.path("p/a.vcxproj")), converted_text);
    EXPECT_EQ(names_in(tree.path("p")), std::vector<std::string>{"a.vcxproj"});
}

TEST(CliProject, ReadGivesTheWholeFile)
{
    scratch_tree tree;
    std::string big(3u << 20, 'x');
    big += original_text;
    ASSERT_TRUE(tree.file("a.vcxproj", big));
    cli_project project;
    byte_buffer bytes;
    ASSERT_EQ(project.open(tree.path("a.vcxproj"), false), 0u);
    ASSERT_EQ(project.read(bytes), 0u);
    EXPECT_TRUE(bytes.view() == big);
}

TEST(CliProject, AProjectChangedSinceItWasReadIsLeftAsItNowIs)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    cli_project project;
    byte_buffer bytes;
    ASSERT_EQ(project.open(tree.path("a.vcxproj"), true), 0u);
    ASSERT_EQ(project.read(bytes), 0u);
    // Another program saves the project meanwhile.
    std::string theirs = original_text + "<!-- saved by another program -->\r\n";
    { std::ofstream(tree.path("a.vcxproj"), std::ios::binary | std::ios::trunc) << theirs; }
    replace_failure failure;
    EXPECT_FALSE(project.replace(bytes.view(), converted_text, failure));
    EXPECT_EQ(failure.error, error_changed_meanwhile);
    EXPECT_EQ(read_file_bytes(tree.path("a.vcxproj")), theirs);
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

// Opened for reading only, it is refused when it is to be replaced, before
// anything is written.
TEST(CliProject, AReadOnlyProjectIsReadButNotReplaced)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesW(widen(tree.path("a.vcxproj")).c_str(), FILE_ATTRIBUTE_READONLY));
#else
    ASSERT_EQ(chmod(tree.path("a.vcxproj").c_str(), 0444), 0);
#endif
    {
        cli_project project;
        byte_buffer bytes;
        ASSERT_EQ(project.open(tree.path("a.vcxproj"), true), 0u);
        ASSERT_EQ(project.read(bytes), 0u);
        EXPECT_TRUE(bytes.view() == original_text);
        replace_failure failure;
        EXPECT_FALSE(project.replace(bytes.view(), converted_text, failure));
        EXPECT_STREQ(failure.action, "open");
        EXPECT_EQ(failure.error, access_denied);
        EXPECT_TRUE(failure.file.empty());
    }
    cli_project reader;
    EXPECT_EQ(reader.open(tree.path("a.vcxproj"), false), 0u);
    EXPECT_EQ(read_file_bytes(tree.path("a.vcxproj")), original_text);
    EXPECT_EQ(names_in(tree.root), std::vector<std::string>{"a.vcxproj"});
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

// Leftovers that no run can still be making are removed when their project
// is replaced: older than a few minutes, not held, and for the names of
// earlier versions (no random part, no lock) of a process that is gone.
TEST(CliProject, LeftoversOfProcessesThatAreGoneAreRemovedWhenTheProjectIsReplaced)
{
    scratch_tree tree;
    std::vector<std::string> kept{"a.vcxproj", new_file_name("b.vcxproj", gone_process, test_token),
                                  earlier_new_file_name("b.vcxproj", gone_process),
                                  // Young: a live run may be about to lock it.
                                  new_file_name("a.vcxproj", gone_process, test_token + 1)};
    std::vector<std::string> old{new_file_name("a.vcxproj", gone_process, test_token),
                                 backup_file_name("a.vcxproj", gone_process, test_token),
                                 earlier_new_file_name("a.vcxproj", gone_process),
                                 earlier_new_file_name("a.vcxproj", gone_process, ".old.tmp"), kept[1], kept[2]};
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    for (const std::string& name : old)
        ASSERT_TRUE(tree.file(name, "cut"));
    ASSERT_TRUE(tree.file(kept[3], "in the making"));
#ifndef _WIN32
    // The process that started this one is there: its file may be in the making.
    kept.push_back(earlier_new_file_name("a.vcxproj", static_cast<long>(getppid())));
    ASSERT_TRUE(tree.file(kept.back(), "in the making"));
    old.push_back(kept.back());
#endif
    for (const std::string& name : old)
        ASSERT_TRUE(make_old(tree.path(name))) << name;
    std::sort(kept.begin(), kept.end());
    std::size_t all = names_in(tree.root).size();

    // A check removes nothing.
    {
        cli_project reader;
        byte_buffer bytes;
        ASSERT_EQ(reader.open(tree.path("a.vcxproj"), false), 0u);
        ASSERT_EQ(reader.read(bytes), 0u);
    }
    EXPECT_EQ(names_in(tree.root).size(), all);

    replace_failure failure;
    ASSERT_TRUE(convert(tree.path("a.vcxproj"), failure)) << failure.action << " " << failure.error;
    EXPECT_EQ(names_in(tree.root), kept);
}

// A file under the name of this process's number, of the shape of earlier
// versions, may be another run's with the same number (in another
// container): it is neither an obstacle nor removed.
TEST(CliProject, ALeftoverUnderThisProcesssOwnNumberIsNoObstacleAndStays)
{
    scratch_tree tree;
#ifdef _WIN32
    long own = static_cast<long>(GetCurrentProcessId());
#else
    long own = static_cast<long>(getpid());
#endif
    std::string theirs = earlier_new_file_name("a.vcxproj", own);
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    ASSERT_TRUE(tree.file(theirs, "written by another run of this number"));
    ASSERT_TRUE(make_old(tree.path(theirs)));
    replace_failure failure;
    ASSERT_TRUE(convert(tree.path("a.vcxproj"), failure)) << failure.action << " " << failure.error;
    EXPECT_EQ(read_file_bytes(tree.path("a.vcxproj")), converted_text);
    EXPECT_EQ(names_in(tree.root), (std::vector<std::string>{theirs, "a.vcxproj"}));
    EXPECT_EQ(read_file_bytes(tree.path(theirs)), "written by another run of this number");
}

// Near the longest name a folder entry may have, the new file's name is cut
// short, and the project is still replaced in one step (a new file), not
// rewritten in place.
TEST(CliProject, AProjectWithALongNameIsStillReplacedInOneStep)
{
    scratch_tree tree;
    for (std::size_t length : {200u, 234u, 247u}) {
        std::string name = std::string(length - 8, 'n') + ".vcxproj";
        ASSERT_TRUE(tree.file(name, original_text));
        file_identity before, after;
        ASSERT_EQ(identify_file(tree.path(name), before), 0u);
        replace_failure failure;
        ASSERT_TRUE(convert(tree.path(name), failure)) << length << ": " << failure.action << " " << failure.error;
        ASSERT_EQ(identify_file(tree.path(name), after), 0u);
        EXPECT_NE(before.index, after.index) << length;
        EXPECT_EQ(read_file_bytes(tree.path(name)), converted_text);
        EXPECT_EQ(names_in(tree.root), std::vector<std::string>{name});
#ifdef _WIN32
        ASSERT_TRUE(DeleteFileW(widen(tree.path(name)).c_str()));
#else
        ASSERT_EQ(unlink(tree.path(name).c_str()), 0);
#endif
    }
}

// The read takes as many bytes as the project had when it was opened: a file
// that grows or is cut meanwhile is "changed", and a file of size 0 is
// empty without a read.
TEST(CliProject, TheReadIsBoundedByTheSizeAtTheOpen)
{
    scratch_tree tree;
    struct change {
        std::string before;
        std::string after;  // appended, or with `cut` the whole new text
        bool cut;
        file_error expected;
    };
    const change cases[] = {
        {"", "<Project>grown after the open</Project>", false, 0},
        {original_text, "<!-- more -->", false, error_changed_meanwhile},
        {original_text, "", false, 0},
        {original_text, "<Pro", true, error_changed_meanwhile},
    };
    for (const change& c : cases) {
        ASSERT_TRUE(tree.file("a.vcxproj", c.before));
        cli_project project;
        byte_buffer bytes;
        ASSERT_EQ(project.open(tree.path("a.vcxproj"), false), 0u);
        { std::ofstream(tree.path("a.vcxproj"), std::ios::binary | (c.cut ? std::ios::trunc : std::ios::app)) << c.after; }
        EXPECT_EQ(project.read(bytes), c.expected) << c.before.size() << (c.cut ? " cut to " : " + ") << c.after;
        EXPECT_TRUE(bytes.view() == (c.expected == 0 ? c.before : std::string())) << bytes.size();
    }
}

// An old leftover that a live run still holds, locked or open without
// letting it be deleted, stays when its project is replaced.
TEST(CliProject, AnOldLeftoverThatALiveRunHoldsStays)
{
    scratch_tree tree;
    std::string locked = new_file_name("a.vcxproj", gone_process, test_token);
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    ASSERT_TRUE(tree.file(locked, "in the making"));
    ASSERT_TRUE(make_old(tree.path(locked)));
#ifdef _WIN32
    std::string unshared = new_file_name("a.vcxproj", gone_process, test_token + 1);
    ASSERT_TRUE(tree.file(unshared, "in the making"));
    ASSERT_TRUE(make_old(tree.path(unshared)));
    HANDLE lock_holder = CreateFileW(widen(tree.path(locked)).c_str(), GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock_holder, INVALID_HANDLE_VALUE);
    OVERLAPPED from_start{};
    ASSERT_TRUE(LockFileEx(lock_holder, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                           &from_start));
    HANDLE open_holder = CreateFileW(widen(tree.path(unshared)).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(open_holder, INVALID_HANDLE_VALUE);
    std::vector<std::string> kept{locked, unshared, "a.vcxproj"};
#else
    // A lock of the open file: it holds against this process's own sweep too.
    int holder = open(tree.path(locked).c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(holder, 0);
#if defined(F_OFD_SETLK)
    struct flock whole {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    ASSERT_EQ(fcntl(holder, F_OFD_SETLK, &whole), 0);
#else
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
#endif
    std::vector<std::string> kept{locked, "a.vcxproj"};
#endif
    std::sort(kept.begin(), kept.end());
    replace_failure failure;
    bool replaced = convert(tree.path("a.vcxproj"), failure);
#ifdef _WIN32
    CloseHandle(lock_holder);
    CloseHandle(open_holder);
#else
    close(holder);
#endif
    ASSERT_TRUE(replaced) << failure.action << " " << failure.error;
    EXPECT_EQ(names_in(tree.root), kept);
    EXPECT_EQ(read_file_bytes(tree.path(locked)), "in the making");
}

// A folder is looked at once per run for the stale new files of all its
// projects, not once per project (which would make a folder of many projects
// quadratic): a stale new file that appears after the first project's
// replacement is not seen by the second's, and is left for a later run.
TEST(CliProject, AFolderIsListedOncePerRunForItsStaleNewFiles)
{
    scratch_tree tree;
    std::string seen = new_file_name("a.vcxproj", gone_process, test_token);
    std::string later = new_file_name("b.vcxproj", gone_process, test_token);
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    ASSERT_TRUE(tree.file("b.vcxproj", original_text));
    ASSERT_TRUE(tree.file(seen, "cut"));
    ASSERT_TRUE(make_old(tree.path(seen)));
    replace_failure failure;
    ASSERT_TRUE(convert(tree.path("a.vcxproj"), failure)) << failure.action << " " << failure.error;
    // The sweep of this folder has run: the stale new file of a is gone.
    ASSERT_EQ(names_in(tree.root), (std::vector<std::string>{"a.vcxproj", "b.vcxproj"}));

    ASSERT_TRUE(tree.file(later, "cut"));
    ASSERT_TRUE(make_old(tree.path(later)));
    ASSERT_TRUE(convert(tree.path("b.vcxproj"), failure)) << failure.action << " " << failure.error;
    EXPECT_EQ(read_file_bytes(tree.path("b.vcxproj")), converted_text);
    std::vector<std::string> kept{later, "a.vcxproj", "b.vcxproj"};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(names_in(tree.root), kept);
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
// renamed, past every pause of the replacement's tries: it fails, and the
// project stays under its own name with its own bytes, nothing left beside it.
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
    EXPECT_EQ(read_file_bytes(tree.path("a.vcxproj")), original_text);
    EXPECT_EQ(names_in(tree.root), std::vector<std::string>{"a.vcxproj"});
}

// A scanner or an indexer holds the project for a moment without letting it
// be deleted: the replacement waits for it (tries again after short pauses)
// and succeeds. Released 50 ms after the new file appears, well inside the
// 310 ms the pauses take in all.
TEST(CliProjectWindows, AProjectHeldForAMomentIsReplacedWhenItIsLetGo)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    HANDLE other = CreateFileW(widen(tree.path("a.vcxproj")).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    std::wstring pattern = widen(tree.path(".a.vcxproj.projport-*.tmp"));
    std::atomic<bool> stop{false};
    joined_thread scanner(
        [&] {
            // Until the new file is there, or at most 20 s.
            for (int wait = 0; wait < 20000 && !stop; ++wait) {
                WIN32_FIND_DATAW found;
                HANDLE search = FindFirstFileW(pattern.c_str(), &found);
                if (search != INVALID_HANDLE_VALUE) {
                    FindClose(search);
                    break;
                }
                Sleep(1);
            }
            Sleep(50);
            CloseHandle(other);
        },
        [&] { stop = true; });
    replace_failure failure;
    bool replaced = convert(tree.path("a.vcxproj"), failure);
    scanner.join();
    EXPECT_TRUE(replaced) << failure.action << " " << failure.error;
    EXPECT_EQ(read_file_bytes(tree.path("a.vcxproj")), converted_text);
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
    byte_buffer bytes;
    ASSERT_EQ(project.open(tree.path("a.vcxproj"), true), 0u);
    ASSERT_EQ(project.read(bytes), 0u);
    ASSERT_EQ(rename(tree.path("other").c_str(), tree.path("a.vcxproj").c_str()), 0);
    replace_failure failure;
    EXPECT_FALSE(project.replace(bytes.view(), converted_text, failure));
    EXPECT_EQ(failure.error, error_changed_meanwhile);
    EXPECT_EQ(read_file_bytes(tree.path("a.vcxproj")), original_text);
}

TEST(CliProjectPosix, AnEqualSizedChangeIsSeenByItsTime)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    cli_project project;
    byte_buffer bytes;
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
    EXPECT_FALSE(project.replace(bytes.view(), converted_text, failure));
    EXPECT_EQ(failure.error, error_changed_meanwhile);
    EXPECT_EQ(read_file_bytes(tree.path("a.vcxproj")), theirs);
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
    EXPECT_EQ(read_file_bytes(tree.path("real/a.vcxproj")), converted_text);
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
    EXPECT_EQ(read_file_bytes(tree.path("a.vcxproj")), converted_text);
    EXPECT_EQ(read_file_bytes(tree.path("b.vcxproj")), converted_text);
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
    EXPECT_EQ(read_file_bytes(tree.path("locked/a.vcxproj")), converted_text);
}

#if defined(__linux__)
// ---- extended attributes and ACLs ----

// A POSIX access ACL in the kernel's form of system.posix_acl_access:
// version 2, then (tag, permissions, id) entries in tag order.
std::string acl_value(const std::vector<std::array<unsigned, 3>>& entries)
{
    std::string value;
    auto put = [&](unsigned number, int bytes) {
        for (int i = 0; i < bytes; ++i)
            value += static_cast<char>((number >> (8 * i)) & 0xFF);
    };
    put(2, 4);
    for (const auto& entry : entries) {
        put(entry[0], 2);
        put(entry[1], 2);
        put(entry[2], 4);
    }
    return value;
}

constexpr unsigned acl_user_obj = 0x01, acl_user = 0x02, acl_group_obj = 0x04, acl_mask = 0x10, acl_other = 0x20;
constexpr unsigned acl_undefined_id = 0xFFFFFFFF;

// user::rw-, user:daemon:rw-, group::---, mask::rw-, other::---: the owning
// group may not write it, a named user may.
const std::string project_acl = acl_value({{acl_user_obj, 6, acl_undefined_id},
                                           {acl_user, 6, 1},
                                           {acl_group_obj, 0, acl_undefined_id},
                                           {acl_mask, 6, acl_undefined_id},
                                           {acl_other, 0, acl_undefined_id}});

// The attributes of `path` by name, or a note why there are none.
std::map<std::string, std::string> attributes_of(const std::string& path)
{
    std::map<std::string, std::string> found;
    char names[4096];
    ssize_t size = listxattr(path.c_str(), names, sizeof names);
    for (ssize_t at = 0; size > 0 && at < size;) {
        std::string name(names + at);
        at += static_cast<ssize_t>(name.size()) + 1;
        char value[4096];
        ssize_t length = getxattr(path.c_str(), name.c_str(), value, sizeof value);
        found[name] = length >= 0 ? std::string(value, static_cast<std::size_t>(length)) : "(unreadable)";
    }
    return found;
}

bool set_attribute(const std::string& path, const char* name, const std::string& value)
{
    return setxattr(path.c_str(), name, value.data(), value.size(), 0) == 0;
}

TEST(CliProjectPosix, ExtendedAttributesAndTheAclGoWithTheReplacement)
{
    scratch_tree tree;
    std::string path = tree.path("a.vcxproj");
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    if (!set_attribute(path, "user.origin", "https://example.org/x.zip"))
        GTEST_SKIP() << "this file system keeps no user.* attributes (" << strerror(errno) << ")";
    ASSERT_TRUE(set_attribute(path, "user.binary", std::string("\0\x01\xFF\0", 4)));
    if (!set_attribute(path, "system.posix_acl_access", project_acl))
        GTEST_SKIP() << "this file system keeps no POSIX ACLs (" << strerror(errno) << ")";
    std::map<std::string, std::string> before = attributes_of(path);
    struct stat old_status {}, new_status {};
    ASSERT_EQ(stat(path.c_str(), &old_status), 0);
    EXPECT_EQ(old_status.st_mode & 0777, 0660u) << "the ACL's mask is the group's bits";

    replace_failure failure;
    ASSERT_TRUE(convert(path, failure)) << failure.action << " " << failure.error;
    ASSERT_EQ(stat(path.c_str(), &new_status), 0);
    EXPECT_NE(new_status.st_ino, old_status.st_ino) << "replaced in one step, not in place";
    EXPECT_EQ(new_status.st_mode & 07777, old_status.st_mode & 07777);
    EXPECT_EQ(attributes_of(path), before);
    EXPECT_EQ(read_file_bytes(path), converted_text);
}

TEST(CliProjectPosix, AFoldersDefaultAclDoesNotLandOnAProjectWithoutOne)
{
    scratch_tree tree;
    std::string path = tree.path("p/a.vcxproj");
    ASSERT_TRUE(tree.file("p/a.vcxproj", original_text));
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    // Everyone, and by name the user daemon, may write what is made in the
    // folder from now on: an ACL beyond the mode bits, which a new file
    // takes as its own.
    std::string everyone = acl_value({{acl_user_obj, 7, acl_undefined_id},
                                      {acl_user, 7, 1},
                                      {acl_group_obj, 7, acl_undefined_id},
                                      {acl_mask, 7, acl_undefined_id},
                                      {acl_other, 7, acl_undefined_id}});
    if (!set_attribute(tree.path("p"), "system.posix_acl_default", everyone))
        GTEST_SKIP() << "this file system keeps no POSIX ACLs (" << strerror(errno) << ")";
    std::map<std::string, std::string> before = attributes_of(path);
    ASSERT_EQ(before.count("system.posix_acl_access"), 0u);

    replace_failure failure;
    ASSERT_TRUE(convert(path, failure)) << failure.action << " " << failure.error;
    struct stat now {};
    ASSERT_EQ(stat(path.c_str(), &now), 0);
    EXPECT_EQ(now.st_mode & 07777, 0640u);
    EXPECT_EQ(attributes_of(path), before);
}

// A security.* attribute other than a file capability needs CAP_SYS_ADMIN
// to be set, though anyone sees it: a run without that capability cannot
// give it to a new file, so the project is rewritten in place and keeps it.
TEST(CliProjectPosix, AnAttributeThatCannotBeCopiedMeansARewriteInPlace)
{
    scratch_tree tree;
    std::string path = tree.path("a.vcxproj");
    ASSERT_TRUE(tree.file("a.vcxproj", original_text));
    if (!set_attribute(path, "security.projport-test", "kept"))
        GTEST_SKIP() << "security.* attributes need CAP_SYS_ADMIN here (" << strerror(errno) << ")";
    struct stat before {}, after {};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    int code = end_code(run_in_child([&] {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        if (syscall(SYS_capget, &header, data) != 0)
            return 3;
        data[CAP_SYS_ADMIN / 32].effective &= ~(1u << (CAP_SYS_ADMIN % 32));
        data[CAP_SYS_ADMIN / 32].permitted &= ~(1u << (CAP_SYS_ADMIN % 32));
        if (syscall(SYS_capset, &header, data) != 0)
            return 4;
        replace_failure failure;
        return convert(path, failure) ? 0 : 1;
    }));
    EXPECT_EQ(code, 0);
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "replaced by a new file without the attribute";
    EXPECT_EQ(read_file_bytes(path), converted_text);
    EXPECT_EQ(attributes_of(path).count("security.projport-test"), 1u);
    EXPECT_EQ(names_in(tree.root), std::vector<std::string>{"a.vcxproj"});
}
#endif

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

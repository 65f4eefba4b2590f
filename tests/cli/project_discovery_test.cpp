#include "cli/project_discovery.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "cli/cli_errors.h"
#include "cli/file_system.h"
#include "scratch_tree.h"

#ifdef _WIN32
#include <windows.h>

#include "cli/text_encoding.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using paths = std::vector<std::string>;

#ifdef _WIN32
constexpr unsigned file_not_found = ERROR_FILE_NOT_FOUND;
constexpr unsigned file_too_large = ERROR_FILE_TOO_LARGE;
#else
constexpr unsigned file_not_found = ENOENT;
constexpr unsigned file_too_large = EFBIG;
#endif

// On POSIX a path in a solution takes the case of the file; Windows finds
// the file whatever the case, so the path stays as written.
std::string_view by_platform(std::string_view posix, [[maybe_unused]] std::string_view windows)
{
#ifdef _WIN32
    return windows;
#else
    return posix;
#endif
}

std::string sln_listing(const paths& projects)
{
    std::string text = "\xEF\xBB\xBF\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n";
    for (const std::string& path : projects)
        text += "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"p\", \"" + path +
                "\", \"{11111111-2222-3333-4444-555555555555}\"\r\nEndProject\r\n";
    return text + "Global\r\nEndGlobal\r\n";
}

std::string slnx_listing(const paths& projects)
{
    std::string text = "<Solution>\n  <Folder Name=\"/a/\">\n    <Folder Name=\"/a/b/\">\n";
    for (const std::string& path : projects)
        text += "      <Project Path=\"" + path + "\" />\n";
    return text + "    </Folder>\n  </Folder>\n</Solution>\n";
}

struct discovery {
    project_set seen;
    paths projects;
    std::vector<discovery_problem> problems;

    discovery& of(const std::string& path)
    {
        discover_projects(path, seen, projects, problems);
        return *this;
    }
};

#ifndef _WIN32
bool make_link(const std::string& target, const std::string& link)
{
    return symlink(target.c_str(), link.c_str()) == 0;
}

// Whether file permissions stop this process: not so for root, unless it
// runs without the right to override them.
bool permissions_bind(const std::string& locked_file)
{
    int fd = open(locked_file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    close(fd);
    return false;
}

bool folder_permissions_bind(const std::string& locked_folder)
{
    DIR* folder = opendir(locked_folder.c_str());
    if (!folder)
        return true;
    closedir(folder);
    return false;
}
#endif

// Makes `path` a file of `size` bytes without writing them.
bool make_sized_file(const std::string& path, std::uint64_t size)
{
#ifdef _WIN32
    HANDLE file = CreateFileW(widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
#else
    return truncate(path.c_str(), static_cast<off_t>(size)) == 0;
#endif
}

}  // namespace

// ---- named projects ----

TEST(ProjectDiscovery, NamedFileIsAProjectWhateverItsExtension)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("notes.txt", "x"));
    discovery found;
    found.of(tree.path("notes.txt"));
    EXPECT_EQ(found.projects, (paths{tree.path("notes.txt")}));
    EXPECT_TRUE(found.problems.empty());
}

TEST(ProjectDiscovery, MissingProjectIsKeptAsWrittenForTheOpenToReport)
{
    scratch_tree tree;
    ASSERT_FALSE(tree.root.empty());
    std::string missing = tree.path("Gone/missing.VCXPROJ");
    discovery found;
    found.of(missing).of(missing).of(tree.path("other.vcxproj"));
    EXPECT_EQ(found.projects, (paths{missing, tree.path("other.vcxproj")}));
    EXPECT_TRUE(found.problems.empty());
}

// ---- folders ----

TEST(ProjectDiscovery, FolderWalkTakesProjectsBelowInBytewiseOrder)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a_b/p.vcxproj"));
    ASSERT_TRUE(tree.file("a/q/p.vcxproj"));
    ASSERT_TRUE(tree.file("a/p.vcxproj"));
    ASSERT_TRUE(tree.file("a.vcxproj"));
    ASSERT_TRUE(tree.file("a-b/p.vcxproj"));
    ASSERT_TRUE(tree.file("Z.VCXPROJ"));
    ASSERT_TRUE(tree.file("deep/er/still/x.VcxProj"));
    discovery found;
    found.of(tree.root);
    EXPECT_EQ(found.projects, (paths{tree.path("Z.VCXPROJ"), tree.path("a-b/p.vcxproj"), tree.path("a.vcxproj"),
                                     tree.path("a/p.vcxproj"), tree.path("a/q/p.vcxproj"), tree.path("a_b/p.vcxproj"),
                                     tree.path("deep/er/still/x.VcxProj")}));
    EXPECT_TRUE(found.problems.empty());
}

TEST(ProjectDiscovery, FolderWalkLeavesOutOtherFiles)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj.filters"));
    ASSERT_TRUE(tree.file("a.vcxproj.user"));
    ASSERT_TRUE(tree.file("a.sln", sln_listing({"b.vcxproj"})));
    ASSERT_TRUE(tree.file("b.vcxproj"));
    ASSERT_TRUE(tree.file("c.csproj"));
    ASSERT_TRUE(tree.file("vcxproj"));
    discovery found;
    found.of(tree.root);
    EXPECT_EQ(found.projects, (paths{tree.path("b.vcxproj")}));
}

TEST(ProjectDiscovery, FolderWalkSkipsGitAndVsFoldersInAnyCase)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file(".git/a.vcxproj"));
    ASSERT_TRUE(tree.file(".vs/b.vcxproj"));
    ASSERT_TRUE(tree.file("sub/.Git/c.vcxproj"));
    ASSERT_TRUE(tree.file("sub/.VS/d.vcxproj"));
    ASSERT_TRUE(tree.file(".github/e.vcxproj"));
    ASSERT_TRUE(tree.file(".vscode/f.vcxproj"));
    ASSERT_TRUE(tree.file("git/g.vcxproj"));
    discovery found;
    found.of(tree.root);
    EXPECT_EQ(found.projects,
              (paths{tree.path(".github/e.vcxproj"), tree.path(".vscode/f.vcxproj"), tree.path("git/g.vcxproj")}));
}

TEST(ProjectDiscovery, FolderNamedLikeAProjectIsWalkedNotTaken)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("f.vcxproj/in.vcxproj"));
    discovery found;
    found.of(tree.root);
    EXPECT_EQ(found.projects, (paths{tree.path("f.vcxproj/in.vcxproj")}));
}

TEST(ProjectDiscovery, FolderNamedLikeASolutionIsWalked)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("s.SLN/in.vcxproj"));
    discovery found;
    found.of(tree.path("s.SLN"));
    EXPECT_EQ(found.projects, (paths{tree.path("s.SLN/in.vcxproj")}));
    EXPECT_TRUE(found.problems.empty());
}

TEST(ProjectDiscovery, FolderWithTrailingSeparatorGetsNoSecondOne)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("sub/a.vcxproj"));
    discovery found;
    found.of(tree.path("sub/"));
    EXPECT_EQ(found.projects, (paths{tree.path("sub/a.vcxproj")}));
}

TEST(ProjectDiscovery, RelativeFolderKeepsItsSpelling)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("sub/a.vcxproj"));
    current_folder here(tree.root);
    ASSERT_TRUE(here.changed);
    discovery found;
    found.of(".");
    EXPECT_EQ(found.projects, (paths{native_path("./sub/a.vcxproj")}));
}

TEST(ProjectDiscovery, EmptyFolderGivesNothing)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.folder("empty"));
    discovery found;
    found.of(tree.path("empty"));
    EXPECT_TRUE(found.projects.empty());
    EXPECT_TRUE(found.problems.empty());
}

TEST(ProjectDiscovery, NonAsciiNamesArriveInUtf8)
{
    scratch_tree tree;
    std::string folder = "\xC3\xBC";                   // u-umlaut
    std::string name = "\xE2\x82\xAC\xF0\x9F\x98\x80";  // euro sign, U+1F600
    ASSERT_TRUE(tree.file(folder + "/" + name + ".vcxproj"));
    discovery found;
    found.of(tree.root).of(tree.path(folder + "/" + name + ".vcxproj"));
    EXPECT_EQ(found.projects, (paths{tree.path(folder + "/" + name + ".vcxproj")}));
}

// ---- solutions ----

TEST(ProjectDiscovery, SlnProjectsAreFoundWhateverTheCaseOfTheirEntries)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("Src/App/App.vcxproj"));
    ASSERT_TRUE(tree.file("lib.vcxproj"));
    ASSERT_TRUE(tree.file("all.sln", sln_listing({"src\\app\\app.VCXPROJ", "lib.vcxproj", "tool\\tool.csproj"})));
    discovery found;
    found.of(tree.path("all.sln"));
    EXPECT_EQ(found.projects,
              (paths{tree.path(by_platform("Src/App/App.vcxproj", "src/app/app.VCXPROJ")), tree.path("lib.vcxproj")}));
    EXPECT_TRUE(found.problems.empty());
    // It is the same file as the one on disk.
    EXPECT_FALSE(found.seen.add(tree.path("Src/App/App.vcxproj")));
}

TEST(ProjectDiscovery, SlnxProjectsInNestedFoldersWithEitherSlash)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("One/a.vcxproj"));
    ASSERT_TRUE(tree.file("two/Deep/b.vcxproj"));
    ASSERT_TRUE(tree.file("all.SLNX", slnx_listing({"one/A.vcxproj", "two\\deep\\b.vcxproj", "x/y.csproj"})));
    discovery found;
    found.of(tree.path("all.SLNX"));
    EXPECT_EQ(found.projects, (paths{tree.path(by_platform("One/a.vcxproj", "one/A.vcxproj")),
                                     tree.path(by_platform("two/Deep/b.vcxproj", "two/deep/b.vcxproj"))}));
    EXPECT_TRUE(found.problems.empty());
}

TEST(ProjectDiscovery, MissingProjectOfASolutionIsKeptAsWritten)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.folder("Src"));
    ASSERT_TRUE(tree.file("all.sln", sln_listing({"gone\\Sub\\x.vcxproj", "src\\Missing.vcxproj"})));
    discovery found;
    found.of(tree.path("all.sln"));
    EXPECT_EQ(found.projects, (paths{tree.path("gone/Sub/x.vcxproj"),
                                     tree.path(by_platform("Src/Missing.vcxproj", "src/Missing.vcxproj"))}));
    EXPECT_TRUE(found.problems.empty());
}

TEST(ProjectDiscovery, SolutionInASubfolderResolvesFromItsOwnFolder)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("lib/l.vcxproj"));
    ASSERT_TRUE(tree.file("sol/x.sln", sln_listing({"..\\lib\\l.vcxproj"})));
    discovery found;
    found.of(tree.path("sol/x.sln")).of(tree.path("lib/l.vcxproj"));
    EXPECT_EQ(found.projects, (paths{tree.path("sol/../lib/l.vcxproj")}));
}

TEST(ProjectDiscovery, SolutionWithoutFolderPartGivesTheRelativePath)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("Sub/a.vcxproj"));
    ASSERT_TRUE(tree.file("X.SLN", sln_listing({"sub\\a.vcxproj"})));
    current_folder here(tree.root);
    ASSERT_TRUE(here.changed);
    discovery found;
    found.of("X.SLN");
    EXPECT_EQ(found.projects, (paths{native_path(by_platform("Sub/a.vcxproj", "sub/a.vcxproj"))}));
}

TEST(ProjectDiscovery, ProjectReachedTwiceIsTakenOnceInFirstOrder)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a/a.vcxproj"));
    ASSERT_TRUE(tree.file("b/b.vcxproj"));
    ASSERT_TRUE(tree.file("c/c.vcxproj"));
    ASSERT_TRUE(tree.file("one.sln", sln_listing({"a\\a.vcxproj", "b\\b.vcxproj", "B\\B.vcxproj"})));
    ASSERT_TRUE(tree.file("two.slnx", slnx_listing({"b/b.vcxproj", "A\\A.VCXPROJ", "c/c.vcxproj"})));
    discovery found;
    found.of(tree.path("a/a.vcxproj")).of(tree.path("one.sln")).of(tree.path("two.slnx")).of(tree.root);
    EXPECT_EQ(found.projects, (paths{tree.path("a/a.vcxproj"), tree.path("b/b.vcxproj"), tree.path("c/c.vcxproj")}));
    EXPECT_TRUE(found.problems.empty());
}

TEST(ProjectDiscovery, MissingSolutionIsAProblemToOpen)
{
    scratch_tree tree;
    ASSERT_FALSE(tree.root.empty());
    discovery found;
    found.of(tree.path("none.sln")).of(tree.path("none.slnx"));
    EXPECT_TRUE(found.projects.empty());
    ASSERT_EQ(found.problems.size(), 2u);
    EXPECT_EQ(found.problems[0].path, tree.path("none.sln"));
    EXPECT_STREQ(found.problems[0].action, "open");
    EXPECT_EQ(found.problems[0].code, file_not_found);
    EXPECT_EQ(found.problems[1].path, tree.path("none.slnx"));
    EXPECT_EQ(found.problems[1].code, file_not_found);
}

TEST(ProjectDiscovery, OversizedSolutionIsAProblemToRead)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("big.sln"));
    ASSERT_TRUE(make_sized_file(tree.path("big.sln"), small_file_limit + 1));
    ASSERT_TRUE(tree.file("fits.sln", sln_listing({"a.vcxproj"})));
    discovery found;
    found.of(tree.path("big.sln")).of(tree.path("fits.sln"));
    EXPECT_EQ(found.projects, (paths{tree.path("a.vcxproj")}));
    ASSERT_EQ(found.problems.size(), 1u);
    EXPECT_EQ(found.problems[0].path, tree.path("big.sln"));
    EXPECT_STREQ(found.problems[0].action, "read");
    EXPECT_EQ(found.problems[0].code, file_too_large);
}

TEST(ProjectDiscovery, SolutionThatIsNotOneIsAProblemNotAnEmptyList)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("a.vcxproj"));
    ASSERT_TRUE(tree.file("empty.slnx"));
    ASSERT_TRUE(tree.file("cut.slnx", "<Solution><Project Path=\"a.vcxproj\"/>"));
    ASSERT_TRUE(tree.file("plain.sln", "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"p\", \"a.vcxproj\", \"{1}\"\r\n"));
    discovery found;
    found.of(tree.path("empty.slnx")).of(tree.path("cut.slnx")).of(tree.path("plain.sln"));
    EXPECT_EQ(found.projects, paths{});
    ASSERT_EQ(found.problems.size(), 3u);
    for (const discovery_problem& problem : found.problems) {
        EXPECT_STREQ(problem.action, "read");
        EXPECT_EQ(problem.code, error_not_a_solution);
    }
    EXPECT_EQ(found.problems[1].path, tree.path("cut.slnx"));
}

TEST(ProjectDiscovery, SolutionEntryWithAZeroByteIsAProblemAndNotOpened)
{
    using namespace std::string_literals;
    scratch_tree tree;
    ASSERT_TRUE(tree.file("Directory.Build.props"));
    ASSERT_TRUE(tree.file("b.vcxproj"));
    ASSERT_TRUE(tree.file("all.sln", sln_listing({"Directory.Build.props\0.vcxproj"s, "b.vcxproj"})));
    discovery found;
    found.of(tree.path("all.sln"));
    EXPECT_EQ(found.projects, (paths{tree.path("b.vcxproj")}));
    ASSERT_EQ(found.problems.size(), 1u);
    EXPECT_EQ(found.problems[0].path, tree.root + path_separator + "Directory.Build.props\\x00.vcxproj");
    EXPECT_STREQ(found.problems[0].action, "open");
    EXPECT_EQ(found.problems[0].code, error_control_in_path);
}

TEST(ProjectDiscovery, NewFilesOfAReplacementAreNeverTakenForProjects)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("p/a.vcxproj"));
    ASSERT_TRUE(tree.file("p/.a.vcxproj.projport-12345.tmp"));
    ASSERT_TRUE(tree.file("p/.a.vcxproj.projport-12345.old.tmp"));
    discovery found;
    found.of(tree.root);
    EXPECT_EQ(found.projects, (paths{tree.path("p/a.vcxproj")}));
}

#ifndef _WIN32
TEST(ProjectDiscovery, FifoAndDeviceLinkInATreeAreTakenForTheOpenToRefuse)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.folder("t"));
    ASSERT_EQ(mkfifo(tree.path("t/fifo.vcxproj").c_str(), 0600), 0);
    ASSERT_TRUE(make_link("/dev/zero", tree.path("t/dev.vcxproj")));
    discovery found;
    found.of(tree.path("t"));
    EXPECT_EQ(found.projects, (paths{tree.path("t/dev.vcxproj"), tree.path("t/fifo.vcxproj")}));
}
#endif

// ---- identity ----

TEST(ProjectSet, KnowsAFileByWhatItIsNotHowItIsSpelt)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("dir/a.vcxproj"));
    ASSERT_TRUE(tree.file("dir/b.vcxproj"));
    project_set seen;
    EXPECT_TRUE(seen.add(tree.path("dir/a.vcxproj")));
    EXPECT_FALSE(seen.add(tree.path("dir/a.vcxproj")));
    EXPECT_FALSE(seen.add(tree.path("dir/./a.vcxproj")));
    EXPECT_FALSE(seen.add(tree.path("dir/../dir/a.vcxproj")));
    EXPECT_TRUE(seen.add(tree.path("dir/b.vcxproj")));
}

TEST(ProjectSet, KnowsAMissingFileByItsPath)
{
    scratch_tree tree;
    ASSERT_FALSE(tree.root.empty());
    project_set seen;
    EXPECT_TRUE(seen.add(tree.path("gone.vcxproj")));
    EXPECT_FALSE(seen.add(tree.path("gone.vcxproj")));
    EXPECT_TRUE(seen.add(tree.path("./gone.vcxproj")));
}

TEST(ProjectSet, FolderIsKnownByItsIdentityToo)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.folder("f"));
    project_set seen;
    EXPECT_TRUE(seen.add(tree.path("f")));
    EXPECT_FALSE(seen.add(tree.path("f/")));
}

// ---- paths written in solutions ----

TEST(SolutionProjectPath, TakesThePlatformSeparatorAndKeepsEmptyParts)
{
    scratch_tree tree;
    ASSERT_FALSE(tree.root.empty());
    std::string folder = tree.root + path_separator;
    EXPECT_EQ(solution_project_path(folder, "x\\\\y/z.vcxproj"), tree.path("x//y/z.vcxproj"));
}

TEST(SolutionProjectPath, AbsolutePathIsNotJoined)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("abs/a.vcxproj"));
    std::string absolute = tree.path("abs/a.vcxproj");
    std::string written = absolute;
    for (char& c : written) {
        if (c == '/')
            c = '\\';
    }
    EXPECT_EQ(solution_project_path("elsewhere/", written), absolute);
}

#ifndef _WIN32
TEST(SolutionProjectPath, SeveralCaseMatchesKeepThePartAsWritten)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("Dup/a.vcxproj"));
    ASSERT_TRUE(tree.file("Dup/A.vcxproj"));
    std::string folder = tree.root + "/";
    EXPECT_EQ(solution_project_path(folder, "dup\\a.VCXPROJ"), tree.path("Dup/a.VCXPROJ"));
    EXPECT_EQ(solution_project_path(folder, "dup\\A.vcxproj"), tree.path("Dup/A.vcxproj"));
}

TEST(SolutionProjectPath, MatchesNonAsciiNamesOnlyByTheirAsciiLetters)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("\xC3\x9C" "ber/X.vcxproj"));  // capital u-umlaut
    std::string folder = tree.root + "/";
    EXPECT_EQ(solution_project_path(folder, "\xC3\x9C" "BER\\x.vcxproj"), tree.path("\xC3\x9C" "ber/X.vcxproj"));
    EXPECT_EQ(solution_project_path(folder, "\xC3\xBC" "ber\\x.vcxproj"), tree.path("\xC3\xBC" "ber/x.vcxproj"));
}

// ---- POSIX links and permissions ----

TEST(ProjectDiscovery, FolderWalkDoesNotFollowLinksToFolders)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("outside/o.vcxproj"));
    ASSERT_TRUE(tree.file("outside/dir.vcxproj/in.vcxproj"));
    ASSERT_TRUE(tree.file("walked/real/r.vcxproj"));
    ASSERT_TRUE(make_link(tree.path("outside"), tree.path("walked/link")));
    ASSERT_TRUE(make_link(tree.path("outside/dir.vcxproj"), tree.path("walked/linked-folder.vcxproj")));
    ASSERT_TRUE(make_link(tree.path("outside/o.vcxproj"), tree.path("walked/linked-file.vcxproj")));
    ASSERT_TRUE(make_link(tree.path("nowhere"), tree.path("walked/dangling.vcxproj")));
    discovery found;
    found.of(tree.path("walked"));
    EXPECT_EQ(found.projects, (paths{tree.path("walked/dangling.vcxproj"), tree.path("walked/linked-file.vcxproj"),
                                     tree.path("walked/real/r.vcxproj")}));
    EXPECT_TRUE(found.problems.empty());
}

TEST(ProjectDiscovery, NamedLinkToAFolderIsWalked)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("real/r.vcxproj"));
    ASSERT_TRUE(make_link(tree.path("real"), tree.path("link")));
    discovery found;
    found.of(tree.path("link"));
    EXPECT_EQ(found.projects, (paths{tree.path("link/r.vcxproj")}));
}

TEST(ProjectDiscovery, DanglingLinkAsSolutionIsAProblemToOpen)
{
    scratch_tree tree;
    ASSERT_FALSE(tree.root.empty());
    ASSERT_TRUE(make_link(tree.path("nowhere.sln"), tree.path("link.sln")));
    discovery found;
    found.of(tree.path("link.sln"));
    EXPECT_TRUE(found.projects.empty());
    ASSERT_EQ(found.problems.size(), 1u);
    EXPECT_EQ(found.problems[0].path, tree.path("link.sln"));
    EXPECT_STREQ(found.problems[0].action, "open");
    EXPECT_EQ(found.problems[0].code, unsigned{ENOENT});
}

TEST(ProjectDiscovery, UnreadableSolutionIsAProblemToOpen)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("locked.slnx", slnx_listing({"a.vcxproj"})));
    ASSERT_EQ(chmod(tree.path("locked.slnx").c_str(), 0), 0);
    if (!permissions_bind(tree.path("locked.slnx")))
        GTEST_SKIP() << "this process (root) reads a file whatever its permissions";
    discovery found;
    found.of(tree.path("locked.slnx"));
    EXPECT_TRUE(found.projects.empty());
    ASSERT_EQ(found.problems.size(), 1u);
    EXPECT_STREQ(found.problems[0].action, "open");
    EXPECT_EQ(found.problems[0].code, unsigned{EACCES});
}

TEST(ProjectDiscovery, UnlistableFolderIsAProblemAndTheWalkGoesOn)
{
    scratch_tree tree;
    ASSERT_TRUE(tree.file("locked/a.vcxproj"));
    ASSERT_TRUE(tree.file("open/b.vcxproj"));
    ASSERT_EQ(chmod(tree.path("locked").c_str(), 0), 0);
    if (!folder_permissions_bind(tree.path("locked")))
        GTEST_SKIP() << "this process (root) lists a folder whatever its permissions";
    discovery found;
    found.of(tree.root);
    EXPECT_EQ(found.projects, (paths{tree.path("open/b.vcxproj")}));
    ASSERT_EQ(found.problems.size(), 1u);
    EXPECT_EQ(found.problems[0].path, tree.path("locked"));
    EXPECT_STREQ(found.problems[0].action, "open");
    EXPECT_EQ(found.problems[0].code, unsigned{EACCES});
}
#endif

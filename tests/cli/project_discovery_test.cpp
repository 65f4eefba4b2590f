#include "cli/project_discovery.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <ostream>

#include "cli/cli_errors.h"
#include "cli/file_system.h"
#include "support/scratch_tree.h"

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

// ---- the table ----

// One step of making a case's tree; paths are relative to the tree and use '/'.
struct step {
    enum kind_t { file, folder, sized, link, fifo, locked } kind;
    std::string path;
    std::string bytes = {};  // a file's bytes, or a link's target (relative to the tree unless it starts with '/')
};

struct problem {
    std::string path;  // relative to the tree
    const char* action;
    unsigned code;
    bool left = false;
};

// A tree, the paths given to discover_projects in turn, and what it must find.
// `in_tree`: the run is made from inside the tree, the paths given and the
// projects found relative to it; else every path is relative to the tree's
// root ("" is the root itself).
struct discovery_case {
    const char* name;
    std::vector<step> tree;
    paths given;
    paths projects;
    std::vector<problem> problems = {};
    bool in_tree = false;
};

std::ostream& operator<<(std::ostream& out, const discovery_case& c)
{
    return out << c.name;
}

using namespace std::string_literals;

const discovery_case discovery_cases[] = {
    // named projects
    {"NamedFileIsAProjectWhateverItsExtension", {{step::file, "notes.txt", "x"}}, {"notes.txt"}, {"notes.txt"}},
    {"MissingProjectIsKeptAsWrittenForTheOpenToReport",
     {},
     {"Gone/missing.VCXPROJ", "Gone/missing.VCXPROJ", "other.vcxproj"},
     {"Gone/missing.VCXPROJ", "other.vcxproj"}},
    // folders
    {"FolderWalkTakesProjectsBelowInBytewiseOrder",
     {{step::file, "a_b/p.vcxproj"},
      {step::file, "a/q/p.vcxproj"},
      {step::file, "a/p.vcxproj"},
      {step::file, "a.vcxproj"},
      {step::file, "a-b/p.vcxproj"},
      {step::file, "Z.VCXPROJ"},
      {step::file, "deep/er/still/x.VcxProj"}},
     {""},
     {"Z.VCXPROJ", "a-b/p.vcxproj", "a.vcxproj", "a/p.vcxproj", "a/q/p.vcxproj", "a_b/p.vcxproj",
      "deep/er/still/x.VcxProj"}},
    {"FolderWalkLeavesOutOtherFiles",
     {{step::file, "a.vcxproj.filters"},
      {step::file, "a.vcxproj.user"},
      {step::file, "a.sln", sln_listing({"b.vcxproj"})},
      {step::file, "b.vcxproj"},
      {step::file, "c.csproj"},
      {step::file, "vcxproj"}},
     {""},
     {"b.vcxproj"}},
    {"FolderWalkSkipsGitAndVsFoldersInAnyCase",
     {{step::file, ".git/a.vcxproj"},
      {step::file, ".vs/b.vcxproj"},
      {step::file, "sub/.Git/c.vcxproj"},
      {step::file, "sub/.VS/d.vcxproj"},
      {step::file, ".github/e.vcxproj"},
      {step::file, ".vscode/f.vcxproj"},
      {step::file, "git/g.vcxproj"}},
     {""},
     {".github/e.vcxproj", ".vscode/f.vcxproj", "git/g.vcxproj"}},
    {"FolderNamedLikeAProjectIsWalkedNotTaken",
     {{step::file, "f.vcxproj/in.vcxproj"}},
     {""},
     {"f.vcxproj/in.vcxproj"}},
    {"FolderNamedLikeASolutionIsWalked", {{step::file, "s.SLN/in.vcxproj"}}, {"s.SLN"}, {"s.SLN/in.vcxproj"}},
    {"FolderWithTrailingSeparatorGetsNoSecondOne", {{step::file, "sub/a.vcxproj"}}, {"sub/"}, {"sub/a.vcxproj"}},
    {"RelativeFolderKeepsItsSpelling", {{step::file, "sub/a.vcxproj"}}, {"."}, {"./sub/a.vcxproj"}, {}, true},
    {"EmptyFolderGivesNothing", {{step::folder, "empty"}}, {"empty"}, {}},
    {"NonAsciiNamesArriveInUtf8",
     {{step::file, "\xC3\xBC/\xE2\x82\xAC\xF0\x9F\x98\x80.vcxproj"}},  // u-umlaut, euro sign, U+1F600
     {"", "\xC3\xBC/\xE2\x82\xAC\xF0\x9F\x98\x80.vcxproj"},
     {"\xC3\xBC/\xE2\x82\xAC\xF0\x9F\x98\x80.vcxproj"}},
    {"NewFilesOfAReplacementAreNeverTakenForProjects",
     {{step::file, "p/a.vcxproj"},
      {step::file, "p/.a.vcxproj.projport-12345.tmp"},
      {step::file, "p/.a.vcxproj.projport-12345.old.tmp"}},
     {""},
     {"p/a.vcxproj"}},
    // solutions
    {"SlnProjectsAreFoundWhateverTheCaseOfTheirEntries",
     {{step::file, "Src/App/App.vcxproj"},
      {step::file, "lib.vcxproj"},
      {step::file, "all.sln", sln_listing({"src\\app\\app.VCXPROJ", "lib.vcxproj", "tool\\tool.csproj"})}},
     {"all.sln", "Src/App/App.vcxproj"},  // the second is the same file as the first found
     {std::string(by_platform("Src/App/App.vcxproj", "src/app/app.VCXPROJ")), "lib.vcxproj"}},
    {"SlnxProjectsInNestedFoldersWithEitherSlash",
     {{step::file, "One/a.vcxproj"},
      {step::file, "two/Deep/b.vcxproj"},
      {step::file, "all.SLNX", slnx_listing({"one/A.vcxproj", "two\\deep\\b.vcxproj", "x/y.csproj"})}},
     {"all.SLNX"},
     {std::string(by_platform("One/a.vcxproj", "one/A.vcxproj")),
      std::string(by_platform("two/Deep/b.vcxproj", "two/deep/b.vcxproj"))}},
    {"MissingProjectOfASolutionIsKeptAsWritten",
     {{step::folder, "Src"}, {step::file, "all.sln", sln_listing({"gone\\Sub\\x.vcxproj", "src\\Missing.vcxproj"})}},
     {"all.sln"},
     {"gone/Sub/x.vcxproj", std::string(by_platform("Src/Missing.vcxproj", "src/Missing.vcxproj"))}},
    {"SolutionInASubfolderResolvesFromItsOwnFolder",
     {{step::file, "lib/l.vcxproj"}, {step::file, "sol/x.sln", sln_listing({"..\\lib\\l.vcxproj"})}},
     {"sol/x.sln", "lib/l.vcxproj"},
     {"sol/../lib/l.vcxproj"}},
    {"SolutionWithoutFolderPartGivesTheRelativePath",
     {{step::file, "Sub/a.vcxproj"}, {step::file, "X.SLN", sln_listing({"sub\\a.vcxproj"})}},
     {"X.SLN"},
     {std::string(by_platform("Sub/a.vcxproj", "sub/a.vcxproj"))},
     {},
     true},
    {"ProjectReachedTwiceIsTakenOnceInFirstOrder",
     {{step::file, "a/a.vcxproj"},
      {step::file, "b/b.vcxproj"},
      {step::file, "c/c.vcxproj"},
      {step::file, "one.sln", sln_listing({"a\\a.vcxproj", "b\\b.vcxproj", "B\\B.vcxproj"})},
      {step::file, "two.slnx", slnx_listing({"b/b.vcxproj", "A\\A.VCXPROJ", "c/c.vcxproj"})}},
     {"a/a.vcxproj", "one.sln", "two.slnx", ""},
     {"a/a.vcxproj", "b/b.vcxproj", "c/c.vcxproj"}},
    {"MissingSolutionIsAProblemToOpen",
     {},
     {"none.sln", "none.slnx"},
     {},
     {{"none.sln", "open", file_not_found}, {"none.slnx", "open", file_not_found}}},
    {"OversizedSolutionIsAProblemToRead",
     {{step::sized, "big.sln"}, {step::file, "fits.sln", sln_listing({"a.vcxproj"})}},
     {"big.sln", "fits.sln"},
     {"a.vcxproj"},
     {{"big.sln", "read", file_too_large}}},
    {"SolutionThatIsNotOneIsAProblemNotAnEmptyList",
     {{step::file, "a.vcxproj"},
      {step::file, "empty.slnx"},
      {step::file, "cut.slnx", "<Solution><Project Path=\"a.vcxproj\"/>"},
      {step::file, "plain.sln", "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"p\", \"a.vcxproj\", \"{1}\"\r\n"}},
     {"empty.slnx", "cut.slnx", "plain.sln"},
     {},
     {{"empty.slnx", "read", error_not_a_solution},
      {"cut.slnx", "read", error_not_a_solution},
      {"plain.sln", "read", error_not_a_solution}}},
    {"SolutionEntryWithAZeroByteIsAProblemAndNotOpened",
     {{step::file, "Directory.Build.props"},
      {step::file, "b.vcxproj"},
      {step::file, "all.sln", sln_listing({"Directory.Build.props\0.vcxproj"s, "b.vcxproj"})}},
     {"all.sln"},
     {"b.vcxproj"},
     {{"Directory.Build.props\0.vcxproj"s, "open", error_control_in_path}}},
#ifndef _WIN32
    // POSIX special files, links and permissions
    {"FifoInATreeIsTakenForTheOpenToRefuseAndALinkToADeviceIsLeft",
     {{step::fifo, "t/fifo.vcxproj"}, {step::link, "t/dev.vcxproj", "/dev/zero"}},
     {"t"},
     {"t/fifo.vcxproj"},
     {{"t/dev.vcxproj", nullptr, error_link_outside, true}}},
    {"FolderWalkDoesNotFollowLinksToFolders",
     {{step::file, "outside/o.vcxproj"},
      {step::file, "outside/dir.vcxproj/in.vcxproj"},
      {step::file, "walked/real/r.vcxproj"},
      {step::link, "walked/link", "outside"},
      {step::link, "walked/linked-folder.vcxproj", "outside/dir.vcxproj"},
      {step::link, "walked/linked-file.vcxproj", "outside/o.vcxproj"},
      {step::link, "walked/dangling.vcxproj", "nowhere"}},
     {"walked"},
     {"walked/dangling.vcxproj", "walked/real/r.vcxproj"},
     {{"walked/linked-file.vcxproj", nullptr, error_link_outside, true}}},
    {"FolderWalkThroughALinkJudgesLinksByWhereTheFolderLies",
     {{step::file, "real/.git/h.vcxproj"},
      {step::link, "real/l.vcxproj", "real/.git/h.vcxproj"},
      {step::link, "link", "real"}},
     {"link"},
     {"link/l.vcxproj"}},
    {"NamedLinkToAFolderIsWalked",
     {{step::file, "real/r.vcxproj"}, {step::link, "link", "real"}},
     {"link"},
     {"link/r.vcxproj"}},
    {"DanglingLinkAsSolutionIsAProblemToOpen",
     {{step::link, "link.sln", "nowhere.sln"}},
     {"link.sln"},
     {},
     {{"link.sln", "open", unsigned{ENOENT}}}},
    {"UnreadableSolutionIsAProblemToOpen",
     {{step::file, "locked.slnx", slnx_listing({"a.vcxproj"})}, {step::locked, "locked.slnx"}},
     {"locked.slnx"},
     {},
     {{"locked.slnx", "open", unsigned{EACCES}}}},
    {"UnlistableFolderIsAProblemAndTheWalkGoesOn",
     {{step::file, "locked/a.vcxproj"}, {step::file, "open/b.vcxproj"}, {step::locked, "locked"}},
     {""},
     {"open/b.vcxproj"},
     {{"locked", "open", unsigned{EACCES}}}},
#endif
};

// Makes one step of a tree: "" when done, else what failed, or "skip: ..."
// when the case cannot be shown in this process.
std::string make(const scratch_tree& tree, const step& s)
{
    switch (s.kind) {
    case step::file:
        return tree.file(s.path, s.bytes) ? "" : "cannot write " + s.path;
    case step::folder:
        return tree.folder(s.path) ? "" : "cannot make folder " + s.path;
    case step::sized:
        return tree.file(s.path) && make_sized_file(tree.path(s.path), small_file_limit + 1) ? ""
                                                                                              : "cannot size " + s.path;
#ifndef _WIN32
    case step::link: {
        std::size_t slash = s.path.rfind('/');
        if (slash != std::string::npos && !tree.folder(s.path.substr(0, slash)))
            return "cannot make the folder of " + s.path;
        std::string target = s.bytes[0] == '/' ? s.bytes : tree.path(s.bytes);
        return make_link(target, tree.path(s.path)) ? "" : "cannot link " + s.path;
    }
    case step::fifo: {
        std::size_t slash = s.path.rfind('/');
        if (slash != std::string::npos && !tree.folder(s.path.substr(0, slash)))
            return "cannot make the folder of " + s.path;
        return mkfifo(tree.path(s.path).c_str(), 0600) == 0 ? "" : "cannot make fifo " + s.path;
    }
    case step::locked: {
        std::string path = tree.path(s.path);
        if (chmod(path.c_str(), 0) != 0)
            return "cannot lock " + s.path;
        struct stat info {};
        bool folder = stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        if (folder ? !folder_permissions_bind(path) : !permissions_bind(path))
            return "skip: this process (root) reads " + s.path + " whatever its permissions";
        return "";
    }
#else
    default:
        return "no such step on Windows";
#endif
    }
    return "unknown step";
}

class DiscoveryTable : public testing::TestWithParam<discovery_case> {};

TEST_P(DiscoveryTable, FindsTheProjectsAndProblems)
{
    const discovery_case& c = GetParam();
    scratch_tree tree;
    ASSERT_FALSE(tree.root.empty());
    for (const step& s : c.tree) {
        std::string failed = make(tree, s);
        if (failed.rfind("skip: ", 0) == 0)
            GTEST_SKIP() << failed.substr(6);
        ASSERT_EQ(failed, "");
    }
    // From inside the tree, paths stay relative; else they are the tree's.
    auto full = [&](const std::string& relative) {
        if (c.in_tree)
            return native_path(relative);
        return relative.empty() ? tree.root : tree.path(relative);
    };
    current_folder here(c.in_tree ? tree.root : std::string("."));
    ASSERT_TRUE(here.changed);

    discovery found;
    for (const std::string& given : c.given)
        found.of(full(given));

    paths expected;
    for (const std::string& project : c.projects)
        expected.push_back(full(project));
    EXPECT_EQ(found.projects, expected);
    ASSERT_EQ(found.problems.size(), c.problems.size());
    for (std::size_t i = 0; i < c.problems.size(); ++i) {
        SCOPED_TRACE("problem " + std::to_string(i));
        EXPECT_EQ(found.problems[i].path, full(c.problems[i].path));
        EXPECT_STREQ(found.problems[i].action, c.problems[i].action);
        EXPECT_EQ(found.problems[i].code, c.problems[i].code);
        EXPECT_EQ(found.problems[i].left, c.problems[i].left);
    }
}

INSTANTIATE_TEST_SUITE_P(ProjectDiscovery, DiscoveryTable, testing::ValuesIn(discovery_cases),
                         [](const testing::TestParamInfo<discovery_case>& info) { return std::string(info.param.name); });

}  // namespace

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
#endif

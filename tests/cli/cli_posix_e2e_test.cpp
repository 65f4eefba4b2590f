// projport-cli run as a user runs it, on trees of projects in a folder of the
// test's own: what it prints, the exit code, and the bytes it leaves.

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string v100 = "<PlatformToolset>v100</PlatformToolset>";
const std::string v140 = "<PlatformToolset>v140</PlatformToolset>";
const std::string v142 = "<PlatformToolset>v142</PlatformToolset>";

std::string project(const std::string& tools_version, const std::string& toolsets)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Project DefaultTargets=\"Build\" " + tools_version +
           " xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n"
           "  <PropertyGroup Label=\"Configuration\">\r\n" + toolsets + "  </PropertyGroup>\r\n</Project>\r\n";
}

std::string read_bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void write_bytes(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

struct cli_run {
    int exit_code = -1;
    std::string out;
    std::string err;
};

class CliRun : public testing::Test {
protected:
    fs::path root;

    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "projport-cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // Runs the program in `folder` (the test's folder by default), its output in files.
    cli_run run(std::vector<std::string> arguments, const fs::path& folder = {})
    {
        fs::path out = root / ".out", err = root / ".err";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::string cwd = (folder.empty() ? root : folder).string();
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
        std::vector<char*> argv{const_cast<char*>(PROJPORT_CLI)};
        for (std::string& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        cli_run r;
        int spawned = posix_spawn(&pid, PROJPORT_CLI, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        EXPECT_EQ(spawned, 0);
        int status = 0;
        if (spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
            r.exit_code = WEXITSTATUS(status);
        r.out = read_bytes(out);
        r.err = read_bytes(err);
        fs::remove(out);
        fs::remove(err);
        return r;
    }
};

std::string heading(const std::string& path, const char* label)
{
    return "[" + path + "]\nConfiguring project for Visual Studio " + label + "\n\n";
}

}  // namespace

TEST_F(CliRun, ASolutionIsRetargetedProjectByProjectWithASummary)
{
    write_bytes(root / "src/App/App.vcxproj", project("ToolsVersion=\"14.0\"", "    " + v140 + "\r\n"));
    write_bytes(root / "src/Lib/lib.vcxproj", project("ToolsVersion=\"15.0\"", "    " + v142 + "\r\n"));
    write_bytes(root / "tools/Tool.csproj", "<Project Sdk=\"Microsoft.NET.Sdk\" />");
    // Written on Windows: other case than on disk, backslashes, a solution
    // folder, a C# project and a project that is not there.
    write_bytes(root / "all.sln",
                "\xEF\xBB\xBF\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n"
                "Project(\"{2150E333-8FDC-42A3-9474-1A3956D46DE8}\") = \"src\", \"src\", \"{1}\"\r\nEndProject\r\n"
                "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"App\", \"SRC\\app\\App.vcxproj\", \"{2}\"\r\nEndProject\r\n"
                "Project(\"{FAE04EC0-301F-11D3-BF4B-00C04F79EFBC}\") = \"Tool\", \"tools\\Tool.csproj\", \"{3}\"\r\nEndProject\r\n"
                "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"Lib\", \"src\\Lib\\lib.vcxproj\", \"{4}\"\r\nEndProject\r\n"
                "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"Gone\", \"src\\Gone\\Gone.vcxproj\", \"{5}\"\r\nEndProject\r\n");

    cli_run r = run({"2019", "all.sln"});
    std::string expected =
        heading("src/App/App.vcxproj", "2019") + "ToolsVersion=\"14.0\"\n" + v140 +
        "\n\nProject is ready for Visual Studio 2019\n" + heading("src/Lib/lib.vcxproj", "2019") +
        "ToolsVersion=\"15.0\"\n\nProject is ready for Visual Studio 2019\n" + heading("src/Gone/Gone.vcxproj", "2019") +
        "open(src/Gone/Gone.vcxproj)\n   ^ERROR: 2, No such file or directory\n"
        "3 projects: 2 retargeted, 0 already configured, 0 without a match, 1 failed; 0 toolset elements left unchanged\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(read_bytes(root / "src/App/App.vcxproj"), project("ToolsVersion=\"15.0\"", "    " + v142 + "\r\n"));
}

TEST_F(CliRun, CheckingWritesNothingAndExitsOneWhenAProjectWouldChange)
{
    std::string old_project = project("ToolsVersion=\"4.0\"", "    " + v100 + "\r\n");
    std::string current = project("ToolsVersion=\"14.0\"", "    " + v140 + "\r\n");
    write_bytes(root / "a/old.vcxproj", old_project);
    write_bytes(root / "b/current.vcxproj", current);
    struct stat before {};
    ASSERT_EQ(stat((root / "a/old.vcxproj").c_str(), &before), 0);

    cli_run r = run({"2015", "--check", root.string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("\nProject would be retargeted to Visual Studio 2015\n"), std::string::npos);
    EXPECT_NE(r.out.find("Already configured for Visual Studio 2015\n"), std::string::npos);
    EXPECT_NE(r.out.find("2 projects: 1 would be retargeted, 1 already configured, 0 without a match, 0 failed;"),
              std::string::npos);
    EXPECT_EQ(read_bytes(root / "a/old.vcxproj"), old_project);
    struct stat after {};
    ASSERT_EQ(stat((root / "a/old.vcxproj").c_str(), &after), 0);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    // Once retargeted, the same check passes.
    EXPECT_EQ(run({"2015", root.string()}).exit_code, 0);
    EXPECT_EQ(run({"2015", "--check", root.string()}).exit_code, 0);
}

TEST_F(CliRun, ToolsetsLeftUnchangedAreListedWithTheirLines)
{
    std::string text = project("ToolsVersion=\"14.0\"", "    " + v140 + "\r\n    <PlatformToolset>v110</PlatformToolset>\r\n"
                                                         "    <PlatformToolset>$(DefaultPlatformToolset)</PlatformToolset>\r\n"
                                                         "    <PlatformToolset> v141_xp </PlatformToolset>\r\n");
    write_bytes(root / "p.vcxproj", text);
    cli_run r = run({"2019", "p.vcxproj"});
    std::string expected_tail = "\nProject is ready for Visual Studio 2019\n"
                                "  line 5: <PlatformToolset>v110</PlatformToolset> left unchanged\n"
                                "  line 7: <PlatformToolset> v141_xp </PlatformToolset> left unchanged\n"
                                "1 projects: 1 retargeted, 0 already configured, 0 without a match, 0 failed; "
                                "2 toolset elements left unchanged\n";
    ASSERT_GE(r.out.size(), expected_tail.size());
    EXPECT_EQ(r.out.substr(r.out.size() - expected_tail.size()), expected_tail);
    EXPECT_EQ(r.exit_code, 0);
}

TEST_F(CliRun, AProjectReachedTwiceIsConvertedOnce)
{
    write_bytes(root / "p/p.vcxproj", project("ToolsVersion=\"14.0\"", "    " + v140 + "\r\n"));
    std::string sln = "Microsoft Visual Studio Solution File, Format Version 12.00\r\nProject(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"p\", \"p\\p.vcxproj\", \"{1}\"\r\nEndProject\r\n";
    write_bytes(root / "one.sln", sln);
    write_bytes(root / "two.slnx", "<Solution>\r\n  <Folder Name=\"/x/\">\r\n    <Project Path=\"p\\P.VCXPROJ\" />\r\n"
                                   "  </Folder>\r\n</Solution>\r\n");
    cli_run r = run({"2010", "p/p.vcxproj", "one.sln", "two.slnx", "p"});
    EXPECT_NE(r.out.find("1 projects: 1 retargeted"), std::string::npos) << r.out;
    EXPECT_EQ(r.exit_code, 0);
}

TEST_F(CliRun, AnUnreadableSolutionOrAMissingPathFailsTheRunWhichGoesOn)
{
    write_bytes(root / "p.vcxproj", project("", "    " + v140 + "\r\n"));
    cli_run r = run({"2019", "missing.sln", "p.vcxproj", "nothing-here"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out.rfind("open(missing.sln)\n   ^ERROR: 2, No such file or directory\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(heading("p.vcxproj", "2019")), std::string::npos);
    EXPECT_NE(r.out.find("open(nothing-here)\n   ^ERROR: 2,"), std::string::npos);
    EXPECT_NE(r.out.find("2 projects: 1 retargeted, 0 already configured, 0 without a match, 1 failed;"),
              std::string::npos);
}

TEST_F(CliRun, UsageErrorsGoToStandardErrorWithExitCodeTwo)
{
    for (std::vector<std::string> arguments : std::vector<std::vector<std::string>>{
             {}, {"2019"}, {"2019abc", "p.vcxproj"}, {"2019", "--fast", "p.vcxproj"}}) {
        cli_run r = run(arguments);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("usage: projport-cli <2010|2015|2017|2019> [--check] PATH..."), std::string::npos);
    }
    cli_run help = run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_TRUE(help.err.empty());
    EXPECT_EQ(help.out.rfind("usage: projport-cli", 0), 0u);
    EXPECT_EQ(run({"--version"}).out.rfind("projport-cli ", 0), 0u);
}

// A file system with no room left, mounted by the test command when it can
// (PROJPORT_SMALL_FS): the project must grow, and keeps every byte when it cannot.
TEST(CliFullDisk, AProjectThatCannotGrowKeepsEveryByte)
{
    const char* small = std::getenv("PROJPORT_SMALL_FS");
    if (!small || !*small)
        GTEST_SKIP() << "no small file system: set PROJPORT_SMALL_FS to an empty tmpfs of 64 KiB or so";
    fs::path dir = fs::path(small) / "cli-full";
    fs::create_directories(dir);
    struct cleanup {
        fs::path dir;
        ~cleanup()
        {
            std::error_code ignored;
            fs::remove_all(dir, ignored);
        }
    } remove_later{dir};

    // Retargeting to 2010 inserts a ToolsVersion, so the file must grow, and
    // it fills its last page to the end, so growing needs a page more.
    std::string frame = project("", v140 + "\r\n");
    std::string text = project("", std::string(5 * 4096 - frame.size(), ' ') + v140 + "\r\n");
    write_bytes(dir / "p.vcxproj", text);
    {
        std::ofstream filler(dir / "filler", std::ios::binary);
        std::string block(4096, 'x');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
        }
    }
    {
        std::ofstream filler(dir / "filler2", std::ios::binary);
        while (filler.put('x') && filler.flush()) {
        }
    }
    fs::path out = fs::temp_directory_path() / ("projport-cli-full-" + std::to_string(getpid()));
    std::string command = std::string(PROJPORT_CLI) + " 2010 " + (dir / "p.vcxproj").string() + " > " + out.string();
    int status = std::system(command.c_str());
    std::string printed = read_bytes(out);
    fs::remove(out);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(read_bytes(dir / "p.vcxproj"), text);
    EXPECT_NE(printed.find("write(" + (dir / "p.vcxproj").string() + ")\n   ^ERROR: 28, "), std::string::npos) << printed;
    EXPECT_EQ(printed.find("Project is ready"), std::string::npos);
    EXPECT_NE(printed.find("1 failed"), std::string::npos);
}

TEST_F(CliRun, TheSampleSolutionIsRetargetedAndThenPassesItsCheck)
{
    fs::copy(fs::path(PROJPORT_SOURCE_DIR) / "samples/game", root / "game", fs::copy_options::recursive);
    fs::path game = root / "game";
    cli_run before = run({"2019", "--check", "MyGame.sln"}, game);
    EXPECT_EQ(before.exit_code, 1);
    cli_run r = run({"2019", "MyGame.sln"}, game);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, heading("Engine/Engine.vcxproj", "2019") + "ToolsVersion=\"14.0\"\n" + v140 + "\n" + v140 +
                         "\n\nProject is ready for Visual Studio 2019\n"
                         "  line 39: <PlatformToolset>v140_xp</PlatformToolset> left unchanged\n" +
                         heading("Tools/Packer/Packer.vcxproj", "2019") +
                         "Already configured for Visual Studio 2019\n"
                         "2 projects: 1 retargeted, 1 already configured, 0 without a match, 0 failed; "
                         "1 toolset elements left unchanged\n");
    cli_run after = run({"2019", "--check", "MyGame.sln"}, game);
    EXPECT_EQ(after.exit_code, 0) << after.out;
}

// projport-cli run as a user runs it on solutions of a folder of the test's
// own: the header a solution gets, the entry and summary it prints, the exit
// code, and the bytes it leaves.

#include <sys/stat.h>
#include <time.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/cli_fixture.h"
#include "support/file_stamp.h"
#include "support/posix_child.h"
#include "support/project_text.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr std::string_view bom = "\xEF\xBB\xBF";

// zlib's contrib/vstudio/vc10 solution, as Visual C++ Express 2010 saved it.
const std::string header_2010 = std::string(bom) +
                                "\r\nMicrosoft Visual Studio Solution File, Format Version 11.00\r\n"
                                "# Visual C++ Express 2010\r\n";
const std::string header_2026 = std::string(bom) +
                                "\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n"
                                "# Visual Studio Version 18\r\nVisualStudioVersion = 18.0\r\n"
                                "MinimumVisualStudioVersion = 10.0.40219.1\r\n";
const std::string lib_entry = "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"zlibstat\", "
                              "\"lib\\zlibstat.vcxproj\", \"{745DEC58-EBB3-47A9-A9B8-4C6627C01BF8}\"\r\nEndProject\r\n"
                              "Global\r\n\tGlobalSection(SolutionConfigurationPlatforms) = preSolution\r\n"
                              "\t\tRelease|Win32 = Release|Win32\r\n\tEndGlobalSection\r\nEndGlobal\r\n";
const std::string entry_2026 = "[zlibvc.sln]\nConfiguring solution for Visual Studio 2026\n\n"
                               "Microsoft Visual Studio Solution File, Format Version 11.00\n"
                               "# Visual C++ Express 2010\n+ VisualStudioVersion = 18.0\n"
                               "+ MinimumVisualStudioVersion = 10.0.40219.1\n\n";
const std::string project_2026 = project_text("", "v145");

struct cli_run {
    int exit_code = -1;
    std::string out;
};

class CliSolution : public cli_fixture {
protected:
    void SetUp() override
    {
        cli_fixture::SetUp();
        if (HasFatalFailure())
            return;
        fs::create_directories(root / "lib");
        write("lib/zlibstat.vcxproj", project_2026);
    }

    cli_run run(const std::vector<std::string>& arguments, long long file_size_limit = -1)
    {
        posix_child_options options = cli_options(".out", ".err");
        options.file_size_limit = file_size_limit;
        cli_run r;
        r.exit_code = end_code(run_cli(arguments, options));
        r.out = bytes_of(".out");
        fs::remove(root / ".out");
        fs::remove(root / ".err");
        return r;
    }
};

std::string summaries(const char* solutions, const char* projects)
{
    return std::string(solutions) + "\n" + projects + "\n";
}

const char* const one_project_configured =
    "1 project: 0 retargeted, 1 already configured, 0 without a match, 0 failed; 0 toolset elements left unchanged";

}  // namespace

TEST_F(CliSolution, ASolutionGivenTwiceIsWrittenOnceAndThenNamesItsTarget)
{
    write("zlibvc.sln", header_2010 + lib_entry);
    fs::create_symlink("zlibvc.sln", root / "alias.sln");
    file_stamp before = stamp_of(root / "zlibvc.sln");
    cli_run r = run({"2026", "zlibvc.sln", "./zlibvc.sln", "alias.sln"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.rfind(entry_2026 + "Solution is ready for Visual Studio 2026\n[lib/zlibstat.vcxproj]\n", 0), 0u)
        << r.out;
    EXPECT_EQ(r.out.find("[./zlibvc.sln]"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("[alias.sln]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 solution: 1 retargeted, 0 already naming Visual Studio 2026, 0 left as UTF-16, 0 failed\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(bytes_of("zlibvc.sln"), header_2026 + lib_entry);
    EXPECT_NE(stamp_of(root / "zlibvc.sln").inode, before.inode) << "replaced in one step";

    before = stamp_of(root / "zlibvc.sln");
    r = run({"2026", "zlibvc.sln"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "[zlibvc.sln]\nConfiguring solution for Visual Studio 2026\n\n"
                     "Solution already names Visual Studio 2026\n"
                     "[lib/zlibstat.vcxproj]\nConfiguring project for Visual Studio 2026\n\n"
                     "Already configured for Visual Studio 2026\n" +
                         summaries("1 solution: 0 retargeted, 1 already naming Visual Studio 2026, 0 left as UTF-16, "
                                   "0 failed",
                                   one_project_configured));
    expect_untouched(before, root / "zlibvc.sln");
}

TEST_F(CliSolution, CheckingExitsOneWritesNothingAndAnnotatesTheFirstChangedLine)
{
    struct checked {
        const char* name;
        std::string header;
        std::size_t line;
    };
    const checked cases[] = {
        {"the format line, on line 2 behind a blank first line", header_2010, 2},
        {"the byte order mark, on line 1", header_2010.substr(bom.size()), 1},
        {"the version line of Visual Studio 2022, on line 4",
         std::string(bom) + "\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n"
                            "# Visual Studio Version 18\r\nVisualStudioVersion = 17.14.36717.8 d17.14\r\n",
         4},
    };
    for (const checked& c : cases) {
        SCOPED_TRACE(c.name);
        write("zlibvc.sln", c.header + lib_entry);
        file_stamp before = stamp_of(root / "zlibvc.sln");
        cli_run r = run({"2026", "--check", "--annotate=github", "zlibvc.sln"});
        EXPECT_EQ(r.exit_code, 1) << r.out;
        EXPECT_NE(r.out.find("\nSolution would be retargeted to Visual Studio 2026\n"
                             "::error file=zlibvc.sln,line=" +
                             std::to_string(c.line) + "::Solution would be retargeted to Visual Studio 2026\n"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("1 solution: 1 would be retargeted, 0 already naming Visual Studio 2026, 0 left as UTF-16, "
                             "0 failed\n"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(bytes_of("zlibvc.sln"), c.header + lib_entry);
        expect_untouched(before, root / "zlibvc.sln");
    }
    write("zlibvc.sln", header_2026 + lib_entry);
    EXPECT_EQ(run({"2026", "--check", "--annotate=github", "zlibvc.sln"}).exit_code, 0);
}

TEST_F(CliSolution, OnlyALineBasedSolutionNamedAsAPathIsWritten)
{
    // A .slnx has no version header; a folder walk takes projects only, also
    // a folder named like a solution; and projport.exe's rules know no
    // solutions.
    write("zlibvc.slnx", "<Solution>\r\n  <Project Path=\"lib\\zlibstat.vcxproj\" />\r\n</Solution>\r\n");
    write("zlibvc.sln", header_2010 + lib_entry);
    fs::create_directories(root / "tree.sln");
    write("tree.sln/a.vcxproj", project_2026);
    for (std::vector<std::string> arguments : std::vector<std::vector<std::string>>{
             {"2026", "zlibvc.slnx"}, {"2026", "."}, {"2026", "tree.sln"}, {"2019", "--as-projport", "zlibvc.sln"}}) {
        SCOPED_TRACE(arguments[1]);
        file_stamp sln = stamp_of(root / "zlibvc.sln");
        file_stamp slnx = stamp_of(root / "zlibvc.slnx");
        cli_run r = run(arguments);
        EXPECT_NE(r.out.find("Configuring project for Visual Studio"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("solution"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Solution"), std::string::npos) << r.out;
        expect_untouched(sln, root / "zlibvc.sln");
        expect_untouched(slnx, root / "zlibvc.slnx");
    }
    cli_run r = run({"2026", "zlibvc.slnx"});
    EXPECT_EQ(r.out, "[lib/zlibstat.vcxproj]\nConfiguring project for Visual Studio 2026\n\n"
                     "Already configured for Visual Studio 2026\n" +
                         std::string(one_project_configured) + "\n")
        << "a run naming no line-based solution prints the summary of projects alone";
}

TEST_F(CliSolution, AUTF16SolutionIsReadForItsProjectsAndItsHeaderLeft)
{
    std::string utf16 = "\xFF\xFE";
    for (char c : header_2010.substr(bom.size()) + lib_entry) {
        utf16 += c;
        utf16 += '\0';
    }
    write("zlibvc.sln", utf16);
    file_stamp before = stamp_of(root / "zlibvc.sln");
    cli_run r = run({"2026", "--check", "--annotate=github", "zlibvc.sln"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "[zlibvc.sln]\nConfiguring solution for Visual Studio 2026\n\n"
                     "the solution is UTF-16 text: its header is left as it stands\n"
                     "::warning file=zlibvc.sln::the solution is UTF-16 text: its header is left as it stands\n"
                     "[lib/zlibstat.vcxproj]\nConfiguring project for Visual Studio 2026\n\n"
                     "Already configured for Visual Studio 2026\n" +
                         summaries("1 solution: 0 would be retargeted, 0 already naming Visual Studio 2026, "
                                   "1 left as UTF-16, 0 failed",
                                   "1 project: 0 would be retargeted, 1 already configured, 0 without a match, 0 failed; "
                                   "0 toolset elements left unchanged"));
    EXPECT_EQ(run({"2026", "zlibvc.sln"}).exit_code, 0);
    EXPECT_EQ(bytes_of("zlibvc.sln"), utf16);
    expect_untouched(before, root / "zlibvc.sln");
}

TEST_F(CliSolution, AReadOnlySolutionOrOneThatCannotBeWrittenFailsTheRunAndKeepsItsBytes)
{
    write("zlibvc.sln", header_2010 + lib_entry);
    ASSERT_EQ(chmod((root / "zlibvc.sln").c_str(), 0444), 0);
    file_stamp before = stamp_of(root / "zlibvc.sln");
    cli_run r = run({"2026", "--annotate=github", "zlibvc.sln"});
    EXPECT_EQ(r.exit_code, 2);
    // Write access is asked for only once a change is known: the lines it
    // would change come first.
    EXPECT_EQ(r.out.rfind("[zlibvc.sln]\nConfiguring solution for Visual Studio 2026\n\n"
                          "Microsoft Visual Studio Solution File, Format Version 11.00\n"
                          "# Visual C++ Express 2010\n"
                          "+ VisualStudioVersion = 18.0\n"
                          "+ MinimumVisualStudioVersion = 10.0.40219.1\n"
                          "open(zlibvc.sln)\n   ^ERROR: 13, Permission denied\n"
                          "::error file=zlibvc.sln::open(zlibvc.sln) failed: Permission denied\n[lib/",
                          0),
              0u)
        << r.out;
    EXPECT_NE(r.out.find("1 solution: 0 retargeted, 0 already naming Visual Studio 2026, 0 left as UTF-16, 1 failed\n" +
                         std::string(one_project_configured)),
              std::string::npos)
        << r.out;
    expect_untouched(before, root / "zlibvc.sln");
    // Only read, a read-only solution is checked as any other.
    EXPECT_EQ(run({"2026", "--check", "zlibvc.sln"}).exit_code, 1);
    ASSERT_EQ(chmod((root / "zlibvc.sln").c_str(), 0644), 0);

    // A write that fails part way, past the file size limit: the solution
    // keeps its bytes, and the run goes on to its projects.
    std::string big_global(64 * 1024, '\t');
    write("zlibvc.sln", header_2010 + lib_entry + big_global + "\r\n");
    write("lib/zlibstat.vcxproj", project_text("", "v143"));
    r = run({"2026", "zlibvc.sln"}, 32 * 1024);
    EXPECT_EQ(r.exit_code, 2) << r.out;
    EXPECT_NE(r.out.find("(zlibvc.sln)\n   ^ERROR: 27, File too large\n[lib/"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Solution is ready"), std::string::npos) << r.out;
    EXPECT_EQ(bytes_of("zlibvc.sln"), header_2010 + lib_entry + big_global + "\r\n");
    EXPECT_EQ(bytes_of("lib/zlibstat.vcxproj"), project_2026);
    EXPECT_NE(r.out.find("0 left as UTF-16, 1 failed\n1 project: 1 retargeted,"), std::string::npos) << r.out;
}

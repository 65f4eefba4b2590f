// projport-cli run as a user runs it, on trees of projects in a folder of the
// test's own: what it prints, the exit code, and the bytes it leaves.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/conversion.h"
#include "support/memory_file.h"
#include "support/cli_fixture.h"
#include "support/file_bytes.h"
#include "support/file_stamp.h"
#include "support/posix_child.h"
#include "support/project_text.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

const std::string v100 = toolset_element("v100");
const std::string v140 = toolset_element("v140");
const std::string v142 = toolset_element("v142");

// Writes the file whole, its folders made first.
void write_bytes(const fs::path& path, const std::string& bytes)
{
    if (path.has_parent_path())
        fs::create_directories(path.parent_path());
    EXPECT_TRUE(write_file_bytes(path, bytes)) << path;
}

struct cli_run {
    int exit_code = -1;  // or 1000 + the signal that ended it
    std::string out;
    std::string err;
};

class CliRun : public cli_fixture {
protected:
    // Runs the program in `folder` (the test's folder by default), its output
    // in files, or standard output on `output` when given (say /dev/full).
    cli_run run(std::vector<std::string> arguments, const fs::path& folder = {}, const std::string& output = {})
    {
        fs::path out = root / ".out", err = root / ".err";
        posix_child_options options = cli_options(out, err);
        if (!folder.empty())
            options.folder = folder.string();
        if (!output.empty())
            options.output_file = output;
        cli_run r;
        r.exit_code = end_code(run_cli(arguments, options));
        if (output.empty())
            r.out = read_file_bytes(out);
        r.err = read_file_bytes(err);
        fs::remove(out);
        fs::remove(err);
        return r;
    }
};

std::string heading(const std::string& path, const char* label)
{
    return "[" + path + "]\nConfiguring project for Visual Studio " + label + "\n\n";
}

// A modification time well in the past, so that a rewrite cannot keep it
// within the same clock tick.
void age(const fs::path& path)
{
    timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
}

// What projport.exe's shared conversion prints (as projport-cli printed it
// before it had rules of its own): the changes and the verdict.
class projport_lines final : public conversion_listener {
public:
    explicit projport_lines(std::string label) : label_(std::move(label)) {}
    std::string text;

    void changed(change_kind kind, std::string_view t) noexcept override
    {
        text += (kind == change_kind::inserted ? "+ " : "") + std::string(t) + "\n";
    }
    void verdict(conversion_verdict v) noexcept override
    {
        switch (v) {
        case conversion_verdict::ready:
            text += "\nProject is ready for Visual Studio " + label_ + "\n";
            break;
        case conversion_verdict::would_retarget:
            text += "\nProject would be retargeted to Visual Studio " + label_ + "\n";
            break;
        case conversion_verdict::already_configured:
            text += "Already configured for Visual Studio " + label_ + "\n";
            break;
        case conversion_verdict::no_match:
            text += "could not find a match\n";
            break;
        case conversion_verdict::empty:
            text += "the project file is empty\n";
            break;
        case conversion_verdict::too_large:
            text += "the converted project would not fit its buffer; the file is left unchanged\n";
            break;
        }
    }
    void failed(conversion_step, file_error) noexcept override { text += "(failed)\n"; }

private:
    std::string label_;
};

// The output without the lines this program adds to projport.exe's: the
// toolsets left unchanged and the summary.
std::string without_listing(const std::string& out)
{
    std::string kept;
    std::istringstream lines(out);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line))
        all.push_back(line);
    for (std::size_t i = 0; i + 1 < all.size(); ++i)
        if (all[i].rfind("  line ", 0) != 0)
            kept += all[i] + "\n";
    return kept;
}

}  // namespace

// Every kind of project projport.exe meets, to each of its four versions,
// checked and rewritten: the lines and the bytes of its shared conversion.
TEST_F(CliRun, AsProjportPrintsAndWritesWhatProjportsConversionDoes)
{
    const std::string projects[] = {
        project_text("DefaultTargets=\"Build\" ToolsVersion=\"14.0\"", "v140,v140"),
        project_text("DefaultTargets=\"Build\" ToolsVersion=\"4.0\"", "v100,v110"),
        project_text("DefaultTargets=\"Build\" ToolsVersion=\"15.0\"", "v142"),
        project_text("DefaultTargets=\"Build\" ToolsVersion=\"15.0\"", "v141,v140_xp"),
        project_text("DefaultTargets=\"Build\"", "v140"),
        "<Project DefaultTargets=\"Build\"\n  xmlns=\"x\">\n" + configuration_group(v142) + "</Project>\n",
        project_text("DefaultTargets=\"Build\" ToolsVersion=\"Current\"", "v143,v142"),
        project_text("", "ClangCL"),
        project_text("DefaultTargets=\"Build\" ToolsVersion=\"14.0\"", "v141,v140,v100,v141"),
        project_text("DefaultTargets=\"Build\" ToolsVersion=\"12.0\"", "v140") + std::string(1, '\0') + v100,
    };
    const char* labels[] = {"2010", "2015", "2017", "2019"};
    for (vs_version target{}; target < 4; ++target) {
        for (bool check : {true, false}) {
            for (const std::string& bytes : projects) {
                memory_file file(bytes);
                projport_lines expected(labels[target]);
                std::vector<char> block(2 * conversion_half_for(bytes.size()));
                conversion_block halves{block.data(), block.data() + block.size() / 2, block.size() / 2};
                file_conversion conversion = convert_open_file(
                    file, halves, target, check ? conversion_mode::check : conversion_mode::rewrite, expected);
                rewrite_converted(file, conversion, expected);
                write_bytes(root / "p.vcxproj", bytes);
                std::vector<std::string> arguments{labels[target], "--as-projport", "p.vcxproj"};
                if (check)
                    arguments.push_back("--check");
                cli_run r = run(arguments);
                SCOPED_TRACE(std::string(labels[target]) + (check ? " --check: " : ": ") + bytes);
                EXPECT_EQ(without_listing(r.out), heading("p.vcxproj", labels[target]) + expected.text);
                EXPECT_EQ(read_file_bytes(root / "p.vcxproj"), file.bytes());
                bool would = expected.text.find("would be retargeted") != std::string::npos;
                EXPECT_EQ(r.exit_code, would ? 1 : 0);
            }
        }
    }
}

TEST_F(CliRun, AsProjportASolutionIsRetargetedProjectByProjectWithASummary)
{
    write_bytes(root / "src/App/App.vcxproj", project_text("ToolsVersion=\"14.0\"", "v140"));
    write_bytes(root / "src/Lib/lib.vcxproj", project_text("ToolsVersion=\"15.0\"", "v142"));
    write_bytes(root / "tools/Tool.csproj", "<Project Sdk=\"Microsoft.NET.Sdk\" />");
    // Written on Windows: other case than on disk, backslashes, a solution
    // folder, a C# project and a project that is not there.
    const std::string solution =
        "\xEF\xBB\xBF\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n"
        "Project(\"{2150E333-8FDC-42A3-9474-1A3956D46DE8}\") = \"src\", \"src\", \"{1}\"\r\nEndProject\r\n"
        "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"App\", \"SRC\\app\\App.vcxproj\", \"{2}\"\r\nEndProject\r\n"
        "Project(\"{FAE04EC0-301F-11D3-BF4B-00C04F79EFBC}\") = \"Tool\", \"tools\\Tool.csproj\", \"{3}\"\r\nEndProject\r\n"
        "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"Lib\", \"src\\Lib\\lib.vcxproj\", \"{4}\"\r\nEndProject\r\n"
        "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"Gone\", \"src\\Gone\\Gone.vcxproj\", \"{5}\"\r\nEndProject\r\n";
    write_bytes(root / "all.sln", solution);

    cli_run r = run({"2019", "--as-projport", "all.sln"});
    std::string expected =
        heading("src/App/App.vcxproj", "2019") + "ToolsVersion=\"14.0\"\n" + v140 +
        "\n\nProject is ready for Visual Studio 2019\n" + heading("src/Lib/lib.vcxproj", "2019") +
        "ToolsVersion=\"15.0\"\n\nProject is ready for Visual Studio 2019\n" + heading("src/Gone/Gone.vcxproj", "2019") +
        "open(src/Gone/Gone.vcxproj)\n   ^ERROR: 2, No such file or directory\n"
        "3 projects: 2 retargeted, 0 already configured, 0 without a match, 1 failed; 0 toolset elements left unchanged\n";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(read_file_bytes(root / "src/App/App.vcxproj"), project_text("ToolsVersion=\"15.0\"", "v142"));
    EXPECT_EQ(read_file_bytes(root / "all.sln"), solution) << "projport.exe's rules leave solutions alone";

    // By the rules of projport-cli a 2019 project is already configured for
    // 2019, and the solution, which names no version, gets 2019's header.
    write_bytes(root / "src/App/App.vcxproj", project_text("ToolsVersion=\"14.0\"", "v140"));
    r = run({"2019", "all.sln"});
    EXPECT_EQ(r.out, "[all.sln]\nConfiguring solution for Visual Studio 2019\n\n"
                     "+ # Visual Studio Version 16\n+ VisualStudioVersion = 16.0\n"
                     "+ MinimumVisualStudioVersion = 10.0.40219.1\n\nSolution is ready for Visual Studio 2019\n" +
                         heading("src/App/App.vcxproj", "2019") + "ToolsVersion=\"14.0\"\n" + v140 +
                         "\n\nProject is ready for Visual Studio 2019\n" + heading("src/Lib/lib.vcxproj", "2019") +
                         "Already configured for Visual Studio 2019\n" + heading("src/Gone/Gone.vcxproj", "2019") +
                         "open(src/Gone/Gone.vcxproj)\n   ^ERROR: 2, No such file or directory\n"
                         "1 solution: 1 retargeted, 0 already naming Visual Studio 2019, 0 left as UTF-16, 0 failed\n"
                         "3 projects: 1 retargeted, 1 already configured, 0 without a match, 1 failed; "
                         "0 toolset elements left unchanged\n");
    EXPECT_EQ(r.exit_code, 2);
}

TEST_F(CliRun, CheckingWritesNothingAndExitsOneWhenAProjectWouldChange)
{
    std::string old_project = project_text("ToolsVersion=\"4.0\"", "v100");
    std::string current = project_text("ToolsVersion=\"14.0\"", "v140");
    write_bytes(root / "a/old.vcxproj", old_project);
    write_bytes(root / "b/current.vcxproj", current);
    file_stamp before = stamp_of(root / "a/old.vcxproj");

    cli_run r = run({"2015", "--check", root.string()});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("\nProject would be retargeted to Visual Studio 2015\n"), std::string::npos);
    EXPECT_NE(r.out.find("Already configured for Visual Studio 2015\n"), std::string::npos);
    EXPECT_NE(r.out.find("2 projects: 1 would be retargeted, 1 already configured, 0 without a match, 0 failed;"),
              std::string::npos);
    EXPECT_EQ(read_file_bytes(root / "a/old.vcxproj"), old_project);
    expect_untouched(before, root / "a/old.vcxproj");

    // Once retargeted, the same check passes.
    EXPECT_EQ(run({"2015", root.string()}).exit_code, 0);
    EXPECT_EQ(run({"2015", "--check", root.string()}).exit_code, 0);
    EXPECT_EQ(read_file_bytes(root / "a/old.vcxproj"), current);
}

namespace {

// Toolsets met in public projects, one configuration group each: the k-th
// element stands on line 4 + 3k.
std::vector<std::string> toolsets_in_the_wild(const std::string& sdk, const std::vector<std::string>& values)
{
    std::vector<std::string> inner{sdk_element(sdk)};
    for (std::size_t i = 0; i < values.size(); ++i)
        inner.push_back(i == 6 ? conditional_toolset_element(values[i]) : toolset_element(values[i]));
    return inner;
}

const std::vector<std::string> wild_values = {
    "v110", "V110", "v120", "v143", "v145", "v141_xp", "v143", "WindowsKernelModeDriver10.0",
    "$(DefaultPlatformToolset)", " v142 ", "v90"};

}  // namespace

TEST_F(CliRun, EveryToolsetOfTheEightRowsIsRetargetedAndTheRestListed)
{
    std::string original = project_of("DefaultTargets=\"Build\"", toolsets_in_the_wild("10.0.17763.0", wild_values));
    write_bytes(root / "p.vcxproj", original);
    const std::string conditional = conditional_toolset_element("v143");

    cli_run r = run({"2019", "p.vcxproj"});
    EXPECT_EQ(r.out, heading("p.vcxproj", "2019") + toolset_element("v110") + "\n" + toolset_element("V110") + "\n" +
                         toolset_element("v120") + "\n" + toolset_element("v143") + "\n" + toolset_element("v145") +
                         "\n\nProject is ready for Visual Studio 2019\n"
                         "  line 22: " + toolset_element("v141_xp") + " left unchanged\n"
                         "  line 25: " + conditional + " left unchanged\n"
                         "  line 37: " + toolset_element("v90") + " left unchanged\n"
                         "1 project: 1 retargeted, 0 already configured, 0 without a match, 0 failed; "
                         "3 toolset elements left unchanged\n");
    EXPECT_EQ(r.exit_code, 0);
    std::vector<std::string> as_2019 = wild_values;
    for (int i : {0, 1, 2, 3, 4})
        as_2019[static_cast<std::size_t>(i)] = "v142";
    EXPECT_EQ(read_file_bytes(root / "p.vcxproj"),
              project_of("DefaultTargets=\"Build\"", toolsets_in_the_wild("10.0.17763.0", as_2019)));

    // To 2013: a ToolsVersion goes in behind "<Project", the xp variant
    // becomes 2013's, and the blanks around a toolset do not hide it.
    write_bytes(root / "p.vcxproj", original);
    r = run({"--check", "2013", "p.vcxproj"});
    EXPECT_EQ(r.out, heading("p.vcxproj", "2013") + "+ ToolsVersion=\"12.0\"\n" + toolset_element("v110") + "\n" +
                         toolset_element("V110") + "\n" + toolset_element("v143") + "\n" + toolset_element("v145") +
                         "\n" + toolset_element("v141_xp") + "\n" + toolset_element(" v142 ") +
                         "\n\nProject would be retargeted to Visual Studio 2013\n"
                         "  line 25: " + conditional + " left unchanged\n"
                         "  line 37: " + toolset_element("v90") + " left unchanged\n"
                         "1 project: 1 would be retargeted, 0 already configured, 0 without a match, 0 failed; "
                         "2 toolset elements left unchanged\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(read_file_bytes(root / "p.vcxproj"), original);
    EXPECT_EQ(run({"2013", "p.vcxproj"}).exit_code, 0);
    std::vector<std::string> as_2013 = wild_values;
    for (int i : {0, 1, 3, 4, 9})
        as_2013[static_cast<std::size_t>(i)] = "v120";
    as_2013[5] = "v120_xp";
    EXPECT_EQ(read_file_bytes(root / "p.vcxproj"),
              project_of("ToolsVersion=\"12.0\" DefaultTargets=\"Build\"", toolsets_in_the_wild("10.0.17763.0", as_2013)));
    r = run({"2013", "--check", "p.vcxproj"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_NE(r.out.find("Already configured for Visual Studio 2013\n"), std::string::npos) << r.out;
}

TEST_F(CliRun, RetargetsTo2022And2026WithTheWindowsSdk)
{
    std::string original = project_of("DefaultTargets=\"Build\" ToolsVersion=\"15.0\"",
                                      toolsets_in_the_wild("10.0.17763.0", {"v142", "v141", "v140"}));
    for (const char* label : {"2022", "2026"}) {
        std::string toolset = std::string(label) == "2022" ? "v143" : "v145";
        write_bytes(root / "p.vcxproj", original);
        cli_run r = run({label, "--sdk", "10.0", "p.vcxproj"});
        EXPECT_EQ(r.out, heading("p.vcxproj", label) + sdk_element("10.0.17763.0") + "\n" + v142 + "\n" +
                             toolset_element("v141") + "\n" + v140 + "\n\nProject is ready for Visual Studio " + label +
                             "\n1 project: 1 retargeted, 0 already configured, 0 without a match, 0 failed; "
                             "0 toolset elements left unchanged\n");
        EXPECT_EQ(r.exit_code, 0);
        // No ToolsVersion for these versions: the project's is kept.
        EXPECT_EQ(read_file_bytes(root / "p.vcxproj"), project_of("DefaultTargets=\"Build\" ToolsVersion=\"15.0\"",
                                                             toolsets_in_the_wild("10.0", {toolset, toolset, toolset})));
        r = run({label, "--check", "--sdk=10.0", "p.vcxproj"});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_NE(r.out.find("Already configured for Visual Studio " + std::string(label)), std::string::npos);
        // Another SDK is another change.
        EXPECT_EQ(run({label, "--check", "--sdk=10.0.22621.0", "p.vcxproj"}).exit_code, 1);
    }
}

// zlib's contrib/vstudio/vc10 projects name no toolset; SDL's examples take
// theirs from a sheet, reached through $(SolutionDir).
TEST_F(CliRun, InsertionsAreCheckedAnnotatedAndMadeOnceAndSheetsAreNamed)
{
    const std::string head = "<Project DefaultTargets=\"Build\" ToolsVersion=\"4.0\">\n"
                             "  <PropertyGroup Label=\"Globals\">\n"
                             "    <ProjectGuid>{8FD826F8-3739-44E6-8CC8-997122E53B8D}</ProjectGuid>\n"
                             "  </PropertyGroup>\n"
                             "  <Import Project=\"$(VCTargetsPath)\\Microsoft.Cpp.Default.props\" />\n";
    const std::string group = "  <PropertyGroup Condition=\"'$(Configuration)'=='Debug'\" Label=\"Configuration\">\n"
                              "    <ConfigurationType>DynamicLibrary</ConfigurationType>\n"
                              "  </PropertyGroup>\n";
    write_bytes(root / "zlib/zlibvc.vcxproj", head + group + "</Project>\n");
    cli_run check = run({"2026", "--check", "--sdk", "10.0", "--annotate=github", "zlib/zlibvc.vcxproj"});
    EXPECT_EQ(check.exit_code, 1);
    EXPECT_EQ(check.out, heading("zlib/zlibvc.vcxproj", "2026") +
                             "+ <WindowsTargetPlatformVersion>10.0</WindowsTargetPlatformVersion>\n"
                             "+ <PlatformToolset>v145</PlatformToolset>\n"
                             "\nProject would be retargeted to Visual Studio 2026\n"
                             "::error file=zlib/zlibvc.vcxproj,line=3::Project would be retargeted to Visual Studio 2026\n"
                             "1 project: 1 would be retargeted, 0 already configured, 0 without a match, 0 failed; "
                             "0 toolset elements left unchanged\n");
    EXPECT_EQ(run({"2026", "--sdk", "10.0", "zlib/zlibvc.vcxproj"}).exit_code, 0);
    std::string once = read_file_bytes(root / "zlib/zlibvc.vcxproj");
    EXPECT_NE(once.find("    <WindowsTargetPlatformVersion>10.0</WindowsTargetPlatformVersion>\n  </PropertyGroup>"),
              std::string::npos);
    EXPECT_NE(once.find("    <PlatformToolset>v145</PlatformToolset>\n  </PropertyGroup>"), std::string::npos);
    cli_run again = run({"2026", "--check", "--sdk", "10.0", "zlib/zlibvc.vcxproj"});
    EXPECT_EQ(again.exit_code, 0);
    EXPECT_NE(again.out.find("Already configured for Visual Studio 2026"), std::string::npos);

    // The sheet sets toolset and SDK: nothing is inserted, and the lines say where they come from.
    write_bytes(root / "SDL/VisualC/examples/Examples.props",
                "<Project><PropertyGroup><PlatformToolset>$(DefaultPlatformToolset)</PlatformToolset>"
                "<WindowsTargetPlatformVersion>10.0</WindowsTargetPlatformVersion></PropertyGroup></Project>\n");
    std::string example = head + "  <Import Project=\"$(SolutionDir)\\examples\\Examples.props\" />\n</Project>\n";
    write_bytes(root / "SDL/VisualC/examples/game/game.vcxproj", example);
    // The solution's header names 2026 already: its entry says so.
    write_bytes(root / "SDL/VisualC/SDL.sln",
                "\xEF\xBB\xBF\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n"
                "# Visual Studio Version 18\r\nVisualStudioVersion = 18.0.11205.157\r\n"
                "MinimumVisualStudioVersion = 10.0.40219.1\r\n"
                "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"game\", \"examples\\game\\game.vcxproj\", "
                "\"{6C1F6F5E-2B7A-4F0E-9A55-3D2B9C1E7A40}\"\r\nEndProject\r\n");
    cli_run sheet = run({"2026", "--check", "--sdk", "10.0", "SDL/VisualC/SDL.sln"});
    EXPECT_EQ(sheet.exit_code, 0);
    EXPECT_EQ(sheet.out, "[SDL/VisualC/SDL.sln]\nConfiguring solution for Visual Studio 2026\n\n"
                         "Solution already names Visual Studio 2026\n" +
                             heading("SDL/VisualC/examples/game/game.vcxproj", "2026") +
                             "toolset set in SDL/VisualC/examples/Examples.props\n"
                             "Windows SDK set in SDL/VisualC/examples/Examples.props\n"
                             "Already configured for Visual Studio 2026\n"
                             "1 solution: 0 would be retargeted, 1 already naming Visual Studio 2026, "
                             "0 left as UTF-16, 0 failed\n"
                             "1 project: 0 would be retargeted, 1 already configured, 0 without a match, 0 failed; "
                             "0 toolset elements left unchanged\n");
    // Named on its own, the project has no $(SolutionDir): its SDK goes in.
    cli_run alone = run({"2026", "--check", "--sdk", "10.0", "SDL/VisualC/examples/game/game.vcxproj"});
    EXPECT_EQ(alone.exit_code, 0);
    EXPECT_NE(alone.out.find("could not find a match"), std::string::npos);

    // An inserted rung moves the lines below it: under --check the lines listed
    // are those of the file as it stands, after the rewrite those of the new file.
    const std::string listed = "<PlatformToolset Condition=\"'$(Platform)'=='x64'\">v120</PlatformToolset>";
    write_bytes(root / "hidapi.vcxproj",
                "<Project>\n  <PropertyGroup Label=\"Configuration\" Condition=\"x\">\n"
                "    <PlatformToolset Condition=\"'$(VisualStudioVersion)'=='17'\">v143</PlatformToolset>\n"
                "  </PropertyGroup>\n  <PropertyGroup>\n    " + listed + "\n  </PropertyGroup>\n</Project>\n");
    cli_run checked = run({"2026", "--check", "--annotate=github", "hidapi.vcxproj"});
    EXPECT_NE(checked.out.find("  line 6: " + listed + " left unchanged\n"), std::string::npos) << checked.out;
    EXPECT_NE(checked.out.find("::error file=hidapi.vcxproj,line=3::"), std::string::npos) << checked.out;
    EXPECT_NE(checked.out.find("::warning file=hidapi.vcxproj,line=6::"), std::string::npos) << checked.out;
    cli_run rewritten = run({"2026", "hidapi.vcxproj"});
    EXPECT_NE(rewritten.out.find("  line 7: " + listed + " left unchanged\n"), std::string::npos) << rewritten.out;

    // A minimum above the SDK asked for keeps the SDK, and says so.
    write_bytes(root / "min.vcxproj",
                "<Project>\n  <PropertyGroup Label=\"Globals\">\n"
                "    <WindowsTargetPlatformVersion>10.0.22621.0</WindowsTargetPlatformVersion>\n"
                "    <WindowsTargetPlatformMinVersion>10.0.22000.0</WindowsTargetPlatformMinVersion>\n"
                "  </PropertyGroup>\n</Project>\n");
    cli_run minimum = run({"2026", "--check", "--sdk", "10.0.19041.0", "min.vcxproj"});
    EXPECT_EQ(minimum.exit_code, 0);
    EXPECT_EQ(minimum.out, heading("min.vcxproj", "2026") +
                               "Windows SDK kept: minimum version 10.0.22000.0 is above 10.0.19041.0\n"
                               "could not find a match\n"
                               "1 project: 0 would be retargeted, 0 already configured, 1 without a match, 0 failed; "
                               "0 toolset elements left unchanged\n");

    // Directory.Build.props above the project sets the SDK.
    write_bytes(root / "repo/Directory.Build.props",
                "<Project><PropertyGroup><WindowsTargetPlatformVersion>10.0.22621.0</WindowsTargetPlatformVersion>"
                "</PropertyGroup></Project>\n");
    write_bytes(root / "repo/src/zlibvc.vcxproj", head + group + "</Project>\n");
    cli_run props = run({"2026", "--sdk", "10.0", "repo/src/zlibvc.vcxproj"});
    EXPECT_EQ(props.out, heading("repo/src/zlibvc.vcxproj", "2026") + "+ <PlatformToolset>v145</PlatformToolset>\n" +
                             "Windows SDK set in repo/Directory.Build.props\n"
                             "\nProject is ready for Visual Studio 2026\n"
                             "1 project: 1 retargeted, 0 already configured, 0 without a match, 0 failed; "
                             "0 toolset elements left unchanged\n");
}

TEST_F(CliRun, LeftUnchangedLinesAreThoseOfTheFileAsItStands)
{
    // An SDK element over three lines becomes one: the elements behind it
    // move up two lines in the rewritten file, not in the checked one.
    std::string original = project_head("ToolsVersion=\"15.0\"") +
                           configuration_group("<WindowsTargetPlatformVersion>\r\n      10.0.17763.0\r\n    "
                                               "</WindowsTargetPlatformVersion>") +
                           configuration_group(toolset_element("v110")) + configuration_group(toolset_element("v141_xp")) +
                           std::string(project_tail);
    write_bytes(root / "p.vcxproj", original);
    cli_run r = run({"2019", "--check", "--sdk", "10.0", "p.vcxproj"});
    EXPECT_NE(r.out.find("\nProject would be retargeted to Visual Studio 2019\n"
                         "  line 12: <PlatformToolset>v141_xp</PlatformToolset> left unchanged\n"),
              std::string::npos)
        << r.out;
    r = run({"2019", "--sdk", "10.0", "p.vcxproj"});
    EXPECT_NE(r.out.find("\nProject is ready for Visual Studio 2019\n"
                         "  line 10: <PlatformToolset>v141_xp</PlatformToolset> left unchanged\n"),
              std::string::npos)
        << r.out;

    // projport.exe's rules repeat the line feed behind the project element's
    // start in front of an inserted ToolsVersion: one line more behind it.
    std::string newline_behind = "<Project DefaultTargets=\"Build\"\n  xmlns=\"x\">\n" +
                                 configuration_group(v140) + configuration_group(toolset_element("v110")) + "</Project>\n";
    write_bytes(root / "q.vcxproj", newline_behind);
    r = run({"2010", "--as-projport", "--check", "--annotate=github", "q.vcxproj"});
    EXPECT_NE(r.out.find("  line 7: <PlatformToolset>v110</PlatformToolset> left unchanged\n"
                         "::error file=q.vcxproj,line=1::Project would be retargeted to Visual Studio 2010\n"
                         "::warning file=q.vcxproj,line=7::<PlatformToolset>v110</PlatformToolset> left unchanged\n"),
              std::string::npos)
        << r.out;
    r = run({"2010", "--as-projport", "q.vcxproj"});
    EXPECT_NE(r.out.find("  line 8: <PlatformToolset>v110</PlatformToolset> left unchanged\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(read_file_bytes(root / "q.vcxproj").rfind("<Project DefaultTargets=\"Build\"\nToolsVersion=\"4.0\"\n  xmlns", 0), 0u);
}

TEST_F(CliRun, AConvertedTextEqualToTheFileIsNeverWritten)
{
    // projport.exe's rules "replace" the ToolsVersion="15.0" a 2017 and a
    // 2019 project share: the report says so, the file is left alone.
    std::string project_2019 = project_text("DefaultTargets=\"Build\" ToolsVersion=\"15.0\"", "v142");
    write_bytes(root / "p.vcxproj", project_2019);
    age(root / "p.vcxproj");
    file_stamp before = stamp_of(root / "p.vcxproj");
    cli_run r = run({"2019", "--as-projport", "p.vcxproj"});
    EXPECT_EQ(r.out, heading("p.vcxproj", "2019") + "ToolsVersion=\"15.0\"\n\nProject is ready for Visual Studio 2019\n"
                                                    "1 project: 1 retargeted, 0 already configured, 0 without a match, "
                                                    "0 failed; 0 toolset elements left unchanged\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(read_file_bytes(root / "p.vcxproj"), project_2019);
    expect_untouched(before, root / "p.vcxproj");

    r = run({"2019", "p.vcxproj"});
    EXPECT_NE(r.out.find("Already configured for Visual Studio 2019\n"), std::string::npos);
    r = run({"2022", "p.vcxproj", "--sdk", "8.1"});  // no SDK element: nothing is added
    EXPECT_NE(r.out.find("Project is ready for Visual Studio 2022"), std::string::npos);
    write_bytes(root / "p.vcxproj", project_text("", "ClangCL"));
    age(root / "p.vcxproj");
    before = stamp_of(root / "p.vcxproj");
    r = run({"2026", "p.vcxproj", "--sdk", "8.1"});
    EXPECT_NE(r.out.find("could not find a match\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.exit_code, 0);
    expect_untouched(before, root / "p.vcxproj");
}

TEST_F(CliRun, AnnotationsFollowEachReportWithTheirTextsEscaped)
{
    // A path with ':', ',' and '%', and an element over lines with a '%':
    // its line ends are shown escaped, in its line and in its annotation.
    std::string spanning = "<PlatformToolset>\r\n v110_xp%\r\n</PlatformToolset>";
    std::string shown = "<PlatformToolset>\\x0D\\x0A v110_xp%\\x0D\\x0A</PlatformToolset>";
    write_bytes(root / "we:ird,dir%20/p.vcxproj",
                project_of("ToolsVersion=\"15.0\"", {"<ProjectGuid>{1}</ProjectGuid>", v140, spanning}));
    write_bytes(root / "empty.vcxproj", "");
    cli_run r = run({"2019", "--check", "--annotate=github", "we:ird,dir%20/p.vcxproj", "gone:1.vcxproj",
                     "no,thing.sln", "empty.vcxproj"});
    const std::string file = "we%3Aird%2Cdir%2520/p.vcxproj";
    EXPECT_EQ(r.out, heading("we:ird,dir%20/p.vcxproj", "2019") + v140 +
                         "\n\nProject would be retargeted to Visual Studio 2019\n"
                         "  line 10: " + shown + " left unchanged\n"
                         "::error file=" + file + ",line=7::Project would be retargeted to Visual Studio 2019\n"
                         "::warning file=" + file + ",line=10::<PlatformToolset>\\x0D\\x0A v110_xp%25\\x0D\\x0A</PlatformToolset>"
                         " left unchanged\n" +
                         heading("gone:1.vcxproj", "2019") +
                         "open(gone:1.vcxproj)\n   ^ERROR: 2, No such file or directory\n"
                         "::error file=gone%3A1.vcxproj::open(gone:1.vcxproj) failed: No such file or directory\n"
                         "open(no,thing.sln)\n   ^ERROR: 2, No such file or directory\n"
                         "::error file=no%2Cthing.sln::open(no,thing.sln) failed: No such file or directory\n" +
                         heading("empty.vcxproj", "2019") +
                         "the project file is empty\n"
                         "::error file=empty.vcxproj::the project file is empty\n"
                         "4 projects: 1 would be retargeted, 0 already configured, 0 without a match, 3 failed; "
                         "1 toolset element left unchanged\n");
    EXPECT_EQ(r.exit_code, 2);

    // Rewriting: no error for the change, the warnings with the new lines.
    r = run({"2019", "--annotate=github", "we:ird,dir%20/p.vcxproj"});
    EXPECT_NE(r.out.find("\nProject is ready for Visual Studio 2019\n  line 10: "), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("::error"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("::warning file=" + file + ",line=10::"), std::string::npos) << r.out;
    EXPECT_EQ(run({"2019", "we:ird,dir%20/p.vcxproj"}).out.find("::"), std::string::npos) << "only when asked";
}

TEST_F(CliRun, AzureAnnotationsNameEachFileByItsAbsolutePath)
{
    // A path with ';', ']' and '%', and an element over lines with a '%'.
    std::string spanning = "<PlatformToolset>\r\n v110_xp%\r\n</PlatformToolset>";
    std::string shown = "<PlatformToolset>\\x0D\\x0A v110_xp%\\x0D\\x0A</PlatformToolset>";
    write_bytes(root / "we;ird]dir%20/p.vcxproj",
                project_of("ToolsVersion=\"15.0\"", {"<ProjectGuid>{1}</ProjectGuid>", v140, spanning}));
    write_bytes(root / "empty.vcxproj", "");
    cli_run r = run({"2019", "--check", "--annotate=azure", "./we;ird]dir%20/../we;ird]dir%20/p.vcxproj",
                     "gone;1.vcxproj", "empty.vcxproj"});
    const std::string here = fs::canonical(root).string();
    const std::string file = here + "/we%3Bird%5Ddir%AZP2520/p.vcxproj";
    EXPECT_EQ(r.out, heading("./we;ird]dir%20/../we;ird]dir%20/p.vcxproj", "2019") + v140 +
                         "\n\nProject would be retargeted to Visual Studio 2019\n"
                         "  line 10: " + shown + " left unchanged\n"
                         "##vso[task.logissue type=error;sourcepath=" + file + ";linenumber=7;]"
                         "Project would be retargeted to Visual Studio 2019\n"
                         "##vso[task.logissue type=warning;sourcepath=" + file + ";linenumber=10;]"
                         "<PlatformToolset>\\x0D\\x0A v110_xp%AZP25\\x0D\\x0A</PlatformToolset> left unchanged\n" +
                         heading("gone;1.vcxproj", "2019") +
                         "open(gone;1.vcxproj)\n   ^ERROR: 2, No such file or directory\n"
                         "##vso[task.logissue type=error;sourcepath=" + here + "/gone%3B1.vcxproj;]"
                         "open(gone;1.vcxproj) failed: No such file or directory\n" +
                         heading("empty.vcxproj", "2019") +
                         "the project file is empty\n"
                         "##vso[task.logissue type=error;sourcepath=" + here + "/empty.vcxproj;]"
                         "the project file is empty\n"
                         "3 projects: 1 would be retargeted, 0 already configured, 0 without a match, 2 failed; "
                         "1 toolset element left unchanged\n");
    // The exit code fails the step: no task.complete is needed.
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out.find("task.complete"), std::string::npos);
    r = run({"2019", "--check", "--annotate=azure", "we;ird]dir%20/p.vcxproj"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out.find("task.complete"), std::string::npos);
    r = run({"2019", "--check", "--annotate=azure", "--annotate=github", "we;ird]dir%20/p.vcxproj"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_NE(r.err.find("--annotate given twice"), std::string::npos) << r.err;
}

TEST_F(CliRun, ARunWhoseOnlyFailureIsItsSolutionExitsTwo)
{
    cli_run r = run({"2019", "--check", "nothing.sln"});
    EXPECT_EQ(r.out, "open(nothing.sln)\n   ^ERROR: 2, No such file or directory\n"
                     "1 project: 0 would be retargeted, 0 already configured, 0 without a match, 1 failed; "
                     "0 toolset elements left unchanged\n");
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(run({"2019", "nothing-here"}).exit_code, 2);
}

TEST_F(CliRun, AnUnreadableSolutionOrAMissingPathFailsTheRunWhichGoesOn)
{
    write_bytes(root / "p.vcxproj", project_text("", "v140"));
    cli_run r = run({"2019", "missing.sln", "p.vcxproj", "nothing-here"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.out.rfind("open(missing.sln)\n   ^ERROR: 2, No such file or directory\n", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(heading("p.vcxproj", "2019")), std::string::npos);
    EXPECT_NE(r.out.find("open(nothing-here)\n   ^ERROR: 2,"), std::string::npos);
    EXPECT_NE(r.out.find("3 projects: 1 retargeted, 0 already configured, 0 without a match, 2 failed;"),
              std::string::npos)
        << r.out;
}

TEST_F(CliRun, AFailedStandardOutputStopsTheRunAfterTheProjectInHand)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full on this system";
    std::string old_text = project_text("ToolsVersion=\"14.0\"", "v140");
    write_bytes(root / "a.vcxproj", old_text);
    write_bytes(root / "b.vcxproj", old_text);
    cli_run r = run({"2019", "--jobs", "1", "a.vcxproj", "b.vcxproj"}, {}, "/dev/full");
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "projport-cli: write(standard output) failed: No space left on device\n");
    EXPECT_EQ(read_file_bytes(root / "a.vcxproj"), project_text("ToolsVersion=\"15.0\"", "v142"));
    EXPECT_EQ(read_file_bytes(root / "b.vcxproj"), old_text) << "the run went on";

    // Nothing to rewrite, nothing failed but the output: still exit code 2.
    r = run({"2019", "--check", "a.vcxproj"}, {}, "/dev/full");
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(run({"--help"}, {}, "/dev/full").exit_code, 2);
    EXPECT_EQ(run({"2019", "--check", "nothing.sln"}, {}, "/dev/full").exit_code, 2);
}

// A signal that arrives while a project is written and reported ends the run
// after that project, with the summary, and exit code 128 + its number. The
// report goes into a pipe not read until the signal is sent: the program is
// then held in writing it, after the project was replaced.
TEST_F(CliRun, ASignalHeldDuringARewriteEndsTheRunAfterIt)
{
    std::string many;
    for (int i = 0; i < 3000; ++i)
        many += "    " + toolset_element("v110_xp") + "\r\n";
    std::string original = project_head("ToolsVersion=\"14.0\"") + configuration_group(v140) + many +
                           std::string(project_tail);
    std::string converted = project_head("ToolsVersion=\"15.0\"") + configuration_group(v142) + many +
                            std::string(project_tail);
    for (int signal_number : {SIGTERM, SIGUSR1}) {
        SCOPED_TRACE(signal_number);
        write_bytes(root / "a.vcxproj", original);
        write_bytes(root / "b.vcxproj", original);
        int pipe_ends[2];
        ASSERT_EQ(pipe(pipe_ends), 0);
        (void)fcntl(pipe_ends[0], F_SETFD, FD_CLOEXEC);
        (void)fcntl(pipe_ends[1], F_SETFD, FD_CLOEXEC);
#ifdef F_SETPIPE_SZ
        (void)fcntl(pipe_ends[1], F_SETPIPE_SZ, 4096);  // the report is far more than a pipe holds
#endif
        posix_child_options options = cli_options(".out", ".err");
        options.output_file.clear();
        options.output_fd = pipe_ends[1];
        posix_child child = start_cli({"2019", "--jobs", "1", "a.vcxproj", "b.vcxproj"}, options);
        close(pipe_ends[1]);
        bool replaced = false;
        for (int tries = 0; tries < 3000 && !replaced; ++tries) {
            replaced = read_file_bytes(root / "a.vcxproj") == converted;
            if (!replaced)
                usleep(10000);
        }
        EXPECT_TRUE(replaced);
        EXPECT_EQ(kill(child.pid, signal_number), 0);
        std::string out;
        char chunk[65536];
        for (ssize_t got; (got = read(pipe_ends[0], chunk, sizeof chunk)) > 0;)
            out.append(chunk, static_cast<std::size_t>(got));
        close(pipe_ends[0]);
        EXPECT_EQ(end_code(wait_cli(child, 60000)), 128 + signal_number);
        EXPECT_EQ(read_file_bytes(root / "b.vcxproj"), original) << "no project after the held signal";
        std::string summary = "1 project: 1 retargeted, 0 already configured, 0 without a match, 0 failed; "
                              "3000 toolset elements left unchanged\n";
        ASSERT_GE(out.size(), summary.size());
        EXPECT_EQ(out.substr(out.size() - summary.size()), summary);
        EXPECT_EQ(out.find(heading("b.vcxproj", "2019")), std::string::npos);
    }
}

TEST_F(CliRun, AProjectReachedTwiceIsConvertedOnce)
{
    write_bytes(root / "p/p.vcxproj", project_text("ToolsVersion=\"14.0\"", "v140"));
    std::string sln = "Microsoft Visual Studio Solution File, Format Version 12.00\r\n"
                      "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"p\", \"p\\p.vcxproj\", \"{1}\"\r\nEndProject\r\n";
    write_bytes(root / "one.sln", sln);
    write_bytes(root / "two.slnx", "<Solution>\r\n  <Folder Name=\"/x/\">\r\n    <Project Path=\"p\\P.VCXPROJ\" />\r\n"
                                   "  </Folder>\r\n</Solution>\r\n");
    cli_run r = run({"2010", "p/p.vcxproj", "one.sln", "two.slnx", "p"});
    EXPECT_NE(r.out.find("1 project: 1 retargeted"), std::string::npos) << r.out;
    EXPECT_EQ(r.exit_code, 0);
}

TEST_F(CliRun, UsageErrorsGoToStandardErrorWithExitCodeTwo)
{
    for (std::vector<std::string> arguments : std::vector<std::vector<std::string>>{
             {}, {"2019"}, {"2019abc", "p.vcxproj"}, {"2019", "--fast", "p.vcxproj"}, {"2022", "--as-projport", "p"},
             {"2019", "--as-projport", "--sdk", "10.0", "p"}, {"2022", "--sdk", "10", "p"}, {"2022", "p", "--sdk"},
             {"2019", "--check", "--check", "p"}, {"2019", "--annotate=gitlab", "p"}}) {
        write_bytes(root / "p", project_text("ToolsVersion=\"14.0\"", "v140"));
        cli_run r = run(arguments);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(r.err.rfind("projport-cli: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find("usage: projport-cli <2010|2012|2013|2015|2017|2019|2022|2026> [--check] [--sdk VERSION]"),
                  std::string::npos);
        EXPECT_EQ(read_file_bytes(root / "p"), project_text("ToolsVersion=\"14.0\"", "v140"));
    }
    cli_run help = run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_TRUE(help.err.empty());
    EXPECT_EQ(help.out.rfind("usage: projport-cli", 0), 0u);
    EXPECT_EQ(run({"--version"}).out.rfind("projport-cli ", 0), 0u);
}

using CliFullDisk = cli_fixture;

// A file system with no room left, mounted by the test command when it can
// (PROJPORT_SMALL_FS): the project must grow, and keeps every byte when it cannot.
TEST_F(CliFullDisk, AProjectThatCannotGrowKeepsEveryByte)
{
    const char* small = std::getenv("PROJPORT_SMALL_FS");
    if (!small || !*small)
        GTEST_SKIP() << "no small file system: set PROJPORT_SMALL_FS to an empty tmpfs of 64 KiB or so";
    fs::path dir = fs::path(small) / "cli-full";
    fs::create_directories(dir);
    struct cleanup {
        std::string dir;
        ~cleanup() { remove_tree(dir); }
    } remove_later{dir.string()};
    temp_dir output_folder;
    ASSERT_TRUE(output_folder.made());

    // Retargeting to 2010 inserts a ToolsVersion, so the file must grow, and
    // it fills its last page to the end, so growing needs a page more.
    std::string frame = project_of("", {v140});
    std::string text = project_of("", {std::string(5 * 4096 - frame.size(), ' ') + v140});
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
    fs::path out = output_folder.file("out");
    posix_child_options options;
    options.output_file = out.string();
    options.error_file = output_folder.file("err");
    posix_child_end end = run_cli({"2010", (dir / "p.vcxproj").string()}, options);
    std::string printed = read_file_bytes(out);
    EXPECT_EQ(end_code(end), 2);
    EXPECT_EQ(read_file_bytes(dir / "p.vcxproj"), text);
    EXPECT_NE(printed.find("(" + (dir / "p.vcxproj").string() + ")\n   ^ERROR: 28, "), std::string::npos) << printed;
    EXPECT_EQ(printed.find("Project is ready"), std::string::npos);
    EXPECT_NE(printed.find("1 failed"), std::string::npos);
}

// What the README shows of the sample solution.
TEST_F(CliRun, TheSampleSolutionIsRetargetedAndThenPassesItsCheck)
{
    fs::copy(fs::path(PROJPORT_SOURCE_DIR) / "samples/game", root / "game", fs::copy_options::recursive);
    fs::path game = root / "game";
    cli_run before = run({"2019", "--check", "MyGame.sln"}, game);
    EXPECT_EQ(before.exit_code, 1);
    // Its solution names Visual Studio 2015 and has no byte order mark.
    std::string solution = read_file_bytes(game / "MyGame.sln");
    const std::string old_header = "\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n"
                                   "# Visual Studio 14\r\nVisualStudioVersion = 14.0.25420.1\r\n";
    ASSERT_EQ(solution.rfind(old_header, 0), 0u);
    std::string projects = solution.substr(old_header.size());
    cli_run r = run({"2019", "MyGame.sln"}, game);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, "[MyGame.sln]\nConfiguring solution for Visual Studio 2019\n\n+ UTF-8 byte order mark\n"
                     "# Visual Studio 14\nVisualStudioVersion = 14.0.25420.1\n\n"
                     "Solution is ready for Visual Studio 2019\n" +
                         heading("Engine/Engine.vcxproj", "2019") + "ToolsVersion=\"14.0\"\n" + v140 + "\n" + v140 +
                         "\n\nProject is ready for Visual Studio 2019\n"
                         "  line 39: <PlatformToolset>v140_xp</PlatformToolset> left unchanged\n" +
                         heading("Audio/Audio.vcxproj", "2019") + toolset_element("v143") + "\n" +
                         toolset_element("v143") + "\n\nProject is ready for Visual Studio 2019\n" +
                         heading("Compress/Compress.vcxproj", "2019") +
                         "ToolsVersion=\"4.0\"\n+ <PlatformToolset>v142</PlatformToolset>\n"
                         "+ <PlatformToolset>v142</PlatformToolset>\n\nProject is ready for Visual Studio 2019\n" +
                         heading("Tools/Packer/Packer.vcxproj", "2019") +
                         "ToolsVersion=\"Current\"\n\nProject is ready for Visual Studio 2019\n"
                         "1 solution: 1 retargeted, 0 already naming Visual Studio 2019, 0 left as UTF-16, 0 failed\n"
                         "4 projects: 4 retargeted, 0 already configured, 0 without a match, 0 failed; "
                         "1 toolset element left unchanged\n");
    EXPECT_EQ(read_file_bytes(game / "MyGame.sln"), "\xEF\xBB\xBF\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n"
                                               "# Visual Studio Version 16\r\nVisualStudioVersion = 16.0\r\n" +
                                                   projects);
    cli_run after = run({"2019", "--check", "MyGame.sln"}, game);
    EXPECT_EQ(after.exit_code, 0) << after.out;
    EXPECT_NE(after.out.find("[MyGame.sln]\nConfiguring solution for Visual Studio 2019\n\n"
                             "Solution already names Visual Studio 2019\n"),
              std::string::npos)
        << after.out;

    r = run({"2026", "--sdk", "10.0", "MyGame.sln"}, game);
    EXPECT_EQ(r.exit_code, 0);
    // The ladder gets its rung for 2026, and is no longer listed.
    EXPECT_NE(r.out.find(heading("Audio/Audio.vcxproj", "2026") +
                         "<WindowsTargetPlatformVersion>10.0.19041.0</WindowsTargetPlatformVersion>\n" + v142 + "\n" +
                         v142 +
                         "\n+ <PlatformToolset Condition=\"'$(VisualStudioVersion)' == '18.0'\">v145</PlatformToolset>\n"
                         "\nProject is ready for Visual Studio 2026\n[Compress"),
              std::string::npos)
        << r.out;
    // The projects without an SDK element get one.
    EXPECT_NE(r.out.find(heading("Tools/Packer/Packer.vcxproj", "2026") +
                         "+ <WindowsTargetPlatformVersion>10.0</WindowsTargetPlatformVersion>\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.rfind("[MyGame.sln]\nConfiguring solution for Visual Studio 2026\n\n# Visual Studio Version 16\n"
                          "VisualStudioVersion = 16.0\n\nSolution is ready for Visual Studio 2026\n[Engine/",
                          0),
              0u)
        << r.out;
    EXPECT_EQ(read_file_bytes(game / "MyGame.sln"), "\xEF\xBB\xBF\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n"
                                               "# Visual Studio Version 18\r\nVisualStudioVersion = 18.0\r\n" +
                                                   projects);
    EXPECT_EQ(run({"2026", "--sdk", "10.0", "--check", "MyGame.sln"}, game).exit_code, 0);
}

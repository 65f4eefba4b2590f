// projport-cli.exe started from a prompt on a small tree with a solution:
// its report on the console and in a file, the projects it leaves, and the
// same bytes as projport.exe writes.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/small_projects.h"
#include "support/child_process.h"
#include "support/cli_fixture.h"
#include "support/console_screen.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace {

// A toolset of the table, and one whose condition holds a '>': never
// rewritten, only listed.
const std::string project_2010_and_conditional =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Project DefaultTargets=\"Build\" ToolsVersion=\"4.0\">\r\n"
    "  <PlatformToolset>v110</PlatformToolset>\r\n"
    "  <PlatformToolset Condition=\"'$(VisualStudioVersion)' >= '17.0'\">v143</PlatformToolset>\r\n"
    "  <WindowsTargetPlatformVersion>8.1</WindowsTargetPlatformVersion>\r\n"
    "</Project>\r\n";

// Written by a generator: no comment line, no version lines, no byte order
// mark. Retargeted, it gets all four.
const std::string solution_projects =
    "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"App\", \"app\\App.vcxproj\", \"{1}\"\r\n"
    "EndProject\r\n"
    "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"Old\", \"Old\\old.vcxproj\", \"{2}\"\r\n"
    "EndProject\r\n";
const std::string format_line = "Microsoft Visual Studio Solution File, Format Version 12.00\r\n";

// Holds a handle the child inherits, closed at the end of the scope.
struct inherited_handle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~inherited_handle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

std::string utf8(const std::wstring& text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

class CliOnWindows : public cli_fixture {
protected:
    // A folder name outside ASCII, as many users' profiles have.
    std::wstring tree = folder.file(L"s\u00f6lution \u00e9");

    void SetUp() override
    {
        cli_fixture::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((tree + L"\\App").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((tree + L"\\Old").c_str(), nullptr));
        ASSERT_TRUE(write_file_bytes(tree + L"\\App\\App.vcxproj", project_2015));
        ASSERT_TRUE(write_file_bytes(tree + L"\\Old\\old.vcxproj", project_2010_and_conditional));
        ASSERT_TRUE(write_file_bytes(tree + L"\\all.sln", format_line + solution_projects));
    }

    // `app` is the project's folder as the CLI opened it: as the solution
    // writes it, or as the folder walk found it.
    std::wstring expected_report(const std::wstring& app) const
    {
        return L"[" + tree + L"\\" + app + L"\\App.vcxproj]\nConfiguring project for Visual Studio 2019\n\n"
               L"ToolsVersion=\"14.0\"\n<PlatformToolset>v140</PlatformToolset>\n\n"
               L"Project is ready for Visual Studio 2019\n"
               L"[" + tree + L"\\Old\\old.vcxproj]\nConfiguring project for Visual Studio 2019\n\n"
               L"ToolsVersion=\"4.0\"\n<PlatformToolset>v110</PlatformToolset>\n\n"
               L"Project is ready for Visual Studio 2019\n"
               L"  line 4: <PlatformToolset Condition=\"'$(VisualStudioVersion)' >= '17.0'\">v143</PlatformToolset>"
               L" left unchanged\n"
               L"2 projects: 2 retargeted, 0 already configured, 0 without a match, 0 failed; "
               L"1 toolset element left unchanged\n";
    }
};

std::string with_crlf(std::string text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

}  // namespace

TEST_F(CliOnWindows, RedirectedToAFileTheReportIsUtf8WithCrLf)
{
    std::string report;
    DWORD code = run_cli_into_file(L"2019 " + quote_argument(tree + L"\\all.sln"), report);
    EXPECT_EQ(code, 0u);
    std::wstring expected = L"[" + tree + L"\\all.sln]\nConfiguring solution for Visual Studio 2019\n\n"
                            L"+ UTF-8 byte order mark\n+ # Visual Studio Version 16\n+ VisualStudioVersion = 16.0\n"
                            L"+ MinimumVisualStudioVersion = 10.0.40219.1\n\nSolution is ready for Visual Studio 2019\n" +
                            expected_report(L"app");
    expected.insert(expected.find(L"2 projects: "),
                    L"1 solution: 1 retargeted, 0 already naming Visual Studio 2019, 0 left as UTF-16, 0 failed\n");
    EXPECT_EQ(report, with_crlf(utf8(expected)));
    EXPECT_EQ(read_file_bytes(tree + L"\\App\\App.vcxproj"), project_2019);
    EXPECT_EQ(read_file_bytes(tree + L"\\all.sln"), "\xEF\xBB\xBF" + format_line +
                                                       "# Visual Studio Version 16\r\nVisualStudioVersion = 16.0\r\n"
                                                       "MinimumVisualStudioVersion = 10.0.40219.1\r\n" +
                                                       solution_projects);
}

// A solution with the read-only attribute, as version control leaves one not
// checked out, fails and keeps its bytes; its projects are still done.
TEST_F(CliOnWindows, AReadOnlySolutionIsNotWritten)
{
    ASSERT_TRUE(SetFileAttributesW((tree + L"\\all.sln").c_str(), FILE_ATTRIBUTE_READONLY));
    std::string report;
    DWORD code = run_cli_into_file(L"2019 " + quote_argument(tree + L"\\all.sln"), report);
    EXPECT_EQ(code, 2u);
    EXPECT_NE(report.find("open(" + utf8(tree) + "\\all.sln)\r\n   ^ERROR: 5, "), std::string::npos) << report;
    EXPECT_NE(report.find("0 left as UTF-16, 1 failed\r\n2 projects: 2 retargeted,"), std::string::npos) << report;
    EXPECT_EQ(read_file_bytes(tree + L"\\all.sln"), format_line + solution_projects);
    EXPECT_EQ(read_file_bytes(tree + L"\\App\\App.vcxproj"), project_2019);
}

TEST_F(CliOnWindows, OnTheConsoleTheReportReadsAsOnAnyConsole)
{
    ASSERT_TRUE(open_own_console());
    HANDLE screen = open_console_output();
    ASSERT_NE(screen, INVALID_HANDLE_VALUE);
    clear_screen(screen);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    inherited_handle console;
    console.handle = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(console.handle, INVALID_HANDLE_VALUE);
    DWORD code = run_cli_with_output(L"2019 --check " + quote_argument(tree), console.handle);
    EXPECT_EQ(code, 1u);
    std::wstring expected = expected_report(L"App");
    for (std::wstring::size_type at; (at = expected.find(L"Project is ready for")) != std::wstring::npos;)
        expected.replace(at, 20, L"Project would be retargeted to");
    expected.replace(expected.find(L"2 retargeted"), 12, L"2 would be retargeted");
    EXPECT_EQ(screen_text(screen), expected);
    EXPECT_EQ(read_file_bytes(tree + L"\\App\\App.vcxproj"), project_2015) << "--check writes nothing";
    CloseHandle(screen);
}

TEST_F(CliOnWindows, AsProjportRewritesEveryProjectByteForByteAsProjportDoes)
{
    const std::string projects[] = {project_2015, project_2010_and_conditional, project_2019};
    for (const char* version : {"2010", "2015", "2017", "2019"}) {
        for (const std::string& bytes : projects) {
            std::wstring by_cli = folder.file(L"cli.vcxproj"), by_gui = folder.file(L"gui.vcxproj");
            ASSERT_TRUE(write_file_bytes(by_cli, bytes));
            ASSERT_TRUE(write_file_bytes(by_gui, bytes));
            std::wstring label(version, version + 4);
            SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
            inherited_handle out;
            out.handle = CreateFileW(L"NUL", GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr);
            EXPECT_EQ(run_cli_with_output(label + L" --as-projport " + quote_argument(by_cli), out.handle),
                      0u);
            child_result gui = run_detached(quote_argument(sibling_program(L"projport.exe")) + L" " + label + L" " +
                                            quote_argument(by_gui) + L" -s");
            EXPECT_TRUE(gui.finished);
            EXPECT_EQ(read_file_bytes(by_cli), read_file_bytes(by_gui)) << version;
        }
    }
}

TEST_F(CliOnWindows, AnnotationsNameTheDriveAndTheSdkIsRetargeted)
{
    std::string report;
    DWORD code = run_cli_into_file(
        L"2026 --check --sdk 10.0 --annotate=github " + quote_argument(tree + L"\\Old\\old.vcxproj"), report);
    EXPECT_EQ(code, 1u);
    // The path as printed, its drive's ':' escaped in the property.
    std::string path = utf8(tree + L"\\Old\\old.vcxproj");
    std::string escaped;
    for (char c : path)
        escaped += c == ':' ? std::string("%3A") : std::string(1, c);
    EXPECT_NE(report.find("<PlatformToolset>v110</PlatformToolset>\r\n"
                          "<WindowsTargetPlatformVersion>8.1</WindowsTargetPlatformVersion>\r\n\r\n"
                          "Project would be retargeted to Visual Studio 2026\r\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("::error file=" + escaped + ",line=3::Project would be retargeted to Visual Studio 2026\r\n"
                          "::warning file=" + escaped + ",line=4::<PlatformToolset Condition=\"'$(VisualStudioVersion)' "
                          ">= '17.0'\">v143</PlatformToolset> left unchanged\r\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(read_file_bytes(tree + L"\\Old\\old.vcxproj"), project_2010_and_conditional);
}

// Azure takes the project by its full path with backslashes, however the
// command line wrote it.
TEST_F(CliOnWindows, AzureAnnotationsNameTheProjectByItsFullPath)
{
    std::string report;
    DWORD code = run_cli_into_file(
        L"2026 --check --annotate=azure " + quote_argument(tree + L"\\App\\..\\Old/old.vcxproj"), report);
    EXPECT_EQ(code, 1u);
    std::string full = utf8(tree + L"\\Old\\old.vcxproj");
    EXPECT_NE(report.find("##vso[task.logissue type=error;sourcepath=" + full +
                          ";linenumber=3;]Project would be retargeted to Visual Studio 2026\r\n"
                          "##vso[task.logissue type=warning;sourcepath=" + full +
                          ";linenumber=4;]<PlatformToolset Condition=\"'$(VisualStudioVersion)' >= '17.0'\">v143"
                          "</PlatformToolset> left unchanged\r\n"),
              std::string::npos)
        << report;
    EXPECT_EQ(report.find("::error"), std::string::npos) << report;
}

// Standard output on a handle that cannot be written: the project in hand is
// done, the run stops there and fails.
TEST_F(CliOnWindows, AFailedStandardOutputEndsTheRunWithExitCodeTwo)
{
    std::wstring log = folder.file(L"unwritable.txt");
    ASSERT_TRUE(write_file_bytes(log, ""));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    inherited_handle out;
    out.handle = CreateFileW(log.c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(out.handle, INVALID_HANDLE_VALUE);
    // One project at a time: on several threads the second may be in hand
    // when the output fails, and is then finished.
    DWORD code = run_cli_with_output(L"2019 --jobs 1 " + quote_argument(tree + L"\\App\\App.vcxproj") + L" " +
                                         quote_argument(tree + L"\\Old\\old.vcxproj"),
                                     out.handle);
    EXPECT_EQ(code, 2u);
    EXPECT_EQ(read_file_bytes(tree + L"\\App\\App.vcxproj"), project_2019);
    EXPECT_EQ(read_file_bytes(tree + L"\\Old\\old.vcxproj"), project_2010_and_conditional) << "the run went on";
}

// On four threads the report and the files are those of one thread, byte for
// byte: each project's lines whole and in the walk's order, the solution's
// header where it comes on one thread, the failures in their places.
TEST_F(CliOnWindows, OnFourThreadsTheReportAndTheFilesAreThoseOfOne)
{
    ASSERT_TRUE(CreateDirectoryW((tree + L"\\Empty").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((tree + L"\\More").c_str(), nullptr));
    std::vector<std::pair<std::wstring, std::string>> originals{
        {tree + L"\\App\\App.vcxproj", project_2015},
        {tree + L"\\Old\\old.vcxproj", project_2010_and_conditional},
        {tree + L"\\all.sln", format_line + solution_projects},
        {tree + L"\\Empty\\empty.vcxproj", ""},
    };
    for (int i = 0; i < 12; ++i) {
        const std::string& text = i % 3 == 0 ? project_2010_and_conditional : i % 3 == 1 ? project_2015 : project_2019;
        originals.emplace_back(tree + L"\\More\\p" + std::to_wstring(i) + L".vcxproj", text);
    }
    auto fresh = [&] {
        for (const auto& [path, bytes] : originals)
            ASSERT_TRUE(write_file_bytes(path, bytes));
    };
    auto files_now = [&] {
        std::vector<std::string> now;
        for (const auto& entry : originals)
            now.push_back(read_file_bytes(entry.first));
        return now;
    };
    // The solution's projects, then the folder's (each project once), then
    // a project that is not there.
    const std::wstring arguments = quote_argument(tree + L"\\all.sln") + L" " + quote_argument(tree) + L" " +
                                   quote_argument(tree + L"\\Gone\\gone.vcxproj");
    fresh();
    std::string one_report;
    DWORD one = run_cli_into_file(L"2019 --jobs 1 " + arguments, one_report);
    EXPECT_EQ(one, 2u);
    EXPECT_NE(one_report.find("the project file is empty"), std::string::npos) << one_report;
    EXPECT_NE(one_report.find("Solution is ready for Visual Studio 2019"), std::string::npos) << one_report;
    std::vector<std::string> one_files = files_now();
    EXPECT_EQ(one_files[0], project_2019);
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        fresh();
        std::string report;
        EXPECT_EQ(run_cli_into_file(L"2019 --jobs 4 " + arguments, report), one);
        EXPECT_EQ(report, one_report);
        EXPECT_EQ(files_now(), one_files);
    }
}

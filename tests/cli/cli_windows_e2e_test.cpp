// projport-cli.exe started from a prompt on a small tree with a solution:
// its report on the console and in a file, the projects it leaves, and the
// same bytes as projport.exe writes.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/small_projects.h"
#include "support/child_process.h"
#include "support/console_screen.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace {

const std::string project_2010_and_v110 =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Project DefaultTargets=\"Build\" ToolsVersion=\"4.0\">\r\n"
    "  <PlatformToolset>v100</PlatformToolset>\r\n"
    "  <PlatformToolset>v110</PlatformToolset>\r\n"
    "</Project>\r\n";

// Holds a handle the child inherits, closed at the end of the scope.
struct inherited_handle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~inherited_handle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

// Runs `command_line` in the harness's console, with standard output and
// error on `output`; returns the exit code, or ~0 when it did not end in time.
DWORD run_with_output(const std::wstring& command_line, HANDLE output)
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    std::wstring writable = command_line;
    if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return ~0u;
    DWORD code = ~0u;
    if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0)
        (void)GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::string utf8(const std::wstring& text)
{
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

class CliOnWindows : public testing::Test {
protected:
    temp_dir folder;
    // A folder name outside ASCII, as many users' profiles have.
    std::wstring tree = folder.file(L"s\u00f6lution \u00e9");

    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryW(tree.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((tree + L"\\App").c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW((tree + L"\\Old").c_str(), nullptr));
        ASSERT_TRUE(write_file_bytes(tree + L"\\App\\App.vcxproj", project_2015));
        ASSERT_TRUE(write_file_bytes(tree + L"\\Old\\old.vcxproj", project_2010_and_v110));
        ASSERT_TRUE(write_file_bytes(tree + L"\\all.sln",
                                     "Microsoft Visual Studio Solution File, Format Version 12.00\r\n"
                                     "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"App\", \"app\\App.vcxproj\", \"{1}\"\r\n"
                                     "EndProject\r\n"
                                     "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"Old\", \"Old\\old.vcxproj\", \"{2}\"\r\n"
                                     "EndProject\r\n"));
    }

    static std::wstring cli() { return quote_argument(sibling_program(L"projport-cli.exe")); }

    // `app` is the project's folder as the CLI opened it: as the solution
    // writes it, or as the folder walk found it.
    std::wstring expected_report(const std::wstring& app) const
    {
        return L"[" + tree + L"\\" + app + L"\\App.vcxproj]\nConfiguring project for Visual Studio 2019\n\n"
               L"ToolsVersion=\"14.0\"\n<PlatformToolset>v140</PlatformToolset>\n\n"
               L"Project is ready for Visual Studio 2019\n"
               L"[" + tree + L"\\Old\\old.vcxproj]\nConfiguring project for Visual Studio 2019\n\n"
               L"ToolsVersion=\"4.0\"\n<PlatformToolset>v100</PlatformToolset>\n\n"
               L"Project is ready for Visual Studio 2019\n"
               L"  line 4: <PlatformToolset>v110</PlatformToolset> left unchanged\n"
               L"2 projects: 2 retargeted, 0 already configured, 0 without a match, 0 failed; "
               L"1 toolset elements left unchanged\n";
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
    std::wstring log = folder.file(L"report.txt");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    DWORD code = ~0u;
    {
        inherited_handle out;
        out.handle = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(out.handle, INVALID_HANDLE_VALUE);
        code = run_with_output(cli() + L" 2019 " + quote_argument(tree + L"\\all.sln"), out.handle);
    }
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(read_file_bytes(log), with_crlf(utf8(expected_report(L"app"))));
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
    DWORD code = run_with_output(cli() + L" 2019 --check " + quote_argument(tree), console.handle);
    EXPECT_EQ(code, 1u);
    std::wstring expected = expected_report(L"App");
    for (std::wstring::size_type at; (at = expected.find(L"Project is ready for")) != std::wstring::npos;)
        expected.replace(at, 20, L"Project would be retargeted to");
    expected.replace(expected.find(L"2 retargeted"), 12, L"2 would be retargeted");
    EXPECT_EQ(screen_text(screen), expected);
    EXPECT_EQ(read_file_bytes(tree + L"\\App\\App.vcxproj"), project_2015) << "--check writes nothing";
    CloseHandle(screen);
}

TEST_F(CliOnWindows, RewritesEveryProjectByteForByteAsProjportDoes)
{
    const std::string projects[] = {project_2015, project_2010_and_v110, project_2019};
    for (const char* version : {"2010", "2015", "2017", "2019"}) {
        for (const std::string& bytes : projects) {
            std::wstring by_cli = folder.file(L"cli.vcxproj"), by_gui = folder.file(L"gui.vcxproj");
            ASSERT_TRUE(write_file_bytes(by_cli, bytes));
            ASSERT_TRUE(write_file_bytes(by_gui, bytes));
            std::wstring label(version, version + 4);
            SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
            inherited_handle out;
            out.handle = CreateFileW(L"NUL", GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr);
            EXPECT_EQ(run_with_output(cli() + L" " + label + L" " + quote_argument(by_cli), out.handle), 0u);
            child_result gui = run_detached(quote_argument(sibling_program(L"projport.exe")) + L" " + label + L" " +
                                            quote_argument(by_gui) + L" -s");
            EXPECT_TRUE(gui.finished);
            EXPECT_EQ(read_file_bytes(by_cli), read_file_bytes(by_gui)) << version;
        }
    }
}

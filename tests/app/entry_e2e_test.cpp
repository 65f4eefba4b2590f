// Starts projport.exe as a user's shell would and checks what it printed,
// what became of the project and the exit code.

#include <gtest/gtest.h>

#include "support/child_process.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"

namespace {

const std::string project_2015 =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\" "
    "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n"
    "  <PropertyGroup Label=\"Configuration\">\r\n"
    "    <PlatformToolset>v140</PlatformToolset>\r\n"
    "  </PropertyGroup>\r\n"
    "</Project>\r\n";
const std::string project_2019 =
    "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    "<Project DefaultTargets=\"Build\" ToolsVersion=\"15.0\" "
    "xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n"
    "  <PropertyGroup Label=\"Configuration\">\r\n"
    "    <PlatformToolset>v142</PlatformToolset>\r\n"
    "  </PropertyGroup>\r\n"
    "</Project>\r\n";

class Entry : public testing::Test {
protected:
    temp_dir folder;
    std::wstring path = folder.file(L"my app.vcxproj");

    void SetUp() override { ASSERT_TRUE(write_file_bytes(path, project_2015)); }

    child_result run(const std::wstring& arguments)
    {
        child_result r = run_detached(quote_argument(sibling_program(L"projport.exe")) + L" " + arguments);
        EXPECT_TRUE(r.started);
        EXPECT_TRUE(r.finished);
        return r;
    }

    std::wstring report_2015_to_2019() const
    {
        return L"[" + path + L"]\nConfiguring project for Visual Studio 2019\n\n"
               L"ToolsVersion=\"14.0\"\n<PlatformToolset>v140</PlatformToolset>\n\n"
               L"Project is ready for Visual Studio 2019\n";
    }
};

}  // namespace

TEST_F(Entry, VersionIsReadFromItsFirstFourCharacters)
{
    child_result r = run(L"2019abc " + quote_argument(path));
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(r.output, report_2015_to_2019());
    EXPECT_EQ(read_file_bytes(path), project_2019);
}

TEST_F(Entry, SwitchSpellingsAllConvert)
{
    for (const wchar_t* option : {L"-s", L"-silent", L"-S", L"-x"}) {
        ASSERT_TRUE(write_file_bytes(path, project_2015));
        child_result r = run(L"2019 " + quote_argument(path) + L" " + option);
        EXPECT_EQ(r.exit_code, 0u) << option;
        EXPECT_NE(r.output.find(report_2015_to_2019()), std::wstring::npos) << option << L"\n" << r.output;
        EXPECT_EQ(read_file_bytes(path), project_2019) << option;
    }
}

TEST_F(Entry, ArgumentsAfterTheSwitchAreIgnored)
{
    child_result r = run(L"2019 " + quote_argument(path) + L" -s 2010 extra");
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(read_file_bytes(path), project_2019);
}

TEST_F(Entry, TooFewArgumentsOrNoVersionTurnToHelp)
{
    for (std::wstring arguments : {std::wstring(L""), std::wstring(L"2019"), L"2018 " + quote_argument(path),
                                   L"201 " + quote_argument(path), L"\"\" " + quote_argument(path), L"-s 2019 " + quote_argument(path)}) {
        child_result r = run(arguments);
        EXPECT_EQ(r.exit_code, 1u) << arguments;
        EXPECT_EQ(r.output, L"") << arguments;
    }
    EXPECT_EQ(read_file_bytes(path), project_2015);
}

TEST_F(Entry, MissingProjectIsReportedAndStillExitsZero)
{
    std::wstring missing = folder.file(L"missing.vcxproj");
    child_result r = run(L"2010 " + quote_argument(missing));
    EXPECT_EQ(r.exit_code, 0u);
    std::wstring expected = L"[" + missing + L"]\nConfiguring project for Visual Studio 2010\n\nopen(" + missing +
                            L")\n   ^ERROR: 2, ";
    EXPECT_EQ(r.output.rfind(expected, 0), 0u) << r.output;
}

TEST_F(Entry, AlreadyConfiguredProjectIsLeftAsItIs)
{
    child_result r = run(L"2015 " + quote_argument(path));
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(r.output, L"[" + path + L"]\nConfiguring project for Visual Studio 2015\n\n"
                        L"Already configured for Visual Studio 2015\n");
    EXPECT_EQ(read_file_bytes(path), project_2015);
}

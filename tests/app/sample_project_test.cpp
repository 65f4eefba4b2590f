// The shipped sample project, retargeted to every version, against the
// expected files beside it.

#include "app/convert_project.h"

#include <gtest/gtest.h>

#include "support/file_bytes.h"
#include "support/stdout_capture.h"
#include "support/temp_dir.h"

namespace {

// The source tree as this process sees it: a Unix path is reached through
// Wine's Z: drive.
std::wstring samples_folder()
{
    std::string source = PROJPORT_SOURCE_DIR;
    std::wstring path(source.begin(), source.end());
    if (!path.empty() && path[0] == L'/') {
        for (wchar_t& c : path)
            if (c == L'/')
                c = L'\\';
        path = L"Z:" + path;
    }
    return path + L"\\samples";
}

}  // namespace

TEST(SampleProject, RetargetedToEveryVersionMatchesItsExpectedBytes)
{
    bool found = false;
    std::string original = read_file_bytes(samples_folder() + L"\\app.vcxproj", &found);
    ASSERT_TRUE(found);
    const std::wstring changes = L"ToolsVersion=\"14.0\"\n<PlatformToolset>v140</PlatformToolset>\n"
                                 L"<PlatformToolset>v140</PlatformToolset>\n";
    struct expectation {
        int target;
        const wchar_t* expected_file;
        std::wstring printed;
    };
    for (const expectation& e :
         {expectation{0, L"app.2010.vcxproj", changes + L"\nProject is ready for Visual Studio 2010\n"},
          expectation{1, nullptr, L"Already configured for Visual Studio 2015\n"},
          expectation{2, L"app.2017.vcxproj", changes + L"\nProject is ready for Visual Studio 2017\n"},
          expectation{3, L"app.2019.vcxproj", changes + L"\nProject is ready for Visual Studio 2019\n"}}) {
        temp_dir folder;
        std::wstring copy = folder.file(L"app.vcxproj");
        ASSERT_TRUE(write_file_bytes(copy, original));
        std::wstring printed;
        {
            stdout_capture out;
            (void)convert_project(copy.c_str(), vs_version(e.target));
            printed = out.text();
        }
        std::string expected =
            e.expected_file ? read_file_bytes(samples_folder() + L"\\expected\\" + e.expected_file) : original;
        EXPECT_FALSE(expected.empty());
        EXPECT_TRUE(read_file_bytes(copy) == expected) << e.target;
        EXPECT_EQ(printed, e.printed);
    }
}

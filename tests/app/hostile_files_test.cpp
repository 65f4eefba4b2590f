// Files nobody planned for: each is either converted exactly or left with
// every byte it had, and the outcome is reported.

#include "app/convert_project.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "support/file_bytes.h"
#include "support/stdout_capture.h"
#include "support/temp_dir.h"
#include "app/conversion_outcome.h"

namespace {

const std::string anchor = "<Project DefaultTargets=\"Build\"";
const std::string v140 = "<PlatformToolset>v140</PlatformToolset>";
const std::string v142 = "<PlatformToolset>v142</PlatformToolset>";

// A project of exactly `size` bytes whose last bytes are a toolset element.
std::string project_of_size(std::size_t size)
{
    std::string head = anchor + " ToolsVersion=\"14.0\">\r\n";
    std::string tail = "\r\n" + v140 + "</Project>";
    std::string body(size - head.size() - tail.size(), ' ');
    for (std::size_t at = 0; at + 64 < body.size(); at += 4096)
        body.replace(at, 2, "\r\n");
    return head + body + tail;
}

std::string retargeted_to_2019(std::string text)
{
    text.replace(text.find("ToolsVersion=\"14.0\""), 19, "ToolsVersion=\"15.0\"");
    text.replace(text.rfind(v140), v140.size(), v142);
    return text;
}

class HostileFile : public testing::Test {
protected:
    temp_dir folder;
    std::wstring path = folder.file(L"app.vcxproj");
};

}  // namespace

TEST_F(HostileFile, LoneAnchorAtTheVeryEndGetsAWellFormedAttribute)
{
    ASSERT_TRUE(write_file_bytes(path, "<?xml version=\"1.0\"?>\r\n" + anchor));
    conversion_outcome o = convert_file(path, 0);
    EXPECT_EQ(o.result, convert_done);
    EXPECT_EQ(o.printed, L"+ ToolsVersion=\"4.0\"\n\nProject is ready for Visual Studio 2010\n");
    EXPECT_EQ(o.bytes, "<?xml version=\"1.0\"?>\r\n" + anchor + " ToolsVersion=\"4.0\"");
}

TEST_F(HostileFile, SizesAroundTheUsualBlockAreConvertedWhole)
{
    for (std::size_t size : {(2u << 20) - 1, 2u << 20, (2u << 20) + 1, 16u << 20}) {
        std::string before = project_of_size(size);
        ASSERT_TRUE(write_file_bytes(path, before));
        conversion_outcome o = convert_file(path, 3);
        EXPECT_EQ(o.result, convert_done) << size;
        EXPECT_EQ(o.printed, L"ToolsVersion=\"14.0\"\n" + std::wstring(v140.begin(), v140.end()) +
                                 L"\n\nProject is ready for Visual Studio 2019\n")
            << size;
        EXPECT_TRUE(o.bytes == retargeted_to_2019(before)) << size;
    }
}

TEST_F(HostileFile, Utf16WithAndWithoutByteOrderMarkIsLeftUntouched)
{
    for (std::string bom : {std::string("\xff\xfe"), std::string()}) {
        std::string utf16 = bom;
        for (char c : anchor + " ToolsVersion=\"14.0\">" + v140) {
            utf16 += c;
            utf16 += '\0';
        }
        ASSERT_TRUE(write_file_bytes(path, utf16));
        conversion_outcome o = convert_file(path, 3);
        EXPECT_EQ(o.result, convert_nothing_to_do);
        EXPECT_EQ(o.printed, L"could not find a match\n");
        EXPECT_EQ(o.bytes, utf16);
    }
}

TEST_F(HostileFile, ZeroBytesInsideKeepEverythingBehindThem)
{
    std::string before = anchor + " ToolsVersion=\"14.0\">" + v140 + std::string("\0\0", 2) + v140 +
                         std::string("\0\x01\xff", 3);
    ASSERT_TRUE(write_file_bytes(path, before));
    conversion_outcome o = convert_file(path, 3);
    EXPECT_EQ(o.result, convert_done);
    EXPECT_EQ(o.bytes, anchor + " ToolsVersion=\"15.0\">" + v142 + std::string("\0\0", 2) + v140 +
                           std::string("\0\x01\xff", 3));
}

TEST_F(HostileFile, NulDeviceReadsAsEmpty)
{
    conversion_outcome o = convert_file(L"NUL", 3);
    EXPECT_EQ(o.result, convert_read_failed);
    EXPECT_EQ(o.printed, L"");
}

TEST_F(HostileFile, PathLongerThanMaxPathWorksInItsExtendedForm)
{
    std::wstring deep = L"\\\\?\\" + folder.path;
    while (deep.size() < 300) {
        deep += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr));
    }
    std::wstring long_path = deep + L"\\app.vcxproj";
    std::string before = project_of_size(4096);
    ASSERT_TRUE(write_file_bytes(long_path, before));
    conversion_outcome o = convert_file(long_path, 3);
    EXPECT_EQ(o.result, convert_done);
    EXPECT_EQ(o.bytes, retargeted_to_2019(before));

    // The folder's removal reaches that deep too, or every run would leave
    // the tree behind in the temporary folder.
    std::wstring top = folder.file(std::wstring(60, L'd'));
    remove_tree(top);
    EXPECT_EQ(GetFileAttributesW(long_path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(top.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(HostileFile, NonAsciiPathIsOpenedAndConverted)
{
    std::wstring dir = folder.file(L"Projekt \u00e4\u00f6\u00fc \u65e5\u672c");
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    std::wstring unusual = dir + L"\\app \u2713.vcxproj";
    std::string before = project_of_size(1000);
    ASSERT_TRUE(write_file_bytes(unusual, before));
    conversion_outcome o = convert_file(unusual, 3);
    EXPECT_EQ(o.result, convert_done);
    EXPECT_EQ(o.bytes, retargeted_to_2019(before));
}

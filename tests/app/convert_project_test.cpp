#include "app/convert_project.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/rewrite_stop_win32.h"
#include "support/file_bytes.h"
#include "support/joined_thread.h"
#include "support/memory_file.h"
#include "support/project_text.h"
#include "support/stdout_capture.h"
#include "support/temp_dir.h"
#include "app/conversion_outcome.h"

namespace {

const std::string v100 = "<PlatformToolset>v100</PlatformToolset>";
const std::string v140 = "<PlatformToolset>v140</PlatformToolset>";
const std::string v142 = "<PlatformToolset>v142</PlatformToolset>";

std::string project(const std::string& tools_version, const std::string& toolset)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<Project DefaultTargets=\"Build\" " + tools_version +
           " xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n"
           "  <PropertyGroup Condition=\"'$(Configuration)|$(Platform)'=='Debug|x64'\" Label=\"Configuration\">\r\n"
           "    <ConfigurationType>Application</ConfigurationType>\r\n    " + toolset + "\r\n"
           "  </PropertyGroup>\r\n"
           "  <PropertyGroup Condition=\"'$(Configuration)|$(Platform)'=='Release|x64'\" Label=\"Configuration\">\r\n"
           "    " + toolset + "\r\n  </PropertyGroup>\r\n</Project>\r\n";
}

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

FILETIME last_write(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

class ConvertProject : public testing::Test {
protected:
    temp_dir folder;
    std::wstring path = folder.file(L"app.vcxproj");
};

}  // namespace

TEST_F(ConvertProject, Project2010To2019IsRewrittenWithEveryChangeReported)
{
    std::string before = project("ToolsVersion=\"4.0\"", v100);
    ASSERT_TRUE(write_file_bytes(path, before));
    conversion_outcome o = convert_file(path, 3);
    EXPECT_EQ(o.result, convert_done);
    EXPECT_EQ(o.printed, L"ToolsVersion=\"4.0\"\n" L"<PlatformToolset>v100</PlatformToolset>\n"
                         L"<PlatformToolset>v100</PlatformToolset>\n\nProject is ready for Visual Studio 2019\n");
    EXPECT_EQ(o.bytes, project("ToolsVersion=\"15.0\"", v142));
}

TEST_F(ConvertProject, AlreadyConfiguredProjectIsNotWritten)
{
    std::string before = project("ToolsVersion=\"14.0\"", v140);
    ASSERT_TRUE(write_file_bytes(path, before));
    FILETIME written = last_write(path);
    Sleep(20);
    conversion_outcome o = convert_file(path, 1);
    EXPECT_EQ(o.result, convert_nothing_to_do);
    EXPECT_EQ(o.printed, L"Already configured for Visual Studio 2015\n");
    EXPECT_EQ(o.bytes, before);
    FILETIME after = last_write(path);
    EXPECT_EQ(CompareFileTime(&written, &after), 0);
}

TEST_F(ConvertProject, NothingToMatchSaysSo)
{
    ASSERT_TRUE(write_file_bytes(path, "<Project>nothing here</Project>"));
    conversion_outcome o = convert_file(path, 2);
    EXPECT_EQ(o.result, convert_nothing_to_do);
    EXPECT_EQ(o.printed, L"could not find a match\n");
}

TEST_F(ConvertProject, ConversionTo2010ShrinksTheFileByOneByte)
{
    std::string before = project("ToolsVersion=\"14.0\"", v140);
    ASSERT_TRUE(write_file_bytes(path, before));
    conversion_outcome o = convert_file(path, 0);
    EXPECT_EQ(o.result, convert_done);
    EXPECT_EQ(o.bytes.size(), before.size() - 1);
    EXPECT_EQ(o.bytes, project("ToolsVersion=\"4.0\"", v100));
}

TEST_F(ConvertProject, InsertionGrowsTheFile)
{
    std::string before = replaced(project("ToolsVersion=\"14.0\"", v142), " ToolsVersion=\"14.0\"", "");
    ASSERT_TRUE(write_file_bytes(path, before));
    conversion_outcome o = convert_file(path, 1);
    EXPECT_EQ(o.result, convert_done);
    EXPECT_EQ(o.printed.rfind(L"+ ToolsVersion=\"14.0\"\n<PlatformToolset>v142</PlatformToolset>\n", 0), 0u);
    EXPECT_EQ(o.bytes, project("ToolsVersion=\"14.0\"", v140));
}

TEST_F(ConvertProject, InvalidVersionIsRefusedBeforeTheFileIsOpened)
{
    conversion_outcome o = convert_file(path, -1);
    EXPECT_EQ(o.result, convert_bad_version);
    EXPECT_EQ(o.printed, L"invalid argument  vs_version -1\n");
    o = convert_file(path, 4);
    EXPECT_EQ(o.printed, L"invalid argument  vs_version 4\n");
}

TEST_F(ConvertProject, MissingFileReportsTheOpenFailure)
{
    conversion_outcome o = convert_file(path, 3);
    EXPECT_EQ(o.result, convert_open_failed);
    EXPECT_EQ(o.printed.rfind(L"open(" + path + L")\n   ^ERROR: 2, ", 0), 0u) << o.printed;
}

TEST_F(ConvertProject, ReadOnlyFileFailsEvenWhenNothingWouldChange)
{
    std::string before = project("ToolsVersion=\"14.0\"", v140);
    ASSERT_TRUE(write_file_bytes(path, before));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    conversion_outcome o = convert_file(path, 1);
    EXPECT_EQ(o.result, convert_open_failed);
    EXPECT_NE(o.printed.find(L"   ^ERROR: 5, "), std::wstring::npos);
    EXPECT_EQ(o.bytes, before);
}

TEST_F(ConvertProject, EmptyFileAndFolderFailToReadSilently)
{
    ASSERT_TRUE(write_file_bytes(path, ""));
    conversion_outcome empty = convert_file(path, 3);
    EXPECT_EQ(empty.result, convert_read_failed);
    EXPECT_EQ(empty.printed, L"");
    EXPECT_EQ(empty.bytes, "");

    conversion_outcome directory = convert_file(folder.path, 3);
    EXPECT_EQ(directory.result, convert_read_failed);
    EXPECT_EQ(directory.printed, L"");
}

TEST_F(ConvertProject, ZeroByteEndsTheSearchButTheTailIsKept)
{
    std::string tail = std::string("\0", 1) + v140 + "\x80\xff trailing";
    ASSERT_TRUE(write_file_bytes(path, project("ToolsVersion=\"14.0\"", v140) + tail));
    conversion_outcome o = convert_file(path, 3);
    EXPECT_EQ(o.result, convert_done);
    EXPECT_EQ(o.bytes, project("ToolsVersion=\"15.0\"", v142) + tail);
}

TEST_F(ConvertProject, FileOfMoreThanTwoMebibytesIsConvertedWhole)
{
    std::string filler(3u << 20, 'x');
    std::string before = project("ToolsVersion=\"14.0\"", v140) + "<!--" + filler + "-->" + v140 + "\r\n";
    ASSERT_TRUE(write_file_bytes(path, before));
    conversion_outcome o = convert_file(path, 3);
    EXPECT_EQ(o.result, convert_done);
    EXPECT_EQ(o.bytes, replaced(replaced(before, v140, v142), "ToolsVersion=\"14.0\"", "ToolsVersion=\"15.0\""));
}

TEST_F(ConvertProject, FileThatFillsTheUsualBlockGrowsWithoutLoss)
{
    std::string head = replaced(project("x", v140), " x", "");
    std::string before = head + std::string((2u << 20) - 1 - head.size(), ' ');
    ASSERT_EQ(before.size(), (2u << 20) - 1);
    ASSERT_TRUE(write_file_bytes(path, before));
    conversion_outcome o = convert_file(path, 1);
    EXPECT_EQ(o.result, convert_done);
    EXPECT_EQ(o.bytes.size(), before.size() + 20);
    EXPECT_EQ(o.bytes.substr(o.bytes.size() - 1000), before.substr(before.size() - 1000));
}

namespace {

// Deletes a file on every path out of a test (here on a drive outside the
// test's temporary folder).
struct deleted_at_end {
    std::wstring path;
    ~deleted_at_end() { DeleteFileW(path.c_str()); }
};

struct handle_holder {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~handle_holder()
    {
        if (handle && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

}  // namespace

// The test run gives Wine a tiny file system as a drive, named by
// PROJPORT_SMALL_DRIVE; the project there is filled up to the end of its
// last allocated block and the disk is filled completely.
TEST(ConvertProjectOnFullDisk, FailedWriteLeavesTheOriginalBytes)
{
    wchar_t drive[MAX_PATH] = {};
    if (!GetEnvironmentVariableW(L"PROJPORT_SMALL_DRIVE", drive, MAX_PATH))
        GTEST_SKIP() << "no small drive given (PROJPORT_SMALL_DRIVE)";
    std::wstring path = std::wstring(drive) + L"\\full.vcxproj";
    std::wstring filler = std::wstring(drive) + L"\\filler";
    // Declared before anything is written, so that both go on every path;
    // a full drive left behind would fail every later run.
    deleted_at_end project_file{path}, filler_file{filler};
    std::string head = replaced(project("x", v140), " x", "");
    std::string before = head + std::string(4096 - 10 - head.size(), ' ');
    ASSERT_TRUE(write_file_bytes(path, before));
    {
        handle_holder fill{CreateFileW(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr)};
        ASSERT_NE(fill.handle, INVALID_HANDLE_VALUE);
        std::string block(4096, 'f');
        DWORD written = 0;
        while (WriteFile(fill.handle, block.data(), 4096, &written, nullptr) && written == 4096) {
        }
    }

    conversion_outcome o = convert_file(path, 2);
    EXPECT_EQ(o.result, ERROR_DISK_FULL);
    EXPECT_EQ(o.printed.find(L"Project is ready"), std::wstring::npos) << o.printed;
    EXPECT_NE(o.printed.find(L"write(" + path + L")\n   ^ERROR: "), std::wstring::npos) << o.printed;
    EXPECT_EQ(o.bytes, before);
}

// projport.exe's rewrite is held while its file is half written: a stop of
// the rewrites (what the console control handler does before the process is
// ended) reports the rewrite in progress, waits, and returns only once the
// file is whole.
namespace {

struct silent_listener final : conversion_listener {
    void changed(change_kind, std::string_view) noexcept override {}
    void verdict(conversion_verdict) noexcept override {}
    void failed(conversion_step, file_error) noexcept override {}
};

}  // namespace

TEST(ConvertOpenProject, AStopDuringTheRewriteWaitsUntilTheFileIsWhole)
{
    bool stop_saw_the_rewrite = false;
    memory_file file(v140_project, first_write_held{[&] { stop_saw_the_rewrite = !stop_rewrites(0); }});
    std::string memory(2 * conversion_half_for(v140_project.size()), '\0');
    conversion_block block{memory.data(), memory.data() + memory.size() / 2, memory.size() / 2};
    silent_listener listener;
    int result = -100;
    joined_thread conversion([&] { result = convert_open_project(file, block, vs_version(3), listener); },
                             [&] {
                                 file.let_go();
                                 resume_rewrites();  // on every path: later holds of this process must not wait
                             });
    ASSERT_TRUE(file.write_began_within(10000));
    EXPECT_TRUE(stop_saw_the_rewrite) << "the rewrite was not held";
    // A stop from another thread, as the system runs the control handler.
    struct seen_at_return {
        bool idle = false;
        std::string bytes;
        bool end_set = false;
    } seen;
    std::atomic<bool> returned{false};
    joined_thread stop(
        [&] {
            seen.idle = stop_rewrites(30000);
            seen.bytes = file.bytes();
            seen.end_set = file.end_set_after_write();
            returned.store(true);
        },
        [&] { file.let_go(); });
    // Long enough for a stop that does not wait to have returned meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(returned.load()) << "the stop returned while the file was half written";
    file.let_go();
    stop.join();
    EXPECT_TRUE(seen.idle);
    EXPECT_EQ(seen.bytes, v142_project) << "the stop returned before the file was whole";
    EXPECT_TRUE(seen.end_set) << "the stop returned before the file's end was set";
    conversion.join();
    EXPECT_EQ(result, convert_done);
    EXPECT_EQ(file.bytes(), v142_project);
}

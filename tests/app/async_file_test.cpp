#include "app/async_file.h"

#include <gtest/gtest.h>

#include "support/file_bytes.h"
#include "support/saved_state.h"
#include "support/stdout_capture.h"
#include "support/temp_dir.h"

namespace {

HANDLE open_scratch(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

TEST(AsyncFile, StartsClosedWithNoHandle)
{
    async_file file;
    EXPECT_FALSE(file.is_open);
    EXPECT_EQ(file.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.read_overlapped, nullptr);
    EXPECT_EQ(file.write_overlapped, nullptr);
}

TEST(AsyncFile, MissingFileIsReportedWithCaptionAndSystemText)
{
    temp_dir folder;
    std::wstring path = folder.file(L"missing.vcxproj");
    async_file file;
    stdout_capture out;
    EXPECT_EQ(file.open(path.c_str(), 0), 2u);
    std::wstring text = out.text();
    EXPECT_FALSE(file.is_open);
    EXPECT_EQ(file.handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(file.last_error, 2u);
    EXPECT_EQ(text.rfind(L"open(" + path + L")\n   ^ERROR: 2, ", 0), 0u) << text;
    EXPECT_EQ(text.back(), L'\n');
}

TEST(AsyncFile, QuietOpenPrintsNothing)
{
    temp_dir folder;
    async_file file;
    file.quiet = true;
    stdout_capture out;
    EXPECT_EQ(file.open(folder.file(L"missing").c_str(), 0), 2u);
    EXPECT_EQ(out.text(), L"");
}

TEST(AsyncFile, ReadOnlyFileIsRefusedWithAccessDenied)
{
    temp_dir folder;
    std::wstring path = folder.file(L"ro.vcxproj");
    ASSERT_TRUE(write_file_bytes(path, "x"));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    async_file file;
    stdout_capture out;
    EXPECT_EQ(file.open(path.c_str(), 0), 5u);
    EXPECT_FALSE(file.is_open);
    EXPECT_NE(out.text().find(L"   ^ERROR: 5, "), std::wstring::npos);
}

TEST(AsyncFile, FileHeldWithoutWriteSharingIsRefused)
{
    temp_dir folder;
    std::wstring path = folder.file(L"held.vcxproj");
    ASSERT_TRUE(write_file_bytes(path, "x"));
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    async_file file;
    stdout_capture out;
    EXPECT_EQ(file.open(path.c_str(), 0), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    std::wstring text = out.text();
    EXPECT_FALSE(file.is_open);
    EXPECT_EQ(file.last_error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(holder);
    // The caption line, then the code and the system's text on one line.
    std::wstring start = L"open(" + path + L")\n   ^ERROR: 32, ";
    EXPECT_EQ(text.rfind(start, 0), 0u) << text;
    ASSERT_GT(text.size(), start.size() + 1) << text;
    EXPECT_EQ(text.back(), L'\n');
    EXPECT_EQ(text.find(L'\n', start.size()), text.size() - 1) << "one line of system text\n" << text;
}

TEST(AsyncFile, OpenFileLetsOthersReadAndWrite)
{
    temp_dir folder;
    std::wstring path = folder.file(L"shared.vcxproj");
    ASSERT_TRUE(write_file_bytes(path, "abc"));
    async_file file;
    ASSERT_EQ(file.open(path.c_str(), 0), 0u);
    EXPECT_TRUE(file.is_open);
    EXPECT_EQ(read_file_bytes(path), "abc");
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE);
    CloseHandle(writer);
}

TEST(AsyncFile, SecondOpenKeepsTheFirstHandle)
{
    temp_dir folder;
    ASSERT_TRUE(write_file_bytes(folder.file(L"a"), "a"));
    ASSERT_TRUE(write_file_bytes(folder.file(L"b"), "b"));
    async_file file;
    ASSERT_EQ(file.open(folder.file(L"a").c_str(), 0), 0u);
    HANDLE first = file.handle;
    EXPECT_EQ(file.open(folder.file(L"b").c_str(), 0), 0xFFFFFFFFu);
    EXPECT_EQ(file.handle, first);
}

TEST(AsyncFile, CloseTwiceClosesOnce)
{
    temp_dir folder;
    std::wstring path = folder.file(L"c");
    ASSERT_TRUE(write_file_bytes(path, "c"));
    async_file file;
    ASSERT_EQ(file.open(path.c_str(), 0), 0u);
    HANDLE opened = file.handle;
    file.close();
    EXPECT_FALSE(file.is_open);
    EXPECT_EQ(file.handle, INVALID_HANDLE_VALUE);
    DWORD flags = 0;
    EXPECT_FALSE(GetHandleInformation(opened, &flags)) << "the handle itself is closed";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // With the handle gone, nothing holds the file any more: an open that
    // shares nothing succeeds (the record's own open shares deletion, so a
    // delete would succeed even with it open).
    HANDLE exclusive = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
    // The handle table gives a freed slot out again first: the second close
    // must not close whatever now has the old value.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    file.close();
    EXPECT_TRUE(GetHandleInformation(event, &flags));
    EXPECT_TRUE(exclusive == INVALID_HANDLE_VALUE || GetHandleInformation(exclusive, &flags));
    CloseHandle(event);
    if (exclusive != INVALID_HANDLE_VALUE)
        CloseHandle(exclusive);
}

TEST(AsyncFile, FolderOpensForBackupSemantics)
{
    temp_dir folder;
    async_file file;
    EXPECT_EQ(file.open(folder.path.c_str(), 0), 0u);
    EXPECT_TRUE(file.is_open);
}

TEST(AsyncFile, StandardOutputNamesTakeOverTheOutputHandle)
{
    for (const wchar_t* name : {L"con", L"CON", L"-"}) {
        saved_std_handle saved(STD_OUTPUT_HANDLE);
        temp_dir folder;
        HANDLE scratch = open_scratch(folder.file(L"out"));
        ASSERT_NE(scratch, INVALID_HANDLE_VALUE);
        SetStdHandle(STD_OUTPUT_HANDLE, scratch);
        {
            async_file file;
            ASSERT_EQ(file.open(name, 0), 0u) << name;
            EXPECT_NE(file.handle, scratch) << "the record holds a copy of its own";
            EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE));
        }
        // The record closed its copy; the former standard output handle stays with its owner.
        DWORD flags = 0;
        EXPECT_TRUE(GetHandleInformation(scratch, &flags)) << name;
        CloseHandle(scratch);
    }
}

TEST(AsyncFile, WithoutStandardOutputTheNameIsOpenedAsAFile)
{
    saved_working_directory at_start;
    for (HANDLE none : {static_cast<HANDLE>(nullptr), INVALID_HANDLE_VALUE}) {
        saved_std_handle saved(STD_OUTPUT_HANDLE);
        temp_dir folder;
        ASSERT_TRUE(write_file_bytes(folder.file(L"-"), "dash"));
        // Left before the folder is removed, on every path.
        saved_working_directory inside(folder.path);
        ASSERT_TRUE(inside.moved());
        SetStdHandle(STD_OUTPUT_HANDLE, none);
        {
            async_file file;
            EXPECT_EQ(file.open(L"-", 0), 0u);
            ASSERT_TRUE(file.is_open);
            EXPECT_NE(file.handle, none);
            char bytes[8] = {};
            DWORD got = 0;
            EXPECT_TRUE(ReadFile(file.handle, bytes, sizeof bytes, &got, nullptr));
            EXPECT_EQ(std::string(bytes, got), "dash");
        }
    }
    EXPECT_EQ(saved_working_directory::current(), at_start.saved());
}

TEST(AsyncFile, NamesThatOnlyLookLikeStandardOutputAreFiles)
{
    EXPECT_TRUE(is_standard_output_name(L"con"));
    EXPECT_TRUE(is_standard_output_name(L"CON"));
    EXPECT_TRUE(is_standard_output_name(L"-"));
    EXPECT_FALSE(is_standard_output_name(L"Con"));
    EXPECT_FALSE(is_standard_output_name(L"-x"));
    EXPECT_FALSE(is_standard_output_name(L"console"));
    EXPECT_FALSE(is_standard_output_name(L""));
}

TEST(AsyncFile, VeryLongMissingNameIsReportedWhole)
{
    temp_dir folder;
    std::wstring path = folder.file(std::wstring(600, L'n') + L".vcxproj");
    async_file file;
    stdout_capture out;
    DWORD code = file.open(path.c_str(), 0);
    std::wstring text = out.text();
    EXPECT_NE(code, 0u);
    EXPECT_FALSE(file.is_open);
    EXPECT_EQ(file.last_error, code);
    EXPECT_EQ(text.rfind(L"open(" + path + L")\n   ^ERROR: ", 0), 0u) << text;
}

// The standard output names of async_file: which names they are, and who
// closes the former standard output handle.

#include "app/async_file.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "support/file_bytes.h"
#include "support/saved_state.h"
#include "support/temp_dir.h"

namespace {

bool is_valid_handle(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

// Binds the runtime's standard output descriptor, and the process's standard
// output handle with it, to a file of the test's own; puts both standard
// handles and the descriptor back on every path out of the test.
class runtime_stdout_on_file {
public:
    explicit runtime_stdout_on_file(const std::wstring& path)
        : saved_out_(GetStdHandle(STD_OUTPUT_HANDLE)), saved_err_(GetStdHandle(STD_ERROR_HANDLE))
    {
        std::fflush(stdout);
        int target = _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (target < 0)
            return;
        saved_fd_ = _dup(_fileno(stdout));
        if (saved_fd_ >= 0 && _dup2(target, _fileno(stdout)) == 0)
            handle_ = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)));
        _close(target);
        // As the runtime does when it rebinds a console program's stream.
        (void)SetStdHandle(STD_OUTPUT_HANDLE, handle_);
    }

    ~runtime_stdout_on_file()
    {
        std::fflush(stdout);
        if (saved_fd_ >= 0) {
            (void)_dup2(saved_fd_, _fileno(stdout));  // closes the file's handle: the runtime's one close
            _close(saved_fd_);
        }
        (void)SetStdHandle(STD_OUTPUT_HANDLE, saved_out_);
        (void)SetStdHandle(STD_ERROR_HANDLE, saved_err_);
    }

    runtime_stdout_on_file(const runtime_stdout_on_file&) = delete;
    runtime_stdout_on_file& operator=(const runtime_stdout_on_file&) = delete;

    // The handle behind the runtime's descriptor; INVALID_HANDLE_VALUE when
    // the binding failed.
    HANDLE handle() const { return handle_; }

private:
    HANDLE saved_out_;
    HANDLE saved_err_;
    int saved_fd_ = -1;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

TEST(StandardOutputName, OnlyTheExactNamesCount)
{
    EXPECT_TRUE(is_standard_output_name(L"-"));
    EXPECT_TRUE(is_standard_output_name(L"con"));
    EXPECT_TRUE(is_standard_output_name(L"CON"));
    EXPECT_FALSE(is_standard_output_name(L"cOn"));
    EXPECT_FALSE(is_standard_output_name(L"co"));
    EXPECT_FALSE(is_standard_output_name(L"conx"));
    EXPECT_FALSE(is_standard_output_name(L"--"));
    EXPECT_FALSE(is_standard_output_name(nullptr));
}

TEST(StandardOutputName, IgnorableCharactersMakeAnotherName)
{
    // A linguistic comparison skips these and would take the names for con.
    EXPECT_FALSE(is_standard_output_name(L"con\u00AD"));
    EXPECT_FALSE(is_standard_output_name(L"CON\u00AD"));
    EXPECT_FALSE(is_standard_output_name(L"c\u00ADon"));
    EXPECT_FALSE(is_standard_output_name(L"\u00AD-"));
    EXPECT_FALSE(is_standard_output_name(L"con\u200B"));
    EXPECT_FALSE(is_standard_output_name(L"con\uFEFF"));
}

TEST(StandardOutputName, SoftHyphenNameIsOpenedAsAFile)
{
    std::wstring at_start = saved_working_directory::current();
    {
        temp_dir folder;
        ASSERT_TRUE(write_file_bytes(folder.file(L"con\u00AD"), "file"));
        // Declared after the folder: left before it is removed, on every path.
        saved_working_directory inside(folder.path);
        ASSERT_TRUE(inside.moved());
        saved_std_handle out_before(STD_OUTPUT_HANDLE);
        async_file file;
        ASSERT_EQ(file.open(L"con\u00AD", 0), 0u);
        char bytes[8] = {};
        DWORD got = 0;
        EXPECT_TRUE(ReadFile(file.handle, bytes, sizeof bytes, &got, nullptr));
        EXPECT_EQ(std::string(bytes, got), "file");
        EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), out_before.saved()) << "standard output left as it was";
    }
    EXPECT_EQ(saved_working_directory::current(), at_start);
}

TEST(StandardOutputHandle, RecordAndRuntimeEachCloseTheirOwnHandle)
{
    for (const wchar_t* name : {L"con", L"CON", L"-"}) {
        temp_dir folder;
        std::wstring path = folder.file(L"stdout.txt");
        // Seen while standard output goes to the file, asserted once it is back
        // (a failure printed meanwhile would land in the file).
        bool bound_ok = false, opened = false, err_is_out = false, wrote = false;
        bool runtime_handle_valid = false, record_handle_valid = true, err_is_out_after = false;
        {
            runtime_stdout_on_file bound(path);
            HANDLE runtime_handle = bound.handle();
            bound_ok = runtime_handle != INVALID_HANDLE_VALUE && GetStdHandle(STD_OUTPUT_HANDLE) == runtime_handle;

            async_file file;
            opened = file.open(name, 0) == 0 && file.is_open;
            HANDLE record_handle = file.handle;
            err_is_out = GetStdHandle(STD_OUTPUT_HANDLE) == GetStdHandle(STD_ERROR_HANDLE);
            DWORD written = 0;
            wrote = WriteFile(record_handle, "via record", 10, &written, nullptr) != FALSE;
            file.close();

            runtime_handle_valid = is_valid_handle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout))));
            record_handle_valid = is_valid_handle(record_handle);
            err_is_out_after = GetStdHandle(STD_OUTPUT_HANDLE) == GetStdHandle(STD_ERROR_HANDLE);
        }
        ASSERT_TRUE(bound_ok) << name;
        ASSERT_TRUE(opened) << name;
        EXPECT_TRUE(err_is_out) << name << ": standard output is now standard error";
        EXPECT_TRUE(wrote) << name << ": the record writes to the former standard output";
        EXPECT_TRUE(runtime_handle_valid) << name << ": the runtime's descriptor still holds its handle";
        EXPECT_FALSE(record_handle_valid) << name << ": the record closed its own";
        EXPECT_TRUE(err_is_out_after) << name;
        EXPECT_EQ(read_file_bytes(path), "via record") << name;
    }
}

TEST(StandardOutputHandle, StandardHandlesAreBackAfterTheTest)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    {
        temp_dir folder;
        runtime_stdout_on_file bound(folder.file(L"stdout.txt"));
        async_file file;
        ASSERT_EQ(file.open(L"con", 0), 0u);
    }
    EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), out);
    EXPECT_EQ(GetStdHandle(STD_ERROR_HANDLE), err);
    EXPECT_TRUE(is_valid_handle(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stdout)))));
}

#pragma once
// The one way the tests run projport-cli: a folder of the test's own, the
// program started in it as a user's shell or a CI step starts it, and what it
// printed, its exit code and the bytes it left. What differs per platform
// (how a program is started and handed its output) stays behind it.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <vector>

#include "support/posix_child.h"
#endif

class cli_fixture : public testing::Test {
protected:
    temp_dir folder;
    std::filesystem::path root = folder.path;

    void SetUp() override { ASSERT_TRUE(folder.made()); }

    // Writes a file whole, its folders made first: `path` is taken in the
    // test's folder unless it is absolute.
    void write(const std::filesystem::path& path, const std::string& bytes);

    // A file's bytes ("" when it cannot be read), in the test's folder unless absolute.
    std::string bytes_of(const std::filesystem::path& path) const;

#ifdef _WIN32
    // projport-cli.exe beside the test program, quoted for a command line.
    static std::wstring cli_command();

    // Runs projport-cli with `arguments` (the command line after the
    // program's name) in the harness's console, with standard output and
    // error on `output` (inheritable). The exit code, or ~0 when it did not
    // end in time.
    DWORD run_cli_with_output(const std::wstring& arguments, HANDLE output);

    // ... with standard output and error in a file of the test's own, as a
    // CI step redirects them; `report` gets the file's bytes. ~0 when the
    // file could not be made.
    DWORD run_cli_into_file(const std::wstring& arguments, std::string& report);
#else
    // projport-cli's path.
    static std::string cli_program();

    // Where a run prints: standard output in `out`, standard error in `err`
    // (with standard output when empty), both in the test's folder unless
    // absolute, and removed first so that a run that never opened them does
    // not read the last run's. The run takes place in the test's folder.
    posix_child_options cli_options(const std::filesystem::path& out = "out.txt",
                                    const std::filesystem::path& err = "err.txt", unsigned time_limit_ms = 60000);

    // Starts projport-cli with `arguments`; a start that fails fails the test.
    posix_child start_cli(const std::vector<std::string>& arguments, const posix_child_options& options);

    // Waits for a run to end, at most `time_limit_ms` (then it is killed).
    posix_child_end wait_cli(posix_child& child, unsigned time_limit_ms);

    // start_cli and wait_cli in one, with the limit of `options`.
    posix_child_end run_cli(const std::vector<std::string>& arguments, const posix_child_options& options);
#endif
};

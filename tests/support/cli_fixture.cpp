#include "support/cli_fixture.h"

#include "support/file_bytes.h"

#ifdef _WIN32
#include "support/child_process.h"
#endif

namespace fs = std::filesystem;

void cli_fixture::write(const fs::path& path, const std::string& bytes)
{
    fs::path whole = root / path;
    std::error_code failed;
    fs::create_directories(whole.parent_path(), failed);
    ASSERT_FALSE(failed) << whole << ": " << failed.message();
    ASSERT_TRUE(write_file_bytes(whole.native(), bytes)) << whole;
}

std::string cli_fixture::bytes_of(const fs::path& path) const
{
    return read_file_bytes((root / path).native());
}

#ifdef _WIN32
namespace {

// Holds a handle the child inherits, closed at the end of the scope.
struct inherited_handle {
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~inherited_handle()
    {
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
};

}  // namespace

std::wstring cli_fixture::cli_command()
{
    return quote_argument(sibling_program(L"projport-cli.exe"));
}

DWORD cli_fixture::run_cli_with_output(const std::wstring& arguments, HANDLE output)
{
    started_process process = start_process(cli_command() + L" " + arguments, 0, GetStdHandle(STD_INPUT_HANDLE), output);
    EXPECT_TRUE(process.started());
    if (!process.started())
        return ~0u;
    DWORD code = ~0u;
    if (WaitForSingleObject(process.handle(), 30000) == WAIT_OBJECT_0)
        (void)GetExitCodeProcess(process.handle(), &code);
    return code;
}

DWORD cli_fixture::run_cli_into_file(const std::wstring& arguments, std::string& report)
{
    std::wstring log = folder.file(L"report.txt");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    DWORD code = ~0u;
    {
        inherited_handle out;
        out.handle = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(out.handle, INVALID_HANDLE_VALUE);
        if (out.handle == INVALID_HANDLE_VALUE)
            return code;
        code = run_cli_with_output(arguments, out.handle);
    }
    report = read_file_bytes(log);
    return code;
}
#else
std::string cli_fixture::cli_program()
{
    return PROJPORT_CLI;
}

posix_child_options cli_fixture::cli_options(const fs::path& out, const fs::path& err, unsigned time_limit_ms)
{
    std::error_code ignored;
    posix_child_options options;
    options.folder = root.string();
    options.output_file = (root / out).string();
    fs::remove(options.output_file, ignored);
    if (!err.empty()) {
        options.error_file = (root / err).string();
        fs::remove(options.error_file, ignored);
    }
    options.time_limit_ms = time_limit_ms;
    return options;
}

posix_child cli_fixture::start_cli(const std::vector<std::string>& arguments, const posix_child_options& options)
{
    posix_child child = start_child(cli_program(), arguments, options);
    EXPECT_TRUE(child.started());
    return child;
}

posix_child_end cli_fixture::wait_cli(posix_child& child, unsigned time_limit_ms)
{
    return wait_child(child, time_limit_ms);
}

posix_child_end cli_fixture::run_cli(const std::vector<std::string>& arguments, const posix_child_options& options)
{
    posix_child child = start_cli(arguments, options);
    return wait_cli(child, options.time_limit_ms);
}
#endif

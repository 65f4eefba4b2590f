// Starts projport.exe as a user's shell or Explorer would and checks what a
// person would see: the report on the console it went to (the harness's own
// console with -s, the program's own console otherwise, read by
// console_probe), the console's title, how long the console is held open, what
// became of the project and the exit code.

#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "console/shadow_console.h"
#include "support/child_process.h"
#include "support/console_screen.h"
#include "support/file_bytes.h"
#include "support/running_program.h"
#include "support/temp_dir.h"
#include "support/wine_check.h"
#include "support/small_projects.h"

namespace {


// A project whose conversion prints thousands of lines, long enough to act
// while it runs.
std::string slow_project_2015(int lines = 3000)
{
    std::string project =
        "<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\">\r\n  <PropertyGroup Label=\"Configuration\">\r\n";
    for (int i = 0; i < lines; ++i)
        project += "    <PlatformToolset>v140</PlatformToolset>\r\n";
    return project + "  </PropertyGroup>\r\n</Project>\r\n";
}

const wchar_t harness_title[] = L"projport e2e harness";
const wchar_t program_title[] = L"tarnvik.projport";
const wchar_t verdict_2019[] = L"Project is ready for Visual Studio 2019";

// A wait that ends "at once" ends well within this, spans of process exit and
// Wine's server wake-ups included; the final wait without a key lasts five
// seconds, so a wait that ran its course is at least `full_wait_ms` long.
constexpr unsigned long long at_once_ms = 2500;
constexpr unsigned long long full_wait_ms = 4500;

// The harness ignores the Ctrl+C that some tests send to its console (a
// handler, not the inheritable "ignore" flag, which the program would share).
BOOL WINAPI ignore_control(DWORD)
{
    return TRUE;
}

HANDLE harness_screen = INVALID_HANDLE_VALUE;
HANDLE harness_input = INVALID_HANDLE_VALUE;

bool open_harness_console()
{
    if (!open_own_console())
        return false;
    harness_screen = open_console_output();
    harness_input = open_console_input();
    // A runner that started the tests with Ctrl+C ignored would hand that on
    // to the program, which would then never see the Ctrl+C of a test.
    SetConsoleCtrlHandler(nullptr, FALSE);
    SetConsoleCtrlHandler(ignore_control, TRUE);
    return harness_screen != INVALID_HANDLE_VALUE && harness_input != INVALID_HANDLE_VALUE;
}

class Entry : public testing::Test {
protected:
    temp_dir folder;
    std::wstring path = folder.file(L"my app.vcxproj");

    static void SetUpTestSuite() { ASSERT_TRUE(open_harness_console()); }

    void SetUp() override
    {
        ASSERT_TRUE(write_file_bytes(path, project_2015));
        clear_screen(harness_screen);
        FlushConsoleInputBuffer(harness_input);
        SetConsoleTitleW(harness_title);
    }

    static std::wstring program() { return quote_argument(sibling_program(L"projport.exe")); }

    // Started as from Explorer: no console; its report is read from the
    // console it opens, by a probe that then presses a key to end the wait.
    child_result run_in_own_console(const std::wstring& arguments, const std::wstring& last_text)
    {
        launch_options options;
        options.probe = {L"until=" + last_text, L"settle", L"key", L"exit"};
        return run(arguments, options);
    }

    // Started with no console from the harness, which has a console: with -s
    // the report lands on the harness's screen.
    child_result run_from_prompt(const std::wstring& arguments) { return run(arguments, launch_options{}); }

    child_result run(const std::wstring& arguments, const launch_options& options)
    {
        child_result r = run_program(program() + L" " + arguments, options);
        EXPECT_TRUE(r.started);
        EXPECT_TRUE(r.finished);
        return r;
    }

    // Converts a long project with a probe that must act while the
    // conversion still prints (`acted_in_time` tells from its report whether
    // it did). The probe can only race the printing, so a lost race is run
    // again with a longer project rather than taken for a fault; the last
    // run's result is returned, and the caller's checks then show a loss.
    child_result run_during_conversion(const std::wstring& arguments, const std::vector<std::wstring>& probe,
                                       bool (*acted_in_time)(const child_result&), std::string* project = nullptr)
    {
        child_result r;
        for (int lines : {3000, 9000, 27000}) {
            std::string slow = slow_project_2015(lines);
            EXPECT_TRUE(write_file_bytes(path, slow));
            if (project)
                *project = slow;
            launch_options options;
            options.probe = probe;
            options.timeout_ms = 60000;
            r = run(arguments, options);
            if (acted_in_time(r))
                break;
        }
        return r;
    }

    static bool key_came_before_the_verdict(const child_result& r) { return probe_value(r.probe, L"absent") == L"1"; }
    static bool probe_attached(const child_result& r) { return probe_value(r.probe, L"attach_tick") != L""; }

    std::wstring report_2015_to_2019() const
    {
        return L"[" + path + L"]\nConfiguring project for Visual Studio 2019\n\n"
               L"ToolsVersion=\"14.0\"\n<PlatformToolset>v140</PlatformToolset>\n\n"
               L"Project is ready for Visual Studio 2019\n";
    }
};

// The `closing` flag of the program's shadow console record, read from the
// running program. With -s the only other sign of a Ctrl+C it took is what
// it leaves out at exit, so a test of that needs to know that the Ctrl+C was
// taken before the conversion ended. The record is found in the program's
// image by the values console_init gives it: the sizes of its two blocks and
// where the parts of each lie.
class program_record {
public:
    explicit program_record(HANDLE process) : process_(process) { closing_at_ = find(); }

    bool found() const { return closing_at_ != 0; }

    // Whether the program's control handler has set `closing` (false once
    // the program has ended or the record cannot be read).
    bool closing() const
    {
        unsigned char flag = 0;
        SIZE_T got = 0;
        return found() && ReadProcessMemory(process_, reinterpret_cast<const void*>(closing_at_), &flag, 1, &got) &&
               got == 1 && flag != 0;
    }

private:
    template <class T>
    static T field(const std::vector<unsigned char>& image, std::size_t record, std::size_t offset)
    {
        T value{};
        std::memcpy(&value, image.data() + record + offset, sizeof value);
        return value;
    }

    std::uintptr_t find() const
    {
        HMODULE exe = nullptr;
        DWORD needed = 0;
        MODULEINFO info{};
        if (!K32EnumProcessModules(process_, &exe, sizeof exe, &needed) || !exe ||
            !K32GetModuleInformation(process_, exe, &info, sizeof info))
            return 0;
        auto base = reinterpret_cast<std::uintptr_t>(info.lpBaseOfDll);
        std::vector<unsigned char> image(info.SizeOfImage, 0);
        for (std::size_t page = 0; page < image.size(); page += 4096) {
            SIZE_T got = 0;
            (void)ReadProcessMemory(process_, reinterpret_cast<const void*>(base + page), image.data() + page,
                                    image.size() - page < 4096 ? image.size() - page : 4096, &got);
        }
        using ptr = std::uintptr_t;
        for (std::size_t at = 0; at + sizeof(shadow_console) <= image.size(); at += alignof(shadow_console)) {
            if (field<std::uint64_t>(image, at, offsetof(shadow_console, capture_chars)) != 0x80000 ||
                field<std::uint64_t>(image, at, offsetof(shadow_console, path_bytes)) != 1024)
                continue;
            ptr out = field<ptr>(image, at, offsetof(shadow_console, capture_out));
            ptr err = field<ptr>(image, at, offsetof(shadow_console, capture_err));
            ptr slot1 = field<ptr>(image, at, offsetof(shadow_console, path_slot1));
            ptr slot2 = field<ptr>(image, at, offsetof(shadow_console, path_slot2));
            ptr title = field<ptr>(image, at, offsetof(shadow_console, title));
            if (out != 0 && err == out + 0x20000 && slot1 != 0 && slot2 == slot1 + 1024 && title == slot1 + 2048)
                return base + at + offsetof(shadow_console, closing);
        }
        return 0;
    }

    HANDLE process_;
    std::uintptr_t closing_at_ = 0;
};

unsigned long long ms_between(const std::wstring& probe, const wchar_t* from, const wchar_t* to)
{
    unsigned long long a = probe_tick(probe, from), b = probe_tick(probe, to);
    return a && b && b >= a ? b - a : ~0ull;
}

}  // namespace

TEST_F(Entry, VersionIsReadFromItsFirstFourCharacters)
{
    child_result r = run_in_own_console(L"2019abc " + quote_argument(path), verdict_2019);
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(probe_screen(r.probe), report_2015_to_2019()) << r.probe;
    EXPECT_EQ(r.output, L"");
    EXPECT_EQ(read_file_bytes(path), project_2019);
}

TEST_F(Entry, SwitchSpellingsAllConvert)
{
    for (const wchar_t* option : {L"-s", L"-silent"}) {
        ASSERT_TRUE(write_file_bytes(path, project_2015));
        clear_screen(harness_screen);
        child_result r = run_from_prompt(L"2019 " + quote_argument(path) + L" " + option);
        EXPECT_EQ(r.exit_code, 0u) << option;
        EXPECT_EQ(screen_text(harness_screen), report_2015_to_2019() + L"\n") << option;
        EXPECT_EQ(read_file_bytes(path), project_2019) << option;
    }
    for (const wchar_t* option : {L"-S", L"-x"}) {
        ASSERT_TRUE(write_file_bytes(path, project_2015));
        child_result r = run_in_own_console(L"2019 " + quote_argument(path) + L" " + option, verdict_2019);
        EXPECT_EQ(r.exit_code, 0u) << option;
        EXPECT_NE(probe_screen(r.probe).find(report_2015_to_2019()), std::wstring::npos) << option << L"\n" << r.probe;
        EXPECT_EQ(read_file_bytes(path), project_2019) << option;
    }
    EXPECT_EQ(screen_text(harness_screen), report_2015_to_2019() + L"\n") << "only -s and -silent reach the harness";
}

TEST_F(Entry, ArgumentsAfterTheSwitchAreIgnored)
{
    child_result r = run_from_prompt(L"2019 " + quote_argument(path) + L" -s 2010 extra");
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(screen_text(harness_screen), report_2015_to_2019() + L"\n");
    EXPECT_EQ(read_file_bytes(path), project_2019);
}

TEST_F(Entry, TooFewArgumentsOrNoVersionTurnToHelp)
{
    // The help is the usage box (tests/app/help_e2e_test.cpp); answered with
    // Cancel, it leaves the console of the prompt that started it as it was.
    for (std::wstring arguments : {std::wstring(L""), std::wstring(L"2019"), L"2018 " + quote_argument(path),
                                   L"201 " + quote_argument(path), L"\"\" " + quote_argument(path), L"-s 2019 " + quote_argument(path)}) {
        running_program run(quote_argument(sibling_program(L"projport.exe")) + L" " + arguments);
        HWND box = run.find_window(L"#32770", L":: projport ::");
        ASSERT_NE(box, nullptr) << arguments;
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
        ASSERT_TRUE(run.wait(10000)) << arguments;
        EXPECT_EQ(run.exit_code(), 1u) << arguments;
        EXPECT_EQ(run.output(), L"") << arguments;
    }
    EXPECT_EQ(screen_text(harness_screen), L"") << "no console is written to";
    EXPECT_EQ(console_title(), harness_title);
    EXPECT_EQ(read_file_bytes(path), project_2015);
}

TEST_F(Entry, MissingProjectIsReportedAndStillExitsZero)
{
    std::wstring missing = folder.file(L"missing.vcxproj");
    child_result r = run_in_own_console(L"2010 " + quote_argument(missing), L"^ERROR: ");
    EXPECT_EQ(r.exit_code, 0u);
    std::wstring expected = L"[" + missing + L"]\nConfiguring project for Visual Studio 2010\n\nopen(" + missing +
                            L")\n   ^ERROR: 2, ";
    EXPECT_EQ(probe_screen(r.probe).rfind(expected, 0), 0u) << r.probe;
}

TEST_F(Entry, AlreadyConfiguredProjectIsLeftAsItIs)
{
    child_result r = run_in_own_console(L"2015 " + quote_argument(path), L"Already configured");
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(probe_screen(r.probe), L"[" + path + L"]\nConfiguring project for Visual Studio 2015\n\n"
                                     L"Already configured for Visual Studio 2015\n");
    EXPECT_EQ(read_file_bytes(path), project_2015);
}

// --- A console of the program's own (started as from Explorer) ---

TEST_F(Entry, OwnConsoleIsTitledAndAKeyPressEndsTheWait)
{
    child_result r = run_in_own_console(L"2019 " + quote_argument(path), verdict_2019);
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(probe_value(r.probe, L"title"), program_title);
    EXPECT_LT(ms_between(r.probe, L"key_tick", L"exit_tick"), at_once_ms) << r.probe;
    EXPECT_EQ(console_title(), harness_title) << "the harness's console is not touched";
    EXPECT_EQ(screen_text(harness_screen), L"");
}

TEST_F(Entry, WithoutAKeyTheWaitLastsFiveSecondsAndKeyReleasesOrMouseClicksDoNotEndIt)
{
    launch_options options;
    options.probe = {std::wstring(L"until=") + verdict_2019, L"keyup", L"mouse", L"exit"};
    child_result r = run(L"2019 " + quote_argument(path), options);
    EXPECT_EQ(r.exit_code, 0u);
    // Measured from the start, which came before the verdict was printed and
    // the wait began: the probe may see the verdict late, never early.
    unsigned long long exit_tick = probe_tick(r.probe, L"exit_tick");
    ASSERT_NE(exit_tick, 0u) << r.probe;
    EXPECT_GE(exit_tick - r.start_tick, full_wait_ms) << r.probe;
    EXPECT_LT(ms_between(r.probe, L"seen_tick", L"exit_tick"), 15000u) << "the wait ends by itself\n" << r.probe;
    EXPECT_EQ(probe_screen(r.probe), report_2015_to_2019());
}

TEST_F(Entry, KeyPressedDuringTheConversionEndsTheFinalWaitAtOnce)
{
    child_result r = run_during_conversion(L"2019 " + quote_argument(path),
                                           {L"until=<PlatformToolset>v140", L"key",
                                            std::wstring(L"absent=") + verdict_2019,
                                            std::wstring(L"until=") + verdict_2019, L"exit"},
                                           key_came_before_the_verdict);
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(probe_value(r.probe, L"absent"), L"1") << "the key came during the conversion\n" << r.probe;
    EXPECT_LT(ms_between(r.probe, L"seen_tick", L"exit_tick"), at_once_ms) << r.probe;
}

TEST_F(Entry, CtrlCDuringTheWaitEndsItAndTheProgramEndsNormally)
{
    launch_options options;
    options.probe = {std::wstring(L"until=") + verdict_2019, L"settle", L"ctrlc", L"exit"};
    child_result r = run(L"2019 " + quote_argument(path), options);
    EXPECT_EQ(probe_value(r.probe, L"error"), L"");
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_LT(ms_between(r.probe, L"ctrlc_tick", L"exit_tick"), at_once_ms) << r.probe;
    EXPECT_EQ(read_file_bytes(path), project_2019);
}

// A stream without a descriptor is skipped before _setmode, whose
// invalid-parameter handler would end the process under MSVC's runtime.
// Windows reopens the streams on the program's console, so the report is
// there; under Wine they cannot be reopened then and the report is lost, so
// there the conversion itself is what shows the program ran to its end.
TEST_F(Entry, StartedWithoutStandardHandlesItStillConvertsAndExitsZero)
{
    const bool wine = running_under_wine();
    launch_options options;
    options.no_std_handles = true;
    if (wine)
        options.probe = {L"settle", L"key", L"exit"};
    else
        options.probe = {std::wstring(L"until=") + verdict_2019, L"settle", L"key", L"exit"};
    child_result r = run(L"2019 " + quote_argument(path), options);
    EXPECT_EQ(r.exit_code, 0u) << r.probe;
    EXPECT_EQ(read_file_bytes(path), project_2019);
    EXPECT_EQ(probe_value(r.probe, L"title"), program_title) << r.probe;
    if (!wine) {
        EXPECT_EQ(probe_screen(r.probe), report_2015_to_2019()) << r.probe;
    }
}

// Under Wine a process that Ctrl+C ends still exits with 0, so the test above
// cannot tell survival from death; here the Ctrl+C comes during the
// conversion, and the work finishing proves it was survived. The event it
// signalled then ends the final wait at once.
TEST_F(Entry, CtrlCDuringTheConversionIsSurvivedAndEndsTheFinalWaitAtOnce)
{
    child_result r = run_during_conversion(L"2019 " + quote_argument(path),
                                           {L"until=<PlatformToolset>v140", std::wstring(L"absent=") + verdict_2019,
                                            L"ctrlc", std::wstring(L"until=") + verdict_2019, L"exit"},
                                           key_came_before_the_verdict);
    EXPECT_EQ(probe_value(r.probe, L"error"), L"");
    EXPECT_EQ(probe_value(r.probe, L"absent"), L"1") << r.probe;
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(read_file_bytes(path).find("v140"), std::string::npos) << "the whole conversion ran";
    EXPECT_LT(ms_between(r.probe, L"seen_tick", L"exit_tick"), at_once_ms) << r.probe;
}

// --- The caller's console (-s) ---

TEST_F(Entry, WithSwitchTheReportGoesToTheCallersConsoleWithoutAWait)
{
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(write_key(harness_input, true));  // type-ahead
    running_program run(program() + L" 2019 " + quote_argument(path) + L" -s");
    ASSERT_TRUE(run.started());
    // No final wait: the program ends soon after the verdict is on the screen.
    ULONGLONG deadline = GetTickCount64() + 30000;
    while (screen_text(harness_screen).find(verdict_2019) == std::wstring::npos && GetTickCount64() < deadline)
        if (run.wait(10))
            break;
    ULONGLONG seen = GetTickCount64();
    ASSERT_TRUE(run.wait(30000));
    EXPECT_LT(GetTickCount64() - seen, at_once_ms) << "no final wait";
    EXPECT_EQ(run.exit_code(), 0u);
    // The report, then exactly one line break of the release's own.
    EXPECT_EQ(screen_text(harness_screen), report_2015_to_2019() + L"\n");
    COORD cursor = cursor_position(harness_screen);
    EXPECT_EQ(cursor.X, 0);
    EXPECT_EQ(cursor.Y, 8);
    EXPECT_EQ(console_title(), harness_title);
    EXPECT_EQ(pending_input_events(harness_input), 0u) << "type-ahead is discarded";
    EXPECT_EQ(run.output(), L"");
}

TEST_F(Entry, WithSwitchKeysTypedDuringTheRunAreConsumed)
{
    child_result r = run_during_conversion(L"2019 " + quote_argument(path) + L" -s",
                                           {L"until=<PlatformToolset>v140", L"key", L"key",
                                            std::wstring(L"absent=") + verdict_2019,
                                            std::wstring(L"until=") + verdict_2019, L"exit"},
                                           key_came_before_the_verdict);
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(probe_value(r.probe, L"absent"), L"1") << r.probe;
    EXPECT_EQ(pending_input_events(harness_input), 0u);
    EXPECT_EQ(console_title(), harness_title);
}

TEST_F(Entry, WithSwitchCtrlCDuringTheRunIsSurvivedAndSkipsTheRelease)
{
    // The Ctrl+C counts only when the program took it during the conversion:
    // its handler had set `closing` while the verdict was not yet on the
    // screen. A conversion that ended first proves nothing either way and is
    // run again, longer; how fast the machine is does not decide the outcome.
    for (int lines : {3000, 9000, 27000, 81000}) {
        SCOPED_TRACE(lines);
        std::string slow = slow_project_2015(lines);
        ASSERT_TRUE(write_file_bytes(path, slow));
        clear_screen(harness_screen);
        running_program run(program() + L" 2019 " + quote_argument(path) + L" -s");
        ASSERT_TRUE(run.started());
        ULONGLONG deadline = GetTickCount64() + 60000;
        while (screen_text(harness_screen).find(L"<PlatformToolset>v140") == std::wstring::npos &&
               GetTickCount64() < deadline)
            if (run.wait(5))
                break;
        program_record record(run.process());
        ASSERT_TRUE(record.found() || run.wait(0)) << "the running program's record was not found";
        // The harness's own handler lets it go on; the program shares the console.
        ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
        bool taken = record.closing();
        while (!taken && GetTickCount64() < deadline && !run.wait(1))
            taken = record.closing();
        // The verdict is the last line printed: the rows at the cursor show it at once.
        bool in_time = taken && screen_tail(harness_screen, 4).find(verdict_2019) == std::wstring::npos;
        ASSERT_TRUE(run.wait(60000));
        if (!in_time)
            continue;
        EXPECT_EQ(run.exit_code(), 0u);
        // Survival is proven by the work finishing: the whole file is converted.
        std::string converted = read_file_bytes(path);
        EXPECT_EQ(converted.find("v140"), std::string::npos);
        EXPECT_EQ(converted.size(), slow.size()) << "same length: ToolsVersion 14.0 -> 15.0, v140 -> v142";
        // console_release was skipped: no line break after the verdict.
        std::wstring screen = screen_text(harness_screen);
        std::wstring tail = std::wstring(verdict_2019) + L"\n";
        ASSERT_GE(screen.size(), tail.size());
        EXPECT_EQ(screen.substr(screen.size() - tail.size()), tail);
        return;
    }
    FAIL() << "the program never took the Ctrl+C before its conversion ended";
}

TEST_F(Entry, WithSwitchButNoConsoleToAttachToItOpensItsOwnWithoutAWait)
{
    FreeConsole();  // now the program's parent has no console, as Explorer has none
    child_result r = run_during_conversion(L"2019 " + quote_argument(path) + L" -s",
                                           {std::wstring(L"until=") + verdict_2019, L"exit"}, probe_attached);
    ASSERT_TRUE(open_harness_console());
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(probe_value(r.probe, L"title"), program_title) << r.probe;
    EXPECT_NE(probe_screen(r.probe).find(verdict_2019), std::wstring::npos) << r.probe;
    EXPECT_LT(ms_between(r.probe, L"seen_tick", L"exit_tick"), at_once_ms) << r.probe;
}

// --- A console that was there at start-up ---

// Started from the harness's console without DETACHED_PROCESS, as from a
// prompt. On Windows a GUI program gets no console at start even then: it
// opens one of its own, as when started from Explorer, and the prompt's
// console keeps its title, screen and input.
TEST_F(Entry, StartedWithAConsoleItTitlesItAndLeavesTheStreamsAlone)
{
    ASSERT_TRUE(write_key(harness_input, true));
    launch_options options;
    options.detached = false;
    if (!running_under_wine()) {
        options.probe = {std::wstring(L"until=") + verdict_2019, L"settle", L"key", L"exit"};
        child_result r = run(L"2019 " + quote_argument(path), options);
        EXPECT_EQ(r.exit_code, 0u);
        EXPECT_EQ(probe_value(r.probe, L"title"), program_title) << r.probe;
        EXPECT_EQ(probe_screen(r.probe), report_2015_to_2019()) << r.probe;
        EXPECT_LT(ms_between(r.probe, L"key_tick", L"exit_tick"), at_once_ms) << r.probe;
        EXPECT_EQ(r.output, L"");
        EXPECT_EQ(read_file_bytes(path), project_2019);
        EXPECT_EQ(console_title(), harness_title);
        EXPECT_EQ(screen_text(harness_screen), L"");
        EXPECT_EQ(pending_input_events(harness_input), 1u) << "the harness's input is not the program's";
        return;
    }
    // Only Wine gives a GUI program the console of its parent at start: the
    // program then titles that console and leaves its streams alone.
    child_result r = run(L"2019 " + quote_argument(path), options);
    EXPECT_EQ(r.exit_code, 0u);
    EXPECT_EQ(console_title(), program_title);
    // The streams stay on the file they were given, nothing is on the screen.
    EXPECT_EQ(r.output, report_2015_to_2019());
    EXPECT_EQ(screen_text(harness_screen), L"");
    // Its standard input is NUL, not the console: the watcher leaves the
    // console's input alone and the wait runs its five seconds on almost no
    // processor time. (Wine's NUL never fires a wait, so whether a wait is
    // armed on a redirected input is shown by Watcher.NoWaitIsArmedOnARedirectedInput.)
    EXPECT_GE(r.end_tick - r.start_tick, full_wait_ms);
    EXPECT_LT(r.cpu_ms, 2500u) << "a wait that spins takes about five seconds";
    EXPECT_EQ(pending_input_events(harness_input), 1u);
    // Nothing was freed: the console still works for the harness.
    DWORD written = 0;
    EXPECT_TRUE(WriteConsoleW(harness_screen, L"still here", 10, &written, nullptr));
    EXPECT_EQ(screen_text(harness_screen), L"still here");
}

// --- Start-up and exit order ---

// A program built like projport.exe: console_init has run before the entry
// routine and after every other dynamic initialiser (one of default priority,
// one prioritised on mingw-w64), and console_teardown runs before the
// exit-time routine that was registered before it.
TEST(StartupOrder, ConsoleInitRunsLastBeforeTheEntryAndTeardownFirstAtExit)
{
    child_result r = run_detached(quote_argument(sibling_program(L"startup_order_probe.exe")));
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exit_code, 7u);
    EXPECT_EQ(r.output, L"initialiser: before console_init\n"
                        L"initialiser: before console_init\n"
                        L"wWinMain: after console_init\n"
                        L"atexit: after console_teardown\n");
}

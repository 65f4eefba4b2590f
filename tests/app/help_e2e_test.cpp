// Starts projport.exe with a command line that names no conversion and drives
// its usage box and console as a person would; then uses the Explorer verb
// that the box installed. These tests change the file association of
// .vcxproj in HKEY_CLASSES_ROOT (they point it at a ProgID of their own), so
// they run only where that registry is a private one, the Wine prefix of the
// test run, or when PROJPORT_ALLOW_REGISTRY_CHANGES=1 asks for it; whatever
// they change is put back on every path out of a test.

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/file_bytes.h"
#include "support/named_lock.h"
#include "support/registry_backup.h"
#include "support/registry_gate.h"
#include "support/registry_tree.h"
#include "support/running_program.h"
#include "support/temp_dir.h"
#include "support/wine_check.h"
#include "support/small_projects.h"

namespace {

constexpr wchar_t usage_title[] = L":: projport ::";
const std::wstring usage_text =
    L"Converts Visual Studio project files between versions 2010, 2015, 2017 and 2019\n\nUsage:\n"
    L"projport <2010|2015|2017|2019> <project.vcxproj>\n\n"
    L"Yes: install context menu handler for .vcxproj\nNo: remove context menu handler for .vcxproj\n"
    L"Cancel: close this help";
const std::wstring finished = L"\n:: finished ::\n";


std::wstring message_text(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return L"<no answer>";
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                        5000, &got);
    text.resize(got);
    return text;
}

std::wstring class_of(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::vector<HWND> children_of(HWND parent)
{
    std::vector<HWND> children;
    EnumChildWindows(
        parent,
        [](HWND child, LPARAM list) {
            reinterpret_cast<std::vector<HWND>*>(list)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&children));
    return children;
}

// A key pressed on the control that has the box's keyboard focus.
void press_on_box(HWND box, WORD key)
{
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    HWND target = box;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &thread) && thread.hwndFocus)
        target = thread.hwndFocus;
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, key, scan | 1);
    PostMessageW(target, WM_KEYUP, key, scan | 1 | (LPARAM{1} << 30) | (LPARAM{1} << 31));
}

// What console_probe reports after carrying out `commands` on the console of
// the process (see tests/support/console_probe.cpp).
std::wstring probe_console(DWORD process_id, const std::vector<std::wstring>& commands)
{
    std::wstring line = quote_argument(sibling_program(L"console_probe.exe")) + L" " + std::to_wstring(process_id);
    for (const std::wstring& command : commands)
        line += L" " + quote_argument(command);
    child_result probe = run_detached(line, 60000);
    return probe.finished ? probe.output : L"error=the probe did not finish";
}

// The screen text that console_probe reads back after `text` was printed on
// a fresh console `width` columns wide: a line wraps onto the next row when
// it reaches the last column (at once, so a line of exactly `width`
// characters leaves an empty row behind it), blanks at the ends of rows do
// not show, and a row full to its last column is joined with the next.
std::wstring screen_after(const std::wstring& text, std::size_t width)
{
    std::vector<std::wstring> rows(1);
    for (wchar_t c : text) {
        if (c == L'\n') {
            rows.emplace_back();
            continue;
        }
        rows.back() += c;
        if (rows.back().size() == width)
            rows.emplace_back();
    }
    std::wstring screen;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::wstring row = rows[i];
        bool full = row.size() == width && row.back() != L' ';
        row.erase(row.find_last_not_of(L' ') + 1);
        screen += row;
        if (i + 1 < rows.size() && !full)
            screen += L'\n';
    }
    return screen;
}

// The ProgIDs that .vcxproj names now: the default value's and those under
// OpenWithProgids.
std::vector<std::wstring> progids_in_use()
{
    std::vector<std::wstring> progids;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L".vcxproj", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        saved_value value;
        if (read_registry_value(key, L"", value) == ERROR_SUCCESS && value.type == REG_SZ && value.bytes.size() > 2)
            progids.push_back(reinterpret_cast<const wchar_t*>(value.bytes.data()));
        RegCloseKey(key);
    }
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L".vcxproj\\OpenWithProgids", 0, KEY_READ, &key) == ERROR_SUCCESS) {
        wchar_t name[512];
        for (DWORD index = 0;; ++index) {
            DWORD chars = 512;
            if (RegEnumValueW(key, index, name, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
                break;
            if (chars > 0)
                progids.emplace_back(name, chars);
        }
        RegCloseKey(key);
    }
    return progids;
}

constexpr wchar_t association_lock[] = L"Local\\projport-tests-vcxproj-association";

class UsageBox : public testing::Test {
protected:
    std::wstring progid = L"projport.e2e." + std::to_wstring(GetCurrentProcessId());
    std::wstring program = sibling_program(L"projport.exe");
    // Declared in this order so that everything is put back before the lock
    // is let go.
    std::unique_ptr<named_lock> lock;
    std::unique_ptr<saved_registry_value> saved_association;
    std::vector<std::unique_ptr<saved_registry_key>> saved_keys;

    void SetUp() override
    {
        std::wstring why;
        if (!registry_changes_allowed(why))
            GTEST_SKIP() << why;
        lock = std::make_unique<named_lock>(association_lock, 120000);
        ASSERT_TRUE(lock->held()) << "another test program keeps the file association";
        // The verbs under the ProgIDs the program would use should pointing
        // .vcxproj at the test's own fail, and that ProgID itself.
        for (const std::wstring& in_use : progids_in_use())
            for (const wchar_t* version : {L"2010", L"2015", L"2017", L"2019"})
                saved_keys.push_back(std::make_unique<saved_registry_key>(
                    HKEY_CLASSES_ROOT, in_use + L"\\shell\\_projport " + version));
        saved_keys.push_back(std::make_unique<saved_registry_key>(HKEY_CLASSES_ROOT, progid));
        saved_association = std::make_unique<saved_registry_value>(HKEY_CLASSES_ROOT, L".vcxproj", L"");
        ASSERT_TRUE(saved_association->saved());
        for (const auto& key : saved_keys)
            ASSERT_TRUE(key->saved());
        ASSERT_NO_FATAL_FAILURE(set_default(L".vcxproj", progid));
        ASSERT_EQ(default_string(L".vcxproj"), progid);
        (void)RegDeleteTreeW(HKEY_CLASSES_ROOT, progid.c_str());
    }

    // The holders put everything back once more when they end; here a
    // failure to do so is reported.
    void TearDown() override
    {
        for (const auto& key : saved_keys)
            EXPECT_EQ(key->restore(), ERROR_SUCCESS);
        if (saved_association) {
            EXPECT_EQ(saved_association->restore(), ERROR_SUCCESS);
        }
    }

    static void set_default(const std::wstring& path, const std::wstring& text)
    {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CLASSES_ROOT, path.c_str(), L"", REG_SZ, text.c_str(),
                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    static std::wstring default_string(const std::wstring& path)
    {
        wchar_t data[1024] = {};
        DWORD size = sizeof data;
        if (RegGetValueW(HKEY_CLASSES_ROOT, path.c_str(), L"", RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr, data, &size) !=
            ERROR_SUCCESS)
            return L"<missing>";
        return data;
    }

    static bool exists(const std::wstring& path)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    std::wstring registry_state() const
    {
        return dump_key(HKEY_CLASSES_ROOT, L".vcxproj") + dump_key(HKEY_CLASSES_ROOT, progid);
    }

    std::wstring verb_key(const wchar_t* version) const { return progid + L"\\shell\\_projport " + version; }
    std::wstring command_key(const wchar_t* version) const { return verb_key(version) + L"\\command"; }

    static std::wstring command_for(const std::wstring& exe, const wchar_t* version)
    {
        return L"\"" + exe + L"\" " + version + L" \"%1\"";
    }

    std::wstring install_report(const std::wstring& exe) const
    {
        return L"Installing context menu handlers:\n\n"
               L"[" + command_key(L"2010") + L"]\n@=" + command_for(exe, L"2010") + L"\n\n"
               L"[" + command_key(L"2019") + L"]\n@=" + command_for(exe, L"2019") + L"\n\n" + finished;
    }

    std::wstring removal_report() const
    {
        return L"Removing context menu handlers:\n\n"
               L"[HKEY_CLASSES_ROOT\\" + verb_key(L"2010") + L"]\n"
               L"[HKEY_CLASSES_ROOT\\" + verb_key(L"2019") + L"]\n" + finished;
    }

    // Answers the box with Yes or No and checks the console's report, that the
    // console stays until a key is pressed, and the exit code.
    void answer_and_check_console(const std::wstring& exe, WPARAM answer, const std::wstring& report)
    {
        running_program run(quote_argument(exe));
        ASSERT_TRUE(run.started());
        HWND box = run.find_window(L"#32770", usage_title);
        ASSERT_NE(box, nullptr);
        PostMessageW(box, WM_COMMAND, answer, 0);

        std::wstring seen = probe_console(run.id(), {L"until=:: finished ::", L"settle"});
        ASSERT_NE(probe_value(seen, L"seen_tick"), L"") << seen;
        EXPECT_EQ(probe_value(seen, L"title"), L"tarnvik.projport");
        std::size_t width = std::wcstoul(probe_value(seen, L"width").c_str(), nullptr, 10);
        EXPECT_EQ(probe_screen(seen), screen_after(report, width));
        EXPECT_EQ(run.output(), L"") << "the report goes to the console";

        // Held open until a key is pressed in the console.
        EXPECT_FALSE(run.wait(1000));
        std::wstring pressed = probe_console(run.id(), {L"key", L"exit"});
        EXPECT_NE(probe_value(pressed, L"exit_tick"), L"") << pressed;
        ASSERT_TRUE(run.wait(10000));
        EXPECT_EQ(run.exit_code(), 1u);
    }

    // Answers the box in a way that only closes it.
    void dismiss_and_check(void (*answer)(HWND))
    {
        std::wstring before = registry_state();
        running_program run(quote_argument(program));
        ASSERT_TRUE(run.started());
        HWND box = run.find_window(L"#32770", usage_title);
        ASSERT_NE(box, nullptr);
        // A probe that keeps trying to attach to a console of the program's
        // until the program has ended. The box is answered once the probe is
        // looking, and the probe must have begun while the program still ran:
        // one that came too late would find no console in any case.
        running_program probe(quote_argument(sibling_program(L"console_probe.exe")) + L" " +
                              std::to_wstring(run.id()));
        ASSERT_TRUE(probe.started());
        for (ULONGLONG deadline = GetTickCount64() + 30000;
             probe.output().find(L"running_at_start=") == std::wstring::npos && GetTickCount64() < deadline;)
            if (probe.wait(20))
                break;
        answer(box);
        ASSERT_TRUE(run.wait(10000));
        EXPECT_EQ(run.exit_code(), 1u);
        EXPECT_EQ(run.output(), L"");
        EXPECT_EQ(registry_state(), before);
        ASSERT_TRUE(probe.wait(30000));
        EXPECT_EQ(probe_value(probe.output(), L"running_at_start"), L"1") << probe.output();
        EXPECT_EQ(probe_value(probe.output(), L"error"), L"no console to attach to") << probe.output();
    }
};

}  // namespace

TEST_F(UsageBox, ShowsTheUsageWithYesNoAndCancelTheDefault)
{
    running_program run(quote_argument(program));
    ASSERT_TRUE(run.started());
    HWND box = run.find_window(L"#32770", usage_title);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(message_text(box), usage_title);
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);

    std::vector<std::wstring> texts;
    std::set<int> buttons;
    bool icon = false;
    for (HWND child : children_of(box)) {
        if (!IsWindowVisible(child))
            continue;
        LONG style = GetWindowLongW(child, GWL_STYLE);
        if (class_of(child) == L"Static") {
            if ((style & SS_TYPEMASK) == SS_ICON)
                icon = SendMessageW(child, STM_GETICON, 0, 0) != 0;
            else
                texts.push_back(message_text(child));
        } else if (class_of(child) == L"Button") {
            int id = GetDlgCtrlID(child);
            buttons.insert(id);
            std::wstring caption = message_text(child);
            caption.erase(std::remove(caption.begin(), caption.end(), L'&'), caption.end());
            EXPECT_EQ(caption, id == IDYES ? L"Yes" : id == IDNO ? L"No" : L"Cancel") << id;
        }
    }
    EXPECT_EQ(texts, std::vector<std::wstring>{usage_text});
    EXPECT_EQ(buttons, (std::set<int>{IDYES, IDNO, IDCANCEL}));
    EXPECT_TRUE(icon);
    // Cancel is drawn as the default button, whichever window is in front.
    HWND cancel = GetDlgItem(box, IDCANCEL);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(GetWindowLongW(cancel, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    // Cancel has the focus and is drawn as the default. The focus is the
    // box's thread's own, which GetGUIThreadInfo may not report while another
    // program's window is in the foreground (Windows lets no program take the
    // foreground from the one the user is in); Wine always reports it.
    GUITHREADINFO thread{};
    thread.cbSize = sizeof thread;
    ASSERT_TRUE(GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &thread));
    if (!thread.hwndFocus && GetForegroundWindow() != box && !running_under_wine()) {
        PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
        (void)run.wait(10000);
        GTEST_SKIP() << "the usage box is not in the foreground (another window is), so its focus cannot be "
                        "seen; only the default button's style was checked";
    }
    ASSERT_NE(thread.hwndFocus, nullptr);
    EXPECT_EQ(GetDlgCtrlID(thread.hwndFocus), IDCANCEL);
    EXPECT_EQ(GetWindowLongW(thread.hwndFocus, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);

    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(run.wait(10000));
    EXPECT_EQ(run.exit_code(), 1u);
}

TEST_F(UsageBox, CancelOnlyClosesIt)
{
    dismiss_and_check([](HWND box) { PostMessageW(box, WM_COMMAND, IDCANCEL, 0); });
}

TEST_F(UsageBox, CloseButtonOnlyClosesIt)
{
    dismiss_and_check([](HWND box) { PostMessageW(box, WM_CLOSE, 0, 0); });
}

TEST_F(UsageBox, EscapeOnlyClosesIt)
{
    dismiss_and_check([](HWND box) { press_on_box(box, VK_ESCAPE); });
}

TEST_F(UsageBox, EnterChoosesTheDefaultCancel)
{
    dismiss_and_check([](HWND box) { press_on_box(box, VK_RETURN); });
}

TEST_F(UsageBox, YesInstallsTheVerbsAndNoRemovesThem)
{
    answer_and_check_console(program, IDYES, install_report(program));
    EXPECT_EQ(default_string(command_key(L"2010")), command_for(program, L"2010"));
    EXPECT_EQ(default_string(command_key(L"2019")), command_for(program, L"2019"));
    EXPECT_FALSE(exists(verb_key(L"2015")));
    EXPECT_FALSE(exists(verb_key(L"2017")));

    answer_and_check_console(program, IDNO, removal_report());
    for (const wchar_t* version : {L"2010", L"2015", L"2017", L"2019"})
        EXPECT_FALSE(exists(verb_key(version))) << version;
}

TEST_F(UsageBox, NoWithNothingInstalledSaysSo)
{
    std::wstring before = registry_state();
    answer_and_check_console(program, IDNO,
                             L"Removing context menu handlers:\n\n(i) not installed\n(i) not installed\n"
                             L"(i) not installed\n" + finished);
    EXPECT_EQ(registry_state(), before);
}

TEST_F(UsageBox, InstalledVerbRetargetsTheClickedProject)
{
    // The program in a folder with a space, as under "Program Files".
    temp_dir folder;
    std::wstring tools = folder.file(L"my tools");
    ASSERT_TRUE(CreateDirectoryW(tools.c_str(), nullptr));
    std::wstring exe = tools + L"\\projport.exe";
    ASSERT_TRUE(CopyFileW(program.c_str(), exe.c_str(), TRUE));
    answer_and_check_console(exe, IDYES, install_report(exe));

    // What Explorer does when the verb is chosen on "my app.vcxproj".
    std::wstring project = folder.file(L"my app.vcxproj");
    ASSERT_TRUE(write_file_bytes(project, project_2015));
    std::wstring command = default_string(command_key(L"2019"));
    ASSERT_EQ(command, command_for(exe, L"2019"));
    command.replace(command.find(L"%1"), 2, project);
    {
        running_program verb(command);
        ASSERT_TRUE(verb.started());
        ASSERT_TRUE(verb.wait(20000));
        EXPECT_EQ(verb.exit_code(), 0u);
    }
    EXPECT_EQ(read_file_bytes(project), project_2019);

    command = default_string(command_key(L"2010"));
    command.replace(command.find(L"%1"), 2, project);
    {
        running_program verb(command);
        ASSERT_TRUE(verb.started());
        ASSERT_TRUE(verb.wait(20000));
        EXPECT_EQ(verb.exit_code(), 0u);
    }
    std::string retargeted = read_file_bytes(project);
    EXPECT_NE(retargeted.find("ToolsVersion=\"4.0\""), std::string::npos) << retargeted;
    EXPECT_NE(retargeted.find("<PlatformToolset>v100</PlatformToolset>"), std::string::npos) << retargeted;
}

TEST_F(UsageBox, WithoutAConsoleWindowTheAnswerDoesNotWaitForAKey)
{
    // The program's own AllocConsole fails while it shares a console, and
    // with no console window there is nothing to press a key in: a wait then
    // would never end. Only Wine lets a GUI program share a console at start.
    if (!running_under_wine())
        GTEST_SKIP() << "a GUI program shares no console at start on Windows";
    // A console program with a console without a window starts the program on
    // that console (see shared_console_parent.cpp): exit code 2 there means
    // the program waited for a key.
    running_program role(quote_argument(sibling_program(L"shared_console_parent.exe")) + L" " +
                             quote_argument(program),
                         CREATE_NO_WINDOW);
    ASSERT_TRUE(role.started());

    HWND box = nullptr;
    for (int attempt = 0; attempt < 300 && !box; ++attempt) {
        box = FindWindowW(L"#32770", usage_title);
        if (!box && role.wait(50))
            break;
    }
    ASSERT_NE(box, nullptr) << role.output();
    PostMessageW(box, WM_COMMAND, IDYES, 0);
    ASSERT_TRUE(role.wait(30000));
    EXPECT_EQ(role.exit_code(), 1u) << "2: the program waited for a key\n" << role.output();
    EXPECT_EQ(default_string(command_key(L"2019")), command_for(program, L"2019"));
}

// The verb as Explorer starts it: the shell looks up the file type of the
// extension, finds the verb by its key name and puts the project's path in.
// Under Wine the started program shares the console of this test program, as
// any GUI child of a console program does there, and may hold it for its
// five seconds' wait; the bound allows for that.
TEST_F(UsageBox, InstalledVerbStartedByTheShellRetargetsTheProject)
{
    ASSERT_NO_FATAL_FAILURE(answer_and_check_console(program, IDYES, install_report(program)));
    temp_dir folder;
    std::wstring project = folder.file(L"my app.vcxproj");
    ASSERT_TRUE(write_file_bytes(project, project_2015));

    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpVerb = L"_projport 2010";
    info.lpFile = project.c_str();
    info.nShow = SW_SHOWNORMAL;
    BOOL started = ShellExecuteExW(&info);
    DWORD error = GetLastError();
    if (SUCCEEDED(com))
        CoUninitialize();
    ASSERT_TRUE(started) << "error " << error;
    ASSERT_NE(info.hProcess, nullptr) << "the shell started no process of its own";
    bool ended = WaitForSingleObject(info.hProcess, 30000) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(info.hProcess, 0xDEAD);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    ASSERT_TRUE(ended);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(read_file_bytes(project), project_2010);
}

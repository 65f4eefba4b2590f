// register_context_menu against the real registry, with HKEY_CLASSES_ROOT
// redirected to a scratch key under HKEY_CURRENT_USER that each test sets up
// and deletes again.

#include "shell/register_context_menu.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "support/registry_tree.h"
#include "support/stdout_capture.h"
#include "support/wine_check.h"

namespace {

constexpr wchar_t scratch_parent[] = L"Software\\projport-tests";

const std::wstring finished = L"\n:: finished ::\n";
const std::wstring no_progid = L"failed to get\n[HKEY_CLASSES_ROOT\\.vcxproj]\n" + finished;
const std::wstring not_installed = L"(i) not installed\n";

std::wstring module_path()
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length);
}

std::wstring command_for(const wchar_t* version)
{
    return L"\"" + module_path() + L"\" " + version + L" \"%1\"";
}

std::wstring install_report(const std::wstring& progid)
{
    return L"Installing context menu handlers:\n\n"
           L"[" + progid + L"\\shell\\_projport 2010\\command]\n@=" + command_for(L"2010") + L"\n\n"
           L"[" + progid + L"\\shell\\_projport 2019\\command]\n@=" + command_for(L"2019") + L"\n\n" + finished;
}

std::wstring verb_line(const std::wstring& progid, const wchar_t* version)
{
    return L"[HKEY_CLASSES_ROOT\\" + progid + L"\\shell\\_projport " + version + L"]\n";
}

std::wstring verb_key(const std::wstring& progid, const wchar_t* version)
{
    return progid + L"\\shell\\_projport " + version;
}

std::wstring command_key(const std::wstring& progid, const wchar_t* version)
{
    return verb_key(progid, version) + L"\\command";
}

std::vector<BYTE> string_bytes(const std::wstring& text)
{
    const BYTE* first = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(first, first + (text.size() + 1) * sizeof(wchar_t));
}

struct outcome {
    std::int32_t result;
    std::wstring report;
};

class Registration : public testing::Test {
protected:
    std::wstring scratch = std::wstring(scratch_parent) + L"\\classes-" + std::to_wstring(GetCurrentProcessId());
    HKEY root = nullptr;  // what HKEY_CLASSES_ROOT stands for during the test

    void SetUp() override
    {
        (void)RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str());
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, scratch.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_ALL_ACCESS, nullptr, &root, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, root), ERROR_SUCCESS);
    }

    void TearDown() override
    {
        EXPECT_EQ(RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr), ERROR_SUCCESS);
        if (root)
            RegCloseKey(root);
        EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str()), ERROR_SUCCESS);
        (void)RegDeleteKeyW(HKEY_CURRENT_USER, scratch_parent);  // fails while another run still uses it
    }

    static outcome run(bool install)
    {
        stdout_capture out;
        std::int32_t result = register_context_menu(install);
        return {result, out.text()};
    }

    void create(const std::wstring& path, DWORD options = REG_OPTION_NON_VOLATILE)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS)
            << path;
        RegCloseKey(key);
    }

    void set_value(const std::wstring& path, const std::wstring& name, DWORD type, const std::vector<BYTE>& data)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS)
            << path;
        EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS)
            << path << L" " << name;
        RegCloseKey(key);
    }

    void set_string(const std::wstring& path, const std::wstring& name, const std::wstring& text)
    {
        set_value(path, name, REG_SZ, string_bytes(text));
    }

    bool exists(const std::wstring& path) const
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        RegCloseKey(key);
        return true;
    }

    // The default value as REG_SZ, or "<missing>".
    std::wstring default_string(const std::wstring& path) const
    {
        wchar_t data[1024] = {};
        DWORD size = sizeof data;
        DWORD type = 0;
        if (RegGetValueW(root, path.c_str(), L"", RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            return L"<missing>";
        return data;
    }

    DWORD value_count(const std::wstring& path) const
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return 0xFFFFFFFF;
        DWORD values = 0;
        RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr);
        RegCloseKey(key);
        return values;
    }

    // Every key, value name, type and data byte below the scratch key.
    std::wstring snapshot() const { return dump_key(root, L""); }

    // What a successful installation leaves under the ProgID: two command
    // keys with the command as their default value, and no other value.
    void expect_installed(const std::wstring& progid)
    {
        EXPECT_EQ(default_string(command_key(progid, L"2010")), command_for(L"2010"));
        EXPECT_EQ(default_string(command_key(progid, L"2019")), command_for(L"2019"));
        EXPECT_EQ(value_count(command_key(progid, L"2010")), 1u);
        EXPECT_EQ(value_count(command_key(progid, L"2019")), 1u);
        EXPECT_EQ(value_count(verb_key(progid, L"2010")), 0u);
        EXPECT_EQ(value_count(verb_key(progid, L"2019")), 0u);
        EXPECT_EQ(value_count(progid + L"\\shell"), 0u);
        EXPECT_FALSE(exists(verb_key(progid, L"2015")));
        EXPECT_FALSE(exists(verb_key(progid, L"2017")));
    }
};

}  // namespace

TEST_F(Registration, RedirectedClassesRootIsTheScratchKey)
{
    set_string(L".vcxproj", L"", L"Scratch.1");
    wchar_t data[64] = {};
    DWORD size = sizeof data;
    ASSERT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, L".vcxproj", L"", RRF_RT_REG_SZ, nullptr, data, &size), ERROR_SUCCESS);
    EXPECT_STREQ(data, L"Scratch.1");
}

TEST_F(Registration, StringDefaultValueOfTheExtensionIsTheProgId)
{
    set_string(L".vcxproj", L"", L"Test.vcxproj.1");
    set_value(L".vcxproj\\OpenWithProgids", L"Other.1", REG_SZ, {});

    outcome o = run(true);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.report, install_report(L"Test.vcxproj.1"));
    expect_installed(L"Test.vcxproj.1");
    EXPECT_EQ(value_count(L"Test.vcxproj.1"), 0u);
    EXPECT_FALSE(exists(L"Other.1"));
}

TEST_F(Registration, DefaultValueOfAnotherTypeFallsBackToOpenWithProgids)
{
    const std::wstring expand = L"%SystemRoot%.1";
    const std::vector<std::pair<DWORD, std::vector<BYTE>>> defaults = {
        {REG_EXPAND_SZ, string_bytes(expand)},
        {REG_MULTI_SZ, string_bytes(std::wstring(L"Multi.1") + L'\0')},
        {REG_DWORD, {1, 0, 0, 0}},
        {REG_BINARY, string_bytes(L"Binary.1")},
        {REG_NONE, string_bytes(L"None.1")},
    };
    for (const auto& [type, data] : defaults) {
        SCOPED_TRACE(type);
        set_value(L".vcxproj", L"", type, data);
        set_value(L".vcxproj\\OpenWithProgids", L"Fallback.1", REG_SZ, {});

        outcome o = run(true);
        EXPECT_EQ(o.result, 0);
        EXPECT_EQ(o.report, install_report(L"Fallback.1"));
        expect_installed(L"Fallback.1");
        EXPECT_EQ(RegDeleteTreeW(root, L"Fallback.1"), ERROR_SUCCESS);
        // Neither the stored text nor its expansion became a ProgID.
        EXPECT_EQ(snapshot().find(L"shell"), std::wstring::npos) << snapshot();
    }
}

TEST_F(Registration, OpenWithProgidsPassesOverValuesOfEveryOtherType)
{
    // Values are enumerated in the order they were created on Windows and by
    // name under Wine; the names keep both orders the same.
    set_value(L".vcxproj\\OpenWithProgids", L"A.None", REG_NONE, {});
    set_value(L".vcxproj\\OpenWithProgids", L"B.Sz", REG_SZ, {});
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(root, L".vcxproj\\OpenWithProgids", 0, KEY_READ, &key), ERROR_SUCCESS);
    wchar_t name[64];
    DWORD name_chars = 64;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &name_chars, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_STREQ(name, L"A.None");

    outcome o = run(true);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.report, install_report(L"B.Sz"));
    expect_installed(L"B.Sz");
    EXPECT_FALSE(exists(L"A.None"));
}

TEST_F(Registration, OpenWithProgidsPassesOverEveryNonStringTypeAndTheEmptyName)
{
    set_string(L".vcxproj\\OpenWithProgids", L"", L"Default.1");
    set_value(L".vcxproj\\OpenWithProgids", L"A1.Binary", REG_BINARY, {1, 2});
    set_value(L".vcxproj\\OpenWithProgids", L"A2.Dword", REG_DWORD, {1, 0, 0, 0});
    set_value(L".vcxproj\\OpenWithProgids", L"A3.Expand", REG_EXPAND_SZ, string_bytes(L"x"));
    set_value(L".vcxproj\\OpenWithProgids", L"A4.Multi", REG_MULTI_SZ, string_bytes(std::wstring(L"x") + L'\0'));
    set_value(L".vcxproj\\OpenWithProgids", L"A5.Qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});
    set_value(L".vcxproj\\OpenWithProgids", L"B.Sz", REG_SZ, {});
    set_value(L".vcxproj\\OpenWithProgids", L"C.Sz", REG_SZ, {});

    outcome o = run(true);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.report, install_report(L"B.Sz"));
    expect_installed(L"B.Sz");
    EXPECT_FALSE(exists(L"C.Sz"));
    EXPECT_FALSE(exists(L"shell"));
}

TEST_F(Registration, NoUsableProgIdFailsToGetAndChangesNothing)
{
    for (bool install : {true, false}) {
        SCOPED_TRACE(install ? "install" : "remove");
        // No .vcxproj key at all.
        std::wstring before = snapshot();
        outcome o = run(install);
        EXPECT_EQ(o.result, ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(o.report, no_progid);
        EXPECT_EQ(snapshot(), before);

        // A default value of another type and no OpenWithProgids key.
        set_value(L".vcxproj", L"", REG_DWORD, {7, 0, 0, 0});
        before = snapshot();
        o = run(install);
        EXPECT_EQ(o.result, ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(o.report, no_progid);
        EXPECT_EQ(snapshot(), before);

        // An OpenWithProgids key without a string value that names anything.
        set_string(L".vcxproj\\OpenWithProgids", L"", L"Default.1");
        set_value(L".vcxproj\\OpenWithProgids", L"None.1", REG_NONE, {});
        set_value(L".vcxproj\\OpenWithProgids", L"Dword.1", REG_DWORD, {1, 0, 0, 0});
        before = snapshot();
        o = run(install);
        EXPECT_EQ(o.result, ERROR_NO_MORE_ITEMS);
        EXPECT_EQ(o.report, no_progid);
        EXPECT_EQ(snapshot(), before);
        EXPECT_EQ(RegDeleteTreeW(root, L".vcxproj"), ERROR_SUCCESS);
    }
}

TEST_F(Registration, InstallingTwiceGivesTheSameReportAndValues)
{
    set_string(L".vcxproj", L"", L"Twice.1");
    outcome first = run(true);
    std::wstring after_first = snapshot();
    outcome second = run(true);
    EXPECT_EQ(first.result, 0);
    EXPECT_EQ(second.result, 0);
    EXPECT_EQ(second.report, first.report);
    EXPECT_EQ(second.report, install_report(L"Twice.1"));
    EXPECT_EQ(snapshot(), after_first);
    expect_installed(L"Twice.1");
}

TEST_F(Registration, RemovalAfterInstallDeletesBothVerbsAndNothingElse)
{
    set_string(L".vcxproj", L"", L"Project.1");
    set_string(L"Project.1", L"", L"C++ Project");
    set_string(L"Project.1\\shell\\open\\command", L"", L"\"devenv.exe\" \"%1\"");
    ASSERT_EQ(run(true).result, 0);

    outcome o = run(false);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.report, L"Removing context menu handlers:\n\n" + verb_line(L"Project.1", L"2010") +
                            verb_line(L"Project.1", L"2019") + finished);
    EXPECT_FALSE(exists(verb_key(L"Project.1", L"2010")));
    EXPECT_FALSE(exists(verb_key(L"Project.1", L"2019")));
    EXPECT_EQ(default_string(L"Project.1"), L"C++ Project");
    EXPECT_EQ(default_string(L"Project.1\\shell\\open\\command"), L"\"devenv.exe\" \"%1\"");
}

TEST_F(Registration, RemovalWithNothingInstalledSaysSoThreeTimes)
{
    set_string(L".vcxproj", L"", L"Project.1");
    std::wstring before = snapshot();
    outcome o = run(false);
    EXPECT_EQ(o.result, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(o.report, L"Removing context menu handlers:\n\n" + not_installed + not_installed + not_installed + finished);
    EXPECT_EQ(snapshot(), before);
}

TEST_F(Registration, RemovalWithOnlyThe2019Verb)
{
    set_string(L".vcxproj", L"", L"Project.1");
    set_string(command_key(L"Project.1", L"2019"), L"", L"x");
    outcome o = run(false);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.report, L"Removing context menu handlers:\n\n" + not_installed + not_installed +
                            verb_line(L"Project.1", L"2019") + finished);
    EXPECT_FALSE(exists(verb_key(L"Project.1", L"2019")));
    EXPECT_TRUE(exists(L"Project.1\\shell"));
}

TEST_F(Registration, RemovalDeletesTheVerbsOfOlderVersionsToo)
{
    set_string(L".vcxproj", L"", L"Project.1");
    create(verb_key(L"Project.1", L"2015"));
    set_string(command_key(L"Project.1", L"2017"), L"", L"x");
    outcome o = run(false);
    // The 2019 verb is absent but a verb was found before it: no line for it.
    EXPECT_EQ(o.result, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(o.report, L"Removing context menu handlers:\n\n" + verb_line(L"Project.1", L"2015") +
                            verb_line(L"Project.1", L"2017") + finished);
    EXPECT_FALSE(exists(verb_key(L"Project.1", L"2015")));
    EXPECT_FALSE(exists(verb_key(L"Project.1", L"2017")));

    create(verb_key(L"Project.1", L"2010"));
    o = run(false);
    EXPECT_EQ(o.result, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(o.report, L"Removing context menu handlers:\n\n" + verb_line(L"Project.1", L"2010") + finished);
    EXPECT_FALSE(exists(verb_key(L"Project.1", L"2010")));
}

TEST_F(Registration, ProgIdTooLongForTheKeyPathIsReportedAndNothingIsTouched)
{
    // Components of at most 255 characters, as key names must be.
    auto progid_of = [](size_t length) {
        std::wstring progid;
        while (progid.size() < length)
            progid += progid.size() % 201 == 200 ? L'\\' : L'p';
        return progid;
    };

    // 511 - 29 characters still take "\shell\_projport 2010\command".
    std::wstring longest = progid_of(482);
    set_string(L".vcxproj", L"", longest);
    outcome o = run(true);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.report, install_report(longest));
    expect_installed(longest);
    ASSERT_EQ(RegDeleteTreeW(root, longest.substr(0, 200).c_str()), ERROR_SUCCESS);

    std::wstring too_long = progid_of(483);
    set_string(L".vcxproj", L"", too_long);
    std::wstring before = snapshot();
    o = run(true);
    EXPECT_EQ(o.result, ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(o.report, L"ProgID too long (483 characters, at most 482 fit)\n[HKEY_CLASSES_ROOT\\.vcxproj]\n" + finished);
    EXPECT_EQ(snapshot(), before);

    // Removal's suffix is shorter: 483 characters still fit, 491 do not.
    create(verb_key(too_long, L"2019"));
    o = run(false);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.report, L"Removing context menu handlers:\n\n" + not_installed + not_installed +
                            verb_line(too_long, L"2019") + finished);
    EXPECT_FALSE(exists(verb_key(too_long, L"2019")));

    std::wstring longest_readable = progid_of(511);
    set_string(L".vcxproj", L"", longest_readable);
    before = snapshot();
    o = run(false);
    EXPECT_EQ(o.result, ERROR_BUFFER_OVERFLOW);
    EXPECT_EQ(o.report, L"ProgID too long (511 characters, at most 490 fit)\n[HKEY_CLASSES_ROOT\\.vcxproj]\n" + finished);
    EXPECT_EQ(snapshot(), before);

    // Longer than the buffer: the first reading fails and the fallback runs.
    set_string(L".vcxproj", L"", progid_of(512));
    set_value(L".vcxproj\\OpenWithProgids", L"Short.1", REG_SZ, {});
    o = run(true);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.report, install_report(L"Short.1"));
    expect_installed(L"Short.1");
}

TEST_F(Registration, ProgIdStoredWithExtraZeroCharactersEndsAtItsFirstZero)
{
    std::vector<BYTE> data = string_bytes(L"Extra.1");
    data.insert(data.end(), 8, 0);  // four more zero characters, counted in the stored size
    set_value(L".vcxproj", L"", REG_SZ, data);
    set_string(L"Extra.1", L"", L"Extra file type");
    set_string(L"Extra.1\\shell\\open\\command", L"", L"open \"%1\"");

    outcome o = run(true);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.report, install_report(L"Extra.1"));
    expect_installed(L"Extra.1");
    EXPECT_EQ(default_string(L"Extra.1"), L"Extra file type");

    o = run(false);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.report, L"Removing context menu handlers:\n\n" + verb_line(L"Extra.1", L"2010") +
                            verb_line(L"Extra.1", L"2019") + finished);
    EXPECT_EQ(default_string(L"Extra.1"), L"Extra file type");
    EXPECT_EQ(default_string(L"Extra.1\\shell\\open\\command"), L"open \"%1\"");
}

TEST_F(Registration, EmptyProgIdCountsAsNotFound)
{
    set_string(L".vcxproj", L"", L"");
    for (bool install : {true, false}) {
        std::wstring before = snapshot();
        outcome o = run(install);
        EXPECT_EQ(o.result, ERROR_FILE_NOT_FOUND);
        EXPECT_EQ(o.report, no_progid);
        EXPECT_EQ(snapshot(), before);
        // A key path built on an empty ProgID would start with a backslash,
        // which names a key right under the root.
        EXPECT_FALSE(exists(L"shell"));
    }

    set_value(L".vcxproj\\OpenWithProgids", L"Fallback.1", REG_SZ, {});
    outcome o = run(true);
    EXPECT_EQ(o.result, 0);
    EXPECT_EQ(o.report, install_report(L"Fallback.1"));
    expect_installed(L"Fallback.1");
    EXPECT_FALSE(exists(L"shell"));
}

TEST_F(Registration, CommandKeyThatCannotBeCreatedIsReportedAndTheNextVerbFollows)
{
    // A volatile key cannot have a lasting subkey.
    set_string(L".vcxproj", L"", L"Volatile.1");
    create(L"Volatile.1", REG_OPTION_VOLATILE);
    outcome o = run(true);
    EXPECT_EQ(o.result, ERROR_CHILD_MUST_BE_VOLATILE);
    EXPECT_EQ(o.report, L"Installing context menu handlers:\n\n"
                        L"failed to create HKEY_CLASSES_ROOT\\Volatile.1\\shell\\_projport 2010\\command\n"
                        L"failed to create HKEY_CLASSES_ROOT\\Volatile.1\\shell\\_projport 2019\\command\n" +
                            finished);
    EXPECT_FALSE(exists(L"Volatile.1\\shell"));
}

TEST_F(Registration, EveryKeyIsClosedAfterItsUse)
{
    // Under Wine a freed handle's slot is the next one given out, so a key
    // left open takes the slot of the probe closed before the run; Wine's
    // count of open handles does not see registry keys. Windows does not
    // document the order in which it gives freed slots out again, but its
    // count of open handles is exact: it also counts what the system opens
    // for the process on first use and keeps (the registry's handles of the
    // predefined keys among them), so an installation and a removal run once
    // before anything is counted.
    const bool wine = running_under_wine();
    auto probe = [wine]() -> std::uintptr_t {
        if (!wine) {
            DWORD count = 0;
            return GetProcessHandleCount(GetCurrentProcess(), &count) ? count : ~std::uintptr_t{0};
        }
        HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        CloseHandle(event);
        return reinterpret_cast<std::uintptr_t>(event);
    };
    set_string(L".vcxproj\\OpenWithProgids", L"Project.1", L"");
    (void)run(true);  // whatever the system opens once, on first use, stays open
    (void)run(false);
    for (bool install : {true, false, false}) {
        std::uintptr_t before = probe();
        ASSERT_NE(before, ~std::uintptr_t{0});
        outcome o = run(install);
        EXPECT_EQ(probe(), before) << o.report;
    }
}

// The holders that put a registry value or key tree back, against a scratch
// key of the test's own under HKEY_CURRENT_USER.

#include "support/registry_backup.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/registry_tree.h"

namespace {

constexpr wchar_t scratch_parent[] = L"Software\\projport-tests";

class RegistryBackup : public testing::Test {
protected:
    std::wstring scratch = std::wstring(scratch_parent) + L"\\backup-" + std::to_wstring(GetCurrentProcessId());
    std::wstring key = scratch + L"\\.vcxproj";

    void SetUp() override { ASSERT_EQ(create(scratch), ERROR_SUCCESS); }

    void TearDown() override
    {
        EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str()), ERROR_SUCCESS);
        (void)RegDeleteKeyW(HKEY_CURRENT_USER, scratch_parent);  // fails while another run still uses it
    }

    static LSTATUS create(const std::wstring& path)
    {
        HKEY created = nullptr;
        LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_ALL_ACCESS, nullptr, &created, nullptr);
        if (status == ERROR_SUCCESS)
            RegCloseKey(created);
        return status;
    }

    static LSTATUS set(const std::wstring& path, const wchar_t* name, DWORD type, const std::vector<BYTE>& bytes)
    {
        return RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name, type, bytes.data(),
                               static_cast<DWORD>(bytes.size()));
    }

    static std::vector<BYTE> text(const std::wstring& value)
    {
        const BYTE* first = reinterpret_cast<const BYTE*>(value.c_str());
        return std::vector<BYTE>(first, first + (value.size() + 1) * sizeof(wchar_t));
    }

    static std::vector<BYTE> long_binary()
    {
        std::vector<BYTE> bytes(5000);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<BYTE>(i * 7);
        return bytes;
    }

    std::wstring state() const { return dump_key(HKEY_CURRENT_USER, scratch); }
};

}  // namespace

TEST_F(RegistryBackup, ValueOfAnotherTypeAndAnyLengthComesBackExactly)
{
    ASSERT_EQ(set(key, L"", REG_BINARY, long_binary()), ERROR_SUCCESS);
    ASSERT_EQ(set(key, L"other", REG_SZ, text(L"kept")), ERROR_SUCCESS);
    std::wstring before = state();
    {
        saved_registry_value saved(HKEY_CURRENT_USER, key, L"");
        ASSERT_TRUE(saved.saved());
        ASSERT_EQ(set(key, L"", REG_SZ, text(L"projport.e2e")), ERROR_SUCCESS);
        ASSERT_NE(state(), before);
    }
    EXPECT_EQ(state(), before);
}

TEST_F(RegistryBackup, StringWithoutATerminatorAndEmptyValuesComeBackExactly)
{
    std::vector<BYTE> unterminated = text(std::wstring(700, L'p'));
    unterminated.resize(unterminated.size() - 2);
    ASSERT_EQ(set(key, L"", REG_EXPAND_SZ, unterminated), ERROR_SUCCESS);
    // On a key of its own: a value written anew may be listed in another
    // place among its key's values.
    std::wstring other = scratch + L"\\other";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, other.c_str(), L"empty", REG_NONE, nullptr, 0), ERROR_SUCCESS);
    std::wstring before = state();
    {
        saved_registry_value saved(HKEY_CURRENT_USER, key, L"");
        saved_registry_value empty(HKEY_CURRENT_USER, other, L"empty");
        ASSERT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), L""), ERROR_SUCCESS);
        ASSERT_EQ(set(other, L"empty", REG_DWORD, {1, 0, 0, 0}), ERROR_SUCCESS);
    }
    EXPECT_EQ(state(), before);
}

TEST_F(RegistryBackup, AbsentValueIsDeletedAgainAndTheKeyKept)
{
    ASSERT_EQ(create(key), ERROR_SUCCESS);
    std::wstring before = state();
    {
        saved_registry_value saved(HKEY_CURRENT_USER, key, L"");
        ASSERT_EQ(set(key, L"", REG_SZ, text(L"projport.e2e")), ERROR_SUCCESS);
    }
    EXPECT_EQ(state(), before);
}

TEST_F(RegistryBackup, AbsentKeyIsDeletedAgainWithWhatWasPutBelowIt)
{
    std::wstring before = state();
    {
        saved_registry_value saved(HKEY_CURRENT_USER, key, L"");
        ASSERT_TRUE(saved.saved());
        ASSERT_EQ(set(key + L"\\OpenWithProgids", L"x", REG_SZ, text(L"")), ERROR_SUCCESS);
        ASSERT_EQ(set(key, L"", REG_SZ, text(L"projport.e2e")), ERROR_SUCCESS);
    }
    EXPECT_EQ(state(), before);
    EXPECT_EQ(dump_key(HKEY_CURRENT_USER, key), L"<missing>");
}

TEST_F(RegistryBackup, KeyTreeComesBackWithEveryValueAndSubkey)
{
    std::wstring verb = scratch + L"\\VisualStudio.Launcher.vcxproj\\shell\\_projport 2019";
    ASSERT_EQ(set(verb, L"", REG_SZ, text(L"mine")), ERROR_SUCCESS);
    ASSERT_EQ(set(verb + L"\\command", L"", REG_EXPAND_SZ, text(L"\"%SystemRoot%\\x.exe\" \"%1\"")), ERROR_SUCCESS);
    ASSERT_EQ(set(verb + L"\\command", L"data", REG_BINARY, long_binary()), ERROR_SUCCESS);
    ASSERT_EQ(create(verb + L"\\empty\\deeper"), ERROR_SUCCESS);
    std::wstring before = state();
    {
        saved_registry_key saved(HKEY_CURRENT_USER, verb);
        ASSERT_TRUE(saved.saved());
        ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, (verb + L"\\empty").c_str()), ERROR_SUCCESS);
        ASSERT_EQ(set(verb + L"\\command", L"", REG_SZ, text(L"\"projport.exe\" 2019 \"%1\"")), ERROR_SUCCESS);
        ASSERT_EQ(set(verb + L"\\added", L"", REG_SZ, text(L"new")), ERROR_SUCCESS);
        ASSERT_NE(state(), before);
    }
    EXPECT_EQ(state(), before);
}

TEST_F(RegistryBackup, AbsentKeyTreeIsDeletedAgain)
{
    std::wstring progid = scratch + L"\\projport.e2e";
    std::wstring before = state();
    {
        saved_registry_key saved(HKEY_CURRENT_USER, progid);
        ASSERT_TRUE(saved.saved());
        ASSERT_EQ(set(progid + L"\\shell\\_projport 2010\\command", L"", REG_SZ, text(L"x")), ERROR_SUCCESS);
    }
    EXPECT_EQ(state(), before);
}

TEST_F(RegistryBackup, RestoringTwiceGivesTheSameState)
{
    ASSERT_EQ(set(key, L"", REG_SZ, text(L"VisualStudio.Launcher.vcxproj")), ERROR_SUCCESS);
    std::wstring before = state();
    saved_registry_value value(HKEY_CURRENT_USER, key, L"");
    saved_registry_key tree(HKEY_CURRENT_USER, key);
    ASSERT_EQ(set(key, L"", REG_SZ, text(L"projport.e2e")), ERROR_SUCCESS);
    EXPECT_EQ(value.restore(), ERROR_SUCCESS);
    EXPECT_EQ(tree.restore(), ERROR_SUCCESS);
    EXPECT_EQ(value.restore(), ERROR_SUCCESS);
    EXPECT_EQ(state(), before);
}

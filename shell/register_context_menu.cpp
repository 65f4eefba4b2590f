#include "shell/register_context_menu.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>

#include "console/report.h"
#include "platform/win32_handles.h"

namespace {

// Working storage, in characters including the terminator.
constexpr DWORD key_path_chars = 512;
constexpr DWORD command_chars = 512;
constexpr DWORD module_path_chars = 496;  // from character 1 of the command buffer

constexpr wchar_t extension_key[] = L".vcxproj";
constexpr wchar_t open_with_progids_key[] = L".vcxproj\\OpenWithProgids";

constexpr wchar_t no_module_path_text[] = L"failed to get the path to executable image\n";
constexpr wchar_t no_progid_text[] = L"failed to get\n[HKEY_CLASSES_ROOT\\.vcxproj]\n";
constexpr wchar_t long_progid_text[] = L"ProgID too long (%u characters, at most %u fit)\n[HKEY_CLASSES_ROOT\\.vcxproj]\n";
constexpr wchar_t install_header_text[] = L"Installing context menu handlers:\n\n";
constexpr wchar_t create_failed_text[] = L"failed to create HKEY_CLASSES_ROOT\\%ls\n";
constexpr wchar_t set_failed_text[] = L"failed to set HKEY_CLASSES_ROOT\\%ls\n";
constexpr wchar_t installed_text[] = L"[%ls]\n@=%ls\n\n";
constexpr wchar_t removal_header_text[] = L"Removing context menu handlers:\n\n";
constexpr wchar_t removing_text[] = L"[HKEY_CLASSES_ROOT\\%ls]\n";
constexpr wchar_t delete_failed_text[] = L"^ failed %u\n\n";
constexpr wchar_t not_installed_text[] = L"(i) not installed\n";
constexpr wchar_t finished_text[] = L"\n:: finished ::\n";

struct verb {
    const wchar_t* install_suffix;  // the command key; null: never installed
    const wchar_t* removal_suffix;  // the verb key
    const wchar_t* arguments;       // behind the quoted module path
};

// Removal handles all four in this order; the last one's outcome is the result.
constexpr verb verbs[] = {
    {L"\\shell\\_projport 2010\\command", L"\\shell\\_projport 2010", L"2010 \"%1\""},
    {nullptr, L"\\shell\\_projport 2015", nullptr},
    {nullptr, L"\\shell\\_projport 2017", nullptr},
    {L"\\shell\\_projport 2019\\command", L"\\shell\\_projport 2019", L"2019 \"%1\""},
};

constexpr std::size_t text_length(const wchar_t* text) noexcept
{
    std::size_t length = 0;
    while (text[length])
        ++length;
    return length;
}

// Every suffix of one mode has the same length.
constexpr std::size_t install_suffix_chars = text_length(L"\\shell\\_projport 2010\\command");
constexpr std::size_t removal_suffix_chars = text_length(L"\\shell\\_projport 2010");

// Copies text with its terminator; the caller has made sure that it fits.
void copy_text(wchar_t* destination, const wchar_t* text) noexcept
{
    do
        *destination++ = *text;
    while (*text++);
}

std::int32_t finish(std::int32_t result) noexcept
{
    print_report(finished_text);
    return result;
}

// The ProgID of .vcxproj, into key_path. Returns 0 and its length in
// characters, or the error code of the open or enumeration that ran out.
LSTATUS find_progid(wchar_t* key_path, DWORD& length) noexcept
{
    // RRF_NOEXPAND: RRF_RT_REG_SZ alone would take a REG_EXPAND_SZ value,
    // expanded, for a REG_SZ one.
    DWORD size = key_path_chars * sizeof(wchar_t);
    LSTATUS status = RegGetValueW(HKEY_CLASSES_ROOT, extension_key, L"", RRF_RT_REG_SZ | RRF_NOEXPAND, nullptr,
                                  key_path, &size);
    key_path[key_path_chars - 1] = L'\0';
    // The string's own length, not the stored byte count: a value stored with
    // extra zero characters would otherwise put every suffix behind a
    // terminator, and the key paths would name the ProgID's key itself.
    if (status == ERROR_SUCCESS && (length = static_cast<DWORD>(lstrlenW(key_path))) > 0)
        return ERROR_SUCCESS;

    for (DWORD index = 0;; ++index) {
        DWORD name_chars = key_path_chars;
        DWORD type = REG_NONE;
        unique_key key;
        status = RegOpenKeyExW(HKEY_CLASSES_ROOT, open_with_progids_key, 0, KEY_QUERY_VALUE, key.put());
        if (status == ERROR_SUCCESS) {
            status = RegEnumValueW(key.get(), index, key_path, &name_chars, nullptr, &type, nullptr, nullptr);
            (void)key.close();
        }
        if (status != ERROR_SUCCESS)
            return status;
        // An empty name (the key's default value) names no file type.
        if (type == REG_SZ && name_chars > 0) {
            length = name_chars;
            return ERROR_SUCCESS;
        }
    }
}

// Creates the key, or opens it if it exists, and closes it again (when the
// holder goes out of scope, before the status is handed back).
LSTATUS create_key(const wchar_t* key_path) noexcept
{
    unique_key key;
    return RegCreateKeyExW(HKEY_CLASSES_ROOT, key_path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                           key.put(), nullptr);
}

// Writes the command as the key's default value. Returns 0 or the error code
// of the first call that failed.
LSTATUS set_command(const wchar_t* key_path, const wchar_t* command) noexcept
{
    LSTATUS status = create_key(key_path);
    if (status != ERROR_SUCCESS)
        return status;
    unique_key key;
    status = RegOpenKeyExW(HKEY_CLASSES_ROOT, key_path, 0, KEY_SET_VALUE, key.put());
    if (status != ERROR_SUCCESS)
        return status;
    // The length is converted once, before the arithmetic, so that the byte
    // count is computed in DWORD alone (lstrlenW never returns less than 0).
    DWORD chars = static_cast<DWORD>(lstrlenW(command)) + 1;
    DWORD bytes = chars * static_cast<DWORD>(sizeof(wchar_t));
    return RegSetValueExW(key.get(), L"", 0, REG_SZ, reinterpret_cast<const BYTE*>(command), bytes);
}

std::int32_t install_verbs(wchar_t* key_path, wchar_t* suffix, wchar_t* command, wchar_t* arguments) noexcept
{
    print_report(install_header_text);
    LSTATUS result = ERROR_SUCCESS;
    for (const verb& v : verbs) {
        if (!v.install_suffix)
            continue;
        copy_text(suffix, v.install_suffix);
        // The command key is created here and once more while its value is set.
        result = create_key(key_path);
        if (result != ERROR_SUCCESS) {
            print_report(create_failed_text, key_path);
            continue;
        }
        copy_text(arguments, v.arguments);
        result = set_command(key_path, command);
        if (result != ERROR_SUCCESS) {
            print_report(set_failed_text, key_path);
            continue;
        }
        print_report(installed_text, key_path, command);
    }
    return result;
}

std::int32_t remove_verbs(wchar_t* key_path, wchar_t* suffix) noexcept
{
    print_report(removal_header_text);
    bool found = false;
    LSTATUS result = ERROR_SUCCESS;
    for (const verb& v : verbs) {
        copy_text(suffix, v.removal_suffix);
        unique_key key;
        result = RegOpenKeyExW(HKEY_CLASSES_ROOT, key_path, 0, KEY_QUERY_VALUE, key.put());
        if (result == ERROR_SUCCESS) {
            found = true;
            (void)key.close();
            print_report(removing_text, key_path);
            result = RegDeleteTreeW(HKEY_CLASSES_ROOT, key_path);
            if (result != ERROR_SUCCESS)
                print_report(delete_failed_text, static_cast<unsigned>(result));
        } else if (&v != &verbs[0] && !found) {
            print_report(not_installed_text);
        }
    }
    return result;
}

}  // namespace

std::int32_t register_context_menu(bool install) noexcept
{
    wchar_t key_path[key_path_chars] = {};
    wchar_t command[command_chars] = {};

    command[0] = L'"';
    DWORD path_length = GetModuleFileNameW(nullptr, command + 1, module_path_chars);
    // A path that fills the capacity has been cut short: a command built on it
    // would start some other program, or none.
    if (path_length == 0 || path_length >= module_path_chars) {
        print_report(no_module_path_text);
        return finish(-1);
    }
    command[1 + path_length] = L'"';
    command[2 + path_length] = L' ';
    wchar_t* arguments = command + 3 + path_length;  // 509 - path_length characters left, enough for any

    DWORD progid_length = 0;
    LSTATUS status = find_progid(key_path, progid_length);
    if (status != ERROR_SUCCESS) {
        print_report(no_progid_text);
        return finish(status);
    }
    // A ProgID of up to 511 characters can be read, but a suffix behind it
    // must still fit with its terminator; otherwise nothing is touched.
    std::size_t suffix_chars = install ? install_suffix_chars : removal_suffix_chars;
    if (progid_length + suffix_chars + 1 > key_path_chars) {
        print_report(long_progid_text, static_cast<unsigned>(progid_length),
                static_cast<unsigned>(key_path_chars - 1 - suffix_chars));
        return finish(ERROR_BUFFER_OVERFLOW);
    }

    wchar_t* suffix = key_path + progid_length;
    return finish(install ? install_verbs(key_path, suffix, command, arguments) : remove_verbs(key_path, suffix));
}

#pragma once
// The kinds of Windows resource held by unique_resource.

#include <windows.h>

#include "platform/unique_resource.h"

// A kernel handle: a file, a process, an event. "No handle" is both NULL and
// INVALID_HANDLE_VALUE, as different calls return either on failure.
struct win32_handle_kind {
    using value_type = HANDLE;
    static HANDLE none() noexcept { return INVALID_HANDLE_VALUE; }
    static bool is_none(HANDLE handle) noexcept { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }
    static bool close(HANDLE handle) noexcept { return CloseHandle(handle) != FALSE; }
};
using unique_handle = unique_resource<win32_handle_kind>;

// A search of FindFirstFileExW.
struct win32_find_kind {
    using value_type = HANDLE;
    static HANDLE none() noexcept { return INVALID_HANDLE_VALUE; }
    static bool is_none(HANDLE handle) noexcept { return handle == nullptr || handle == INVALID_HANDLE_VALUE; }
    static bool close(HANDLE handle) noexcept { return FindClose(handle) != FALSE; }
};
using unique_find = unique_resource<win32_find_kind>;

// An open registry key. The predefined roots (HKEY_CURRENT_USER...) are
// never held.
struct registry_key_kind {
    using value_type = HKEY;
    static HKEY none() noexcept { return nullptr; }
    static bool is_none(HKEY key) noexcept { return key == nullptr; }
    static bool close(HKEY key) noexcept { return RegCloseKey(key) == ERROR_SUCCESS; }
};
using unique_key = unique_resource<registry_key_kind>;

#pragma once
// A registry value or a whole key tree as it was when the holder was made,
// put back exactly (types and bytes of any length, subkeys) when it ends, on
// every path out of a test.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

struct saved_value {
    std::wstring name;
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

struct saved_key {
    std::wstring name;  // relative to the parent
    std::vector<saved_value> values;
    std::vector<saved_key> subkeys;
};

// One value of one key. Restoring deletes the key again when it did not
// exist, and the value when the key had none.
class saved_registry_value {
public:
    saved_registry_value(HKEY root, std::wstring path, std::wstring name);
    ~saved_registry_value() { (void)restore(); }
    saved_registry_value(const saved_registry_value&) = delete;
    saved_registry_value& operator=(const saved_registry_value&) = delete;

    // Whether the value could be read (or was certainly absent).
    bool saved() const { return saved_; }
    // Puts the saved state back. Returns 0 or the first failing call's code.
    LSTATUS restore() const;

private:
    HKEY root_;
    std::wstring path_;
    saved_value value_;
    bool saved_ = false;
    bool key_existed_ = false;
    bool value_existed_ = false;
};

// A key with everything below it. Restoring deletes the key's tree as it is
// now and, when the key existed, writes it again as saved.
class saved_registry_key {
public:
    saved_registry_key(HKEY root, std::wstring path);
    ~saved_registry_key() { (void)restore(); }
    saved_registry_key(const saved_registry_key&) = delete;
    saved_registry_key& operator=(const saved_registry_key&) = delete;

    bool saved() const { return saved_; }
    LSTATUS restore() const;

private:
    HKEY root_;
    std::wstring path_;
    saved_key tree_;
    bool saved_ = false;
    bool existed_ = false;
};

// The value's type and bytes; ERROR_FILE_NOT_FOUND when it is absent.
LSTATUS read_registry_value(HKEY key, const wchar_t* name, saved_value& value);

#include "support/registry_backup.h"

namespace {

struct key_holder {
    HKEY key = nullptr;
    ~key_holder()
    {
        if (key)
            RegCloseKey(key);
    }
};

LSTATUS read_tree(HKEY key, saved_key& tree)
{
    DWORD subkeys = 0, longest_subkey = 0, values = 0, longest_name = 0, longest_data = 0;
    LSTATUS status = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &longest_subkey, nullptr, &values,
                                      &longest_name, &longest_data, nullptr, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    std::vector<wchar_t> name(longest_name + 1);
    for (DWORD index = 0; index < values; ++index) {
        DWORD name_chars = static_cast<DWORD>(name.size());
        status = RegEnumValueW(key, index, name.data(), &name_chars, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            return status;
        saved_value value;
        status = read_registry_value(key, std::wstring(name.data(), name_chars).c_str(), value);
        if (status != ERROR_SUCCESS)
            return status;
        tree.values.push_back(value);
    }
    std::vector<wchar_t> subkey_name(longest_subkey + 1);
    for (DWORD index = 0; index < subkeys; ++index) {
        DWORD name_chars = static_cast<DWORD>(subkey_name.size());
        status = RegEnumKeyExW(key, index, subkey_name.data(), &name_chars, nullptr, nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS)
            return status;
        saved_key child;
        child.name.assign(subkey_name.data(), name_chars);
        key_holder opened;
        status = RegOpenKeyExW(key, child.name.c_str(), 0, KEY_READ, &opened.key);
        if (status == ERROR_SUCCESS)
            status = read_tree(opened.key, child);
        if (status != ERROR_SUCCESS)
            return status;
        tree.subkeys.push_back(child);
    }
    return ERROR_SUCCESS;
}

LSTATUS write_value(HKEY key, const saved_value& value)
{
    return RegSetValueExW(key, value.name.c_str(), 0, value.type, value.bytes.empty() ? nullptr : value.bytes.data(),
                          static_cast<DWORD>(value.bytes.size()));
}

LSTATUS write_tree(HKEY parent, const saved_key& tree)
{
    key_holder created;
    LSTATUS status = RegCreateKeyExW(parent, tree.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                     nullptr, &created.key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    for (const saved_value& value : tree.values)
        if ((status = write_value(created.key, value)) != ERROR_SUCCESS)
            return status;
    for (const saved_key& child : tree.subkeys)
        if ((status = write_tree(created.key, child)) != ERROR_SUCCESS)
            return status;
    return ERROR_SUCCESS;
}

LSTATUS delete_tree(HKEY root, const std::wstring& path)
{
    // Given a subkey, RegDeleteTreeW deletes that key too.
    LSTATUS status = RegDeleteTreeW(root, path.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

}  // namespace

LSTATUS read_registry_value(HKEY key, const wchar_t* name, saved_value& value)
{
    value.name = name;
    for (;;) {
        DWORD size = static_cast<DWORD>(value.bytes.size());
        LSTATUS status = RegQueryValueExW(key, name, nullptr, &value.type,
                                          value.bytes.empty() ? nullptr : value.bytes.data(), &size);
        // A first call with no buffer only tells the size.
        if (status == ERROR_SUCCESS && (size <= value.bytes.size() || size == 0)) {
            value.bytes.resize(size);
            return ERROR_SUCCESS;
        }
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
            return status;
        value.bytes.resize(size);
    }
}

saved_registry_value::saved_registry_value(HKEY root, std::wstring path, std::wstring name)
    : root_(root), path_(std::move(path))
{
    key_holder opened;
    LSTATUS status = RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, &opened.key);
    if (status == ERROR_FILE_NOT_FOUND) {
        saved_ = true;
        return;
    }
    if (status != ERROR_SUCCESS)
        return;
    key_existed_ = true;
    status = read_registry_value(opened.key, name.c_str(), value_);
    value_.name = name;
    value_existed_ = status == ERROR_SUCCESS;
    saved_ = status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

LSTATUS saved_registry_value::restore() const
{
    if (!saved_)
        return ERROR_INVALID_STATE;
    if (!key_existed_)
        return delete_tree(root_, path_);
    key_holder created;
    LSTATUS status = RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                     nullptr, &created.key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    if (value_existed_)
        return write_value(created.key, value_);
    status = RegDeleteValueW(created.key, value_.name.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

saved_registry_key::saved_registry_key(HKEY root, std::wstring path) : root_(root), path_(std::move(path))
{
    key_holder opened;
    LSTATUS status = RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, &opened.key);
    if (status == ERROR_FILE_NOT_FOUND) {
        saved_ = true;
        return;
    }
    if (status != ERROR_SUCCESS)
        return;
    existed_ = true;
    tree_.name = path_;
    saved_ = read_tree(opened.key, tree_) == ERROR_SUCCESS;
}

LSTATUS saved_registry_key::restore() const
{
    if (!saved_)
        return ERROR_INVALID_STATE;
    LSTATUS status = delete_tree(root_, path_);
    if (status != ERROR_SUCCESS || !existed_)
        return status;
    return write_tree(root_, tree_);
}

#pragma once
// A folder of a test's own under the temporary folder, removed with
// everything in it when the test ends.

#include <string>

struct temp_dir {
    std::wstring path;  // without a trailing backslash

    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    std::wstring file(const std::wstring& name) const { return path + L"\\" + name; }
};

// Deletes a file or a folder tree, clearing read-only attributes on the way,
// also where the paths inside are longer than MAX_PATH.
void remove_tree(const std::wstring& path);

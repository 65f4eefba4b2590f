#pragma once
// A folder of a test's own under the temporary folder, removed with
// everything in it when the object goes: on every path out of a test, a
// failed ASSERT included. Paths are in the platform's own string: wide on
// Windows, bytes elsewhere.

#include <filesystem>
#include <string>

struct temp_dir {
    using string = std::filesystem::path::string_type;
    static constexpr auto separator = std::filesystem::path::preferred_separator;

    string path;  // without a trailing separator; empty when none could be made

    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    bool made() const noexcept { return !path.empty(); }
    string file(const string& name) const { return path + separator + name; }
};

// Deletes a file or a folder tree without following links, making read-only
// files and folders that cannot be listed removable on the way (on Windows
// also where the paths inside are longer than MAX_PATH).
void remove_tree(const temp_dir::string& path);

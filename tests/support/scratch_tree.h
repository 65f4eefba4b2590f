#pragma once
// A tree of files in a folder of the test's own (support/temp_dir.h), and
// the few ways the discovery tests fill it.
// Paths are UTF-8; relative names use '/' and are given the platform's
// separator.

#include <string>
#include <string_view>

#include "support/temp_dir.h"

struct scratch_tree {
private:
    temp_dir folder_;

public:
    std::string root;  // UTF-8, without a trailing separator; empty when it could not be made

    scratch_tree();
    scratch_tree(const scratch_tree&) = delete;
    scratch_tree& operator=(const scratch_tree&) = delete;

    // The full path of `relative` ("a/b.vcxproj").
    std::string path(std::string_view relative) const;
    // Makes folder `relative` and the folders above it.
    bool folder(std::string_view relative) const;
    // Writes file `relative`, making its folders first.
    bool file(std::string_view relative, std::string_view bytes = "") const;
};

// `relative` with the platform's separator.
std::string native_path(std::string_view relative);

// Makes the current folder `path` for its lifetime and then restores it.
struct current_folder {
    explicit current_folder(const std::string& path);
    ~current_folder();
    current_folder(const current_folder&) = delete;
    current_folder& operator=(const current_folder&) = delete;

    bool changed = false;

private:
    std::string saved;
};

#pragma once
// What a run leaves in a folder: every file with its bytes, every folder,
// and every link with where it leads, by its path below the folder ('/'
// between names); and where two such pictures differ, told briefly, since
// projects of megabytes are no reading.

#include <filesystem>
#include <map>
#include <string>

struct tree_entry {
    enum class kind { file, folder, link, unreadable };
    kind what = kind::file;
    std::string bytes;  // a file's bytes, a link's target
    unsigned permissions = 0;

    bool operator==(const tree_entry&) const = default;
};

using tree_picture = std::map<std::string, tree_entry>;

// Everything below `folder`, links not followed.
tree_picture picture_of(const std::filesystem::path& folder);

// "" when the pictures are equal, else the first path in which they differ
// and how.
std::string first_difference(const tree_picture& expected, const tree_picture& actual);

// Whether the last part of `relative` is named like the new file a
// replacement writes beside a project (".<name>.projport-....tmp").
bool is_new_file_name(const std::string& relative);

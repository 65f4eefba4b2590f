#include "support/tree_files.h"

#include <system_error>

#include "support/file_bytes.h"

namespace fs = std::filesystem;

tree_picture picture_of(const fs::path& folder)
{
    tree_picture picture;
    std::error_code failed;
    for (fs::recursive_directory_iterator walk(folder, failed), end; !failed && walk != end; walk.increment(failed)) {
        const fs::path& path = walk->path();
        tree_entry entry;
        fs::file_status status = fs::symlink_status(path, failed);
        if (failed)
            break;
        entry.permissions = static_cast<unsigned>(status.permissions());
        if (fs::is_symlink(status)) {
            entry.what = tree_entry::kind::link;
            entry.bytes = fs::read_symlink(path, failed).generic_string();
        } else if (fs::is_directory(status)) {
            entry.what = tree_entry::kind::folder;
        } else {
            bool read = false;
            entry.bytes = read_file_bytes(path.native(), &read);
            if (!read)
                entry.what = tree_entry::kind::unreadable;
        }
        picture[fs::relative(path, folder).generic_string()] = entry;
    }
    if (failed)
        picture["(the walk failed: " + failed.message() + ")"] = {};
    return picture;
}

namespace {

const char* kind_name(tree_entry::kind what)
{
    switch (what) {
    case tree_entry::kind::file:
        return "file";
    case tree_entry::kind::folder:
        return "folder";
    case tree_entry::kind::link:
        return "link";
    case tree_entry::kind::unreadable:
        return "unreadable file";
    }
    return "?";
}

// The first byte at which two texts differ, with a few bytes around it.
std::string where_bytes_differ(const std::string& a, const std::string& b)
{
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        ++at;
    std::size_t from = at < 40 ? 0 : at - 40;
    return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) + ", first difference at byte " +
           std::to_string(at) + ": \"" + a.substr(from, 80) + "\" against \"" + b.substr(from, 80) + "\"";
}

}  // namespace

std::string first_difference(const tree_picture& expected, const tree_picture& actual)
{
    auto e = expected.begin();
    auto a = actual.begin();
    for (; e != expected.end() && a != actual.end(); ++e, ++a) {
        if (e->first != a->first)
            return e->first < a->first ? e->first + " is missing" : a->first + " is not expected";
        const tree_entry& x = e->second;
        const tree_entry& y = a->second;
        if (x.what != y.what)
            return e->first + ": a " + kind_name(y.what) + " instead of a " + kind_name(x.what);
        if (x.permissions != y.permissions)
            return e->first + ": permissions " + std::to_string(y.permissions) + " instead of " +
                   std::to_string(x.permissions);
        if (x.bytes != y.bytes)
            return e->first + ": " + where_bytes_differ(x.bytes, y.bytes);
    }
    if (e != expected.end())
        return e->first + " is missing";
    if (a != actual.end())
        return a->first + " is not expected";
    return "";
}

bool is_new_file_name(const std::string& relative)
{
    std::string name = std::filesystem::path(relative).filename().string();
    return name.size() > 4 && name[0] == '.' && name.find(".projport-") != std::string::npos &&
           name.substr(name.size() - 4) == ".tmp";
}

#include "cli/project_discovery.h"

#include <algorithm>
#include <map>
#include <cstddef>

#include "cli/file_system.h"
#include "cli/solution_reader.h"

namespace {

char lower_ascii(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool same_ignoring_case(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower_ascii(a[i]) != lower_ascii(b[i]))
            return false;
    }
    return true;
}

bool ends_with_ignoring_case(std::string_view text, std::string_view tail) noexcept
{
    return text.size() >= tail.size() && same_ignoring_case(text.substr(text.size() - tail.size()), tail);
}

// Any separator a solution may write, whatever the platform.
bool is_written_separator(char c) noexcept
{
    return c == '\\' || c == '/';
}

// The folder part of `path`, with its trailing separator; empty when there is
// none. On Windows "C:x.sln" gives "C:".
std::string_view folder_part(std::string_view path) noexcept
{
    std::size_t end = path.size();
    while (end > 0 && !is_path_separator(path[end - 1]))
        --end;
    if (end == 0)
        end = drive_prefix_length(path);
    return path.substr(0, end);
}

// `folder` and `name` joined with one separator.
std::string joined(std::string_view folder, std::string_view name)
{
    std::string path(folder);
    bool ends_open = path.empty() || is_path_separator(path.back());
    ends_open = ends_open || drive_prefix_length(path) == path.size();
    if (!ends_open)
        path += path_separator;
    path += name;
    return path;
}

bool is_absolute_written(std::string_view written) noexcept
{
    if (!written.empty() && is_written_separator(written[0]))
        return true;
    return drive_prefix_length(written) != 0;
}

// The names of folders listed for case matches, kept for one solution: a
// solution of many entries in one folder lists it once, not once an entry.
using folder_listings = std::map<std::string, std::vector<std::string>>;

// The one name in `folder` that equals `part` when case is ignored, or
// empty when there is none or more than one.
std::string unique_case_match(const std::string& folder, std::string_view part, folder_listings& listings)
{
    auto known = listings.find(folder);
    if (known == listings.end()) {
        std::vector<folder_entry> entries;
        const char* action = nullptr;
        std::vector<std::string> names;
        if (list_folder(folder.empty() ? std::string(".") : folder, entries, action) == 0) {
            for (folder_entry& entry : entries)
                names.push_back(std::move(entry.name));
        }
        known = listings.emplace(folder, std::move(names)).first;
    }
    std::string match;
    for (const std::string& name : known->second) {
        if (!same_ignoring_case(name, part))
            continue;
        if (!match.empty())
            return {};
        match = name;
    }
    return match;
}

// solution_project_path with the listings of one solution.
std::string project_path_in(std::string_view folder, std::string_view written, folder_listings& listings);

bool is_skipped_folder(std::string_view name) noexcept
{
    return same_ignoring_case(name, ".git") || same_ignoring_case(name, ".vs");
}

// Where a project was reached through a solution, for $(SolutionDir).
struct solution_origin {
    std::vector<std::string>* folders = nullptr;
    std::vector<bool>* through = nullptr;
    std::string_view folder{};
    bool is_solution = false;
};

void take(std::string path, project_set& seen, std::vector<std::string>& projects, const solution_origin& origin = {})
{
    if (!seen.add(path))
        return;
    projects.push_back(std::move(path));
    if (origin.folders)
        origin.folders->emplace_back(origin.is_solution ? origin.folder : std::string_view());
    if (origin.through)
        origin.through->push_back(origin.is_solution);
}

// The last part of `path`.
std::string_view last_part(std::string_view path) noexcept
{
    std::size_t end = path.size();
    while (end > 0 && !is_path_separator(path[end - 1]))
        --end;
    return path.substr(end);
}

// The next part of `rest`, taken off its front with the separators before it.
std::string_view next_part(std::string_view& rest) noexcept
{
    while (!rest.empty() && is_path_separator(rest.front()))
        rest.remove_prefix(1);
    std::size_t end = 0;
    while (end < rest.size() && !is_path_separator(rest[end]))
        ++end;
    std::string_view part = rest.substr(0, end);
    rest.remove_prefix(end);
    return part;
}

// Whether the absolute path `path` lies below the folder `folder` (both as
// final_path gives them), compared part by part: "/a/b/c" is inside "/a/b",
// "/a/bc" is not, nor is "/a/b" itself.
bool is_inside(std::string_view folder, std::string_view path) noexcept
{
    for (;;) {
        std::string_view outer = next_part(folder);
        std::string_view inner = next_part(path);
        if (outer.empty())
            return !inner.empty();
        if (outer != inner)
            return false;
    }
}

// Why the link `path` is left as it is, or 0 when it is taken: a link that
// leads nowhere is taken, for the open to report. With an empty `folder`
// a link may lead anywhere.
cli_error left_link_reason(const std::string& path, std::string_view folder)
{
    std::string target;
    if (final_path(path, target) != 0)
        return 0;
    if (!folder.empty() && !is_inside(folder, target))
        return error_link_outside;
    if (!has_project_extension(last_part(target)))
        return error_link_not_project;
    return 0;
}

void walk_folder(const std::string& root, project_set& seen, std::vector<std::string>& projects,
                 std::vector<discovery_problem>& problems, const solution_origin& origin)
{
    std::vector<std::string> found;
    std::vector<discovery_problem> left;
    std::vector<std::string> pending{root};
    std::vector<folder_entry> entries;
    // Links are judged by where they lead against where the folder itself
    // lies; while that cannot be told, no link is taken.
    std::string final_root;
    bool rooted = final_path(root, final_root) == 0 && !final_root.empty();
    while (!pending.empty()) {
        std::string folder = std::move(pending.back());
        pending.pop_back();
        const char* action = nullptr;
        if (unsigned code = list_folder(folder, entries, action); code != 0) {
            problems.push_back({folder, action, code});
            // A listing that broke off still gave names worth taking.
        }
        for (const folder_entry& entry : entries) {
            if (entry.is_folder) {
                if (!is_skipped_folder(entry.name))
                    pending.push_back(joined(folder, entry.name));
                continue;
            }
            if (!has_project_extension(entry.name))
                continue;
            std::string file = joined(folder, entry.name);
            if (entry.may_lead_to_folder) {
                // Links to folders are not followed.
                if (is_existing_folder(file))
                    continue;
                if (is_link(file)) {
                    cli_error why = rooted ? left_link_reason(file, final_root) : error_link_outside;
                    if (why != 0) {
                        left.push_back({std::move(file), nullptr, why, true});
                        continue;
                    }
                }
            }
            found.push_back(std::move(file));
        }
    }
    auto by_path = [](const discovery_problem& a, const discovery_problem& b) { return a.path < b.path; };
    std::sort(left.begin(), left.end(), by_path);
    for (discovery_problem& link : left)
        problems.push_back(std::move(link));
    std::sort(found.begin(), found.end());
    for (std::string& path : found)
        take(std::move(path), seen, projects, origin);
}

void read_solution(const std::string& path, bool is_slnx, project_set& seen, std::vector<std::string>& projects,
                   std::vector<discovery_problem>& problems, solution_origin origin)
{
    std::string bytes;
    const char* action = nullptr;
    if (unsigned code = read_small_file(path, bytes, action); code != 0) {
        problems.push_back({path, action, code});
        return;
    }
    solution_listing listing;
    if (cli_error code = is_slnx ? slnx_project_paths(bytes, listing) : sln_project_paths(bytes, listing)) {
        problems.push_back({path, "read", code});
        return;
    }
    std::string_view folder = folder_part(path);
    // An entry with a control character is never opened: the name the
    // system would see ends at a zero byte, and could be another file.
    for (const std::string& entry : listing.rejected)
        problems.push_back({std::string(folder) + entry, "open", error_control_in_path});
    folder_listings listings;
    origin.folder = folder;
    origin.is_solution = true;
    for (const std::string& entry : listing.paths)
        take(project_path_in(folder, entry, listings), seen, projects, origin);
}

}  // namespace

bool project_set::add(const std::string& path)
{
    file_identity identity;
    if (identify_file(path, identity) == 0)
        return identified.insert({identity.volume, identity.index}).second;
    return unidentified.insert(path).second;
}

std::string solution_project_path(std::string_view folder, std::string_view written)
{
    folder_listings listings;
    return project_path_in(folder, written, listings);
}

namespace {

std::string project_path_in(std::string_view folder, std::string_view written, folder_listings& listings)
{
    std::string path = is_absolute_written(written) ? std::string() : std::string(folder);
    bool matching = true;
    std::size_t at = 0;
    while (at < written.size()) {
        if (is_written_separator(written[at])) {
            path += path_separator;
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < written.size() && !is_written_separator(written[end]))
            ++end;
        std::string_view part = written.substr(at, end - at);
        at = end;
        if (matching && !path_exists(path + std::string(part))) {
            std::string match = unique_case_match(path, part, listings);
            if (!match.empty()) {
                path += match;
                continue;
            }
            matching = false;
        }
        path += part;
    }
    return path;
}

}  // namespace

void discover_projects(const std::string& path, project_set& seen, std::vector<std::string>& projects,
                       std::vector<discovery_problem>& problems, std::vector<std::string>* solution_folders,
                       std::vector<bool>* through_solution)
{
    solution_origin origin{solution_folders, through_solution};
    if (is_existing_folder(path))
        walk_folder(path, seen, projects, problems, origin);
    else if (ends_with_ignoring_case(path, ".sln"))
        read_solution(path, false, seen, projects, problems, origin);
    else if (ends_with_ignoring_case(path, ".slnx"))
        read_solution(path, true, seen, projects, problems, origin);
    else if (cli_error why = is_link(path) ? left_link_reason(path, {}) : 0)
        problems.push_back({path, nullptr, why, true});
    else
        take(path, seen, projects, origin);
}

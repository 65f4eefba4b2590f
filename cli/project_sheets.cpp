#include "cli/project_sheets.h"

#include "cli/file_system.h"
#include "core/project_tokens.h"
#include "core/text_search.h"

namespace {

constexpr std::string_view import_name = "<Import";
constexpr std::string_view directory_props = "Directory.Build.props";
constexpr std::string_view property_start = "$(";

// A project importing more sheets than this is read no further: each may be
// as large as read_small_file allows.
constexpr int most_sheets = 32;
// Folders above the project looked in for Directory.Build.props, at most.
constexpr int most_levels = 128;

// The folder part of `path` with its trailing separator; empty when none.
std::string folder_of(const std::string& path)
{
    std::size_t end = path.size();
    while (end > 0 && !is_path_separator(path[end - 1]))
        --end;
    if (end == 0)
        end = drive_prefix_length(path);
    return path.substr(0, end);
}

bool has_control_character(std::string_view text) noexcept
{
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

// `value` with each known property put in; false when another property is
// left, or $(SolutionDir) without a solution.
bool expand(std::string_view value, const std::string& folder, bool through_solution,
            std::string_view solution_folder, std::string& path)
{
    struct property {
        std::string_view name;
        std::string value;
        bool known;
    };
    // Built by construction, not assigned: gcc 12 at -O3 warns of an overlap
    // that cannot happen in a string assigned a literal (-Wrestrict).
    std::string without_separator(folder.empty() ? std::string_view(".") : std::string_view(folder));
    if (without_separator.size() > drive_prefix_length(without_separator) + 1 &&
        is_path_separator(without_separator.back()))
        without_separator.pop_back();
    const property properties[] = {
        {"$(MSBuildThisFileDirectory)", folder, true},
        {"$(MSBuildProjectDirectory)", without_separator, true},
        {"$(ProjectDir)", folder, true},
        {"$(SolutionDir)", std::string(solution_folder), through_solution},
    };
    path.clear();
    std::size_t at = 0;
    while (at < value.size()) {
        if (value.substr(at, property_start.size()) != property_start) {
            char c = value[at++];
            path += c == '\\' || c == '/' ? path_separator : c;
            continue;
        }
        bool matched = false;
        for (const property& p : properties) {
            if (value.substr(at, p.name.size()) == p.name) {
                if (!p.known)
                    return false;
                path += p.value;
                at += p.name.size();
                // "$(SolutionDir)\x": the folder already ends with its separator.
                if (!path.empty() && is_path_separator(path.back()) && at < value.size() &&
                    (value[at] == '\\' || value[at] == '/'))
                    ++at;
                matched = true;
                break;
            }
        }
        if (!matched)
            return false;
    }
    return !path.empty();
}

bool is_absolute(std::string_view path) noexcept
{
    return (!path.empty() && is_path_separator(path[0])) || drive_prefix_length(path) != 0;
}

// What the rules see in a file the project takes settings from.
cli_edits facts_of(const std::string& bytes, const cli_target& target)
{
    cli_target plain{target.version, {}, {}};
    return find_cli_edits(bytes, plain, nullptr, nullptr);
}

}  // namespace

void read_project_sheets(std::string_view text, const std::string& project_path, bool through_solution,
                         std::string_view solution_folder, const cli_target& target, project_sheets& sheets)
{
    std::size_t zero = find_byte(text, '\0', 0);
    if (zero != text_none)
        text = slice(text, 0, zero);
    std::string folder = folder_of(project_path);
    bool toolsets_visual_studio = true;
    int followed = 0;
    std::string path;
    std::string bytes;
    // The next import is looked for behind the start tag read, never inside it.
    std::size_t from = 0;
    for (std::size_t at = find_text(text, import_name, from); at != text_none && followed < most_sheets;
         at = find_text(text, import_name, from)) {
        std::size_t name_end = at + import_name.size();
        from = name_end;
        if (name_end >= text.size() || !is_white_space(text[name_end]))
            continue;
        start_tag tag = read_start_tag(text, name_end);
        if (!tag.ended)
            break;
        from = tag.end;
        if (!tag.has_project || has_control_character(tag.project))
            continue;
        if (!expand(tag.project, folder, through_solution, solution_folder, path))
            continue;
        // A path that starts with a property starts at that folder; any
        // other relative one at the project's.
        bool anchored = tag.project.substr(0, property_start.size()) == property_start;
        if (!anchored && !is_absolute(path))
            path = folder + path;
        const char* action = nullptr;
        if (read_small_file(path, bytes, action) != 0)
            continue;
        ++followed;
        cli_edits facts = facts_of(bytes, target);
        if (facts.has_toolset) {
            if (!sheets.imported.toolset)
                sheets.toolset_sheet = path;
            sheets.imported.toolset = true;
            sheets.imported.toolset_names_target = sheets.imported.toolset_names_target || facts.toolset_names_target;
            toolsets_visual_studio = toolsets_visual_studio && facts.toolsets_visual_studio;
        }
        if (facts.has_sdk && !sheets.imported.sdk) {
            sheets.imported.sdk = true;
            sheets.sdk_file = path;
        }
    }
    sheets.imported.toolset_visual_studio = sheets.imported.toolset && toolsets_visual_studio;
}

void read_directory_props(const std::string& project_path, const cli_target& target, project_sheets& sheets)
{
    std::string folder = folder_of(project_path);
    std::string bytes;
    for (int level = 0; level < most_levels; ++level) {
        std::string candidate = folder + std::string(directory_props);
        if (path_exists(candidate)) {
            const char* action = nullptr;
            if (read_small_file(candidate, bytes, action) == 0 && facts_of(bytes, target).has_sdk) {
                sheets.imported.sdk = true;
                sheets.sdk_file = candidate;
            }
            return;  // MSBuild takes the nearest one only
        }
        // Up one folder: by name while the path has one, else by "..",
        // until the folder is its own parent (the root).
        std::string here = folder.empty() ? std::string(".") : folder;
        std::string parent = folder + ".." + path_separator;
        file_identity a;
        file_identity b;
        if (identify_file(here, a) != 0 || identify_file(parent, b) != 0 || (a.volume == b.volume && a.index == b.index))
            return;
        std::size_t end = folder.size();
        if (end > 0 && is_path_separator(folder[end - 1]))
            --end;
        std::size_t start = end;
        while (start > 0 && !is_path_separator(folder[start - 1]))
            --start;
        std::string_view last = std::string_view(folder).substr(start, end - start);
        if (end > start && last != ".." && last != "." && start >= drive_prefix_length(folder))
            folder.resize(start);
        else
            folder = parent;
    }
}

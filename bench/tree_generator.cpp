// Writes a tree of generated Visual Studio projects, the same every time, to
// time projport-cli over many files at once:
//
//   DIR/solutionNNN/solutionNNN.sln
//   DIR/solutionNNN/projectMM/projectMM.vcxproj          10 to 40 KB, CRLF
//   DIR/solutionNNN/projectMM/projectMM.vcxproj.filters
//
// Each project is a generate_project() text given the ToolsVersion and the
// toolset elements of one kind of project met in practice (a 2010 project,
// a 2017 one with XP configurations, a driver, a partly upgraded one...),
// its own GUID and name. Some need no change for 2019 at all.
//
// Usage: tree_generator DIR [--solutions=N] [--projects=M]

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "project_generator.h"

namespace {

constexpr std::string_view generated_tools_version = " ToolsVersion=\"14.0\"";
constexpr std::string_view generated_toolset = "<PlatformToolset>v140</PlatformToolset>";
constexpr std::string_view generated_guid = "{6C1F6F5E-2B7A-4F0E-9A55-3D2B9C1E7A40}";
constexpr std::string_view generated_namespace = "<RootNamespace>generated</RootNamespace>";

constexpr std::size_t smallest_project = 10 << 10;
constexpr std::size_t largest_project = 40 << 10;

// splitmix64: a fixed sequence from a fixed seed, on every platform.
class random_bits {
public:
    explicit random_bits(std::uint64_t seed) noexcept : state_(seed) {}

    std::uint64_t next() noexcept
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }

    // A number in [0, bound).
    unsigned below(unsigned bound) noexcept { return static_cast<unsigned>(next() % bound); }

private:
    std::uint64_t state_;
};

// The toolsets a project names, in the order of its elements: the
// configuration groups (Debug|Win32, Release|Win32, Debug|x64, Release|x64)
// first, then one per source folder.
struct toolset_plan {
    std::string_view win32;        // the toolset of the Win32 configurations
    std::string_view x64;          // of the x64 configurations
    std::string_view later = {};   // when set, of the source folders' groups
};

struct project_kind {
    const char* name;
    unsigned weight;                  // share of the tree, in percent
    std::string_view tools_version;   // the attribute with its space, or empty
    toolset_plan toolsets;
};

// What a project of each kind names. Those marked "as is" need no change for
// 2019; "15.0" with v142 is rewritten with the same bytes.
constexpr project_kind kinds[] = {
    {"2010", 15, " ToolsVersion=\"4.0\"", {"v100", "v100"}},
    {"2012", 5, " ToolsVersion=\"4.0\"", {"v110", "v110"}},
    {"2013 (as is)", 5, " ToolsVersion=\"12.0\"", {"v120", "v120"}},
    {"2015", 20, " ToolsVersion=\"14.0\"", {"v140", "v140"}},
    {"2017", 10, " ToolsVersion=\"15.0\"", {"v141", "v141"}},
    {"2017 with XP", 5, " ToolsVersion=\"15.0\"", {"v141_xp", "v141"}},
    {"2019", 5, " ToolsVersion=\"15.0\"", {"v142", "v142"}},
    {"2019 (as is)", 5, " ToolsVersion=\"Current\"", {"v142", "v142"}},
    {"2022 (as is)", 10, " ToolsVersion=\"Current\"", {"v143", "v143"}},
    {"driver (as is)", 4, " ToolsVersion=\"12.0\"", {"WindowsKernelModeDriver10.0", "WindowsKernelModeDriver10.0"}},
    {"default toolset (as is)", 4, "", {"$(DefaultPlatformToolset)", "$(DefaultPlatformToolset)"}},
    {"hand-edited case", 2, " ToolsVersion=\"14.0\"", {"V140", "v140"}},
    {"upgraded, 2010 first", 5, " ToolsVersion=\"4.0\"", {"v100", "v100", "v140"}},
    {"upgraded, 2010 later", 5, " ToolsVersion=\"14.0\"", {"v140", "v140", "v100"}},
};


void replace_once(std::string& text, std::string_view old_text, std::string_view new_text)
{
    std::size_t at = text.find(old_text);
    if (at != std::string::npos)
        text.replace(at, old_text.size(), new_text);
}

std::string guid_text(random_bits& bits)
{
    char text[40];
    std::uint64_t a = bits.next();
    std::uint64_t b = bits.next();
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%04X-%012llX}", static_cast<unsigned>(a >> 32),
                  static_cast<unsigned>((a >> 16) & 0xFFFF), static_cast<unsigned>(a & 0xFFFF),
                  static_cast<unsigned>(b >> 48), static_cast<unsigned long long>(b & 0xFFFFFFFFFFFFull));
    return text;
}

struct generated_project {
    std::string text;
};

generated_project make_project(const project_kind& kind, std::size_t min_bytes, const std::string& name,
                               const std::string& guid)
{
    generated_project project;
    std::string& text = project.text;
    text = generate_project(min_bytes);
    replace_once(text, generated_tools_version, kind.tools_version);
    replace_once(text, generated_guid, guid);
    replace_once(text, generated_namespace, "<RootNamespace>" + name + "</RootNamespace>");

    std::size_t elements = 0;
    std::string result;
    result.reserve(text.size() + 1024);
    std::size_t from = 0;
    for (std::size_t at = text.find(generated_toolset); at != std::string::npos;
         at = text.find(generated_toolset, from)) {
        result.append(text, from, at - from);
        // The four configuration groups come first; the ones behind them belong to the source folders.
        std::size_t index = elements++;
        std::string_view toolset = index < 4 ? (index < 2 ? kind.toolsets.win32 : kind.toolsets.x64)
                                             : (kind.toolsets.later.empty()
                                                    ? (index % 4 < 2 ? kind.toolsets.win32 : kind.toolsets.x64)
                                                    : kind.toolsets.later);
        result.append("<PlatformToolset>").append(toolset).append("</PlatformToolset>");
        from = at + generated_toolset.size();
    }
    result.append(text, from, std::string::npos);
    text = std::move(result);
    return project;
}

// The filters file Visual Studio keeps beside a project, here one filter per
// source folder, for the walk to pass over as it would in a real tree.
std::string make_filters(const std::string& project_text, random_bits& bits)
{
    std::string out =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
        "<Project ToolsVersion=\"4.0\" xmlns=\"http://schemas.microsoft.com/developer/msbuild/2003\">\r\n"
        "  <ItemGroup>\r\n";
    constexpr std::string_view folder_start = "src\\module";
    std::string last_folder;
    for (std::size_t at = project_text.find(folder_start); at != std::string::npos;
         at = project_text.find(folder_start, at + 1)) {
        std::size_t end = project_text.find('\\', at + folder_start.size());
        std::string folder = project_text.substr(at, end - at);
        if (folder == last_folder)
            continue;
        last_folder = folder;
        out += "    <Filter Include=\"" + folder + "\">\r\n      <UniqueIdentifier>" + guid_text(bits) +
               "</UniqueIdentifier>\r\n    </Filter>\r\n";
    }
    out += "  </ItemGroup>\r\n</Project>\r\n";
    return out;
}

std::string make_solution(const std::vector<std::string>& projects, const std::vector<std::string>& guids)
{
    std::string out = "\xEF\xBB\xBF\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n";
    for (std::size_t i = 0; i < projects.size(); ++i)
        out += "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"" + projects[i] + "\", \"" + projects[i] +
               "\\" + projects[i] + ".vcxproj\", \"" + guids[i] + "\"\r\nEndProject\r\n";
    out += "Global\r\nEndGlobal\r\n";
    return out;
}

bool make_folder(const std::string& path)
{
    if (mkdir(path.c_str(), 0777) == 0 || errno == EEXIST)
        return true;
    std::fprintf(stderr, "tree_generator: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
}

bool write_file(const std::string& path, std::string_view bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::fprintf(stderr, "tree_generator: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        std::fprintf(stderr, "tree_generator: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

const project_kind& pick_kind(random_bits& bits) noexcept
{
    unsigned draw = bits.below(100);
    for (const project_kind& kind : kinds) {
        if (draw < kind.weight)
            return kind;
        draw -= kind.weight;
    }
    return kinds[0];
}

bool number_option(std::string_view argument, std::string_view name, unsigned& value)
{
    if (!argument.starts_with(name))
        return false;
    value = static_cast<unsigned>(std::strtoul(std::string(argument.substr(name.size())).c_str(), nullptr, 10));
    return true;
}

struct tree_totals {
    unsigned projects = 0;
    std::uint64_t bytes = 0;
    std::size_t smallest = SIZE_MAX;
    std::size_t largest = 0;
    unsigned per_kind[std::size(kinds)] = {};
};

}  // namespace

int main(int argc, char** argv)
{
    std::string root;
    unsigned solutions = 100;
    unsigned projects_per_solution = 20;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (number_option(argument, "--solutions=", solutions) || number_option(argument, "--projects=", projects_per_solution))
            continue;
        if (root.empty() && !argument.starts_with("--")) {
            root = argument;
        } else {
            root.clear();
            break;
        }
    }
    if (root.empty() || solutions == 0 || projects_per_solution == 0) {
        std::fprintf(stderr, "usage: tree_generator DIR [--solutions=N] [--projects=M]\n");
        return 2;
    }
    if (!make_folder(root))
        return 1;

    random_bits bits(0x70726F6A706F7274u);
    tree_totals totals;
    char name[64];
    for (unsigned s = 0; s < solutions; ++s) {
        std::snprintf(name, sizeof name, "solution%03u", s);
        std::string solution_name = name;
        std::string solution = root + "/" + solution_name;
        if (!make_folder(solution))
            return 1;
        std::vector<std::string> names;
        std::vector<std::string> guids;
        for (unsigned p = 0; p < projects_per_solution; ++p) {
            std::snprintf(name, sizeof name, "project%02u", p);
            std::string project_name = name;
            const project_kind& kind = pick_kind(bits);
            // A source folder adds about 3.5 KB, so the text stays under 40 KB.
            std::size_t min_bytes = smallest_project + bits.below(26u << 10);
            std::string guid = guid_text(bits);
            generated_project project = make_project(kind, min_bytes, project_name, guid);
            std::string folder = solution + "/" + project_name;
            std::string path = folder + "/" + project_name + ".vcxproj";
            if (!make_folder(folder) || !write_file(path, project.text) ||
                !write_file(path + ".filters", make_filters(project.text, bits)))
                return 1;
            names.push_back(project_name);
            guids.push_back(guid);
            ++totals.projects;
            totals.bytes += project.text.size();
            totals.smallest = std::min(totals.smallest, project.text.size());
            totals.largest = std::max(totals.largest, project.text.size());
            ++totals.per_kind[&kind - kinds];
        }
        if (!write_file(solution + "/" + solution_name + ".sln", make_solution(names, guids)))
            return 1;
    }

    std::printf("%u projects, %llu bytes (%zu to %zu each)\n", totals.projects,
                static_cast<unsigned long long>(totals.bytes), totals.smallest, totals.largest);
    for (std::size_t k = 0; k < std::size(kinds); ++k)
        std::printf("  %4u  %s\n", totals.per_kind[k], kinds[k].name);
    return 0;
}

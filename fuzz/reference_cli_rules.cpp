#include "reference_cli_rules.h"

namespace {

struct version {
    const char* toolset;
    const char* xp;
    const char* tools_version;
    bool inserts;
};

const version versions[8] = {
    {"v100", "", "4.0", true},        {"v110", "v110_xp", "4.0", true}, {"v120", "v120_xp", "12.0", true},
    {"v140", "v140_xp", "14.0", true}, {"v141", "v141_xp", "15.0", true}, {"v142", "", "15.0", false},
    {"v143", "", "", false},          {"v145", "", "", false},
};

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string lower_case(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + ('a' - 'A'));
    return s;
}

std::string trim(const std::string& s)
{
    std::size_t first = 0;
    std::size_t last = s.size();
    while (first < last && is_space(s[first]))
        ++first;
    while (last > first && is_space(s[last - 1]))
        --last;
    return s.substr(first, last - first);
}

bool at(const std::string& text, std::size_t i, const std::string& what)
{
    return text.compare(i, what.size(), what) == 0;
}

// Where the text's first start tag begins, or npos.
std::size_t first_start_tag(const std::string& text)
{
    std::size_t i = 0;
    while (true) {
        i = text.find('<', i);
        if (i == std::string::npos)
            return i;
        if (at(text, i, "<?")) {
            std::size_t end = text.find("?>", i + 2);
            if (end == std::string::npos)
                return end;
            i = end + 2;
        } else if (at(text, i, "<!--")) {
            std::size_t end = text.find("-->", i + 4);
            if (end == std::string::npos)
                return end;
            i = end + 3;
        } else if (at(text, i, "<!")) {
            // Up to a '>' outside quotes and outside [ ].
            char quote = 0;
            bool subset = false;
            std::size_t j = i + 2;
            for (; j < text.size(); ++j) {
                char c = text[j];
                if (quote) {
                    if (c == quote)
                        quote = 0;
                } else if (c == '"' || c == '\'') {
                    quote = c;
                } else if (c == '[') {
                    subset = true;
                } else if (c == ']') {
                    subset = false;
                } else if (c == '>' && !subset) {
                    break;
                }
            }
            if (j >= text.size())
                return std::string::npos;
            i = j + 1;
        } else {
            return i;
        }
    }
}

struct attribute {
    std::size_t name = 0;
    std::size_t value = 0;
    std::size_t value_end = 0;  // closing quote
};

// The attributes of the tag whose name ends at `from`, up to its first '>'
// outside quotes; an attribute is a name, '=' and a quoted value.
std::vector<attribute> attributes_of(const std::string& text, std::size_t from, std::vector<std::string>& names)
{
    std::vector<attribute> list;
    auto name_byte = [](char c) {
        return !is_space(c) && c != '=' && c != '>' && c != '/' && c != '"' && c != '\'';
    };
    std::size_t i = from;
    while (i < text.size() && text[i] != '>') {
        char c = text[i];
        if (c == '"' || c == '\'') {
            std::size_t close = text.find(c, i + 1);
            if (close == std::string::npos)
                break;
            i = close + 1;
        } else if (!name_byte(c)) {
            ++i;
        } else {
            std::size_t start = i;
            while (i < text.size() && name_byte(text[i]))
                ++i;
            std::string name = text.substr(start, i - start);
            std::size_t j = i;
            while (j < text.size() && is_space(text[j]))
                ++j;
            if (j < text.size() && text[j] == '=') {
                ++j;
                while (j < text.size() && is_space(text[j]))
                    ++j;
                i = j;
                if (j < text.size() && (text[j] == '"' || text[j] == '\'')) {
                    std::size_t close = text.find(text[j], j + 1);
                    if (close == std::string::npos)
                        break;
                    list.push_back({start, j + 1, close});
                    names.push_back(name);
                    i = close + 1;
                }
            }
        }
    }
    return list;
}

}  // namespace

reference_cli_conversion reference_cli_rules(const std::string& input, int target, const std::string& sdk)
{
    reference_cli_conversion result;
    result.text = input;
    if (target < 0 || target > 7)
        return result;
    const version& row = versions[target];
    std::string text = input.substr(0, input.find('\0'));

    // The project element.
    bool have_attribute_edit = false;
    reference_cli_edit attribute_edit;
    std::string tools_version = row.tools_version;
    std::size_t tag = first_start_tag(text);
    bool is_project = tag != std::string::npos && at(text, tag, "<Project") &&
                      (tag + 8 == text.size() || is_space(text[tag + 8]) || text[tag + 8] == '>' ||
                       text[tag + 8] == '/');
    if (!tools_version.empty() && is_project) {
        std::vector<std::string> names;
        std::vector<attribute> list = attributes_of(text, tag + 8, names);
        bool found = false;
        for (std::size_t k = 0; k < list.size() && !found; ++k) {
            if (names[k] != "ToolsVersion")
                continue;
            found = true;
            const attribute& a = list[k];
            std::string value = text.substr(a.value, a.value_end - a.value);
            if (value == tools_version) {
                result.names_target = true;
            } else {
                have_attribute_edit = true;
                attribute_edit = {a.value, value.size(), tools_version, text.substr(a.name, a.value_end + 1 - a.name),
                                  false};
            }
        }
        if (!found && row.inserts) {
            std::string attribute_text = "ToolsVersion=\"" + tools_version + "\"";
            have_attribute_edit = true;
            attribute_edit = {tag + 8, 0, " " + attribute_text, attribute_text, true};
        }
    }

    // The elements, in one walk over the text.
    const std::string toolset_open = "<PlatformToolset>", toolset_close = "</PlatformToolset>";
    const std::string sdk_open = "<WindowsTargetPlatformVersion>", sdk_close = "</WindowsTargetPlatformVersion>";
    std::vector<reference_cli_edit> elements;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool toolset = at(text, i, toolset_open);
        bool windows_sdk = !sdk.empty() && at(text, i, sdk_open);
        if (!toolset && !windows_sdk)
            continue;
        const std::string& open = toolset ? toolset_open : sdk_open;
        const std::string& close = toolset ? toolset_close : sdk_close;
        // The value runs to the next '<', which must start the end tag.
        std::size_t value_at = i + open.size();
        std::size_t end = text.find('<', value_at);
        if (end == std::string::npos || !at(text, end, close))
            continue;
        std::string value = text.substr(value_at, end - value_at);
        std::string element = text.substr(i, end + close.size() - i);
        std::string replacement;
        if (windows_sdk) {
            if (trim(value) != sdk)
                replacement = sdk;
        } else {
            std::string v = lower_case(trim(value));
            if (v == row.toolset || (*row.xp && v == row.xp)) {
                result.names_target = true;
            } else {
                for (const version& other : versions) {
                    if (v == other.toolset)
                        replacement = row.toolset;
                    else if (*other.xp && v == other.xp)
                        replacement = row.xp;
                }
            }
        }
        if (!replacement.empty())
            elements.push_back({value_at, value.size(), replacement, element, false});
        i = end + close.size() - 1;
    }

    // Put the attribute's edit in its place; elements inside the replaced value go.
    for (const reference_cli_edit& e : elements) {
        if (have_attribute_edit) {
            std::size_t attribute_end = attribute_edit.at + attribute_edit.length;
            bool overlaps = e.at < attribute_end && e.at + e.length > attribute_edit.at;
            if (overlaps)
                continue;
            if (attribute_end <= e.at) {
                result.edits.push_back(attribute_edit);
                have_attribute_edit = false;
            }
        }
        result.edits.push_back(e);
    }
    if (have_attribute_edit)
        result.edits.push_back(attribute_edit);

    std::string converted;
    std::size_t copied = 0;
    for (const reference_cli_edit& e : result.edits) {
        converted += input.substr(copied, e.at - copied) + e.text;
        copied = e.at + e.length;
    }
    result.text = converted + input.substr(copied);
    return result;
}

std::vector<reference_leftover> reference_leftover_toolsets(const std::string& text, const std::string& toolset,
                                                            const std::string& xp_toolset)
{
    std::vector<reference_leftover> found;
    const std::string name = "<PlatformToolset", close = "</PlatformToolset>";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!at(text, i, name) || i + name.size() >= text.size())
            continue;
        std::size_t j = i + name.size();
        if (is_space(text[j])) {
            // Attributes, up to the first '>' outside quotes.
            char quote = 0;
            for (; j < text.size(); ++j) {
                if (quote) {
                    if (text[j] == quote)
                        quote = 0;
                } else if (text[j] == '"' || text[j] == '\'') {
                    quote = text[j];
                } else if (text[j] == '>') {
                    break;
                }
            }
            if (j >= text.size())
                break;  // the tag never ends: nothing behind it is an element
        } else if (text[j] != '>') {
            continue;
        }
        std::size_t value_at = j + 1;
        std::size_t end = text.find('<', value_at);
        if (end == std::string::npos || !at(text, end, close)) {
            // Not an element; look again from the start tag's end.
            i = j;
            continue;
        }
        std::string v = trim(text.substr(value_at, end - value_at));
        bool names_version = v.size() >= 3 && (v[0] == 'v' || v[0] == 'V') && v[1] >= '0' && v[1] <= '9' &&
                             v[2] >= '0' && v[2] <= '9';
        std::string lower = lower_case(v);
        if (names_version && lower != lower_case(toolset) && (xp_toolset.empty() || lower != lower_case(xp_toolset))) {
            std::size_t line = 1;
            for (std::size_t k = 0; k < i; ++k)
                line += text[k] == '\n';
            found.push_back({line, i, text.substr(i, end + close.size() - i)});
        }
        i = end + close.size() - 1;
    }
    return found;
}

#include "reference_cli_rules.h"

#include <algorithm>
#include <string_view>

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

bool at(const std::string& text, std::size_t i, std::string_view what)
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

// A start tag read plainly: up to the first '>' outside quoted runs, and
// its name="value" attributes.
struct plain_tag {
    bool ended = false;
    std::size_t end = 0;  // behind the '>'
    bool self_closing = false;
    bool plain = true;
    int count = 0;
    bool has_condition = false, has_label = false, has_project = false;
    std::string condition, label, project;
};

bool name_char(char c)
{
    return !is_space(c) && c != '=' && c != '>' && c != '/' && c != '"' && c != '\'';
}

plain_tag read_tag(const std::string& text, std::size_t from)
{
    plain_tag tag;
    // The end first: the first '>' outside quotes.
    char quote = 0;
    std::size_t j = from;
    for (; j < text.size(); ++j) {
        char c = text[j];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            break;
        }
    }
    if (j >= text.size())
        return tag;
    tag.ended = true;
    tag.end = j + 1;
    tag.self_closing = j > from && text[j - 1] == '/';
    // Then the attributes between.
    std::size_t i = from;
    while (i < j) {
        char c = text[i];
        if (is_space(c) || c == '/') {
            ++i;
        } else if (c == '"' || c == '\'') {
            tag.plain = false;
            i = text.find(c, i + 1) + 1;
        } else if (c == '=') {
            tag.plain = false;
            ++i;
        } else {
            std::size_t start = i;
            while (name_char(text[i]))
                ++i;
            std::string name = text.substr(start, i - start);
            std::size_t k = i;
            while (is_space(text[k]))
                ++k;
            if (text[k] != '=') {
                tag.plain = false;
                continue;
            }
            ++k;
            while (is_space(text[k]))
                ++k;
            i = k;
            if (text[k] != '"' && text[k] != '\'') {
                tag.plain = false;
                continue;
            }
            std::size_t close = text.find(text[k], k + 1);
            std::string value = text.substr(k + 1, close - k - 1);
            i = close + 1;
            ++tag.count;
            if (name == "Condition" && !tag.has_condition) {
                tag.has_condition = true;
                tag.condition = value;
            } else if (name == "Label" && !tag.has_label) {
                tag.has_label = true;
                tag.label = value;
            } else if (name == "Project" && !tag.has_project) {
                tag.has_project = true;
                tag.project = value;
            }
        }
    }
    return tag;
}

enum kind { nothing, toolset_kind, sdk_kind, minimum_kind, group_open, group_close, the_end };

struct token {
    kind what = nothing;
    std::size_t at = 0, next = 0;
    bool plain = false;  // no attributes
    plain_tag tag;
    bool element = false;
    std::string value;
    std::size_t value_at = 0, value_end = 0, end = 0;
};

void value_of(const std::string& text, std::size_t from, const std::string& close, token& t)
{
    std::size_t end = text.find('<', from);
    if (end == std::string::npos) {
        t.what = the_end;
        return;
    }
    t.value_at = from;
    t.value_end = end;
    t.value = text.substr(from, end - from);
    t.next = end;
    if (at(text, end, close)) {
        t.element = true;
        t.end = end + close.size();
        t.next = t.end;
    }
}

// The group tag that starts at i, if any, in `t`.
token group_token_at(const std::string& text, std::size_t i, token& t)
{
    if (at(text, i, "</PropertyGroup>")) {
        t.what = group_close;
        t.next = i + 16;
    } else if (at(text, i, "<PropertyGroup")) {
        std::size_t n = i + 14;
        if (n >= text.size()) {
            t.what = the_end;
        } else if (text[n] == '>' || text[n] == '/' || is_space(text[n])) {
            t.what = group_open;
            t.tag = read_tag(text, n);
            if (!t.tag.ended)
                t.what = the_end;
            else
                t.next = t.tag.end;
        }
    }
    return t;
}

// The token of the elements (or, with `groups`, of the group tags) that
// starts at i, if any.
token token_at(const std::string& text, std::size_t i, bool groups)
{
    token t;
    t.at = i;
    t.next = i + 1;
    auto element = [&](std::size_t name_end, const std::string& close) {
        if (text[name_end] == '>') {
            t.plain = true;
            value_of(text, name_end + 1, close, t);
            return;
        }
        t.tag = read_tag(text, name_end);
        if (!t.tag.ended)
            t.what = the_end;
        else
            value_of(text, t.tag.end, close, t);
    };
    if (groups)
        return group_token_at(text, i, t);
    if (at(text, i, "<PlatformToolset")) {
        std::size_t n = i + 16;
        if (n >= text.size())
            t.what = the_end;
        else if (text[n] == '>' || is_space(text[n]))
            t.what = toolset_kind, element(n, "</PlatformToolset>");
    } else if (at(text, i, "<WindowsTargetPlatformMinVersion>")) {
        t.what = minimum_kind;
        t.plain = true;
        value_of(text, i + 33, "</WindowsTargetPlatformMinVersion>", t);
    } else if (at(text, i, "<WindowsTargetPlatformVersion")) {
        std::size_t n = i + 29;
        if (n >= text.size()) {
            t.what = the_end;
        } else if (text[n] == '>' || is_space(text[n])) {
            t.what = sdk_kind;
            element(n, "</WindowsTargetPlatformVersion>");
        } else if (text[n] == '/') {
            t.what = sdk_kind;
            t.tag = read_tag(text, n);
            if (!t.tag.ended)
                t.what = the_end;
            else
                t.next = t.tag.end;
        }
    }
    return t;
}

// Every token of the text: the elements read one after the other, the
// group tags likewise, each on their own, then both in file order.
std::vector<token> tokens_from(const std::string& text, std::size_t from)
{
    std::vector<token> elements, groups;
    for (int kind = 0; kind < 2; ++kind) {
        std::vector<token>& list = kind == 0 ? elements : groups;
        std::size_t i = from;
        while (i < text.size()) {
            token t = token_at(text, i, kind == 1);
            if (t.what == the_end)
                break;
            if (t.what == nothing) {
                ++i;
                continue;
            }
            list.push_back(t);
            i = t.next;
        }
    }
    std::vector<token> merged;
    std::size_t e = 0, g = 0;
    while (e < elements.size() || g < groups.size()) {
        if (g == groups.size() || (e < elements.size() && elements[e].at < groups[g].at))
            merged.push_back(elements[e++]);
        else
            merged.push_back(groups[g++]);
    }
    return merged;
}

struct rung_reading {
    bool rung = false;
    bool dotted = false;
    std::size_t number_at = 0, number_end = 0;  // in the condition
    bool whole = false;
    unsigned long major = 0;
};

// "'$(VisualStudioVersion)' == 'N'" read plainly.
rung_reading read_rung(const std::string& c)
{
    rung_reading r;
    std::size_t i = 0;
    auto blanks = [&] {
        while (i < c.size() && is_space(c[i]))
            ++i;
    };
    auto take = [&](const std::string& w) {
        if (c.compare(i, w.size(), w) != 0)
            return false;
        i += w.size();
        return true;
    };
    auto digits = [&] {
        std::size_t f = i;
        while (i < c.size() && c[i] >= '0' && c[i] <= '9')
            ++i;
        return i > f;
    };
    blanks();
    if (!take("'$(VisualStudioVersion)'"))
        return r;
    blanks();
    if (!take("=="))
        return r;
    blanks();
    if (!take("'"))
        return r;
    std::size_t n = i;
    if (!digits())
        return r;
    std::string major = c.substr(n, i - n);
    bool whole = true, dotted = false;
    if (i < c.size() && c[i] == '.') {
        ++i;
        std::size_t f = i;
        if (!digits())
            return r;
        dotted = true;
        whole = c.find_first_not_of('0', f) >= i;
    }
    std::size_t ne = i;
    if (!take("'"))
        return r;
    blanks();
    if (i != c.size())
        return r;
    major.erase(0, std::min(major.find_first_not_of('0'), major.size() - 1));
    r.rung = true;
    r.dotted = dotted;
    r.number_at = n;
    r.number_end = ne;
    r.whole = whole;
    r.major = major.size() > 6 ? 1000000 : std::stoul(major);
    return r;
}

bool rung_token(const token& t, rung_reading& r)
{
    if (t.what != toolset_kind || !t.element || t.plain || !t.tag.plain || t.tag.count != 1 || !t.tag.has_condition ||
        t.tag.self_closing)
        return false;
    r = read_rung(t.tag.condition);
    return r.rung;
}

bool default_setter(const std::string& c)
{
    std::size_t i = 0;
    auto blanks = [&] {
        while (i < c.size() && is_space(c[i]))
            ++i;
    };
    auto take = [&](const std::string& w) {
        if (c.compare(i, w.size(), w) != 0)
            return false;
        i += w.size();
        return true;
    };
    blanks();
    if (!take("'$(WindowsTargetPlatformVersion)'"))
        return false;
    blanks();
    if (!take("=="))
        return false;
    blanks();
    if (!take("''"))
        return false;
    blanks();
    return i == c.size();
}

bool visual_studio_value(const std::string& raw)
{
    std::string v = trim(raw);
    if (v == "$(DefaultPlatformToolset)")
        return true;
    if (v.size() < 2 || (v[0] != 'v' && v[0] != 'V'))
        return false;
    std::size_t i = 1;
    while (i < v.size() && v[i] >= '0' && v[i] <= '9')
        ++i;
    if (i == 1)
        return false;
    return i == v.size() || lower_case(v.substr(i)) == "_xp";
}

bool full_version(const std::string& v, std::vector<std::string>* parts = nullptr)
{
    std::vector<std::string> p;
    std::size_t i = 0;
    for (int k = 0; k < 4; ++k) {
        if (k > 0) {
            if (i >= v.size() || v[i] != '.')
                return false;
            ++i;
        }
        std::size_t f = i;
        while (i < v.size() && v[i] >= '0' && v[i] <= '9')
            ++i;
        if (i == f)
            return false;
        std::string d = v.substr(f, i - f);
        d.erase(0, std::min(d.find_first_not_of('0'), d.size() - 1));
        p.push_back(d);
    }
    if (parts)
        *parts = p;
    return i == v.size();
}

bool above(const std::string& a, const std::string& b)
{
    std::vector<std::string> x, y;
    full_version(a, &x);
    full_version(b, &y);
    for (int k = 0; k < 4; ++k) {
        if (x[k].size() != y[k].size())
            return x[k].size() > y[k].size();
        if (x[k] != y[k])
            return x[k] > y[k];
    }
    return false;
}

const unsigned ladder_numbers[8] = {0, 11, 12, 14, 15, 16, 17, 18};

// The group's ladder: from its content to its end, the next group or the end.
struct ladder_reading {
    bool ladder = false, has_number = false;
    std::size_t last = 0;  // index of the last rung in `tokens`
};

ladder_reading read_ladder(const std::vector<token>& tokens, std::size_t first, unsigned number)
{
    ladder_reading l;
    bool plain = false, rungs = false;
    for (std::size_t k = first; k < tokens.size(); ++k) {
        const token& t = tokens[k];
        if (t.what == group_open || t.what == group_close)
            break;
        if (t.what != toolset_kind || !t.element)
            continue;
        rung_reading r;
        if (t.plain) {
            plain = true;
        } else if (rung_token(t, r)) {
            rungs = true;
            l.has_number = l.has_number || (r.whole && r.major == number);
            l.last = k;
        }
    }
    l.ladder = rungs && !plain;
    return l;
}

std::string line_end_of_file(const std::string& text)
{
    std::size_t f = text.find('\n');
    if (f == std::string::npos)
        return "\r\n";
    return f > 0 && text[f - 1] == '\r' ? "\r\n" : "\n";
}

std::string indent_of(const std::string& text, std::size_t at)
{
    std::size_t s = at;
    while (s > 0 && (text[s - 1] == ' ' || text[s - 1] == '\t'))
        --s;
    return s == 0 || text[s - 1] == '\n' ? text.substr(s, at - s) : "";
}

}  // namespace

reference_cli_conversion reference_cli_rules(const std::string& input, int target, const std::string& sdk,
                                             const reference_imported& imported)
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

    // The tokens, and what the whole file holds.
    std::vector<token> tokens = tokens_from(text, 0);
    unsigned number = ladder_numbers[target];
    bool any_toolset = false, outside = false, non_vs = false, plain_names = false, sdk_tag = false;
    bool minimum_found = false, ladder_names = false;
    std::string minimum;
    std::size_t configurations_without = 0;
    {
        bool open = false, configuration = false, has = false;
        for (const token& t : tokens) {
            if (t.what == group_open) {
                open = !t.tag.self_closing;
                configuration = open && t.tag.has_condition && t.tag.has_label && t.tag.label == "Configuration";
                has = false;
            } else if (t.what == group_close && open) {
                if (configuration && !has)
                    ++configurations_without;
                open = false;
            } else if (t.what == toolset_kind && t.element) {
                any_toolset = true;
                outside = outside || !(open && configuration);
                has = true;
                non_vs = non_vs || !visual_studio_value(t.value);
            } else if (t.what == sdk_kind) {
                sdk_tag = true;
            } else if (t.what == minimum_kind && t.element && !minimum_found) {
                minimum_found = true;
                minimum = trim(t.value);
            }
        }
    }
    bool configurations = !outside && !(imported.toolset && !any_toolset);
    bool kept = !sdk.empty() && full_version(sdk) && minimum_found && full_version(minimum) && above(minimum, sdk);
    std::string line_end = line_end_of_file(text);

    // Where Microsoft.Cpp.Default.props is imported.
    std::size_t import_at = std::string::npos;
    for (std::size_t m = text.find("Microsoft.Cpp.Default.props"); m != std::string::npos;
         m = text.find("Microsoft.Cpp.Default.props", m + 1)) {
        std::size_t k = text.find_last_of("<>", m);
        if (k != std::string::npos && text[k] == '<' && at(text, k, "<Import") && k + 7 < text.size() &&
            is_space(text[k + 7])) {
            import_at = k;
            break;
        }
    }
    bool sdk_possible = !sdk.empty() && target >= 3 && import_at != std::string::npos;

    std::vector<reference_cli_edit> elements;
    // The line of a group's new last child.
    auto at_group_end = [&](std::size_t content, std::size_t group_at, std::size_t close_at,
                            const std::string& element) {
        std::size_t p = close_at;
        while (p > content && is_space(text[p - 1]))
            --p;
        std::string eol = line_end;
        std::size_t feed = text.find('\n', p);
        if (feed < close_at)
            eol = feed > p && text[feed - 1] == '\r' ? "\r\n" : "\n";
        std::size_t line = p;
        while (line > content && text[line - 1] != '\n')
            --line;
        std::string indent;
        if (p > content && line > content) {
            std::size_t e = line;
            while (e < p && (text[e] == ' ' || text[e] == '\t'))
                ++e;
            indent = text.substr(line, e - line);
        } else {
            indent = indent_of(text, group_at) + "  ";
        }
        elements.push_back({p, 0, eol + indent + element, element, true});
    };

    bool open = false, configuration = false, globals = false, has = false, ladder_known = false;
    std::size_t content = 0, group_at = 0, group_index = 0;
    ladder_reading ladder;
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const token& t = tokens[k];
        if (t.what == group_open) {
            open = !t.tag.self_closing;
            configuration = open && t.tag.has_condition && t.tag.has_label && t.tag.label == "Configuration";
            globals = open && t.tag.has_label && t.tag.label == "Globals";
            has = false;
            ladder_known = false;
            content = t.next;
            group_at = t.at;
            group_index = k + 1;
        } else if (t.what == group_close && open) {
            open = false;
            if (configuration && !has && configurations)
                at_group_end(content, group_at, t.at,
                             "<PlatformToolset>" + std::string(row.toolset) + "</PlatformToolset>");
            if (globals && sdk_possible && t.at < import_at) {
                // The last Globals group to end before the import?
                bool later = false, o = false, g = false;
                for (std::size_t n = k + 1; n < tokens.size() && tokens[n].at < import_at && !later; ++n) {
                    if (tokens[n].what == group_open) {
                        o = !tokens[n].tag.self_closing;
                        g = tokens[n].tag.has_label && tokens[n].tag.label == "Globals";
                    } else if (tokens[n].what == group_close && o) {
                        later = g;
                        o = false;
                    }
                }
                bool vs = any_toolset ? !non_vs
                                      : (configurations_without > 0 && configurations) ||
                                            (imported.toolset && imported.toolset_visual_studio);
                if (!later && !sdk_tag && vs) {
                    result.sdk_insertion = true;
                    if (imported.sdk)
                        result.sdk_imported = true;
                    else if (kept)
                        result.sdk_minimum = minimum;
                    else
                        at_group_end(content, group_at, t.at,
                                     "<WindowsTargetPlatformVersion>" + sdk + "</WindowsTargetPlatformVersion>");
                }
            }
        } else if (t.what == toolset_kind && t.element) {
            has = has || open;
            std::string element = text.substr(t.at, t.end - t.at);
            rung_reading r;
            if (t.plain) {
                std::string v = lower_case(trim(t.value));
                std::string replacement;
                if (v == row.toolset || (*row.xp && v == row.xp) || trim(t.value) == "$(DefaultPlatformToolset)") {
                    plain_names = true;
                } else {
                    for (const version& other : versions) {
                        if (v == other.toolset)
                            replacement = row.toolset;
                        else if (*other.xp && v == other.xp)
                            replacement = row.xp;
                    }
                }
                if (!replacement.empty())
                    elements.push_back({t.value_at, t.value.size(), replacement, element, false});
            } else if (open && number != 0 && rung_token(t, r)) {
                if (!ladder_known) {
                    ladder = read_ladder(tokens, group_index, number);
                    ladder_known = true;
                }
                ladder_names = ladder_names || (ladder.ladder && ladder.has_number);
                if (ladder.ladder && !ladder.has_number && k == ladder.last) {
                    // The condition's place: behind the quote after its name.
                    std::size_t c = text.find_first_of("\"'", text.find("Condition", t.at)) + 1;
                    std::string eol = line_end;
                    if (at(text, t.end, "\r\n"))
                        eol = "\r\n";
                    else if (at(text, t.end, "\n"))
                        eol = "\n";
                    static const char* const forms[8][2] = {{"", ""},         {"11", "11.0"}, {"12", "12.0"},
                                                            {"14", "14.0"},   {"15", "15.0"}, {"16", "16.0"},
                                                            {"17", "17.0"},   {"18", "18.0"}};
                    std::string copy = text.substr(t.at, c + r.number_at - t.at) + forms[target][r.dotted ? 1 : 0] +
                                       text.substr(c + r.number_end, t.tag.end - (c + r.number_end)) + row.toolset +
                                       "</PlatformToolset>";
                    elements.push_back({t.end, 0, eol + indent_of(text, t.at) + copy, copy, true});
                }
            }
        } else if (t.what == sdk_kind && t.element && !sdk.empty()) {
            bool setter = !t.plain && t.tag.plain && t.tag.count == 1 && t.tag.has_condition &&
                          default_setter(t.tag.condition);
            std::string v = trim(t.value);
            if ((t.plain || setter) && v != sdk && v.compare(0, 2, "$(") != 0) {
                if (kept)
                    result.sdk_minimum = minimum;
                else
                    elements.push_back({t.value_at, t.value.size(), sdk, text.substr(t.at, t.end - t.at), false});
            }
        }
    }
    result.has_toolset = any_toolset;
    result.toolset_names_target = plain_names;
    result.toolsets_visual_studio = any_toolset && !non_vs;
    result.has_sdk = sdk_tag;
    result.names_target = result.names_target || plain_names || ladder_names ||
                          (!any_toolset && imported.toolset && imported.toolset_names_target);

    // Put the attribute's edit in its place; elements inside the replaced
    // value go, and so does an edit that would start before the end of the
    // edit in front of it.
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
        if (!result.edits.empty() && e.at < result.edits.back().at + result.edits.back().length)
            continue;
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

std::vector<reference_unchanged_toolset> reference_unchanged_toolsets(const std::string& input, const std::string& toolset,
                                                            const std::string& xp_toolset, unsigned ladder_number)
{
    std::vector<reference_unchanged_toolset> found;
    std::string text = input.substr(0, input.find('\0'));
    std::vector<token> tokens = tokens_from(text, 0);
    bool open = false, known = false, silenced = false;
    std::size_t first = 0;  // the open group's first token
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const token& t = tokens[k];
        if (t.what == group_open) {
            open = !t.tag.self_closing;
            known = false;
            first = k + 1;
            continue;
        }
        if (t.what == group_close) {
            open = false;
            known = false;
            continue;
        }
        if (t.what != toolset_kind || !t.element)
            continue;
        std::string v = trim(t.value);
        bool names_version = v.size() >= 3 && (v[0] == 'v' || v[0] == 'V') && v[1] >= '0' && v[1] <= '9' &&
                             v[2] >= '0' && v[2] <= '9';
        std::string lower = lower_case(v);
        if (!names_version || lower == lower_case(toolset) || (!xp_toolset.empty() && lower == lower_case(xp_toolset)))
            continue;
        rung_reading r;
        if (ladder_number != 0 && open && rung_token(t, r)) {
            if (!known) {
                ladder_reading l = read_ladder(tokens, first, ladder_number);
                silenced = l.ladder && l.has_number;
                known = true;
            }
            if (silenced)
                continue;
        }
        std::size_t line = 1;
        for (std::size_t c = 0; c < t.at; ++c)
            line += text[c] == '\n';
        found.push_back({line, t.at, text.substr(t.at, t.end - t.at)});
    }
    return found;
}

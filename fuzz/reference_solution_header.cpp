#include "reference_solution_header.h"

namespace {

struct version {
    const char* format;
    const char* comment;
    const char* version;  // the major version and ".0", or "" for none
};

const version versions[8] = {
    {"11.00", "# Visual Studio 2010", ""},
    {"12.00", "# Visual Studio 2012", ""},
    {"12.00", "# Visual Studio 2013", "12.0"},
    {"12.00", "# Visual Studio 14", "14.0"},
    {"12.00", "# Visual Studio 15", "15.0"},
    {"12.00", "# Visual Studio Version 16", "16.0"},
    {"12.00", "# Visual Studio Version 17", "17.0"},
    {"12.00", "# Visual Studio Version 18", "18.0"},
};

const std::string bom = "\xEF\xBB\xBF";
const std::string prefix = "Microsoft Visual Studio Solution File, Format Version";
const std::string minimum = "MinimumVisualStudioVersion = 10.0.40219.1";

struct text_line {
    std::string content;
    std::string end;  // "\r\n", "\n" or ""
};

std::vector<text_line> split_lines(const std::string& text)
{
    std::vector<text_line> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t feed = text.find('\n', start);
        if (feed == std::string::npos) {
            lines.push_back({text.substr(start), ""});
            break;
        }
        std::string piece = text.substr(start, feed - start);
        if (!piece.empty() && piece.back() == '\r') {
            piece.pop_back();
            lines.push_back({piece, "\r\n"});
        } else {
            lines.push_back({piece, "\n"});
        }
        start = feed + 1;
    }
    return lines;
}

bool begins(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}

std::string without_leading_blanks(const std::string& text)
{
    std::size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first);
}

// "name = value": the value, and whether a blank stood behind the '='.
bool assignment(const std::string& content, const std::string& name, std::string& value, bool& spaced)
{
    std::string rest = without_leading_blanks(content);
    if (!begins(rest, name))
        return false;
    rest = without_leading_blanks(rest.substr(name.size()));
    if (rest.empty() || rest[0] != '=')
        return false;
    value = without_leading_blanks(rest.substr(1));
    spaced = value.size() < rest.size() - 1;
    return true;
}

unsigned leading_number(const std::string& value)
{
    std::size_t digits = 0;
    while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9')
        ++digits;
    if (digits == 0)
        return 0;
    std::string number = value.substr(0, digits);
    while (number.size() > 1 && number[0] == '0')
        number.erase(0, 1);
    return number.size() > 4 ? 0 : static_cast<unsigned>(std::stoul(number));
}

// Puts `content` on a line of its own after lines[at]; the lines above lend
// theirs when lines[at] ends the text without a line end.
void insert_after(std::vector<text_line>& lines, std::size_t at, const std::string& content)
{
    if (!lines[at].end.empty()) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at) + 1, {content, lines[at].end});
        return;
    }
    std::string lent = "\r\n";
    for (std::size_t i = at; i-- > 0;) {
        if (!lines[i].end.empty()) {
            lent = lines[i].end;
            break;
        }
    }
    lines[at].end = lent;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at) + 1, {content, ""});
}

}  // namespace

reference_solution_header reference_header_rules(const std::string& input, int target)
{
    reference_solution_header r;
    r.text = input;
    if (begins(input, "\xFF\xFE") || begins(input, "\xFE\xFF")) {
        r.utf16 = true;
        return r;
    }
    const version& v = versions[target];
    bool has_bom = begins(input, bom);
    std::vector<text_line> lines = split_lines(has_bom ? input.substr(bom.size()) : input);
    std::size_t format = 0;
    while (format < lines.size() && (lines[format].content + lines[format].end).find_first_not_of(" \t\r\n") ==
                                        std::string::npos)
        ++format;
    if (format == lines.size())
        return r;
    std::string format_line = lines[format].content;
    std::size_t blanks = format_line.find_first_not_of(" \t");
    if (blanks == std::string::npos || format_line.compare(blanks, prefix.size(), prefix) != 0)
        return r;
    r.found = true;
    if (!has_bom)
        r.reported.push_back("+ UTF-8 byte order mark");

    std::size_t behind_prefix = blanks + prefix.size();
    std::string value = without_leading_blanks(format_line.substr(behind_prefix));
    if (value != v.format) {
        r.reported.push_back(format_line);
        bool spaced = value.size() < format_line.size() - behind_prefix;
        lines[format].content = format_line.substr(0, format_line.size() - value.size()) + (spaced ? "" : " ") + v.format;
    }

    // What is found in the lines as they stand, before any is inserted.
    bool has_comment = format + 1 < lines.size() && begins(lines[format + 1].content, "# ");
    bool has_version = false;
    std::size_t version_line = 0;
    bool has_minimum = false;
    for (std::size_t i = format + 1; i < lines.size(); ++i) {
        std::string rest = without_leading_blanks(lines[i].content);
        if (begins(rest, "Project") || begins(rest, "Global"))
            break;
        std::string found;
        bool spaced = false;
        if (assignment(lines[i].content, "MinimumVisualStudioVersion", found, spaced))
            has_minimum = true;
        if (!has_version && assignment(lines[i].content, "VisualStudioVersion", found, spaced)) {
            has_version = true;
            version_line = i;
        }
    }

    std::size_t comment = format + 1;
    if (has_comment) {
        if (lines[comment].content != v.comment) {
            r.reported.push_back(lines[comment].content);
            lines[comment].content = v.comment;
        }
    } else {
        insert_after(lines, format, v.comment);
        r.reported.push_back("+ " + std::string(v.comment));
        if (has_version)
            ++version_line;
    }
    std::string wanted = v.version;
    if (!wanted.empty() && has_version) {
        std::string found;
        bool spaced = false;
        (void)assignment(lines[version_line].content, "VisualStudioVersion", found, spaced);
        if (leading_number(found) != leading_number(wanted)) {
            r.reported.push_back(lines[version_line].content);
            std::string& content = lines[version_line].content;
            content = content.substr(0, content.size() - found.size()) + (spaced ? "" : " ") + wanted;
        }
    } else if (!wanted.empty()) {
        insert_after(lines, comment, "VisualStudioVersion = " + wanted);
        r.reported.push_back("+ VisualStudioVersion = " + wanted);
        if (!has_minimum) {
            insert_after(lines, comment + 1, minimum);
            r.reported.push_back("+ " + minimum);
        }
    }

    r.text = bom;
    for (const text_line& l : lines)
        r.text += l.content + l.end;
    return r;
}

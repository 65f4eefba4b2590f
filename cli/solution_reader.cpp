#include "cli/solution_reader.h"

#include <cstddef>
#include <cstdint>
#include <utility>

#include "cli/text_encoding.h"

namespace {

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";
constexpr std::string_view utf16le_bom = "\xFF\xFE";

char lower_ascii(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_space(char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view without_utf8_bom(std::string_view bytes) noexcept
{
    if (bytes.substr(0, utf8_bom.size()) == utf8_bom)
        bytes.remove_prefix(utf8_bom.size());
    return bytes;
}

// ---- .sln ----

constexpr std::string_view utf16be_bom = "\xFE\xFF";
constexpr std::string_view sln_header = "Microsoft Visual Studio Solution File, Format Version";

bool is_blank_line(std::string_view line) noexcept
{
    for (char c : line) {
        if (c != ' ' && c != '\t' && c != '\r')
            return false;
    }
    return true;
}

// A cursor over one line of a .sln.
struct line_cursor {
    std::string_view line;
    std::size_t at = 0;

    void skip_spaces() noexcept
    {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t'))
            ++at;
    }

    bool take(std::string_view word) noexcept
    {
        skip_spaces();
        if (line.substr(at, word.size()) != word)
            return false;
        at += word.size();
        return true;
    }

    // A double-quoted field (the format has no escapes), without its quotes.
    bool take_quoted(std::string_view& field) noexcept
    {
        if (!take("\""))
            return false;
        std::size_t end = line.find('"', at);
        if (end == std::string_view::npos)
            return false;
        field = line.substr(at, end - at);
        at = end + 1;
        return true;
    }
};

// The path of a `Project(...)` line, or false for any other line. Nested
// "ProjectSection(" lines fail at the parenthesis.
bool project_line_path(std::string_view line, std::string_view& path) noexcept
{
    line_cursor cursor{line};
    std::string_view type;
    std::string_view name;
    return cursor.take("Project") && cursor.take("(") && cursor.take_quoted(type) && cursor.take(")") &&
           cursor.take("=") && cursor.take_quoted(name) && cursor.take(",") && cursor.take_quoted(path);
}

// ---- .slnx ----

// A cursor over the XML text with the few steps the reader needs.
struct xml_cursor {
    std::string_view text;
    std::size_t at = 0;

    bool done() const noexcept { return at >= text.size(); }
    bool starts_with(std::string_view word) const noexcept { return text.substr(at, word.size()) == word; }

    void skip_spaces() noexcept
    {
        while (at < text.size() && is_space(text[at]))
            ++at;
    }

    // Moves past the next `end`; false, at the end of the text, when there is none.
    bool skip_past(std::string_view end) noexcept
    {
        std::size_t found = text.find(end, at);
        at = found == std::string_view::npos ? text.size() : found + end.size();
        return found != std::string_view::npos;
    }

    // A DOCTYPE may hold an internal subset in brackets, with quoted literals
    // and comments that can contain '>' themselves.
    // False when it is not closed.
    bool skip_doctype() noexcept
    {
        int depth = 0;
        while (at < text.size()) {
            if (starts_with("<!--")) {
                at += 4;
                if (!skip_past("-->"))
                    return false;
                continue;
            }
            char c = text[at++];
            if (c == '"' || c == '\'') {
                std::size_t end = text.find(c, at);
                if (end == std::string_view::npos)
                    return false;
                at = end + 1;
            } else if (c == '[') {
                ++depth;
            } else if (c == ']') {
                if (depth > 0)
                    --depth;
            } else if (c == '>' && depth == 0) {
                return true;
            }
        }
        return false;
    }

    std::string_view take_name() noexcept
    {
        std::size_t start = at;
        while (at < text.size() && !is_space(text[at]) && text[at] != '/' && text[at] != '>' && text[at] != '=' &&
               text[at] != '<' && text[at] != '"' && text[at] != '\'')
            ++at;
        return text.substr(start, at - start);
    }
};

bool is_valid_xml_char(std::uint32_t c) noexcept
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The value of a numeric character reference's digits ("#65", "#x41"), or 0
// when it is malformed or names no character XML allows.
std::uint32_t character_reference(std::string_view digits) noexcept
{
    if (digits.size() < 2 || digits[0] != '#')
        return 0;
    digits.remove_prefix(1);
    unsigned base = 10;
    if (digits[0] == 'x') {
        base = 16;
        digits.remove_prefix(1);
    }
    if (digits.empty())
        return 0;
    std::uint32_t value = 0;
    for (char c : digits) {
        unsigned digit = c >= '0' && c <= '9'                 ? static_cast<unsigned>(c - '0')
                         : base == 16 && c >= 'a' && c <= 'f' ? static_cast<unsigned>(c - 'a' + 10)
                         : base == 16 && c >= 'A' && c <= 'F' ? static_cast<unsigned>(c - 'A' + 10)
                                                              : base;
        if (digit >= base)
            return 0;
        value = value * base + digit;
        if (value > 0x10FFFF)
            return 0;
    }
    return is_valid_xml_char(value) ? value : 0;
}

void append_utf8(std::string& out, std::uint32_t c)
{
    std::u16string units;
    if (c >= 0x10000) {
        units += static_cast<char16_t>(0xD800 | ((c - 0x10000) >> 10));
        units += static_cast<char16_t>(0xDC00 | ((c - 0x10000) & 0x3FF));
    } else {
        units += static_cast<char16_t>(c);
    }
    out += utf16_to_utf8(units);
}

// Whether `c` may stand in a reference between its '&' and its ';'.
bool is_reference_char(char c) noexcept
{
    return c == '#' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Reads the attributes of a start tag up to and including its '>' (or
// "/>": `empty` is then set) and returns the value of `wanted`, if there is
// one, in `found`. False when the tag is not well formed.
bool read_attributes(xml_cursor& cursor, std::string_view wanted, std::string& found, bool& has_found, bool& empty)
{
    empty = false;
    for (;;) {
        bool spaced = cursor.at < cursor.text.size() && is_space(cursor.text[cursor.at]);
        cursor.skip_spaces();
        if (cursor.done())
            return false;
        if (cursor.starts_with("/>")) {
            cursor.at += 2;
            empty = true;
            return true;
        }
        if (cursor.text[cursor.at] == '>') {
            ++cursor.at;
            return true;
        }
        std::string_view name = cursor.take_name();
        if (name.empty() || !spaced)
            return false;
        cursor.skip_spaces();
        if (cursor.done() || cursor.text[cursor.at] != '=')
            return false;
        ++cursor.at;
        cursor.skip_spaces();
        if (cursor.done())
            return false;
        char quote = cursor.text[cursor.at];
        if (quote != '"' && quote != '\'')
            return false;
        std::size_t end = cursor.text.find(quote, cursor.at + 1);
        if (end == std::string_view::npos)
            return false;
        std::string_view raw = cursor.text.substr(cursor.at + 1, end - cursor.at - 1);
        if (raw.find('<') != std::string_view::npos)
            return false;
        cursor.at = end + 1;
        if (name == wanted && !has_found) {
            found = xml_attribute_value(raw);
            has_found = true;
        }
    }
}

// Whether `text` holds nothing but white space.
bool is_white(std::string_view text) noexcept
{
    for (char c : text) {
        if (!is_space(c))
            return false;
    }
    return true;
}

// Takes one entry the solution wrote: a project, a rejected one, or nothing.
void take_entry(std::string path, solution_listing& listing)
{
    if (!has_project_extension(path))
        return;
    if (has_control_character(path))
        listing.rejected.push_back(std::move(path));
    else
        listing.paths.push_back(std::move(path));
}

cli_error not_a_solution(solution_listing& listing)
{
    listing.paths.clear();
    listing.rejected.clear();
    return error_not_a_solution;
}

}  // namespace

bool has_project_extension(std::string_view path) noexcept
{
    constexpr std::string_view extension = ".vcxproj";
    if (path.size() < extension.size())
        return false;
    std::string_view tail = path.substr(path.size() - extension.size());
    for (std::size_t i = 0; i < extension.size(); ++i) {
        if (lower_ascii(tail[i]) != extension[i])
            return false;
    }
    return true;
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

bool solution_text(std::string_view bytes, std::string& text)
{
    bool little = bytes.substr(0, utf16le_bom.size()) == utf16le_bom;
    bool big = bytes.substr(0, utf16be_bom.size()) == utf16be_bom;
    if (little || big) {
        bytes.remove_prefix(2);
        if (bytes.size() % 2 != 0)
            return false;
        text = utf16_bytes_to_utf8(bytes, big);
    } else {
        text = without_utf8_bom(bytes);
    }
    return true;
}

std::string xml_attribute_value(std::string_view raw)
{
    std::string value;
    value.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '\r') {
            if (i + 1 < raw.size() && raw[i + 1] == '\n')
                ++i;
            value += ' ';
            continue;
        }
        if (c == '\n' || c == '\t') {
            value += ' ';
            continue;
        }
        if (c != '&') {
            value += c;
            continue;
        }
        // The reference ends at the first byte that cannot be part of one,
        // which is never '&': every byte is looked at at most twice.
        std::size_t end = i + 1;
        while (end < raw.size() && is_reference_char(raw[end]))
            ++end;
        if (end == raw.size() || raw[end] != ';') {
            value += c;
            continue;
        }
        std::string_view name = raw.substr(i + 1, end - i - 1);
        char named = name == "lt" ? '<' : name == "gt" ? '>' : name == "amp" ? '&' : name == "apos" ? '\'' : name == "quot" ? '"' : '\0';
        std::uint32_t code = named ? 0 : character_reference(name);
        if (named)
            value += named;
        else if (code)
            append_utf8(value, code);
        else
            value.append(raw.substr(i, end - i + 1));
        i = end;
    }
    return value;
}

cli_error sln_project_paths(std::string_view bytes, solution_listing& listing)
{
    listing.paths.clear();
    listing.rejected.clear();
    std::string decoded;
    if (!solution_text(bytes, decoded))
        return not_a_solution(listing);
    std::string_view text = decoded;
    bool has_header = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        // A carriage return before the line feed comes after the fields and
        // needs no removing.
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!has_header) {
            if (is_blank_line(line))
                continue;
            line_cursor cursor{line};
            if (!cursor.take(sln_header))
                return not_a_solution(listing);
            has_header = true;
            continue;
        }
        std::string_view path;
        if (project_line_path(line, path))
            take_entry(std::string(path), listing);
    }
    if (!has_header)
        return not_a_solution(listing);
    return 0;
}

cli_error slnx_project_paths(std::string_view bytes, solution_listing& listing)
{
    listing.paths.clear();
    listing.rejected.clear();
    std::string decoded;
    if (!solution_text(bytes, decoded))
        return not_a_solution(listing);
    xml_cursor cursor{decoded};
    std::vector<std::string_view> open_elements;
    bool root_seen = false;
    while (!cursor.done()) {
        std::size_t open = cursor.text.find('<', cursor.at);
        std::size_t text_end = open == std::string_view::npos ? cursor.text.size() : open;
        // Outside the root element only white space may stand between the markup.
        if (open_elements.empty() && !is_white(cursor.text.substr(cursor.at, text_end - cursor.at)))
            return not_a_solution(listing);
        if (open == std::string_view::npos)
            break;
        cursor.at = open;
        bool closed = true;
        if (cursor.starts_with("<!--")) {
            cursor.at += 4;
            closed = cursor.skip_past("-->");
        } else if (cursor.starts_with("<![CDATA[")) {
            cursor.at += 9;
            closed = !open_elements.empty() && cursor.skip_past("]]>");
        } else if (cursor.starts_with("<?")) {
            cursor.at += 2;
            closed = cursor.skip_past("?>");
        } else if (cursor.starts_with("<!DOCTYPE")) {
            cursor.at += 9;
            closed = !root_seen && cursor.skip_doctype();
        } else if (cursor.starts_with("<!")) {
            closed = false;
        } else if (cursor.starts_with("</")) {
            cursor.at += 2;
            std::string_view element = cursor.take_name();
            cursor.skip_spaces();
            closed = !open_elements.empty() && element == open_elements.back() && !cursor.done() &&
                     cursor.text[cursor.at] == '>';
            if (closed) {
                ++cursor.at;
                open_elements.pop_back();
            }
        } else {
            ++cursor.at;
            std::string_view element = cursor.take_name();
            bool is_root = open_elements.empty();
            std::string path;
            bool has_path = false;
            bool empty = false;
            closed = !element.empty() && !(is_root && (root_seen || element != "Solution")) &&
                     read_attributes(cursor, element == "Project" ? "Path" : "", path, has_path, empty);
            if (closed) {
                root_seen = true;
                if (!empty)
                    open_elements.push_back(element);
                if (has_path)
                    take_entry(std::move(path), listing);
            }
        }
        if (!closed)
            return not_a_solution(listing);
    }
    if (!root_seen || !open_elements.empty())
        return not_a_solution(listing);
    return 0;
}

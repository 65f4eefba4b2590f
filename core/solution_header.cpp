#include "core/solution_header.h"

#include "core/text_search.h"

// One pass over the lines of the header, front to back, each looked at
// once: the blank lines before the format line, the format line, then the
// lines up to the first project or the Global section. An inserted line is
// told as its line end followed by the line, put in where the line it
// follows ends: the same bytes as the line and its line end put in behind
// that line's line end, and the same whether that line has one or not.

namespace {

constexpr std::string_view utf8_bom = "\xEF\xBB\xBF";
constexpr std::string_view utf16le_bom = "\xFF\xFE";
constexpr std::string_view utf16be_bom = "\xFE\xFF";
constexpr std::string_view bom_reported = "UTF-8 byte order mark";
constexpr std::string_view format_prefix = "Microsoft Visual Studio Solution File, Format Version";
constexpr std::string_view version_name = "VisualStudioVersion";
constexpr std::string_view minimum_name = "MinimumVisualStudioVersion";
constexpr std::string_view comment_start = "# ";
constexpr std::string_view crlf = "\r\n";
// An inserted line with the longest line end in front: its LF form is the
// same text from the second byte on.
constexpr std::string_view minimum_line = "\r\nMinimumVisualStudioVersion = 10.0.40219.1";

// What Visual Studio of each row writes: the format version (with the blank
// that separates it from the prefix, for a line that has none), the comment
// line and, from 2013 on, the VisualStudioVersion line, whose value is the
// major version and ".0" (with the blank in front, for a line that has none
// behind its '=').
struct header_row {
    std::string_view format;         // " 12.00"
    std::string_view comment;        // "\r\n# Visual Studio 2013"
    std::string_view version;        // "\r\nVisualStudioVersion = 12.0", or empty
    std::string_view version_value;  // " 12.0"
    unsigned major = 0;              // 12, or 0 without a version line
};

constexpr header_row header_rows[] = {
    {" 11.00", "\r\n# Visual Studio 2010", {}, {}, 0},
    {" 12.00", "\r\n# Visual Studio 2012", {}, {}, 0},
    {" 12.00", "\r\n# Visual Studio 2013", "\r\nVisualStudioVersion = 12.0", " 12.0", 12},
    {" 12.00", "\r\n# Visual Studio 14", "\r\nVisualStudioVersion = 14.0", " 14.0", 14},
    {" 12.00", "\r\n# Visual Studio 15", "\r\nVisualStudioVersion = 15.0", " 15.0", 15},
    {" 12.00", "\r\n# Visual Studio Version 16", "\r\nVisualStudioVersion = 16.0", " 16.0", 16},
    {" 12.00", "\r\n# Visual Studio Version 17", "\r\nVisualStudioVersion = 17.0", " 17.0", 17},
    {" 12.00", "\r\n# Visual Studio Version 18", "\r\nVisualStudioVersion = 18.0", " 18.0", 18},
};
static_assert(sizeof header_rows / sizeof header_rows[0] == cli_version_count);

// text[at, end), without the checks of substr; callers keep at <= size.
std::string_view from(std::string_view text, std::size_t at) noexcept
{
    return slice(text, at, text.size());
}

bool starts_with(std::string_view text, std::string_view prefix) noexcept
{
    return text.size() >= prefix.size() && slice(text, 0, prefix.size()) == prefix;
}

bool is_blank(char c) noexcept
{
    return c == ' ' || c == '\t';
}

std::size_t skip_blanks(std::string_view text, std::size_t at) noexcept
{
    while (at < text.size() && is_blank(text[at]))
        ++at;
    return at;
}

// One line of the text: [start, content_end) is what it says, its line end
// ("\r\n", "\n" or none) runs to `next`.
struct line {
    std::size_t start = 0;
    std::size_t content_end = 0;
    std::size_t next = 0;

    bool exists() const noexcept { return next > start; }
    std::string_view content(std::string_view text) const noexcept { return slice(text, start, content_end); }
    std::string_view line_end(std::string_view text) const noexcept { return slice(text, content_end, next); }
};

// The line that starts at `start`; one that does not exist (start at the end
// of the text) has next == start.
line line_at(std::string_view text, std::size_t start) noexcept
{
    line l{start, text.size(), text.size()};
    std::size_t feed = find_byte(text, '\n', start);
    if (feed != text_none) {
        l.next = feed + 1;
        l.content_end = feed > start && text[feed - 1] == '\r' ? feed - 1 : feed;
    }
    return l;
}

bool is_blank_line(std::string_view content_and_end) noexcept
{
    for (char c : content_and_end) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            return false;
    }
    return true;
}

// Where the value of a "name = value" line begins (after the '=' and the
// blanks behind it), with `spaced` telling whether a blank stood there; or
// text_none when the line is not one of `name`.
std::size_t assignment_value(std::string_view content, std::string_view name, bool& spaced) noexcept
{
    std::size_t at = skip_blanks(content, 0);
    if (!starts_with(from(content, at), name))
        return text_none;
    at = skip_blanks(content, at + name.size());
    if (at >= content.size() || content[at] != '=')
        return text_none;
    std::size_t value = skip_blanks(content, at + 1);
    spaced = value > at + 1;
    return value;
}

// The number the value starts with ("17" of "17.14.36717.8 d17.14"), or
// none when it starts with no digit; one too large for any version is none.
unsigned major_version(std::string_view value) noexcept
{
    unsigned number = 0;
    std::size_t i = 0;
    for (; i < value.size() && is_digit(value[i]); ++i) {
        number = number * 10 + static_cast<unsigned>(value[i] - '0');
        if (number > 1000)
            return 0;
    }
    return i == 0 ? 0 : number;
}

bool ends_header(std::string_view content) noexcept
{
    std::string_view rest = from(content, skip_blanks(content, 0));
    return starts_with(rest, "Project") || starts_with(rest, "Global");
}

// An inserted line's text: `with_crlf` with the line end `line_end` in front.
std::string_view with_line_end(std::string_view with_crlf, std::string_view line_end) noexcept
{
    return line_end == crlf ? with_crlf : from(with_crlf, 1);
}

struct teller {
    void (*edit)(void* context, const solution_edit& e) = nullptr;
    void* context = nullptr;
    std::size_t count = 0;

    void tell(const solution_edit& e) noexcept
    {
        ++count;
        if (edit)
            edit(context, e);
    }

    // The line `with_crlf` inserted after the line that ends at `at`, with
    // `line_end` (that line's, or the one it borrows).
    void insert_line(std::size_t at, std::string_view with_crlf, std::string_view line_end) noexcept
    {
        tell({at, 0, with_line_end(with_crlf, line_end), change_kind::inserted, from(with_crlf, crlf.size())});
    }
};

}  // namespace

solution_header find_solution_header_edits(std::string_view text, cli_version target,
                                           void (*edit)(void* context, const solution_edit& e),
                                           void* context) noexcept
{
    solution_header result;
    if (static_cast<std::size_t>(target) >= cli_version_count)
        return result;
    if (starts_with(text, utf16le_bom) || starts_with(text, utf16be_bom)) {
        result.utf16 = true;
        return result;
    }
    const header_row& row = header_rows[target];
    bool has_bom = starts_with(text, utf8_bom);

    // The line end an inserted line borrows when the line it follows has none.
    std::string_view borrowed = crlf;
    line format = line_at(text, has_bom ? utf8_bom.size() : 0);
    while (format.exists() && is_blank_line(slice(text, format.start, format.next))) {
        borrowed = format.line_end(text);
        format = line_at(text, format.next);
    }
    if (!format.exists())
        return result;
    std::string_view format_content = format.content(text);
    std::size_t prefix_at = skip_blanks(format_content, 0);
    if (!starts_with(from(format_content, prefix_at), format_prefix))
        return result;
    result.found = true;

    teller t{edit, context};
    if (!has_bom)
        t.tell({0, 0, utf8_bom, change_kind::inserted, bom_reported});

    std::size_t after_prefix = prefix_at + format_prefix.size();
    std::size_t value_at = skip_blanks(format_content, after_prefix);
    std::string_view format_value = from(row.format, value_at > after_prefix ? 1 : 0);
    if (from(format_content, value_at) != from(row.format, 1))
        t.tell({format.start + value_at, format_content.size() - value_at, format_value, change_kind::replaced,
                format_content});
    if (!format.line_end(text).empty())
        borrowed = format.line_end(text);

    // The line the version lines go after: the comment line, or the format
    // line where the comment line is inserted.
    std::size_t version_at = format.content_end;
    std::string_view version_line_end = borrowed;
    line comment = line_at(text, format.next);
    if (comment.exists() && starts_with(comment.content(text), comment_start)) {
        if (comment.content(text) != from(row.comment, crlf.size()))
            t.tell({comment.start, comment.content_end - comment.start, from(row.comment, crlf.size()),
                    change_kind::replaced, comment.content(text)});
        version_at = comment.content_end;
        if (!comment.line_end(text).empty())
            version_line_end = comment.line_end(text);
    } else {
        t.insert_line(format.content_end, row.comment, borrowed);
    }

    if (row.version.empty()) {
        result.count = t.count;
        return result;
    }
    bool has_version = false;
    bool has_minimum = false;
    for (line l = line_at(text, format.next); l.exists() && !(has_version && has_minimum);
         l = line_at(text, l.next)) {
        std::string_view content = l.content(text);
        if (ends_header(content))
            break;
        bool spaced = false;
        if (!has_minimum && assignment_value(content, minimum_name, spaced) != text_none)
            has_minimum = true;
        if (has_version)
            continue;
        std::size_t value = assignment_value(content, version_name, spaced);
        if (value == text_none)
            continue;
        has_version = true;
        if (major_version(from(content, value)) == row.major)
            continue;
        std::string_view wanted = from(row.version_value, spaced ? 1 : 0);
        t.tell({l.start + value, content.size() - value, wanted, change_kind::replaced, content});
    }
    if (!has_version) {
        t.insert_line(version_at, row.version, version_line_end);
        if (!has_minimum)
            t.insert_line(version_at, minimum_line, version_line_end);
    }
    result.count = t.count;
    return result;
}

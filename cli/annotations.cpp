#include "cli/annotations.h"

#include <cstdint>

#include "cli/decimal_text.h"
#include "cli/file_system.h"
#include "cli/printable_output.h"

namespace {

std::string_view kind_name(annotation_kind kind) noexcept
{
    return kind == annotation_kind::warning ? "warning" : "error";
}

// The escape of `c` in a value of GitHub's workflow commands, or empty for a
// byte that stands as it is: a message escapes '%', CR and LF; a property
// value also ':' and ','.
std::string_view github_escape(char c, bool property) noexcept
{
    switch (c) {
    case '%':
        return "%25";
    case '\r':
        return "%0D";
    case '\n':
        return "%0A";
    case ':':
        return property ? "%3A" : "";
    case ',':
        return property ? "%2C" : "";
    default:
        return "";
    }
}

// Azure's agent reads a property value up to the next ';' and the
// properties up to the first ']', and turns %3B, %0D, %0A and %5D back into
// their characters, then %AZP25 into '%' (the agent's own escape of '%',
// decoded by default since 2021; %25 stays as it is). A message escapes
// '%', CR and LF; a property value also ']' and ';'. One pass over the
// characters escapes each once, as replacing '%' first would.
std::string_view azure_escape(char c, bool property) noexcept
{
    switch (c) {
    case '%':
        return "%AZP25";
    case '\r':
        return "%0D";
    case '\n':
        return "%0A";
    case ']':
        return property ? "%5D" : "";
    case ';':
        return property ? "%3B" : "";
    default:
        return "";
    }
}

[[nodiscard]] bool append_escaped(byte_buffer& text, std::string_view value, bool property,
                                  std::string_view (*escape_of)(char, bool) noexcept) noexcept
{
    std::size_t plain = 0;
    for (std::size_t at = 0; at < value.size(); ++at) {
        std::string_view escape = escape_of(value[at], property);
        if (escape.empty())
            continue;
        if (!text.append(value.substr(plain, at - plain)) || !text.append(escape))
            return false;
        plain = at + 1;
    }
    return text.append(value.substr(plain));
}

// The printable form of `path`, escaped as a property value.
[[nodiscard]] bool append_path(byte_buffer& text, std::string_view path, bool azure) noexcept
{
    byte_buffer printable;
    if (!append_printable(printable, path))
        return false;
    return azure ? append_azure_escaped(text, printable.view(), true)
                 : append_github_escaped(text, printable.view(), true);
}

[[nodiscard]] bool append_github(byte_buffer& text, annotation_kind kind, std::string_view path, std::size_t line,
                                 std::string_view message) noexcept
{
    bool held = text.append("::") && text.append(kind_name(kind)) && text.append(" file=") &&
                append_path(text, path, false);
    if (held && line != 0)
        held = text.append(",line=") && append_number(text, line);
    return held && text.append("::") && append_github_escaped(text, message, false) && text.append("\n");
}

// Azure Pipelines shows an issue on a file only by its absolute path; a path
// whose absolute form cannot be had (the current folder is gone) is given
// as it stands.
[[nodiscard]] bool append_azure(byte_buffer& text, annotation_kind kind, std::string_view path, std::size_t line,
                                std::string_view message) noexcept
{
    std::string absolute;
    std::string_view named = path;
    if (absolute_path(std::string(path), absolute) == 0)
        named = absolute;
    bool held = text.append("##vso[task.logissue type=") && text.append(kind_name(kind)) &&
                text.append(";sourcepath=") && append_path(text, named, true) && text.append(";");
    if (held && line != 0)
        held = text.append("linenumber=") && append_number(text, line) && text.append(";");
    return held && text.append("]") && append_azure_escaped(text, message, false) && text.append("\n");
}

void append_whole(std::string& text, const byte_buffer& added)
{
    text.append(added.data() ? added.data() : "", added.size());
}

}  // namespace

annotation_format find_annotation_format(std::string_view name) noexcept
{
    if (name == "github")
        return annotation_format::github;
    if (name == "azure")
        return annotation_format::azure;
    return annotation_format::none;
}

bool append_annotation(byte_buffer& text, annotation_format format, annotation_kind kind, std::string_view path,
                       std::size_t line, std::string_view message) noexcept
{
    switch (format) {
    case annotation_format::github:
        return append_github(text, kind, path, line, message);
    case annotation_format::azure:
        return append_azure(text, kind, path, line, message);
    case annotation_format::none:
        break;
    }
    return true;
}

void append_annotation(std::string& text, annotation_format format, annotation_kind kind, std::string_view path,
                       std::size_t line, std::string_view message)
{
    byte_buffer added;
    (void)append_annotation(added, format, kind, path, line, message);
    append_whole(text, added);
}

bool append_github_escaped(byte_buffer& text, std::string_view value, bool property) noexcept
{
    return append_escaped(text, value, property, github_escape);
}

bool append_azure_escaped(byte_buffer& text, std::string_view value, bool property) noexcept
{
    return append_escaped(text, value, property, azure_escape);
}

void append_github_escaped(std::string& text, std::string_view value, bool property)
{
    byte_buffer added;
    (void)append_github_escaped(added, value, property);
    append_whole(text, added);
}

void append_azure_escaped(std::string& text, std::string_view value, bool property)
{
    byte_buffer added;
    (void)append_azure_escaped(added, value, property);
    append_whole(text, added);
}

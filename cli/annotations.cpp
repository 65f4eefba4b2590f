#include "cli/annotations.h"

#include <cstdint>

#include "cli/file_system.h"

namespace {

void append_number(std::string& text, std::uint64_t number)
{
    char digits[24];
    std::size_t at = sizeof digits;
    do {
        digits[--at] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    text.append(digits + at, sizeof digits - at);
}

std::string_view kind_name(annotation_kind kind) noexcept
{
    return kind == annotation_kind::warning ? "warning" : "error";
}

void append_github(std::string& text, annotation_kind kind, std::string_view path, std::size_t line,
                   std::string_view message)
{
    text.append("::").append(kind_name(kind)).append(" file=");
    append_github_escaped(text, path, true);
    if (line != 0) {
        text.append(",line=");
        append_number(text, line);
    }
    text.append("::");
    append_github_escaped(text, message, false);
    text += '\n';
}

// Azure Pipelines shows an issue on a file only by its absolute path; a path
// whose absolute form cannot be had (the current folder is gone) is given
// as it stands.
void append_azure(std::string& text, annotation_kind kind, std::string_view path, std::size_t line,
                  std::string_view message)
{
    std::string absolute;
    if (absolute_path(std::string(path), absolute) != 0)
        absolute = path;
    text.append("##vso[task.logissue type=").append(kind_name(kind)).append(";sourcepath=");
    append_azure_escaped(text, absolute, true);
    text += ';';
    if (line != 0) {
        text.append("linenumber=");
        append_number(text, line);
        text += ';';
    }
    text += ']';
    append_azure_escaped(text, message, false);
    text += '\n';
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

void append_annotation(std::string& text, annotation_format format, annotation_kind kind, std::string_view path,
                       std::size_t line, std::string_view message)
{
    switch (format) {
    case annotation_format::github:
        append_github(text, kind, path, line, message);
        break;
    case annotation_format::azure:
        append_azure(text, kind, path, line, message);
        break;
    case annotation_format::none:
        break;
    }
}

// GitHub's workflow commands: a message escapes '%' (first), CR and LF; a
// property value also ':' and ','.
void append_github_escaped(std::string& text, std::string_view value, bool property)
{
    for (char c : value) {
        switch (c) {
        case '%':
            text += "%25";
            break;
        case '\r':
            text += "%0D";
            break;
        case '\n':
            text += "%0A";
            break;
        case ':':
            text += property ? "%3A" : ":";
            break;
        case ',':
            text += property ? "%2C" : ",";
            break;
        default:
            text += c;
            break;
        }
    }
}

// Azure's agent reads a property value up to the next ';' and the
// properties up to the first ']', and turns %3B, %0D, %0A and %5D back into
// their characters, then %AZP25 into '%' (the agent's own escape of '%',
// decoded by default since 2021; %25 stays as it is). A message escapes
// '%', CR and LF; a property value also ']' and ';'. One pass over the
// characters escapes each once, as replacing '%' first would.
void append_azure_escaped(std::string& text, std::string_view value, bool property)
{
    for (char c : value) {
        switch (c) {
        case '%':
            text += "%AZP25";
            break;
        case '\r':
            text += "%0D";
            break;
        case '\n':
            text += "%0A";
            break;
        case ']':
            text += property ? "%5D" : "]";
            break;
        case ';':
            text += property ? "%3B" : ";";
            break;
        default:
            text += c;
            break;
        }
    }
}

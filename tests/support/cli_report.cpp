#include "support/cli_report.h"

#include <string_view>

namespace {

bool starts_with(std::string_view text, std::string_view start)
{
    return text.substr(0, start.size()) == start;
}

// Whether `line` is a summary line: "<count> solution(s): " or "<count> project(s): ".
bool is_summary_line(std::string_view line, std::string_view what)
{
    std::size_t digits = 0;
    while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9')
        ++digits;
    if (digits == 0)
        return false;
    std::string_view rest = line.substr(digits);
    return starts_with(rest, " " + std::string(what) + ": ") || starts_with(rest, " " + std::string(what) + "s: ");
}

std::vector<std::string_view> lines_of(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        end = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, end - at));
        at = end;
    }
    return lines;
}

std::size_t count_of(std::string_view text, std::string_view part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

void append_count(std::string& text, std::size_t count, const char* one, const char* many)
{
    text += std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

report_parts parts_of(const std::string& report)
{
    report_parts parts;
    std::vector<std::string_view> lines = lines_of(report);
    std::size_t summary_lines = 0;
    if (!lines.empty() && is_summary_line(lines.back(), "project")) {
        summary_lines = 1;
        if (lines.size() > 1 && is_summary_line(lines[lines.size() - 2], "solution"))
            summary_lines = 2;
    }
    std::size_t body_size = report.size();
    for (std::size_t i = lines.size() - summary_lines; i < lines.size(); ++i)
        body_size -= lines[i].size();
    parts.body = report.substr(0, body_size);
    parts.summary = report.substr(body_size);
    std::size_t at = 0;
    for (std::size_t i = 0; i + summary_lines < lines.size(); ++i) {
        std::string_view line = lines[i];
        bool heading = i + 1 < lines.size() && starts_with(line, "[") && line.size() >= 3 &&
                       line.substr(line.size() - 2) == "]\n" &&
                       (starts_with(lines[i + 1], "Configuring project for ") ||
                        starts_with(lines[i + 1], "Configuring solution for "));
        if (heading) {
            parts.entry_starts.push_back(at);
            parts.entry_paths.emplace_back(line.substr(1, line.size() - 3));
        }
        at += line.size();
    }
    return parts;
}

std::string summary_of_entries(const std::string& body, bool check)
{
    report_parts parts = parts_of(body);
    std::size_t retargeted = 0, configured = 0, no_match = 0, failed = 0, listed = 0;
    for (std::size_t i = 0; i < parts.entry_starts.size(); ++i) {
        std::size_t end = i + 1 < parts.entry_starts.size() ? parts.entry_starts[i + 1] : parts.body.size();
        std::string_view entry = std::string_view(parts.body).substr(parts.entry_starts[i], end - parts.entry_starts[i]);
        listed += count_of(entry, "\n  line ");
        if (count_of(entry, "^ERROR") != 0 || count_of(entry, "\nthe project file is empty\n") != 0)
            ++failed;
        else if (count_of(entry, "\nProject is ready for ") != 0 || count_of(entry, "\nProject would be retargeted to ") != 0)
            ++retargeted;
        else if (count_of(entry, "\nAlready configured for ") != 0)
            ++configured;
        else if (count_of(entry, "\ncould not find a match\n") != 0)
            ++no_match;
        else
            ++failed;
    }
    std::string line;
    append_count(line, parts.entry_starts.size(), "project", "projects");
    line += ": " + std::to_string(retargeted) + (check ? " would be retargeted, " : " retargeted, ") +
            std::to_string(configured) + " already configured, " + std::to_string(no_match) + " without a match, " +
            std::to_string(failed) + " failed; ";
    append_count(line, listed, "toolset element", "toolset elements");
    return line + " left unchanged\n";
}

std::string stopped_report_problem(const std::string& whole, const std::string& part, bool check)
{
    report_parts w = parts_of(whole);
    report_parts p = parts_of(part);
    if (p.summary.empty())
        return "no summary at its end";
    if (p.body.size() > w.body.size() || w.body.compare(0, p.body.size(), p.body) != 0)
        return "its entries are not the first entries of the whole report";
    bool at_an_entry = p.body.size() == w.body.size();
    for (std::size_t start : w.entry_starts)
        at_an_entry = at_an_entry || start == p.body.size();
    if (!at_an_entry)
        return "its last entry is cut (" + std::to_string(p.body.size()) + " bytes of entries)";
    std::string expected = summary_of_entries(p.body, check);
    if (p.summary != expected)
        return "its summary \"" + p.summary + "\" does not count the " + std::to_string(p.entry_starts.size()) +
               " entries printed: \"" + expected + "\"";
    return "";
}

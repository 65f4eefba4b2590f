#include "cli/solution_run.h"

#include <cstdint>
#include <string_view>

#include "cli/byte_buffer.h"
#include "cli/decimal_text.h"
#include "cli/entry_report.h"
#include "cli/file_system.h"
#include "cli/project_io.h"
#include "core/report_texts.h"
#include "core/rewrite_hold.h"
#include "core/solution_header.h"
#include "core/text_search.h"

namespace {

constexpr std::string_view solution_extension = ".sln";
constexpr std::string_view heading_solution = "]\nConfiguring solution for Visual Studio ";
constexpr std::string_view ready_text = "Solution is ready for Visual Studio ";
constexpr std::string_view would_text = "Solution would be retargeted to Visual Studio ";
constexpr std::string_view already_text = "Solution already names Visual Studio ";
constexpr std::string_view utf16_text = "the solution is UTF-16 text: its header is left as it stands";
constexpr std::string_view no_memory_text = "not enough memory for the solution\n";

bool is_solution_path(std::string_view path) noexcept
{
    return path.size() >= solution_extension.size() &&
           equals_ignoring_case(path.substr(path.size() - solution_extension.size()), solution_extension);
}

std::size_t line_of(std::string_view text, std::size_t offset) noexcept
{
    std::size_t line = 1;
    for (std::size_t at = find_byte(text, '\n', 0); at != text_none && at < offset; at = find_byte(text, '\n', at + 1))
        ++line;
    return line;
}

void add_line(entry_report& entry, std::string_view text)
{
    entry.add(text);
    entry.add(line_end.narrow);
}

// The header's edits applied to a copy of the solution, each printed as it
// comes: the line as it stood, or "+ " and the line inserted.
struct header_builder {
    std::string_view original;
    entry_report& entry;
    byte_buffer converted;
    std::size_t copied = 0;
    std::size_t first_change = 0;
    bool changed = false;
    bool no_memory = false;
};

void apply_edit(void* context, const solution_edit& e)
{
    auto& b = *static_cast<header_builder*>(context);
    if (!b.changed)
        b.first_change = e.at;
    b.changed = true;
    b.no_memory = b.no_memory || !b.converted.append(slice(b.original, b.copied, e.at)) || !b.converted.append(e.text);
    b.copied = e.at + e.length;
    if (e.kind == change_kind::inserted)
        b.entry.add(inserted_mark.narrow);
    b.entry.add_data(e.reported);
    b.entry.add(line_end.narrow);
}

solution_result finished(entry_report& entry, solution_outcome outcome)
{
    return {outcome, entry.flush()};
}

}  // namespace

bool takes_solution_header(const cli_request& request, const std::string& path,
                           const std::vector<discovery_problem>& problems, project_set& seen)
{
    if (request.as_projport || !is_solution_path(path) || is_existing_folder(path))
        return false;
    for (const discovery_problem& problem : problems) {
        if (problem.path == path)
            return false;  // reported as it is today: the solution could not be read
    }
    return seen.add(path);
}

solution_result retarget_solution(const cli_request& request, const std::string& path)
{
    std::string_view label = cli_version_table[request.target].label;
    entry_report entry(path, request.annotate, no_memory_text);
    entry.add(heading_open.narrow);
    entry.add_data(path);
    entry.add(heading_solution);
    entry.add(label);
    entry.add(heading_close.narrow);

    cli_project file;
    if (file_error code = file.open(path, !request.check)) {
        entry.add_failure("open", code);
        return finished(entry, solution_outcome::failed);
    }
    byte_buffer read;
    if (file_error code = file.read(read)) {
        entry.add_failure("read", code);
        return finished(entry, solution_outcome::failed);
    }

    std::string_view bytes = read.view();
    header_builder builder{bytes, entry, {}};
    solution_header header = find_solution_header_edits(bytes, request.target, apply_edit, &builder);
    if (header.utf16) {
        add_line(entry, utf16_text);
        entry.annotate(annotation_kind::warning, 0, {{utf16_text}});
        return finished(entry, solution_outcome::left_utf16);
    }
    if (!header.found) {
        // It was a solution when its projects were read: changed since.
        entry.add_failure("read", error_not_a_solution);
        return finished(entry, solution_outcome::failed);
    }
    builder.no_memory = builder.no_memory || !builder.converted.append(slice(bytes, builder.copied, bytes.size()));
    if (builder.no_memory) {
        entry.add_failure_line(no_memory_text);
        return finished(entry, solution_outcome::failed);
    }
    if (!builder.changed) {
        entry.add(already_text);
        add_line(entry, label);
        return finished(entry, solution_outcome::already_named);
    }
    if (request.check) {
        entry.add(line_end.narrow);
        entry.add(would_text);
        add_line(entry, label);
        entry.annotate(annotation_kind::error, line_of(bytes, builder.first_change), {{would_text}, {label}});
        return finished(entry, solution_outcome::retargeted);
    }

    rewrite_hold hold;
    replace_failure failure;
    if (!file.replace(bytes, builder.converted.view(), failure)) {
        entry.add_failure(failure.action ? failure.action : "write", failure.error, failure.file);
        if (failure.restore_error != 0)
            entry.add_failure("restore", failure.restore_error);
        return finished(entry, solution_outcome::failed);
    }
    entry.add(line_end.narrow);
    entry.add(ready_text);
    add_line(entry, label);
    return finished(entry, solution_outcome::retargeted);
}

void count_solution(solution_counts& counts, const solution_result& result) noexcept
{
    ++counts.solutions;
    switch (result.outcome) {
    case solution_outcome::retargeted:
        ++counts.retargeted;
        break;
    case solution_outcome::already_named:
        ++counts.already_named;
        break;
    case solution_outcome::left_utf16:
        ++counts.left_utf16;
        break;
    case solution_outcome::failed:
        ++counts.failed;
        break;
    }
}

file_error print_solution_summary(const cli_request& request, const solution_counts& counts)
{
    if (counts.solutions == 0)
        return 0;
    std::string_view label = cli_version_table[request.target].label;
    std::string line;
    append_number(line, counts.solutions);
    line.append(counts.solutions == 1 ? " solution: " : " solutions: ");
    append_number(line, counts.retargeted);
    line.append(request.check ? " would be retargeted, " : " retargeted, ");
    append_number(line, counts.already_named);
    line.append(" already naming Visual Studio ").append(label).append(", ");
    append_number(line, counts.left_utf16);
    line.append(" left as UTF-16, ");
    append_number(line, counts.failed);
    line.append(" failed\n");
    return cli_write(cli_stream::output, line);
}

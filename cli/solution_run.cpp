#include "cli/solution_run.h"

#include <cstdint>
#include <string_view>

#include "cli/annotations.h"
#include "cli/byte_buffer.h"
#include "cli/decimal_text.h"
#include "cli/file_system.h"
#include "cli/printable_output.h"
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
constexpr std::string_view no_memory_text = "not enough memory for the solution";
constexpr std::string_view failed_text = " failed: ";

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

// What one solution prints, gathered and written in one piece: its lines,
// then its annotations.
class solution_entry {
public:
    solution_entry(const std::string& path, annotation_format annotate) : path_(path), annotate_(annotate) {}

    // The program's own words.
    void add(std::string_view text) { lines_.append(text); }

    // What came from a file or a path: a solution's line, its path.
    void add_file_text(std::string_view text) { append_printable(lines_, text); }

    void add_line(std::string_view text)
    {
        add(text);
        add(line_end.narrow);
    }

    // "action(path)" and "   ^ERROR: N, text", and the error's annotation;
    // `file` names the file the step failed on where it is not the solution.
    void add_failure(std::string_view action, file_error code, std::string_view file = {})
    {
        std::string_view named = file.empty() ? std::string_view(path_) : file;
        std::string text = system_error_text(code);
        add(action);
        add(failure_open.narrow);
        add_file_text(named);
        add(failure_close.narrow);
        add(line_end.narrow);
        add(failure_code.narrow);
        append_number(lines_, code);
        add(failure_text.narrow);
        add_file_text(text);
        add(line_end.narrow);
        std::string message = std::string(action) + failure_open.narrow;
        append_printable(message, named);
        message.append(failure_close.narrow).append(failed_text);
        append_printable(message, text);
        annotate(annotation_kind::error, 0, message);
    }

    // A failure the program found itself: its line, and its annotation.
    void add_failure_line(std::string_view text)
    {
        add_line(text);
        annotate(annotation_kind::error, 0, text);
    }

    // One annotation about the solution: `line` 0 for none.
    void annotate(annotation_kind kind, std::size_t line, std::string_view message)
    {
        append_annotation(annotations_, annotate_, kind, path_, line, message);
    }

    // Writes what was gathered. Returns 0 or the error of the write.
    [[nodiscard]] file_error flush()
    {
        lines_ += annotations_;
        annotations_.clear();
        file_error code = cli_write(cli_stream::output, lines_);
        lines_.clear();
        return code;
    }

private:
    const std::string& path_;
    annotation_format annotate_ = annotation_format::none;
    std::string lines_;
    std::string annotations_;
};

// The header's edits applied to a copy of the solution, each printed as it
// comes: the line as it stood, or "+ " and the line inserted.
struct header_builder {
    std::string_view original;
    solution_entry& entry;
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
    b.entry.add_file_text(e.reported);
    b.entry.add(line_end.narrow);
}

solution_result finished(solution_entry& entry, solution_outcome outcome)
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
    solution_entry entry(path, request.annotate);
    entry.add(heading_open.narrow);
    entry.add_file_text(path);
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
        entry.add_line(utf16_text);
        entry.annotate(annotation_kind::warning, 0, utf16_text);
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
        entry.add_line(label);
        return finished(entry, solution_outcome::already_named);
    }
    if (request.check) {
        entry.add(line_end.narrow);
        entry.add(would_text);
        entry.add_line(label);
        entry.annotate(annotation_kind::error, line_of(bytes, builder.first_change),
                       std::string(would_text) + std::string(label));
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
    entry.add_line(label);
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

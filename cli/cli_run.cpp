#include "cli/cli_run.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "cli/annotations.h"
#include "cli/byte_buffer.h"
#include "cli/decimal_text.h"
#include "cli/file_system.h"
#include "cli/printable_output.h"
#include "cli/project_discovery.h"
#include "cli/project_io.h"
#include "cli/project_sheets.h"
#include "cli/project_texts.h"
#include "cli/solution_run.h"
#include "core/cli_rules.h"
#include "core/conversion.h"
#include "core/leftover_toolsets.h"
#include "core/report_texts.h"
#include "core/retarget.h"
#include "core/rewrite_hold.h"
#include "core/toolset_ladders.h"

namespace {

// Texts of projport-cli's own: the memory --as-projport converts in, and
// the annotation of a failed step ("open(P) failed: <system text>").
constexpr const char no_memory_text[] = "not enough memory for the project\n";
constexpr std::string_view failed_text = " failed: ";
// A link a folder walk does not follow: "[path] <why>; left as it is".
constexpr std::string_view left_open = "] ";
constexpr std::string_view left_close = "; left as it is\n";

// A text of report_texts.h without the line end that closes it, for an annotation.
std::string_view without_line_end(std::string_view text)
{
    std::string_view line = text;
    while (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    while (!line.empty() && line.front() == '\n')
        line.remove_prefix(1);
    return line;
}

// What became of a project: a verdict of the shared conversion's, or, with
// --as-projport, no memory for its buffer.
struct verdict {
    conversion_verdict told = conversion_verdict::no_match;
    bool no_memory = false;

    bool failed() const noexcept
    {
        return no_memory || told == conversion_verdict::too_large || told == conversion_verdict::empty;
    }
};

struct run_counts {
    unsigned projects = 0;
    unsigned retargeted = 0;
    unsigned already_configured = 0;
    unsigned without_match = 0;
    unsigned failed = 0;
    unsigned leftovers = 0;
};

// A piece of an annotation's message: the program's own text, or a text
// from a path or a file, which is made printable first.
struct message_part {
    std::string_view text;
    bool data = false;
};

// How far a report had come, to go back to.
struct report_mark {
    std::size_t lines = 0;
    std::size_t annotations = 0;
};

// What one project (or one failed solution or PATH) prints, gathered and
// written in one piece: its own lines, then its annotations. A text that
// came from a path or a file enters it only through add_data (or as a data
// part of an annotation), which writes its printable form. Its memory grows
// as large as a file makes it: when some text cannot be added, the report
// says so (lacks_memory) and fail_for_memory turns it into a failure.
class project_report {
public:
    project_report(std::string_view path, annotation_format annotate) : path_(path), annotate_(annotate) {}

    // The program's own text.
    void add(std::string_view text) { keep(!lacks_memory_ && lines_.append(text)); }

    // A text from a path or a file, in its printable form.
    void add_data(std::string_view data) { keep(!lacks_memory_ && append_printable(lines_, data)); }

    void add_number(std::uint64_t number) { keep(!lacks_memory_ && append_number(lines_, number)); }

    // "action(path)" and "   ^ERROR: N, text", and its annotation; `file`
    // names the file the step failed on where it is not the project.
    void add_failure(std::string_view action, file_error code, std::string_view file = {})
    {
        std::string_view named = file.empty() ? path_ : file;
        std::string text = system_error_text(code);
        add(action);
        add(failure_open.narrow);
        add_data(named);
        add(failure_close.narrow);
        add(line_end.narrow);
        add(failure_code.narrow);
        add_number(code);
        add(failure_text.narrow);
        add_data(text);
        add(line_end.narrow);
        annotate(annotation_kind::error, 0,
                 {{action}, {failure_open.narrow}, {named, true}, {failure_close.narrow}, {failed_text}, {text, true}});
    }

    // A failure the program found itself: its line, and its annotation.
    void add_failure_line(const char* text)
    {
        add(text);
        annotate(annotation_kind::error, 0, {{without_line_end(text)}});
    }

    // One annotation: `line` 0 for none.
    void annotate(annotation_kind kind, std::size_t line, std::initializer_list<message_part> message)
    {
        if (annotate_ == annotation_format::none || lacks_memory_)
            return;
        scratch_.clear();
        for (const message_part& part : message)
            keep(part.data ? append_printable(scratch_, part.text) : scratch_.append(part.text));
        keep(!lacks_memory_ && append_annotation(annotations_, annotate_, kind, path_, line, scratch_.view()));
    }

    bool annotating() const noexcept { return annotate_ != annotation_format::none; }

    // Whether some text could not be added for want of memory: nothing is
    // added after it, and fail_for_memory must say so.
    bool lacks_memory() const noexcept { return lacks_memory_; }

    report_mark mark() const noexcept { return {lines_.size(), annotations_.size()}; }

    // Drops what was added after `since`, a want of memory with it.
    void rewind(report_mark since) noexcept
    {
        // Shrinking keeps the memory already had: it cannot fail.
        (void)lines_.resize(since.lines);
        (void)annotations_.resize(since.annotations);
        lacks_memory_ = false;
    }

    // Drops what was added after `mark` and reports, in its place, that the
    // step `action` failed for want of memory. Where even that does not fit,
    // the report shrinks to a line of the program's own.
    void fail_for_memory(report_mark since, std::string_view action)
    {
        scratch_ = byte_buffer();
        rewind(since);
        add_failure(action, out_of_memory_code);
        if (!lacks_memory_)
            return;
        lines_ = byte_buffer();
        annotations_ = byte_buffer();
        lost_ = true;
    }

    // Writes what was gathered; a report with a text missing is never
    // printed as if whole. Returns 0 or the error of the write.
    [[nodiscard]] file_error flush()
    {
        if (lacks_memory_)
            fail_for_memory({}, "report");
        if (lost_) {
            lost_ = false;
            return cli_write(cli_stream::output, no_memory_text);
        }
        // In one write where the memory allows.
        if (!annotations_.empty() && lines_.append(annotations_.view()))
            annotations_.clear();
        file_error code = lines_.empty() ? 0 : cli_write(cli_stream::output, lines_.view());
        if (code == 0 && !annotations_.empty())
            code = cli_write(cli_stream::output, annotations_.view());
        lines_.clear();
        annotations_.clear();
        return code;
    }

private:
    void keep(bool added) noexcept { lacks_memory_ = lacks_memory_ || !added; }

    std::string_view path_;
    annotation_format annotate_ = annotation_format::none;
    bool lacks_memory_ = false;
    bool lost_ = false;
    byte_buffer lines_;
    byte_buffer annotations_;
    byte_buffer scratch_;
};

// From `from` (an offset of the converted text) on, a line of the converted
// text is `lines` lines further down than the same line of the original.
struct line_shift {
    std::size_t from = 0;
    std::ptrdiff_t lines = 0;
};

// The line shifts of a conversion, in increasing order of `from`: as many as
// a file makes, so kept in memory whose growth can fail.
class line_shifts {
public:
    [[nodiscard]] bool push(line_shift shift) noexcept
    {
        return bytes_.append(std::string_view(reinterpret_cast<const char*>(&shift), sizeof shift));
    }

    std::size_t size() const noexcept { return bytes_.size() / sizeof(line_shift); }

    void clear() noexcept { bytes_.clear(); }

    line_shift operator[](std::size_t i) const noexcept
    {
        line_shift shift;
        std::memcpy(&shift, bytes_.data() + i * sizeof shift, sizeof shift);
        return shift;
    }

private:
    byte_buffer bytes_;
};

std::ptrdiff_t count_line_feeds(std::string_view text)
{
    return static_cast<std::ptrdiff_t>(std::count(text.begin(), text.end(), '\n'));
}

// A converted project and what is known of how it came from the original.
struct conversion_outcome {
    verdict told;
    bool lacks_memory = false;   // the converted text or its shifts could not be held
    byte_buffer built;           // the converted text, when the rules built one here
    std::string_view converted;  // the converted text (== original when nothing changed)
    std::size_t first_change = 0;  // offset in the original of the change nearest its start
    line_shifts shifts;
};

// Working memory of --as-projport, kept from one project to the next and
// grown when a project needs more: the same sizes as projport.exe's.
class reusable_buffer {
public:
    char* fit(std::size_t size) noexcept
    {
        if (size > size_) {
            bytes_.reset(new (std::nothrow) char[size]);
            size_ = bytes_ ? size : 0;
        }
        return bytes_.get();
    }

private:
    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0;
};

struct run_setup {
    const cli_request& request;
    const cli_version_row& row;
    reusable_buffer& buffer;
};

// projport-cli's own rules (cli_rules.h): the edits applied to a copy, each
// printed as it comes; the rules may run twice (once a sheet is read), and
// the second run's lines then stand in place of the first's.
struct edit_builder {
    std::string_view original;
    project_report& report;
    conversion_outcome& outcome;
    report_mark told_from;  // where the lines of the changes begin
    byte_buffer reported;   // an inserted element, gathered from its pieces
    std::size_t copied = 0;
    bool first = true;
};

// A path or a text of a file, as the report shows it.
void add_file_text(project_report& report, std::string_view text)
{
    report.add_data(text);
}

void apply_edit(void* context, const text_edit& e)
{
    auto& b = *static_cast<edit_builder*>(context);
    if (b.outcome.lacks_memory)
        return;
    byte_buffer& out = b.outcome.built;
    bool held = out.append(b.original.substr(b.copied, e.at - b.copied));
    std::size_t text_from = out.size();
    std::string_view reported = e.reported;
    if (e.pieces.count == 0) {
        held = held && out.append(e.text);
    } else {
        b.reported.clear();
        for (std::size_t i = 0; held && i < e.pieces.count; ++i) {
            held = out.append(e.pieces.piece[i]);
            if (held && i >= e.reported_from && i < e.reported_to)
                held = b.reported.append(e.pieces.piece[i]);
        }
        reported = b.reported.view();
    }
    b.copied = e.at + e.length;
    if (b.first)
        b.outcome.first_change = e.at;
    b.first = false;
    if (held) {
        std::ptrdiff_t lines = count_line_feeds(out.view().substr(text_from)) -
                               count_line_feeds(b.original.substr(e.at, e.length));
        if (lines != 0)
            held = b.outcome.shifts.push({out.size(), lines});
    }
    b.outcome.lacks_memory = !held;
    if (!held)
        return;
    if (e.kind == change_kind::inserted)
        b.report.add(inserted_mark.narrow);
    add_file_text(b.report, reported);
    b.report.add(line_end.narrow);
}

// Runs the rules over `original` into a fresh outcome, its lines in place
// of an earlier run's.
cli_edits run_rules(std::string_view original, const cli_target& target, edit_builder& builder)
{
    conversion_outcome& outcome = builder.outcome;
    outcome.built.clear();
    outcome.shifts.clear();
    outcome.first_change = 0;
    outcome.lacks_memory = false;
    builder.report.rewind(builder.told_from);
    builder.copied = 0;
    builder.first = true;
    if (original.size() > static_cast<std::size_t>(-1) - 64 || !outcome.built.reserve(original.size() + 64)) {
        outcome.lacks_memory = true;
        return {};
    }
    cli_edits found = find_cli_edits(original, target, apply_edit, &builder);
    if (outcome.lacks_memory || !outcome.built.append(original.substr(builder.copied))) {
        outcome.lacks_memory = true;
        return found;
    }
    outcome.converted = outcome.built.view();
    return found;
}

// Where a project was found: through a solution (for $(SolutionDir)) or not.
struct project_origin {
    const std::string& path;
    bool through_solution = false;
    const std::string& solution_folder;
};

// The facts of the sheets a project imports and of Directory.Build.props,
// looked up only where they can change what the rules do.
// `alone` is what the rules found without them. Returns whether they say
// anything.
bool look_up_imports(std::string_view original, const cli_edits& alone, const project_origin& origin,
                     cli_target& target, project_sheets& sheets)
{
    bool sdk_open = !target.sdk.empty() && !alone.has_sdk;
    if (alone.has_toolset && !alone.sdk_insertion)
        return false;
    read_project_sheets(original, origin.path, origin.through_solution, origin.solution_folder, target, sheets);
    constexpr cli_version first_directory_props = 4;  // 2017
    bool sdk_possible = alone.sdk_insertion || (!alone.has_toolset && sheets.imported.toolset);
    if (sdk_open && sdk_possible && !sheets.imported.sdk && target.version >= first_directory_props)
        read_directory_props(origin.path, target, sheets);
    target.imported = sheets.imported;
    const cli_imported& i = sheets.imported;
    return i.toolset || i.sdk;
}

// The lines on where the toolset or the SDK comes from, after the changes.
void add_import_lines(project_report& report, const cli_edits& found, const cli_target& target,
                      const project_sheets& sheets)
{
    if (!found.has_toolset && sheets.imported.toolset) {
        report.add(toolset_set_in);
        add_file_text(report, sheets.toolset_sheet);
        report.add(text_line_end);
    }
    if (found.sdk_imported) {
        report.add(sdk_set_in);
        add_file_text(report, sheets.sdk_file);
        report.add(text_line_end);
    }
    if (!found.sdk_minimum.empty()) {
        report.add(sdk_kept_open);
        add_file_text(report, found.sdk_minimum);
        report.add(sdk_kept_above);
        add_file_text(report, target.sdk);
        report.add(text_line_end);
    }
}

void convert_by_cli_rules(std::string_view original, const run_setup& setup, const project_origin& origin,
                          project_report& report, conversion_outcome& outcome)
{
    edit_builder builder{original, report, outcome, report.mark(), {}};
    cli_target target{setup.request.target, setup.request.sdk, {}};
    project_sheets sheets;
    // The files the project imports are read only where they can change
    // what the rules do, and the rules run again only where they do.
    cli_edits found = run_rules(original, target, builder);
    if (outcome.lacks_memory)
        return;
    if (look_up_imports(original, found, origin, target, sheets)) {
        found = run_rules(original, target, builder);
        if (outcome.lacks_memory)
            return;
    }
    add_import_lines(report, found, target, sheets);
    if (outcome.converted != original)
        outcome.told.told = setup.request.check ? conversion_verdict::would_retarget : conversion_verdict::ready;
    else
        outcome.told.told = found.names_target ? conversion_verdict::already_configured : conversion_verdict::no_match;
}

void print_change(void* context, change_kind kind, std::string_view text)
{
    auto& report = *static_cast<project_report*>(context);
    if (kind == change_kind::inserted)
        report.add(inserted_mark.narrow);
    report.add_data(text);
    report.add(line_end.narrow);
}

// projport.exe's rules and lines (retarget.h), in a buffer of its sizes.
void convert_as_projport(std::string_view original, const run_setup& setup, project_report& report,
                         conversion_outcome& outcome)
{
    vs_version target = setup.request.projport_target;
    std::size_t half = conversion_half_for(original.size());
    char* output = setup.buffer.fit(half);
    if (!output) {
        outcome.told.no_memory = true;
        return;
    }
    bool inserted = false;
    struct listener_context {
        project_report& printed_to;
        bool& saw_insertion;
    } context{report, inserted};
    auto told = [](void* c, change_kind kind, std::string_view text) {
        auto& lc = *static_cast<listener_context*>(c);
        lc.saw_insertion = lc.saw_insertion || kind == change_kind::inserted;
        print_change(&lc.printed_to, kind, text);
    };
    retarget_result result = retarget_text(original, output, half, target, {told, &context});
    if (result.overflow) {
        outcome.told.told = conversion_verdict::too_large;
        return;
    }
    outcome.converted = std::string_view(output, result.length);
    if (!result.changed) {
        outcome.told.told =
            names_target(original, target) ? conversion_verdict::already_configured : conversion_verdict::no_match;
        return;
    }
    // A 2017 or 2019 project checked against its own version has its shared
    // ToolsVersion "replaced" by the same text: no byte would change.
    if (setup.request.check)
        outcome.told.told = outcome.converted == original ? conversion_verdict::already_configured
                                                           : conversion_verdict::would_retarget;
    else
        outcome.told.told = conversion_verdict::ready;

    // Where the texts part is where the first change begins, but for an
    // inserted attribute whose separator repeats the line feed behind the
    // project element's start: that line feed is common to both, and the
    // attribute, with the line feed in front of it, goes in before it.
    std::size_t common = 0;
    std::size_t shorter = std::min(original.size(), outcome.converted.size());
    while (common < shorter && original[common] == outcome.converted[common])
        ++common;
    outcome.first_change = common;
    if (inserted) {
        std::size_t anchor = searchable_text(original).find(project_anchor);
        if (anchor != std::string_view::npos) {
            std::size_t behind = anchor + project_anchor.size();
            outcome.first_change = std::min(common, behind);
            if (behind < original.size() && original[behind] == '\n')
                outcome.lacks_memory = !outcome.shifts.push({behind + 1, 1});
        }
    }
}

struct leftover_listing {
    project_report& report;
    const line_shifts* shifts = nullptr;  // null: lines as found
    std::size_t next_shift = 0;
    std::ptrdiff_t shifted = 0;
};

void list_leftover(void* context, const leftover_toolset& element)
{
    auto& listing = *static_cast<leftover_listing*>(context);
    if (listing.shifts) {
        const line_shifts& shifts = *listing.shifts;
        while (listing.next_shift < shifts.size() && shifts[listing.next_shift].from <= element.offset)
            listing.shifted += shifts[listing.next_shift++].lines;
    }
    std::size_t line = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(element.line) - listing.shifted);
    project_report& report = listing.report;
    report.add(leftover_line.narrow);
    report.add_number(line);
    report.add(leftover_element.narrow);
    report.add_data(element.element);
    report.add(leftover_end.narrow);
    report.annotate(annotation_kind::warning, line, {{element.element, true}, {without_line_end(leftover_end.narrow)}});
}

// Lists the toolset elements of `text` left as they stand; with `shifts`,
// by their lines in the original. Returns how many.
unsigned list_leftovers(std::string_view text, const line_shifts* shifts, const cli_version_row& row,
                        project_report& report)
{
    leftover_listing listing{report, shifts};
    unsigned ladder = ladder_number(static_cast<cli_version>(&row - cli_version_table));
    return static_cast<unsigned>(
        find_leftover_toolsets(text, row.toolset, row.xp_toolset, list_leftover, &listing, ladder));
}

std::size_t line_of(std::string_view text, std::size_t offset)
{
    return static_cast<std::size_t>(count_line_feeds(text.substr(0, offset))) + 1;
}

enum class outcome_kind { retargeted, already_configured, no_match, failed };

struct project_result {
    outcome_kind kind = outcome_kind::failed;
    unsigned leftovers = 0;
    file_error output_error = 0;
};

void add_verdict(project_report& report, verdict told, std::string_view label)
{
    if (told.no_memory) {
        report.add_failure_line(no_memory_text);
        return;
    }
    report_line line = verdict_text(told.told);
    if (told.failed()) {
        report.add_failure_line(line.before.narrow);
        return;
    }
    report.add(line.before.narrow);
    if (line.shows_label)
        report.add(label);
    report.add(line.after.narrow);
}

outcome_kind kind_of(verdict told)
{
    if (told.failed())
        return outcome_kind::failed;
    switch (told.told) {
    case conversion_verdict::ready:
    case conversion_verdict::would_retarget:
        return outcome_kind::retargeted;
    case conversion_verdict::already_configured:
        return outcome_kind::already_configured;
    case conversion_verdict::no_match:
    case conversion_verdict::empty:
    case conversion_verdict::too_large:
        break;
    }
    return outcome_kind::no_match;
}

// Converts (or checks) the project at `path` and prints its report, under a
// rewrite_hold while the project is replaced and its report printed.
project_result convert_one(const run_setup& setup, const project_origin& origin)
{
    const std::string& path = origin.path;
    const cli_request& request = setup.request;
    std::string_view label = setup.row.label;
    project_result result;
    project_report report(path, request.annotate);
    report.add(heading_open.narrow);
    report.add_data(path);
    report.add(heading_version.narrow);
    report.add(label);
    report.add(heading_close.narrow);
    report_mark headed = report.mark();

    cli_project project;
    if (file_error code = project.open(path, !request.check)) {
        report.add_failure("open", code);
        result.output_error = report.flush();
        return result;
    }
    byte_buffer bytes;
    if (file_error code = project.read(bytes)) {
        report.add_failure("read", code);
        result.output_error = report.flush();
        return result;
    }
    if (bytes.empty()) {
        report.add_failure_line(verdict_text(conversion_verdict::empty).before.narrow);
        result.output_error = report.flush();
        return result;
    }

    std::string_view original = bytes.view();

    conversion_outcome outcome;
    outcome.converted = original;
    if (request.as_projport)
        convert_as_projport(original, setup, report, outcome);
    else
        convert_by_cli_rules(original, setup, origin, report, outcome);
    // A project that cannot be held in memory is never written: its report
    // says why, and the memory goes back for the next project.
    if (outcome.lacks_memory || report.lacks_memory()) {
        outcome = conversion_outcome();
        report.fail_for_memory(headed, "convert");
        result.output_error = report.flush();
        return result;
    }
    result.kind = kind_of(outcome.told);

    // A converted text equal to the file's bytes is never written.
    bool writes = !request.check && !outcome.told.failed() && outcome.told.told == conversion_verdict::ready &&
                  outcome.converted != original;
    if (!writes) {
        add_verdict(report, outcome.told, label);
        // Under --check the lines are those of the file as it stands: the
        // converted text's, moved back over what the edits added or removed.
        bool checked_change = !outcome.told.failed() && outcome.told.told == conversion_verdict::would_retarget;
        if (checked_change && report.annotating()) {
            std::string_view message = without_line_end(verdict_text(conversion_verdict::would_retarget).before.narrow);
            report.annotate(annotation_kind::error, line_of(original, outcome.first_change), {{message}, {label}});
        }
        std::string_view scanned = result.kind == outcome_kind::failed ? original : outcome.converted;
        result.leftovers = list_leftovers(scanned, checked_change ? &outcome.shifts : nullptr, setup.row, report);
        if (report.lacks_memory()) {
            result.kind = outcome_kind::failed;
            report.fail_for_memory(headed, "convert");
        }
        result.output_error = report.flush();
        return result;
    }

    rewrite_hold hold;
    replace_failure failure;
    report_mark listed;
    if (project.replace(original, outcome.converted, failure)) {
        add_verdict(report, outcome.told, label);
        listed = report.mark();
        result.leftovers = list_leftovers(outcome.converted, nullptr, setup.row, report);
    } else {
        result.kind = outcome_kind::failed;
        report.add_failure(failure.action ? failure.action : "write", failure.error, failure.file);
        if (failure.restore_error != 0)
            report.add_failure("restore", failure.restore_error);
        listed = report.mark();
        result.leftovers = list_leftovers(original, nullptr, setup.row, report);
    }
    // What was written stays said; the listing that did not fit is a failure.
    if (report.lacks_memory()) {
        result.kind = outcome_kind::failed;
        report.fail_for_memory(listed, "list");
    }
    result.output_error = report.flush();
    return result;
}

// The solutions and PATHs that could not be read: each counts as a failed
// project. A link left as it is ("[path] link leads outside the folder; left
// as it is") is no project and no failure: the tree is as its owner made it,
// and the warning says what was not followed.
file_error report_problems(const cli_request& request, const std::vector<discovery_problem>& problems,
                           run_counts& counts)
{
    for (const discovery_problem& problem : problems) {
        project_report report(problem.path, request.annotate);
        if (problem.left) {
            const char* why = cli_error_text(problem.code);
            report.add(heading_open.narrow);
            report.add_data(problem.path);
            report.add(left_open);
            report.add(why);
            report.add(left_close);
            report.annotate(annotation_kind::warning, 0, {{why}, {without_line_end(left_close)}});
        } else {
            report.add_failure(problem.action ? problem.action : "open", problem.code);
            ++counts.projects;
            ++counts.failed;
        }
        if (report.lacks_memory()) {
            report.fail_for_memory({}, "report");
            counts.projects += problem.left ? 1 : 0;
            counts.failed += problem.left ? 1 : 0;
        }
        if (file_error code = report.flush())
            return code;
    }
    return 0;
}

void append_count(std::string& text, unsigned count, std::string_view one, std::string_view many)
{
    append_number(text, count);
    text += ' ';
    text.append(count == 1 ? one : many);
}

file_error print_summary(const cli_request& request, const run_counts& counts)
{
    std::string line;
    append_count(line, counts.projects, "project", "projects");
    line += ": ";
    append_number(line, counts.retargeted);
    line.append(request.check ? " would be retargeted, " : " retargeted, ");
    append_number(line, counts.already_configured);
    line.append(" already configured, ");
    append_number(line, counts.without_match);
    line.append(" without a match, ");
    append_number(line, counts.failed);
    line.append(" failed; ");
    append_count(line, counts.leftovers, "toolset element", "toolset elements");
    line.append(" left unchanged\n");
    return cli_write(cli_stream::output, line);
}

void count(run_counts& counts, const project_result& result)
{
    ++counts.projects;
    counts.leftovers += result.leftovers;
    switch (result.kind) {
    case outcome_kind::retargeted:
        ++counts.retargeted;
        break;
    case outcome_kind::already_configured:
        ++counts.already_configured;
        break;
    case outcome_kind::no_match:
        ++counts.without_match;
        break;
    case outcome_kind::failed:
        ++counts.failed;
        break;
    }
}

// Standard output failed: the run ends, said on standard error if it still
// can be.
void report_output_failure(file_error code)
{
    std::string line = "projport-cli: write(standard output) failed: " + system_error_text(code) + "\n";
    (void)cli_write(cli_stream::error, line);
}

}  // namespace

int run_cli(const cli_request& request)
{
    reusable_buffer buffer;
    run_setup setup{request, cli_version_table[request.target], buffer};
    run_counts counts;
    solution_counts solutions;
    project_set seen;
    project_set solutions_seen;
    file_error output_error = 0;
    int held = 0;
    // Every PATH is looked at before any project is replaced: a replaced
    // project is a new file, which the set of projects seen would not know.
    struct found_projects {
        std::vector<std::string> projects;
        std::vector<discovery_problem> problems;
        std::vector<std::string> solution_folders;  // of each project, for $(SolutionDir)
        std::vector<bool> through_solution;
        const std::string* solution = nullptr;  // a solution given its header, before its projects
    };
    std::vector<found_projects> found(request.paths.size());
    for (std::size_t p = 0; p < request.paths.size(); ++p) {
        discover_projects(request.paths[p], seen, found[p].projects, found[p].problems, &found[p].solution_folders,
                          &found[p].through_solution);
        if (takes_solution_header(request, request.paths[p], found[p].problems, solutions_seen))
            found[p].solution = &request.paths[p];
    }
    for (const found_projects& path : found) {
        if (path.solution) {
            solution_result solution = retarget_solution(request, *path.solution);
            count_solution(solutions, solution);
            output_error = solution.output_error;
            held = held_signal();
            if (output_error != 0 || held != 0)
                break;
        }
        output_error = report_problems(request, path.problems, counts);
        for (std::size_t i = 0; output_error == 0 && i < path.projects.size(); ++i) {
            project_result result =
                convert_one(setup, {path.projects[i], path.through_solution[i], path.solution_folders[i]});
            count(counts, result);
            output_error = result.output_error;
            held = held_signal();
            if (held != 0)
                break;
        }
        if (output_error != 0 || held != 0)
            break;
    }
    if (output_error == 0)
        output_error = print_solution_summary(request, solutions);
    if (output_error == 0)
        output_error = print_summary(request, counts);
    if (output_error != 0)
        report_output_failure(output_error);

    if (held != 0)
        return cli_exit_signal_base + held;
    if (output_error != 0 || counts.failed != 0 || solutions.failed != 0)
        return cli_exit_failed;
    if (request.check && (counts.retargeted != 0 || solutions.retargeted != 0))
        return cli_exit_would_retarget;
    return cli_exit_done;
}

#include "cli/cli_run.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/annotations.h"
#include "cli/byte_buffer.h"
#include "cli/decimal_text.h"
#include "cli/entry_report.h"
#include "cli/file_system.h"
#include "cli/project_discovery.h"
#include "cli/project_io.h"
#include "cli/project_sheets.h"
#include "cli/project_texts.h"
#include "cli/solution_run.h"
#include "cli/work_threads.h"
#include "core/cli_rules.h"
#include "core/conversion.h"
#include "core/unchanged_toolsets.h"
#include "core/report_texts.h"
#include "core/retarget.h"
#include "core/rewrite_hold.h"
#include "core/toolset_ladders.h"

namespace {

// Texts of projport-cli's own: the memory --as-projport converts in.
constexpr std::string_view no_memory_text = "not enough memory for the project\n";
// A link a folder walk does not follow: "[path] <why>; left as it is".
constexpr std::string_view left_open = "] ";
constexpr std::string_view left_close = "; left as it is\n";

// What became of a project: a verdict of the conversion (conversion.h), or, with
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
    unsigned unchanged_toolsets = 0;
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
    bool changed = false;        // the converted text differs from the original
    byte_buffer built;           // the converted text by projport-cli's rules
    std::string_view converted;  // the converted text (== original when nothing changed)
    std::size_t first_change = 0;  // offset in the original of the first edit that changes a byte
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

// The converted text of projport-cli's rules, in memory that grows.
class growing_output final : public text_output {
public:
    explicit growing_output(byte_buffer& bytes) noexcept : bytes_(bytes) {}
    bool append(std::string_view bytes) noexcept override { return bytes_.append(bytes); }
    std::string_view text() const noexcept override { return bytes_.view(); }

private:
    byte_buffer& bytes_;
};

// The lines of the changes, each printed as it comes, and the line shifts.
class change_lines final : public edit_listener {
public:
    change_lines(entry_report& report, line_shifts& shifts) noexcept : report_(report), shifts_(shifts) {}

    void changed(change_kind kind, std::string_view text) noexcept override
    {
        if (kind == change_kind::inserted)
            report_.add(inserted_mark.narrow);
        report_.add_data(text);
        report_.add(line_end.narrow);
    }

    bool shifted(line_shift shift) noexcept override { return shifts_.push(shift); }

private:
    entry_report& report_;
    line_shifts& shifts_;
};

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
    constexpr cli_version first_directory_props = cli_version(4);  // 2017
    bool sdk_possible = alone.sdk_insertion || (!alone.has_toolset && sheets.imported.toolset);
    if (sdk_open && sdk_possible && !sheets.imported.sdk && target.version >= first_directory_props)
        read_directory_props(origin.path, target, sheets);
    target.imported = sheets.imported;
    const cli_imported& i = sheets.imported;
    return i.toolset || i.sdk;
}

// The lines on where the toolset or the SDK comes from, after the changes.
void add_import_lines(entry_report& report, const cli_edits& found, const cli_target& target,
                      const project_sheets& sheets)
{
    if (!found.has_toolset && sheets.imported.toolset) {
        report.add(toolset_set_in);
        report.add_data(sheets.toolset_sheet);
        report.add(text_line_end);
    }
    if (found.sdk_imported) {
        report.add(sdk_set_in);
        report.add_data(sheets.sdk_file);
        report.add(text_line_end);
    }
    if (!found.sdk_minimum.empty()) {
        report.add(sdk_kept_open);
        report.add_data(found.sdk_minimum);
        report.add(sdk_kept_above);
        report.add_data(target.sdk);
        report.add(text_line_end);
    }
}

// projport-cli's own rules (cli_rules.h) over `original`, in place of an
// earlier run's: its lines from `told_from` on and its shifts.
cli_edits run_cli_rules(std::string_view original, const cli_target& target, entry_report& report,
                        entry_mark told_from, conversion_outcome& outcome, applied_edits& applied)
{
    outcome.built.clear();
    outcome.shifts.clear();
    report.rewind(told_from);
    applied = {};
    if (original.size() > static_cast<std::size_t>(-1) - 64 || !outcome.built.reserve(original.size() + 64)) {
        outcome.lacks_memory = true;
        return {};
    }
    growing_output output(outcome.built);
    change_lines lines(report, outcome.shifts);
    edit_application application(original, output, lines);
    cli_edits found = find_cli_edits(original, target, edit_application::tell, &application);
    applied = application.finish();
    outcome.lacks_memory = applied.output_full || applied.shift_lost;
    return found;
}

// Converts `original` by the rules of the request into `outcome`, printing
// each change, and decides its verdict.
void convert_text(std::string_view original, const run_setup& setup, const project_origin& origin,
                  entry_report& report, conversion_outcome& outcome)
{
    const cli_request& request = setup.request;
    applied_edits applied;
    bool names_target = false;
    if (request.as_projport) {
        // projport.exe's rules (retarget.h), in a buffer of its sizes.
        std::size_t half = conversion_half_for(original.size());
        char* memory = setup.buffer.fit(half);
        if (!memory) {
            outcome.told.no_memory = true;
            return;
        }
        fixed_output output(memory, half);
        change_lines lines(report, outcome.shifts);
        edit_application application(original, output, lines);
        names_target = find_edits(original, request.projport_target, edit_application::tell, &application).names_target;
        applied = application.finish();
        outcome.lacks_memory = applied.shift_lost;
    } else {
        entry_mark told_from = report.mark();
        cli_target target{request.target, request.sdk, {}};
        project_sheets sheets;
        // The files the project imports are read only where they can change
        // what the rules do, and the rules run again only where they do.
        cli_edits found = run_cli_rules(original, target, report, told_from, outcome, applied);
        if (outcome.lacks_memory)
            return;
        if (look_up_imports(original, found, origin, target, sheets)) {
            found = run_cli_rules(original, target, report, told_from, outcome, applied);
            if (outcome.lacks_memory)
                return;
        }
        add_import_lines(report, found, target, sheets);
        names_target = found.names_target;
    }
    outcome.told.told = verdict_of(applied, names_target, request.check ? conversion_mode::check : conversion_mode::rewrite);
    if (applied.output_full)
        return;
    outcome.converted = applied.text;
    outcome.changed = applied.changed;
    outcome.first_change = applied.first_change;
}

struct unchanged_listing {
    entry_report& report;
    const line_shifts* shifts = nullptr;  // null: lines as found
    std::size_t next_shift = 0;
    std::ptrdiff_t shifted = 0;
};

void list_unchanged_toolset(void* context, const unchanged_toolset& element)
{
    auto& listing = *static_cast<unchanged_listing*>(context);
    if (listing.shifts) {
        const line_shifts& shifts = *listing.shifts;
        while (listing.next_shift < shifts.size() && shifts[listing.next_shift].from <= element.offset)
            listing.shifted += shifts[listing.next_shift++].lines;
    }
    std::size_t line = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(element.line) - listing.shifted);
    entry_report& report = listing.report;
    report.add(unchanged_line.narrow);
    report.add_number(line);
    report.add(unchanged_element.narrow);
    report.add_data(element.element);
    report.add(unchanged_end.narrow);
    report.annotate(annotation_kind::warning, line, {{element.element, true}, {without_line_end(unchanged_end.narrow)}});
}

// Lists the toolset elements of `text` left as they stand; with `shifts`,
// by their lines in the original. Returns how many.
unsigned list_unchanged_toolsets(std::string_view text, const line_shifts* shifts, const cli_version_row& row,
                        entry_report& report)
{
    unchanged_listing listing{report, shifts};
    unsigned ladder = ladder_number(static_cast<cli_version>(&row - cli_version_table));
    return static_cast<unsigned>(
        find_unchanged_toolsets(text, row.toolset, row.xp_toolset, list_unchanged_toolset, &listing, ladder));
}

std::size_t line_of(std::string_view text, std::size_t offset)
{
    return static_cast<std::size_t>(count_line_feeds(text.substr(0, offset))) + 1;
}

enum class outcome_kind { retargeted, already_configured, no_match, failed };

struct project_result {
    outcome_kind kind = outcome_kind::failed;
    unsigned unchanged_toolsets = 0;
    file_error output_error = 0;
};

void add_verdict(entry_report& report, verdict told, std::string_view label)
{
    if (told.no_memory) {
        report.add_failure_line(no_memory_text);
        return;
    }
    labelled_line line = verdict_text(told.told);
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

// Whether convert_one prints the report it gathers (under the rewrite_hold
// of a replacement, while the project is replaced and its report printed),
// or leaves it to the caller.
enum class printing { here, later };

void finish(entry_report& report, printing print, project_result& result)
{
    if (print == printing::here)
        result.output_error = report.flush();
}

// Converts (or checks) the project at `origin` and gathers its report into
// `report`, which starts empty.
project_result convert_one(const run_setup& setup, const project_origin& origin, entry_report& report,
                           printing print)
{
    const std::string& path = origin.path;
    const cli_request& request = setup.request;
    std::string_view label = setup.row.label;
    project_result result;
    report.add(heading_open.narrow);
    report.add_data(path);
    report.add(heading_version.narrow);
    report.add(label);
    report.add(heading_close.narrow);
    entry_mark headed = report.mark();

    cli_project project;
    if (file_error code = project.open(path, !request.check)) {
        report.add_failure("open", code);
        finish(report, print, result);
        return result;
    }
    byte_buffer bytes;
    if (file_error code = project.read(bytes)) {
        report.add_failure("read", code);
        finish(report, print, result);
        return result;
    }
    if (bytes.empty()) {
        report.add_failure_line(verdict_text(conversion_verdict::empty).before.narrow);
        finish(report, print, result);
        return result;
    }

    std::string_view original = bytes.view();

    conversion_outcome outcome;
    outcome.converted = original;
    convert_text(original, setup, origin, report, outcome);
    // A project that cannot be held in memory is never written: its report
    // says why, and the memory goes back for the next project.
    if (outcome.lacks_memory || report.lacks_memory()) {
        outcome = conversion_outcome();
        report.fail_for_memory(headed, "convert");
        finish(report, print, result);
        return result;
    }
    result.kind = kind_of(outcome.told);

    // A converted text equal to the file's bytes is never written.
    bool writes = !request.check && !outcome.told.failed() && outcome.told.told == conversion_verdict::ready &&
                  outcome.changed;
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
        result.unchanged_toolsets = list_unchanged_toolsets(scanned, checked_change ? &outcome.shifts : nullptr, setup.row, report);
        if (report.lacks_memory()) {
            result.kind = outcome_kind::failed;
            report.fail_for_memory(headed, "convert");
        }
        finish(report, print, result);
        return result;
    }

    rewrite_hold hold;
    replace_failure failure;
    entry_mark listed;
    if (project.replace(original, outcome.converted, failure)) {
        add_verdict(report, outcome.told, label);
        listed = report.mark();
        result.unchanged_toolsets = list_unchanged_toolsets(outcome.converted, nullptr, setup.row, report);
    } else {
        result.kind = outcome_kind::failed;
        report.add_failure(failure.action ? failure.action : "write", failure.error, failure.file);
        if (failure.restore_error != 0)
            report.add_failure("restore", failure.restore_error);
        listed = report.mark();
        result.unchanged_toolsets = list_unchanged_toolsets(original, nullptr, setup.row, report);
    }
    // What was written stays said; the listing that did not fit is a failure.
    if (report.lacks_memory()) {
        result.kind = outcome_kind::failed;
        report.fail_for_memory(listed, "list");
    }
    finish(report, print, result);
    return result;
}

// The solutions and PATHs that could not be read: each counts as a failed
// project. A link left as it is ("[path] link leads outside the folder; left
// as it is") is no project and no failure: the tree is as its owner made it,
// and the warning says what was not followed.
file_error print_problems(const cli_request& request, const std::vector<discovery_problem>& problems,
                           run_counts& counts)
{
    for (const discovery_problem& problem : problems) {
        entry_report report(problem.path, request.annotate, no_memory_text);
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
    append_count(line, counts.unchanged_toolsets, "toolset element", "toolset elements");
    line.append(" left unchanged\n");
    return cli_write(cli_stream::output, line);
}

void count(run_counts& counts, const project_result& result)
{
    ++counts.projects;
    counts.unchanged_toolsets += result.unchanged_toolsets;
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

// The threads a run converts on unless --jobs says: one per processor, but
// no more than this, past which the file system, not the processors, sets
// the pace.
constexpr unsigned default_most_jobs = 8;

// Every PATH is looked at before any project is replaced: a replaced
// project is a new file, which the set of projects seen would not know.
struct found_projects {
    std::vector<std::string> projects;
    std::vector<discovery_problem> problems;
    std::vector<std::string> solution_folders;  // of each project, for $(SolutionDir)
    std::vector<bool> through_solution;
    const std::string* solution = nullptr;  // a solution given its header, before its projects
};

// What the run has printed and counted, and why it ends early: standard
// output failed, or a held signal (a stop on Windows) came.
struct run_state {
    run_counts counts;
    solution_counts solutions;
    file_error output_error = 0;
    bool stopped = false;
};

// One project after another, each printed as it is done: --jobs 1.
void convert_in_turn(const cli_request& request, const std::vector<found_projects>& found, run_state& run)
{
    reusable_buffer buffer;
    run_setup setup{request, cli_version_table[request.target], buffer};
    for (const found_projects& path : found) {
        if (path.solution) {
            solution_result solution = retarget_solution(request, *path.solution);
            count_solution(run.solutions, solution);
            run.output_error = solution.output_error;
            if (run.output_error != 0 || held_signal() != 0)
                return;
        }
        run.output_error = print_problems(request, path.problems, run.counts);
        for (std::size_t i = 0; run.output_error == 0 && i < path.projects.size(); ++i) {
            entry_report report(path.projects[i], request.annotate, no_memory_text);
            project_result result = convert_one(
                setup, {path.projects[i], path.through_solution[i], path.solution_folders[i]}, report, printing::here);
            count(run.counts, result);
            run.output_error = result.output_error;
            if (held_signal() != 0)
                return;
        }
        if (run.output_error != 0)
            return;
    }
}

// One project of a run on several threads, in the order of the walk.
struct project_job {
    const std::string* path = nullptr;
    const std::string* solution_folder = nullptr;
    bool through_solution = false;
    // Filled by the thread that converts it, then read by the printing one.
    std::optional<entry_report> report;
    project_result result;
    bool done = false;
};

// The projects a run converts on several threads. They are taken in the
// order of the walk, so that those taken are always the first ones; each
// is converted, replaced and its report gathered by one thread, and the
// run's own thread prints the reports in that order, each once every
// project before it is printed, converting projects itself while the one
// it would print next is not done. A project being converted holds its
// bytes; one done waits with its report only.
struct parallel_run {
    explicit parallel_run(const cli_request& asked) noexcept : request(asked) {}

    const cli_request& request;
    std::unique_ptr<project_job[]> jobs;
    std::size_t total = 0;
    work_lock lock;
    work_condition changed;  // the awaited project done, a thread gone, a stop
    std::size_t next = 0;    // the first project no thread has taken
    std::size_t awaited = 0; // the project the printing thread waits for
    bool stopping = false;   // no project is taken any more
};

void stop_taking(parallel_run& run)
{
    {
        work_guard guard(run.lock);
        run.stopping = true;
    }
    run.changed.wake_all();
}

// Converts the project at `at`, taken by the calling thread, and gathers its
// report; wakes the printing thread if it waits for that one.
void convert_taken(parallel_run& run, const run_setup& setup, std::size_t at)
{
    project_job& job = run.jobs[at];
    job.report.emplace(*job.path, run.request.annotate, no_memory_text);
    job.result = convert_one(setup, {*job.path, job.through_solution, *job.solution_folder}, *job.report,
                             printing::later);
    bool awaited = false;
    {
        work_guard guard(run.lock);
        job.done = true;
        awaited = at == run.awaited;
    }
    // Only the project the printing thread waits for wakes it: it prints the
    // projects done after it without waiting.
    if (awaited)
        run.changed.wake_all();
}

// What each further thread of a parallel run does: takes the next project
// until none is left or the run stops, converts it and gathers its report.
// The whole of its work is held, within the run's own hold.
void convert_taken_projects(void* context)
{
    auto& run = *static_cast<parallel_run*>(context);
    rewrite_hold held{within_hold{}};
    reusable_buffer buffer;
    run_setup setup{run.request, cli_version_table[run.request.target], buffer};
    for (;;) {
        bool stop = stop_pending();
        std::size_t at = 0;
        {
            work_guard guard(run.lock);
            run.stopping = run.stopping || stop;
            if (run.stopping || run.next == run.total)
                break;
            at = run.next++;
        }
        convert_taken(run, setup, at);
    }
    run.changed.wake_all();
}

std::size_t taken(parallel_run& run)
{
    work_guard guard(run.lock);
    return run.next;
}

// Waits until project `at` is done, converting the next projects meanwhile
// as the other threads do. Returns whether it is done: false when the run
// stopped before it was taken.
bool finish(parallel_run& run, const run_setup& setup, std::size_t at)
{
    for (;;) {
        bool stop = stop_pending();
        std::size_t next = 0;
        {
            work_guard guard(run.lock);
            run.stopping = run.stopping || stop;
            for (;;) {
                if (run.jobs[at].done)
                    return true;
                if (at >= run.next && run.stopping)
                    return false;
                if (!run.stopping && run.next < run.total)
                    break;
                run.awaited = at;
                run.changed.wait(run.lock);
            }
            next = run.next++;
        }
        convert_taken(run, setup, next);
    }
}

// The run on `threads` threads: the run's own and threads - 1 more (as many
// as the system gives). Returns false, having done nothing, when the
// projects' slots cannot be had.
bool convert_in_parallel(const cli_request& request, const std::vector<found_projects>& found, unsigned threads,
                         run_state& state)
{
    std::size_t total = 0;
    for (const found_projects& path : found)
        total += path.projects.size();
    parallel_run run(request);
    run.jobs.reset(new (std::nothrow) project_job[total]);
    if (!run.jobs)
        return false;
    for (const found_projects& path : found) {
        for (std::size_t i = 0; i < path.projects.size(); ++i) {
            project_job& job = run.jobs[run.total++];
            job.path = &path.projects[i];
            job.solution_folder = &path.solution_folders[i];
            job.through_solution = path.through_solution[i];
        }
    }
    reusable_buffer buffer;
    run_setup setup{request, cli_version_table[request.target], buffer};
    work_crew crew;
    (void)crew.start(threads - 1, convert_taken_projects, &run);

    // A held signal (a stop on Windows): no project is taken after it.
    auto note_a_stop = [&] {
        if (!state.stopped && stop_pending()) {
            state.stopped = true;
            stop_taking(run);
        }
    };
    std::size_t at = 0;  // the next project to print
    for (const found_projects& path : found) {
        if (state.stopped && at >= taken(run))
            break;
        // Once stopped, a solution whose turn had not come is left as it is.
        if (path.solution && !state.stopped) {
            solution_result solution = retarget_solution(request, *path.solution);
            count_solution(state.solutions, solution);
            state.output_error = solution.output_error;
            if (state.output_error != 0)
                break;
        }
        state.output_error = print_problems(request, path.problems, state.counts);
        if (state.output_error != 0)
            break;
        for (std::size_t i = 0; i < path.projects.size(); ++i, ++at) {
            if (!finish(run, setup, at)) {
                state.stopped = true;
                break;
            }
            project_job& job = run.jobs[at];
            count(state.counts, job.result);
            state.output_error = job.report->flush();
            job.report.reset();
            if (state.output_error != 0)
                break;
            note_a_stop();
        }
        if (state.output_error != 0)
            break;
        note_a_stop();
    }
    // The projects in hand are finished, whatever ended the run.
    stop_taking(run);
    crew.join();
    return true;
}

}  // namespace

int run_cli(const cli_request& request)
{
    project_set seen;
    project_set solutions_seen;
    std::vector<found_projects> found(request.paths.size());
    std::size_t total = 0;
    for (std::size_t p = 0; p < request.paths.size(); ++p) {
        discover_projects(request.paths[p], seen, found[p].projects, found[p].problems, &found[p].solution_folders,
                          &found[p].through_solution);
        if (takes_solution_header(request, request.paths[p], found[p].problems, solutions_seen))
            found[p].solution = &request.paths[p];
        total += found[p].projects.size();
    }

    unsigned jobs = request.jobs != 0 ? request.jobs : std::min(processors_available(), default_most_jobs);
    run_state state;
    bool in_parallel = false;
    {
        // Held from before the threads start (on POSIX they inherit the
        // blocked signals) until the summary is printed: a signal while the
        // projects are converted lets those in hand finish and be reported.
        std::optional<rewrite_hold> held;
        if (jobs > 1 && total > 1) {
            held.emplace();
            in_parallel = convert_in_parallel(request, found, static_cast<unsigned>(std::min<std::size_t>(jobs, total)), state);
            if (!in_parallel)
                held.reset();
        }
        if (!in_parallel)
            convert_in_turn(request, found, state);
        if (state.output_error == 0)
            state.output_error = print_solution_summary(request, state.solutions);
        if (state.output_error == 0)
            state.output_error = print_summary(request, state.counts);
    }
    if (state.output_error != 0)
        report_output_failure(state.output_error);

    const run_counts& counts = state.counts;
    const solution_counts& solutions = state.solutions;
    if (int held = held_signal(); held != 0)
        return cli_exit_signal_base + held;
    if (state.output_error != 0 || state.stopped || counts.failed != 0 || solutions.failed != 0)
        return cli_exit_failed;
    if (request.check && (counts.retargeted != 0 || solutions.retargeted != 0))
        return cli_exit_would_retarget;
    return cli_exit_done;
}

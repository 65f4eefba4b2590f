#include "cli/cli_run.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <cstdio>
#include <memory>
#include <new>

#include "cli/cli_platform.h"
#include "cli/project_discovery.h"
#include "convert/conversion.h"
#include "convert/leftover_toolsets.h"
#include "convert/rewrite_hold.h"

namespace {

bool output_failed = false;

struct run_counts {
    unsigned projects = 0;
    unsigned retargeted = 0;
    unsigned already_configured = 0;
    unsigned without_match = 0;
    unsigned failed = 0;
    unsigned leftovers = 0;
    unsigned other_failures = 0;  // solutions and folders that could not be read
};

// What one project prints is gathered and written in one piece.
class report_text {
public:
    void add(std::string_view text) { text_.append(text); }

    void add_formatted(const char* format, ...)
    {
        char line[512];
        va_list args;
        va_start(args, format);
        int length = std::vsnprintf(line, sizeof line, format, args);
        va_end(args);
        if (length > 0)
            text_.append(line, static_cast<std::size_t>(length) < sizeof line ? static_cast<std::size_t>(length)
                                                                              : sizeof line - 1);
    }

    void add_failure(std::string_view action, const std::string& path, file_error code)
    {
        text_.append(action).append("(").append(path).append(")\n");
        add_formatted("   ^ERROR: %u, ", static_cast<unsigned>(code));
        text_.append(system_error_text(code)).append("\n");
    }

    void drop(const std::string& text)
    {
        std::size_t at = text_.rfind(text);
        if (at != std::string::npos)
            text_.erase(at, text.size());
    }

    std::string take()
    {
        std::string text = std::move(text_);
        text_.clear();
        return text;
    }

    void flush()
    {
        if (!text_.empty() && cli_write(cli_stream::output, text_) != 0)
            output_failed = true;
        text_.clear();
    }

private:
    std::string text_;
};

std::string label_of(vs_version target)
{
    std::string label;
    for (const wchar_t* c = version_table[target].label; *c; ++c)
        label.push_back(static_cast<char>(*c));
    return label;
}

// Working memory kept from one project to the next, grown when a project needs more.
class reusable_block {
public:
    bool fit(std::uint64_t file_size, conversion_block& block) noexcept
    {
        std::size_t half = conversion_half_for(file_size);
        if (half > half_) {
            bytes_.reset(new (std::nothrow) char[2 * half]);
            half_ = bytes_ ? half : 0;
            if (!bytes_)
                return false;
        }
        block = {bytes_.get(), bytes_.get() + half_, half_};
        return true;
    }

private:
    std::unique_ptr<char[]> bytes_;
    std::size_t half_ = 0;
};

// Prints a conversion's changes, verdict and failures as projport.exe does.
class project_report final : public conversion_report {
public:
    project_report(report_text& out, const std::string& path, const std::string& label)
        : out_(out), path_(path), label_(label)
    {
    }

    conversion_verdict verdict_told = conversion_verdict::empty;
    bool verdict_seen = false;
    bool failure_seen = false;

    void changed(change_kind kind, std::string_view text) noexcept override
    {
        if (kind == change_kind::inserted)
            out_.add("+ ");
        out_.add(text);
        out_.add("\n");
    }

    void verdict(conversion_verdict verdict) noexcept override
    {
        verdict_told = verdict;
        verdict_seen = true;
        const char* label = label_.c_str();
        switch (verdict) {
        case conversion_verdict::ready:
            out_.add_formatted("\nProject is ready for Visual Studio %s\n", label);
            break;
        case conversion_verdict::would_retarget:
            out_.add_formatted("\nProject would be retargeted to Visual Studio %s\n", label);
            break;
        case conversion_verdict::already_configured:
            out_.add_formatted("Already configured for Visual Studio %s\n", label);
            break;
        case conversion_verdict::no_match:
            out_.add("could not find a match\n");
            break;
        case conversion_verdict::empty:
            out_.add("the project file is empty\n");
            break;
        case conversion_verdict::too_large:
            out_.add("the converted project would not fit its buffer; the file is left unchanged\n");
            break;
        }
    }

    void failed(conversion_step step, file_error code) noexcept override
    {
        failure_seen = true;
        const char* actions[] = {"read", "seek", "write", "restore"};
        out_.add_failure(actions[static_cast<int>(step)], path_, code);
    }

private:
    report_text& out_;
    const std::string& path_;
    const std::string& label_;
};

// The project's bytes in memory, for the shared conversion steps: what they
// write is then moved over the project in one step by cli_project::replace.
class bytes_file final : public project_file {
public:
    explicit bytes_file(std::string bytes) : bytes_(std::move(bytes)) {}
    const std::string& bytes() const noexcept { return bytes_; }

    std::uint64_t size() noexcept override { return bytes_.size(); }
    file_error read(char* into, std::size_t count, std::size_t& got) noexcept override
    {
        got = at_ < bytes_.size() ? std::min(count, bytes_.size() - at_) : 0;
        std::memcpy(into, bytes_.data() + at_, got);
        at_ += got;
        return 0;
    }
    file_error seek(std::uint64_t offset) noexcept override
    {
        at_ = static_cast<std::size_t>(offset);
        return 0;
    }
    file_error write(const char* from, std::size_t count, std::size_t& written) noexcept override
    {
        if (at_ + count > bytes_.size())
            bytes_.resize(at_ + count);
        std::memcpy(bytes_.data() + at_, from, count);
        at_ += count;
        written = count;
        return 0;
    }
    file_error set_end() noexcept override
    {
        bytes_.resize(at_);
        return 0;
    }
    file_error extend(std::uint64_t length) noexcept override
    {
        bytes_.resize(static_cast<std::size_t>(length));
        return 0;
    }
    file_error disk_full_error() const noexcept override { return 1; }
    file_error too_large_error() const noexcept override { return 1; }

private:
    std::string bytes_;
    std::size_t at_ = 0;
};

struct project_run {
    const cli_request& request;
    const std::string& path;
    const std::string& label;
    reusable_block& memory;
    report_text& out;
    run_counts& counts;
};

void add_leftover(void* context, const leftover_toolset& element)
{
    auto& out = *static_cast<report_text*>(context);
    out.add_formatted("  line %lu: ", static_cast<unsigned long>(element.line));
    out.add(element.element);
    out.add(" left unchanged\n");
}

void convert_opened(void* context, project_file& file)
{
    auto& run = *static_cast<project_run*>(context);
    project_report report(run.out, run.path, run.label);
    conversion_block block;
    if (!run.memory.fit(file.size(), block)) {
        run.out.add("not enough memory for the project\n");
        ++run.counts.failed;
        return;
    }
    conversion_mode mode = run.request.check ? conversion_mode::check : conversion_mode::rewrite;
    file_conversion outcome = convert_open_file(file, block, run.request.target, mode, report);

    if (!report.failure_seen && report.verdict_seen) {
        switch (report.verdict_told) {
        case conversion_verdict::ready:
        case conversion_verdict::would_retarget:
            ++run.counts.retargeted;
            break;
        case conversion_verdict::already_configured:
            ++run.counts.already_configured;
            break;
        case conversion_verdict::no_match:
            ++run.counts.without_match;
            break;
        case conversion_verdict::empty:
        case conversion_verdict::too_large:
            ++run.counts.failed;
            break;
        }
    } else {
        ++run.counts.failed;
    }
    constexpr std::size_t open_tag = sizeof "<PlatformToolset>" - 1;
    constexpr std::size_t close_tag = sizeof "</PlatformToolset>" - 1;
    std::string_view element = version_table[run.request.target].toolset;
    std::string_view toolset = element.substr(open_tag, element.size() - open_tag - close_tag);
    run.counts.leftovers += static_cast<unsigned>(
        find_leftover_toolsets(outcome.text, toolset, std::string_view(), add_leftover, &run.out));
}

void convert_one(const cli_request& request, const std::string& path, const std::string& label,
                 reusable_block& memory, run_counts& counts, project_set& seen)
{
    report_text out;
    out.add("[");
    out.add(path);
    out.add("]\nConfiguring project for Visual Studio ");
    out.add(label);
    out.add("\n\n");
    ++counts.projects;
    project_run run{request, path, label, memory, out, counts};
    cli_project project;
    std::string original;
    if (file_error code = project.open(path, !request.check)) {
        out.add_failure("open", path, code);
        ++counts.failed;
    } else if (file_error code = project.read(original)) {
        out.add_failure("read", path, code);
        ++counts.failed;
    } else {
        bytes_file file(original);
        rewrite_hold hold;
        unsigned failed_before = counts.failed;
        convert_opened(&run, file);
        replace_failure failure;
        if (counts.failed == failed_before && file.bytes() != original &&
            !project.replace(original, file.bytes(), failure)) {
            // The project is not ready after all: its failure stands in place of the verdict.
            out.drop("\nProject is ready for Visual Studio " + label + "\n");
            out.add_failure(failure.action, path, failure.error);
            ++counts.failed;
            --counts.retargeted;
        } else if (file.bytes() != original) {
            // The new file has an identity of its own: a later way to it is
            // still the same project.
            (void)seen.add(path);
        }
        if (cli_write(cli_stream::output, out.take()) != 0)
            output_failed = true;
        return;
    }
    out.flush();
}

void print_summary(const cli_request& request, const run_counts& counts)
{
    char line[512];
    std::snprintf(line, sizeof line,
                  "%u projects: %u %s, %u already configured, %u without a match, %u failed; "
                  "%u toolset elements left unchanged\n",
                  counts.projects, counts.retargeted, request.check ? "would be retargeted" : "retargeted",
                  counts.already_configured, counts.without_match, counts.failed, counts.leftovers);
    if (cli_write(cli_stream::output, line) != 0)
        output_failed = true;
}

}  // namespace

int run_cli(const cli_request& request)
{
    std::string label = label_of(request.target);
    reusable_block memory;
    run_counts counts;
    project_set seen;
    for (const std::string& path : request.paths) {
        std::vector<std::string> projects;
        std::vector<discovery_problem> problems;
        discover_projects(path, seen, projects, problems);
        if (!problems.empty()) {
            report_text out;
            for (const discovery_problem& problem : problems)
                out.add_failure(problem.action, problem.path, problem.code);
            out.flush();
            counts.other_failures += static_cast<unsigned>(problems.size());
        }
        for (const std::string& project : projects) {
            if (held_signal() != 0 || output_failed)
                break;
            convert_one(request, project, label, memory, counts, seen);
        }
    }
    print_summary(request, counts);
    if (held_signal() != 0)
        return 128 + held_signal();
    if (output_failed)
        return cli_exit_failed;

    if (counts.failed != 0 || counts.other_failures != 0)
        return cli_exit_failed;
    if (request.check && counts.retargeted != 0)
        return cli_exit_would_retarget;
    return cli_exit_done;
}

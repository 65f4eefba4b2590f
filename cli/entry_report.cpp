#include "cli/entry_report.h"

#include <string>

#include "cli/cli_errors.h"
#include "cli/decimal_text.h"
#include "cli/file_system.h"
#include "cli/printable_output.h"
#include "cli/project_io.h"
#include "core/report_texts.h"

std::string_view without_line_end(std::string_view text) noexcept
{
    std::string_view line = text;
    while (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    while (!line.empty() && line.front() == '\n')
        line.remove_prefix(1);
    return line;
}

void entry_report::add_data(std::string_view data)
{
    keep(!lacks_memory_ && append_printable(lines_, data));
}

void entry_report::add_number(std::uint64_t number)
{
    keep(!lacks_memory_ && append_number(lines_, number));
}

void entry_report::add_failure(std::string_view action, file_error code, std::string_view file)
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

void entry_report::add_failure_line(std::string_view line)
{
    add(line);
    annotate(annotation_kind::error, 0, {{without_line_end(line)}});
}

void entry_report::annotate(annotation_kind kind, std::size_t line, std::initializer_list<message_part> message)
{
    if (annotate_ == annotation_format::none || lacks_memory_)
        return;
    scratch_.clear();
    for (const message_part& part : message)
        keep(part.data ? append_printable(scratch_, part.text) : scratch_.append(part.text));
    keep(!lacks_memory_ && append_annotation(annotations_, annotate_, kind, path_, line, scratch_.view()));
}

void entry_report::rewind(entry_mark since) noexcept
{
    // Shrinking keeps the memory already had: it cannot fail.
    (void)lines_.resize(since.lines);
    (void)annotations_.resize(since.annotations);
    lacks_memory_ = false;
}

void entry_report::fail_for_memory(entry_mark since, std::string_view action)
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

file_error entry_report::flush()
{
    if (lacks_memory_)
        fail_for_memory({}, "report");
    if (lost_) {
        lost_ = false;
        return cli_write(cli_stream::output, no_memory_line_);
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

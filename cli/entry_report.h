#pragma once
// What one entry of projport-cli's output prints (a project, a solution, or
// a PATH that could not be read), gathered and written in one piece: its
// own lines, then its annotations. A text that came from a path or a file
// enters it only through add_data (or as a data part of an annotation),
// which writes its printable form. Its memory grows as large as a file makes
// it: when some text cannot be added, the report says so (lacks_memory) and
// fail_for_memory turns it into a failure.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "cli/annotations.h"
#include "cli/byte_buffer.h"
#include "core/project_file.h"

// The annotation of a failed step: "open(P) failed: <system text>".
inline constexpr std::string_view failed_text = " failed: ";

// A text of report_texts.h without the line ends around it, for an annotation.
std::string_view without_line_end(std::string_view text) noexcept;

// A piece of an annotation's message: the program's own text, or a text
// from a path or a file, which is made printable first.
struct message_part {
    std::string_view text;
    bool data = false;
};

// How far a report had come, to go back to.
struct entry_mark {
    std::size_t lines = 0;
    std::size_t annotations = 0;
};

class entry_report {
public:
    // `no_memory_line`, the program's own line, stands for the whole report
    // when not even its failure for want of memory fits.
    entry_report(std::string_view path, annotation_format annotate, std::string_view no_memory_line) noexcept
        : path_(path), annotate_(annotate), no_memory_line_(no_memory_line)
    {
    }

    // The program's own text.
    void add(std::string_view text) { keep(!lacks_memory_ && lines_.append(text)); }

    // A text from a path or a file, in its printable form.
    void add_data(std::string_view data);

    void add_number(std::uint64_t number);

    // "action(path)" and "   ^ERROR: N, text", and its annotation; `file`
    // names the file the step failed on where it is not the entry's.
    void add_failure(std::string_view action, file_error code, std::string_view file = {});

    // A failure the program found itself: its line (with its line end), and
    // its annotation.
    void add_failure_line(std::string_view line);

    // One annotation: `line` 0 for none.
    void annotate(annotation_kind kind, std::size_t line, std::initializer_list<message_part> message);

    bool annotating() const noexcept { return annotate_ != annotation_format::none; }

    // Whether some text could not be added for want of memory: nothing is
    // added after it, and fail_for_memory must say so.
    bool lacks_memory() const noexcept { return lacks_memory_; }

    entry_mark mark() const noexcept { return {lines_.size(), annotations_.size()}; }

    // Drops what was added after `since`, a want of memory with it.
    void rewind(entry_mark since) noexcept;

    // Drops what was added after `since` and reports, in its place, that the
    // step `action` failed for want of memory. Where even that does not fit,
    // the report shrinks to its no-memory line.
    void fail_for_memory(entry_mark since, std::string_view action);

    // Writes what was gathered; a report with a text missing is never
    // printed as if whole. Returns 0 or the error of the write.
    [[nodiscard]] file_error flush();

private:
    void keep(bool added) noexcept { lacks_memory_ = lacks_memory_ || !added; }

    std::string_view path_;
    annotation_format annotate_ = annotation_format::none;
    std::string_view no_memory_line_;
    bool lacks_memory_ = false;
    bool lost_ = false;
    byte_buffer lines_;
    byte_buffer annotations_;
    byte_buffer scratch_;
};

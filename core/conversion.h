#pragma once
// One conversion, the same for both programs and both rule sets: a rule set
// tells its edits (find_edits of retarget.h, find_cli_edits of cli_rules.h),
// the conversion applies them to a copy of the original, tells each change
// and each shift of the lines as it goes, and decides the verdict. For
// projport.exe it also reads the open file whole and rewrites it in place;
// the program holds the process from ending meanwhile (rewrite_hold.h). No
// system header, no allocation here.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/file_rewrite.h"
#include "core/project_file.h"
#include "core/retarget.h"
#include "core/text_edit.h"
#include "core/version_table.h"

// Result codes of a conversion. A rewrite that fails returns the platform's
// error code instead, which may coincide with the small codes below.
enum convert_result : int {
    convert_done = 0,            // rewritten and its end set (or, checking, it would be)
    convert_bad_version = -1,    // target outside 0 to 3
    convert_no_memory = 1,       // the working block could not be obtained
    convert_open_failed = 2,     // reported by the open
    convert_read_failed = 3,     // read failed, or the file is empty
    convert_nothing_to_do = 4,   // nothing to replace or insert
    convert_seek_failed = 5,     // the file position could not be reset
    convert_too_large = 6,       // the converted text would not fit its buffer
};

enum class conversion_mode {
    rewrite,  // write the converted text over the file
    check,    // tell what would change; the file is only read, and a conversion
              // that would write the same bytes counts as already configured
};

enum class conversion_verdict {
    ready,               // rewritten
    would_retarget,      // checking, and something would change
    already_configured,  // nothing to change, and the target is named
    no_match,            // nothing to change, nothing of the table found
    empty,               // the file holds no byte
    too_large,           // the converted text would not fit its buffer
};

// The failures a conversion reports besides the open, which its front end does.
enum class conversion_step {
    read,     // reading the file whole
    seek,     // moving back to the start before the rewrite
    write,    // the rewrite (extending, writing or setting the end)
    restore,  // putting the original bytes back after a failed rewrite
};

// From `from` (an offset of the converted text) on, a line of the converted
// text is `lines` lines further down than the same line of the original.
struct line_shift {
    std::size_t from = 0;
    std::ptrdiff_t lines = 0;
};

// Where the converted text is built, in one piece.
class text_output {
public:
    // Adds `bytes` at the end; false when they do not fit (the text is then
    // incomplete, and nothing more is added).
    virtual bool append(std::string_view bytes) noexcept = 0;
    virtual std::string_view text() const noexcept = 0;

protected:
    ~text_output() = default;
};

// A text_output over memory of a fixed size.
class fixed_output final : public text_output {
public:
    fixed_output(char* bytes, std::size_t capacity) noexcept : bytes_(bytes), capacity_(capacity) {}
    bool append(std::string_view bytes) noexcept override;
    std::string_view text() const noexcept override { return {bytes_, size_}; }

private:
    char* bytes_;
    std::size_t capacity_;
    std::size_t size_ = 0;
};

// Told of the edits as they are applied.
class edit_listener {
public:
    // An edit: what is printed for it (the text as it stood, or what went
    // in), valid during the call. Told of every edit, also once the output
    // is full, but for one whose printed text is several of its pieces, read
    // back from the output.
    virtual void changed(change_kind kind, std::string_view text) noexcept = 0;
    // The lines move from `shift.from` on, in increasing order of `from`;
    // false when the shift cannot be kept.
    virtual bool shifted(line_shift shift) noexcept = 0;

protected:
    ~edit_listener() = default;
};

// What applying a rule set's edits came to.
struct applied_edits {
    std::size_t edits = 0;          // edits told
    bool output_full = false;       // the converted text did not fit its output
    bool shift_lost = false;        // the listener could not keep a line shift
    bool changed = false;           // the converted text differs from the original
    std::size_t first_change = 0;   // offset in the original of the first edit that
                                    // changes a byte (when `changed`)
    std::string_view text;          // the converted text (when !output_full)
};

// Applies the edits of one rule set to `original`, as the rule set tells
// them (in file order), into `output`: pass edit_application::tell and the
// application to the rule set, then call finish.
class edit_application {
public:
    edit_application(std::string_view original, text_output& output, edit_listener& listener) noexcept
        : original_(original), output_(output), listener_(listener)
    {
    }
    edit_application(const edit_application&) = delete;
    edit_application& operator=(const edit_application&) = delete;

    // An edit_sink: `context` is the application.
    static void tell(void* context, const text_edit& e) noexcept;

    // Copies what follows the last edit; call it once, after the rule set.
    applied_edits finish() noexcept;

private:
    void add(std::string_view bytes) noexcept;
    void apply(const text_edit& e) noexcept;

    std::string_view original_;
    text_output& output_;
    edit_listener& listener_;
    applied_edits applied_;
    std::size_t copied_ = 0;      // of the original, up to where it is copied
    std::size_t output_size_ = 0; // of the converted text so far, also once it is full
    bool first_found_ = false;
};

// The verdict of a conversion that applied its edits whole: a changed text
// is ready (or, checking, would be retargeted); an unchanged one already
// configured when `names_target`, else without a match. Rewriting, edits
// that change no byte still make the project ready (projport.exe "replaces"
// the ToolsVersion that 2017 and 2019 share by itself and rewrites it).
// An output that was full makes it too large.
conversion_verdict verdict_of(const applied_edits& applied, bool names_target, conversion_mode mode) noexcept;

// Told of everything projport.exe's conversion of a file does, in order.
class conversion_listener : public edit_listener {
public:
    bool shifted(line_shift) noexcept override { return true; }
    virtual void verdict(conversion_verdict verdict) noexcept = 0;
    virtual void failed(conversion_step step, file_error code) noexcept = 0;

protected:
    ~conversion_listener() = default;
};

// The working memory of one conversion: the input half holds the file and a
// terminating zero, the output half the converted text.
struct conversion_block {
    char* input = nullptr;
    char* output = nullptr;
    std::size_t half = 0;  // bytes in each half
};

// The size of each half for a file of `file_size` bytes: 2 MiB, or more in
// steps of 2 MiB for a file that needs it.
std::size_t conversion_half_for(std::uint64_t file_size) noexcept;

struct file_conversion {
    int result = convert_done;
    // The project's text as it now is: the converted text once rewritten (or,
    // checking, as it would be), else the bytes read. Empty when nothing was read.
    std::string_view text;
    std::string_view original;  // the bytes read
    // Rewriting, the rules told an edit, and the file is positioned at its
    // start: rewrite_converted must follow, the verdict is told by it.
    bool rewrite_due = false;
};

// Reads the open `file`, positioned at its start, whole into `block` and
// converts it to `target` by projport.exe's rules (retarget.h).
file_conversion convert_open_file(project_file& file, const conversion_block& block, vs_version target,
                                  conversion_mode mode, conversion_listener& listener) noexcept;

// Writes a conversion whose rewrite is due over its file, in place
// (file_rewrite.h), and tells its verdict or its failure. The caller holds
// the process from ending meanwhile (rewrite_hold.h).
void rewrite_converted(project_file& file, file_conversion& conversion, conversion_listener& listener) noexcept;

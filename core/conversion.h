#pragma once
// One conversion of an open project file, the same for every front end: read
// it whole, build the converted text, and rewrite the file when something
// changed. What happens is told to a report as it happens; the front end
// decides how it reads. No system header here.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/file_rewrite.h"
#include "core/project_file.h"
#include "core/retarget.h"
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

// Told of everything a conversion does, in order.
class conversion_report {
public:
    virtual void changed(change_kind kind, std::string_view text) noexcept = 0;
    virtual void verdict(conversion_verdict verdict) noexcept = 0;
    virtual void failed(conversion_step step, file_error code) noexcept = 0;

protected:
    ~conversion_report() = default;
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
};

// Converts the open `file`, positioned at its start, to `target` in `block`.
// A rewrite is done under a rewrite_hold.
file_conversion convert_open_file(project_file& file, const conversion_block& block, vs_version target,
                                     conversion_mode mode, conversion_report& report) noexcept;

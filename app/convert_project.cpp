#include "app/convert_project.h"

#include <windows.h>

#include <cstring>
#include <malloc.h>

#include "app/async_file.h"
#include "app/error_report.h"
#include "console/report.h"
#include "core/report_texts.h"
#include "core/rewrite_hold.h"
#include "platform/win32_project_file.h"

namespace {

constexpr std::size_t block_alignment = 2u << 20;

// The working block: both halves in one allocation, aligned and cleared.
struct working_block {
    char* bytes = nullptr;
    std::size_t half = 0;

    explicit working_block(std::size_t half_size) noexcept : half(half_size)
    {
        bytes = static_cast<char*>(_aligned_malloc(2 * half, block_alignment));
        if (bytes)
            std::memset(bytes, 0, 2 * half);
    }
    ~working_block() { _aligned_free(bytes); }
    working_block(const working_block&) = delete;
    working_block& operator=(const working_block&) = delete;

    conversion_block halves() const noexcept { return {bytes, bytes + half, half}; }
};

// Prints what the conversion does the way the program reports everything:
// the changes and the verdict, and a failed rewrite with the system's text.
// A failed read or seek is not printed: the result code tells it. The codes
// are kept in the file's record.
class printing_listener final : public conversion_listener {
public:
    printing_listener(async_file& file, const wchar_t* path, const version_row& row) noexcept
        : file_(file), path_(path), row_(row)
    {
    }

    void changed(change_kind kind, std::string_view text) noexcept override
    {
        int length = static_cast<int>(text.size());
        print_report(L"%ls%.*hs%ls", kind == change_kind::inserted ? inserted_mark.wide : L"", length, text.data(),
                     line_end.wide);
    }

    void verdict(conversion_verdict verdict) noexcept override
    {
        // An empty file is told by the result code alone; a check is
        // projport-cli's.
        if (verdict == conversion_verdict::would_retarget || verdict == conversion_verdict::empty)
            return;
        labelled_line line = verdict_text(verdict);
        print_report(L"%ls%ls%ls", line.before.wide, line.shows_label ? row_.label : L"", line.after.wide);
    }

    void failed(conversion_step step, file_error code) noexcept override
    {
        switch (step) {
        case conversion_step::read:
        case conversion_step::seek:
            file_.last_error = code;
            break;
        case conversion_step::write:
            file_.write_error = code;
            (void)print_path_error(code, L"write", path_);
            break;
        case conversion_step::restore:
            (void)print_path_error(code, L"restore", path_);
            break;
        }
    }

private:
    async_file& file_;
    const wchar_t* path_;
    const version_row& row_;
};

}  // namespace

int convert_open_project(project_file& file, const conversion_block& block, vs_version target,
                         conversion_listener& listener) noexcept
{
    file_conversion conversion = convert_open_file(file, block, target, conversion_mode::rewrite, listener);
    if (conversion.rewrite_due) {
        rewrite_hold hold;
        rewrite_converted(file, conversion, listener);
    }
    return conversion.result;
}

int convert_project(const wchar_t* path, vs_version target) noexcept
{
    if (!is_valid_version(target)) {
        print_report(L"invalid argument  vs_version %i\n", target);
        return convert_bad_version;
    }

    async_file file;
    (void)file.open(path, 0);  // a failure is printed by the open itself
    if (!file.is_open)
        return convert_open_failed;

    win32_project_file project(file.handle);
    working_block block(conversion_half_for(project.size()));
    if (!block.bytes)
        return convert_no_memory;

    printing_listener listener(file, path, version_table[target]);
    return convert_open_project(project, block.halves(), target, listener);
}

#include "core/conversion.h"

#include <cstring>

#include "core/text_search.h"

namespace {

constexpr std::size_t usual_half = 2u << 20;

std::ptrdiff_t count_line_feeds(std::string_view text) noexcept
{
    std::ptrdiff_t count = 0;
    if (text.empty())
        return count;  // its data may be null, which memchr must not see
    for (const char* at = text.data(), *end = text.data() + text.size();
         (at = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)))) != nullptr; ++at)
        ++count;
    return count;
}

}  // namespace

bool fixed_output::append(std::string_view bytes) noexcept
{
    if (bytes.size() > capacity_ - size_)
        return false;
    if (!bytes.empty())
        std::memcpy(bytes_ + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
    return true;
}

void edit_application::tell(void* context, const text_edit& e) noexcept
{
    static_cast<edit_application*>(context)->apply(e);
}

void edit_application::add(std::string_view bytes) noexcept
{
    output_size_ += bytes.size();
    if (!applied_.output_full && !output_.append(bytes))
        applied_.output_full = true;
}

void edit_application::apply(const text_edit& e) noexcept
{
    ++applied_.edits;
    std::string_view replaced = slice(original_, e.at, e.at + e.length);
    add(slice(original_, copied_, e.at));
    std::size_t text_from = output_size_;
    std::ptrdiff_t lines = -count_line_feeds(replaced);
    std::string_view reported = e.reported;
    bool differs = false;
    bool told = true;
    if (e.pieces.count == 0) {
        add(e.text);
        lines += count_line_feeds(e.text);
        differs = e.text != replaced;
    } else {
        // The reported pieces are one run of the text just added.
        std::size_t reported_at = text_from;
        std::size_t reported_end = text_from;
        for (std::size_t i = 0; i < e.pieces.count; ++i) {
            std::string_view piece = e.pieces.piece[i];
            if (i == e.reported_from)
                reported_at = output_size_;
            add(piece);
            if (i + 1 == e.reported_to)
                reported_end = output_size_;
            lines += count_line_feeds(piece);
            differs = differs || !piece.empty();
        }
        differs = differs || e.length != 0;
        if (e.reported_to == e.reported_from + 1)
            reported = e.pieces.piece[e.reported_from];
        else if (!applied_.output_full)
            reported = slice(output_.text(), reported_at, reported_end);
        else
            told = false;
    }
    copied_ = e.at + e.length;
    if (differs && !first_found_) {
        applied_.first_change = e.at;
        first_found_ = true;
    }
    if (lines != 0 && !applied_.shift_lost && !listener_.shifted({output_size_, lines}))
        applied_.shift_lost = true;
    if (told)
        listener_.changed(e.kind, reported);
}

applied_edits edit_application::finish() noexcept
{
    add(slice(original_, copied_, original_.size()));
    copied_ = original_.size();
    if (!applied_.output_full) {
        applied_.text = output_.text();
        // Edits could in principle undo each other: the texts decide.
        applied_.changed = applied_.text != original_;
    }
    return applied_;
}

conversion_verdict verdict_of(const applied_edits& applied, bool names_target, conversion_mode mode) noexcept
{
    if (applied.output_full)
        return conversion_verdict::too_large;
    if (applied.changed)
        return mode == conversion_mode::check ? conversion_verdict::would_retarget : conversion_verdict::ready;
    if (applied.edits != 0 && mode == conversion_mode::rewrite)
        return conversion_verdict::ready;
    return names_target ? conversion_verdict::already_configured : conversion_verdict::no_match;
}

std::size_t conversion_half_for(std::uint64_t file_size) noexcept
{
    std::uint64_t needed = file_size + 1 + retarget_max_growth;
    if (needed <= usual_half)
        return usual_half;
    return static_cast<std::size_t>((needed + usual_half - 1) / usual_half * usual_half);
}

file_conversion convert_open_file(project_file& file, const conversion_block& block, vs_version target,
                                  conversion_mode mode, conversion_listener& listener) noexcept
{
    file_conversion outcome;
    if (!is_valid_version(target)) {
        outcome.result = convert_bad_version;
        return outcome;
    }

    std::size_t read = 0;
    if (file_error code = read_whole(file, block.input, block.half, read)) {
        listener.failed(conversion_step::read, code);
        outcome.result = convert_read_failed;
        return outcome;
    }
    if (read == 0) {
        listener.verdict(conversion_verdict::empty);
        outcome.result = convert_read_failed;
        return outcome;
    }
    block.input[read] = '\0';
    std::string_view original(block.input, read);
    outcome.text = original;
    outcome.original = original;

    fixed_output output(block.output, block.half);
    edit_application application(original, output, listener);
    found_edits found = find_edits(original, target, edit_application::tell, &application);
    applied_edits applied = application.finish();
    conversion_verdict verdict = verdict_of(applied, found.names_target, mode);
    switch (verdict) {
    case conversion_verdict::too_large:
        listener.verdict(verdict);
        outcome.result = convert_too_large;
        return outcome;
    case conversion_verdict::already_configured:
    case conversion_verdict::no_match:
    case conversion_verdict::empty:
        listener.verdict(verdict);
        outcome.result = convert_nothing_to_do;
        return outcome;
    case conversion_verdict::would_retarget:
        listener.verdict(verdict);
        outcome.text = applied.text;
        return outcome;
    case conversion_verdict::ready:
        break;
    }

    // A failed seek that leaves no error code goes on as a success.
    if (file_error code = file.seek(0)) {
        listener.failed(conversion_step::seek, code);
        outcome.result = convert_seek_failed;
        return outcome;
    }
    outcome.text = applied.text;
    outcome.rewrite_due = true;
    return outcome;
}

void rewrite_converted(project_file& file, file_conversion& conversion, conversion_listener& listener) noexcept
{
    if (!conversion.rewrite_due)
        return;
    conversion.rewrite_due = false;
    rewrite_outcome written = rewrite_in_place(file, conversion.original, conversion.text);
    if (written.failed != rewrite_step::none) {
        listener.failed(conversion_step::write, written.error);
        if (written.restore_error != 0)
            listener.failed(conversion_step::restore, written.restore_error);
        conversion.text = conversion.original;
        conversion.result = static_cast<int>(written.error);
        return;
    }
    listener.verdict(conversion_verdict::ready);
}

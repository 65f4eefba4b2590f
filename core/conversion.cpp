#include "core/conversion.h"

#include "core/rewrite_hold.h"

namespace {

constexpr std::size_t usual_half = 2u << 20;

void report_change(void* context, change_kind kind, std::string_view text)
{
    static_cast<conversion_report*>(context)->changed(kind, text);
}

}  // namespace

std::size_t conversion_half_for(std::uint64_t file_size) noexcept
{
    std::uint64_t needed = file_size + 1 + retarget_max_growth;
    if (needed <= usual_half)
        return usual_half;
    return static_cast<std::size_t>((needed + usual_half - 1) / usual_half * usual_half);
}

file_conversion convert_open_file(project_file& file, const conversion_block& block, vs_version target,
                                     conversion_mode mode, conversion_report& report) noexcept
{
    file_conversion outcome;
    if (!is_valid_version(target)) {
        outcome.result = convert_bad_version;
        return outcome;
    }

    std::size_t read = 0;
    if (file_error code = read_whole(file, block.input, block.half, read)) {
        report.failed(conversion_step::read, code);
        outcome.result = convert_read_failed;
        return outcome;
    }
    if (read == 0) {
        report.verdict(conversion_verdict::empty);
        outcome.result = convert_read_failed;
        return outcome;
    }
    block.input[read] = '\0';
    std::string_view original(block.input, read);
    outcome.text = original;

    retarget_result converted =
        retarget_text(original, block.output, block.half, target, {report_change, &report});
    if (converted.overflow) {
        report.verdict(conversion_verdict::too_large);
        outcome.result = convert_too_large;
        return outcome;
    }
    if (!converted.changed) {
        report.verdict(names_target(original, target) ? conversion_verdict::already_configured
                                                      : conversion_verdict::no_match);
        outcome.result = convert_nothing_to_do;
        return outcome;
    }
    std::string_view text(block.output, converted.length);
    if (mode == conversion_mode::check) {
        // A 2017 or 2019 project checked against its own version has its
        // shared ToolsVersion "replaced" by the same text: a rewrite would
        // change no byte, so a check must not ask for one.
        if (text == original) {
            report.verdict(conversion_verdict::already_configured);
            outcome.result = convert_nothing_to_do;
            return outcome;
        }
        report.verdict(conversion_verdict::would_retarget);
        outcome.text = text;
        return outcome;
    }

    // A failed seek that leaves no error code goes on as a success.
    if (file_error code = file.seek(0)) {
        report.failed(conversion_step::seek, code);
        outcome.result = convert_seek_failed;
        return outcome;
    }
    rewrite_outcome written;
    {
        rewrite_hold hold;
        written = rewrite_in_place(file, original, text);
    }
    if (written.failed != rewrite_step::none) {
        report.failed(conversion_step::write, written.error);
        if (written.restore_error != 0)
            report.failed(conversion_step::restore, written.restore_error);
        outcome.result = static_cast<int>(written.error);
        return outcome;
    }
    report.verdict(conversion_verdict::ready);
    outcome.text = text;
    return outcome;
}

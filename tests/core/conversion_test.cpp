#include "core/conversion.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/memory_file.h"
#include "support/enum_names.h"
#include "support/project_text.h"

namespace {

// Everything a conversion told, as one line each.
struct recorded_report final : conversion_listener {
    std::vector<std::string> lines;

    void changed(change_kind kind, std::string_view text) noexcept override
    {
        lines.push_back((kind == change_kind::inserted ? "+ " : "") + std::string(text));
    }
    void verdict(conversion_verdict verdict) noexcept override
    {
        lines.push_back("verdict " + std::string(name_of(verdict)));
    }
    void failed(conversion_step step, file_error code) noexcept override
    {
        lines.push_back("failed " + std::string(name_of(step)) + " " + std::to_string(code));
    }
};

std::string verdict_line(conversion_verdict verdict)
{
    return "verdict " + std::string(name_of(verdict));
}

struct block_memory {
    std::string bytes;
    conversion_block block;

    explicit block_memory(std::size_t file_size)
    {
        std::size_t half = conversion_half_for(file_size);
        bytes.assign(2 * half, '\0');
        block = {bytes.data(), bytes.data() + half, half};
    }
};

struct run {
    recorded_report report;
    file_conversion outcome;
    std::string text;
};

run convert(memory_file& file, int row, conversion_mode mode)
{
    vs_version target = vs_version(row);  // a test's number for the row
    block_memory memory(file.bytes().size());
    run r;
    r.outcome = convert_open_file(file, memory.block, target, mode, r.report);
    rewrite_converted(file, r.outcome, r.report);
    r.text = std::string(r.outcome.text);
    return r;
}

}  // namespace

TEST(Conversion, RewritesTheFileAndTellsEveryChangeThenTheVerdict)
{
    memory_file file(v140_project);
    run r = convert(file, 3, conversion_mode::rewrite);
    EXPECT_EQ(r.outcome.result, convert_done);
    EXPECT_EQ(file.bytes(), v142_project);
    EXPECT_EQ(r.text, v142_project);
    std::vector<std::string> expected = {"ToolsVersion=\"14.0\"", "<PlatformToolset>v140</PlatformToolset>",
                                         verdict_line(conversion_verdict::ready)};
    EXPECT_EQ(r.report.lines, expected);
}

TEST(Conversion, CheckingTellsTheSameChangesAndWritesNothing)
{
    memory_file file(v140_project);
    run r = convert(file, 3, conversion_mode::check);
    EXPECT_EQ(r.outcome.result, convert_done);
    EXPECT_EQ(file.bytes(), v140_project);
    EXPECT_EQ(file.calls(memory_file_op::write) + file.calls(memory_file_op::extend) +
                  file.calls(memory_file_op::set_end) + file.calls(memory_file_op::seek),
              0);
    EXPECT_EQ(r.text, v142_project);  // the text as it would be
    ASSERT_FALSE(r.report.lines.empty());
    EXPECT_EQ(r.report.lines.back(), verdict_line(conversion_verdict::would_retarget));
}

TEST(Conversion, CheckingAProjectWhoseRewriteWouldWriteTheSameBytesFindsItConfigured)
{
    // 2019 and 2017 share ToolsVersion="15.0": the rewrite replaces it by itself.
    memory_file file(v142_project);
    run rewrite = convert(file, 3, conversion_mode::check);
    EXPECT_EQ(rewrite.outcome.result, convert_nothing_to_do);
    EXPECT_EQ(rewrite.report.lines,
              (std::vector<std::string>{"ToolsVersion=\"15.0\"", verdict_line(conversion_verdict::already_configured)}));

    // Rewriting it still goes through, as it always has.
    memory_file again(v142_project);
    run done = convert(again, 3, conversion_mode::rewrite);
    EXPECT_EQ(done.outcome.result, convert_done);
    EXPECT_EQ(done.report.lines.back(), verdict_line(conversion_verdict::ready));
    EXPECT_EQ(again.bytes(), v142_project);
    EXPECT_EQ(again.calls(memory_file_op::write), 1);
}

TEST(Conversion, NothingToChangeIsToldApartByWhetherTheTargetIsNamed)
{
    memory_file configured(v140_project);
    run a = convert(configured, 1, conversion_mode::rewrite);
    EXPECT_EQ(a.outcome.result, convert_nothing_to_do);
    EXPECT_EQ(a.report.lines, (std::vector<std::string>{verdict_line(conversion_verdict::already_configured)}));
    EXPECT_EQ(a.text, v140_project);

    memory_file unrelated("<Project><PlatformToolset>v143</PlatformToolset></Project>");
    run b = convert(unrelated, 3, conversion_mode::rewrite);
    EXPECT_EQ(b.report.lines, (std::vector<std::string>{verdict_line(conversion_verdict::no_match)}));
    EXPECT_EQ(configured.calls(memory_file_op::write) + unrelated.calls(memory_file_op::write), 0);
}

TEST(Conversion, AnEmptyFileIsAFailedReadWithItsOwnVerdict)
{
    memory_file file("");
    run r = convert(file, 0, conversion_mode::rewrite);
    EXPECT_EQ(r.outcome.result, convert_read_failed);
    EXPECT_EQ(r.report.lines, (std::vector<std::string>{verdict_line(conversion_verdict::empty)}));
}

TEST(Conversion, AFailedReadIsToldAndNothingIsConverted)
{
    memory_file file(v140_project, {{memory_file_op::read, 1, false, 23}});
    run r = convert(file, 3, conversion_mode::rewrite);
    EXPECT_EQ(r.outcome.result, convert_read_failed);
    EXPECT_EQ(r.report.lines, (std::vector<std::string>{"failed read 23"}));
    EXPECT_EQ(file.bytes(), v140_project);
}

TEST(Conversion, AFailedSeekBeforeTheRewriteLeavesTheFile)
{
    memory_file file(v140_project, {{memory_file_op::seek, 1, false, 6}});
    run r = convert(file, 3, conversion_mode::rewrite);
    EXPECT_EQ(r.outcome.result, convert_seek_failed);
    EXPECT_EQ(r.report.lines.back(), "failed seek 6");
    EXPECT_EQ(file.bytes(), v140_project);
}

TEST(Conversion, AFailedRewriteReturnsItsCodeAndTheOriginalText)
{
    memory_file file(v140_project, {{memory_file_op::set_end, 1, false, 112}});
    run r = convert(file, 3, conversion_mode::rewrite);
    EXPECT_EQ(r.outcome.result, 112);
    EXPECT_EQ(r.report.lines.back(), "failed write 112");
    EXPECT_EQ(file.bytes(), v140_project);
    EXPECT_EQ(r.text, v140_project);  // the project as it now is
}

TEST(Conversion, ARestoreThatFailsTooIsToldAfterTheWrite)
{
    memory_file file(v140_project, {{memory_file_op::set_end, 1, false, 112}, {memory_file_op::write, 2, false, 19}});
    run r = convert(file, 3, conversion_mode::rewrite);
    ASSERT_GE(r.report.lines.size(), 2u);
    EXPECT_EQ(r.report.lines[r.report.lines.size() - 2], "failed write 112");
    EXPECT_EQ(r.report.lines.back(), "failed restore 19");
}

TEST(Conversion, HalvesGrowInStepsOfTwoMebibytesForLargeFiles)
{
    constexpr std::size_t mib2 = 2u << 20;
    EXPECT_EQ(conversion_half_for(0), mib2);
    EXPECT_EQ(conversion_half_for(mib2 - 1 - retarget_max_growth), mib2);
    EXPECT_EQ(conversion_half_for(mib2 - retarget_max_growth), 2 * mib2);
    EXPECT_EQ(conversion_half_for(5 * mib2), 6 * mib2);
}


// The edits of a rule set applied: where the first byte changes, how the
// lines move, and whether the text changed, for projport.exe's rules.
namespace {

struct applied_run {
    std::vector<std::string> changes;
    std::vector<std::pair<std::size_t, std::ptrdiff_t>> shifts;
    applied_edits applied;
    std::string text;
};

struct collecting_listener final : edit_listener {
    applied_run& run;
    explicit collecting_listener(applied_run& r) : run(r) {}
    void changed(change_kind kind, std::string_view text) noexcept override
    {
        run.changes.push_back((kind == change_kind::inserted ? "+ " : "") + std::string(text));
    }
    bool shifted(line_shift shift) noexcept override
    {
        run.shifts.emplace_back(shift.from, shift.lines);
        return true;
    }
};

applied_run apply_projport_rules(const std::string& input, int row, std::size_t room)
{
    vs_version target = vs_version(row);  // a test's number for the row
    applied_run r;
    std::string memory(room, '\0');
    fixed_output output(memory.data(), memory.size());
    collecting_listener listener(r);
    edit_application application(input, output, listener);
    (void)find_edits(input, target, edit_application::tell, &application);
    r.applied = application.finish();
    r.text = std::string(r.applied.text);
    return r;
}

}  // namespace

TEST(EditApplication, TellsTheFirstChangedByteTheLineShiftsAndWhetherTheTextChanged)
{
    const std::string anchor = "<Project DefaultTargets=\"Build\"";
    const std::string v141 = "<PlatformToolset>v141</PlatformToolset>";
    const std::string on_its_line = anchor + "\n  xmlns=\"x\">\n  " + v141 + "\n</Project>\n";
    struct row {
        const char* name;
        std::string input;
        int target;
        std::size_t first_change;
        bool changed;
        std::size_t edits;
        std::vector<std::pair<std::size_t, std::ptrdiff_t>> shifts;
    };
    const std::size_t behind = anchor.size();
    const row rows[] = {
        // The shared ToolsVersion is "replaced" by itself: the first byte
        // that changes is the toolset's.
        {"same attribute, then a toolset", v142_project, 2, v142_project.find("<PlatformToolset>"), true, 2, {}},
        {"same attribute only", v142_project, 3, 0, false, 1, {}},
        // An attribute inserted behind a line feed goes on a line of its own.
        {"inserted on a line of its own", on_its_line, 0, behind, true, 2,
         {{behind + std::string("\nToolsVersion=\"4.0\"").size(), 1}}},
        {"inserted behind a space", anchor + " xmlns=\"x\">\n  " + v141 + "\n</Project>\n", 1, behind, true, 2, {}},
        {"nothing to do", v140_project, 1, 0, false, 0, {}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        applied_run run = apply_projport_rules(r.input, r.target, r.input.size() + retarget_max_growth);
        EXPECT_FALSE(run.applied.output_full);
        EXPECT_EQ(run.applied.edits, r.edits);
        EXPECT_EQ(run.applied.changed, r.changed);
        EXPECT_EQ(run.applied.changed, run.text != r.input);
        if (r.changed)
            EXPECT_EQ(run.applied.first_change, r.first_change);
        EXPECT_EQ(run.shifts, r.shifts);
        EXPECT_EQ(run.changes.size(), r.edits);
    }
}

TEST(EditApplication, AFullOutputStillTellsEveryChangeAndIsTooLarge)
{
    applied_run full = apply_projport_rules(v140_project, 3, v140_project.size() - 1);
    EXPECT_TRUE(full.applied.output_full);
    EXPECT_EQ(full.changes,
              (std::vector<std::string>{"ToolsVersion=\"14.0\"", "<PlatformToolset>v140</PlatformToolset>"}));
    EXPECT_EQ(verdict_of(full.applied, false, conversion_mode::rewrite), conversion_verdict::too_large);
    // Exactly the room it needs is enough.
    applied_run fits = apply_projport_rules(v140_project, 3, v142_project.size());
    EXPECT_FALSE(fits.applied.output_full);
    EXPECT_EQ(fits.text, v142_project);
}

TEST(EditApplication, TheVerdictIsDecidedOnceForBothModes)
{
    struct row {
        std::size_t edits;
        bool changed;
        bool names_target;
        conversion_verdict rewrite;
        conversion_verdict check;
    };
    const row rows[] = {
        {2, true, false, conversion_verdict::ready, conversion_verdict::would_retarget},
        {2, true, true, conversion_verdict::ready, conversion_verdict::would_retarget},
        // Edits that change no byte: rewritten all the same, but a check finds it configured.
        {1, false, true, conversion_verdict::ready, conversion_verdict::already_configured},
        {0, false, true, conversion_verdict::already_configured, conversion_verdict::already_configured},
        {0, false, false, conversion_verdict::no_match, conversion_verdict::no_match},
    };
    for (const row& r : rows) {
        applied_edits applied;
        applied.edits = r.edits;
        applied.changed = r.changed;
        EXPECT_EQ(verdict_of(applied, r.names_target, conversion_mode::rewrite), r.rewrite) << r.edits << r.changed;
        EXPECT_EQ(verdict_of(applied, r.names_target, conversion_mode::check), r.check) << r.edits << r.changed;
    }
}

#include "core/file_rewrite.h"

#include <gtest/gtest.h>

#include <string>

#include "support/memory_file.h"
#include "support/enum_names.h"

namespace {

const std::string original = "<Project ToolsVersion=\"14.0\">\r\n  <PlatformToolset>v140</PlatformToolset>\r\n</Project>\r\n";

struct length_case {
    const char* name;
    std::string converted;
};

// Longer, as long as, and shorter than the original.
const length_case lengths[] = {
    {"longer", original + "  <!-- one attribute more -->"},
    {"same_length", std::string(original.size(), 'x')},
    {"shorter", original.substr(0, original.size() / 2)},
};

// Each step of a rewrite failing in turn, in the order the rewrite meets them.
const memory_file_fault faults[] = {
    {memory_file_op::extend, 1, false, 112},  // growing the file (a full disk)
    {memory_file_op::seek, 1, false, 6},      // back to the start after growing
    {memory_file_op::write, 1, false, 33},    // the write
    {memory_file_op::write, 1, true, 0},      // a short write
    {memory_file_op::set_end, 1, false, 5},   // setting the end
};

// The same, each followed by the restore's own write failing or falling short.
const memory_file_fault restore_faults[] = {
    {memory_file_op::write, 2, false, 19},
    {memory_file_op::write, 2, true, 0},
};

std::string describe(const memory_file_fault& fault)
{
    return std::string(name_of(fault.op)) + " call " + std::to_string(fault.on_call) +
           (fault.short_write ? " short" : " fails");
}

bool grows(const std::string& converted)
{
    return converted.size() > original.size();
}

class RewriteOfEveryLength : public testing::TestWithParam<length_case> {};

}  // namespace

TEST_P(RewriteOfEveryLength, SucceedsWithTheConvertedBytesAndLength)
{
    memory_file file(original);
    rewrite_outcome outcome = rewrite_in_place(file, original, GetParam().converted);
    EXPECT_EQ(outcome.failed, rewrite_step::none);
    EXPECT_EQ(file.bytes(), GetParam().converted);
    EXPECT_EQ(file.calls(memory_file_op::extend), grows(GetParam().converted) ? 1 : 0);
}

TEST_P(RewriteOfEveryLength, AFailureAtAnyStepLeavesTheOriginalBytesAndLength)
{
    const std::string& converted = GetParam().converted;
    for (const memory_file_fault& fault : faults) {
        SCOPED_TRACE(describe(fault));
        memory_file file(original, {fault});
        rewrite_outcome outcome = rewrite_in_place(file, original, converted);
        bool growth_step = fault.op == memory_file_op::extend || fault.op == memory_file_op::seek;
        if (growth_step && !grows(converted)) {
            // Only a longer text grows the file first: the fault is never met.
            EXPECT_EQ(outcome.failed, rewrite_step::none);
            EXPECT_EQ(file.bytes(), converted);
            continue;
        }
        EXPECT_NE(outcome.failed, rewrite_step::none);
        EXPECT_EQ(outcome.error, fault.short_write ? memory_file::disk_full : fault.error);
        EXPECT_EQ(outcome.restore_error, 0u);
        EXPECT_EQ(file.bytes(), original);
    }
}

TEST_P(RewriteOfEveryLength, AShortWriteIsNeverFollowedBySettingTheEndBehindIt)
{
    memory_file file(original, {{memory_file_op::write, 1, true, 0}});
    rewrite_outcome outcome = rewrite_in_place(file, original, GetParam().converted);
    EXPECT_EQ(outcome.failed, rewrite_step::write);
    // The one end that is set is the restored one, behind the whole original.
    EXPECT_EQ(file.calls(memory_file_op::set_end), 1);
    EXPECT_EQ(file.bytes(), original);
}

TEST_P(RewriteOfEveryLength, ARestoreThatFailsTooIsReportedAndLeavesTheEndAlone)
{
    const std::string& converted = GetParam().converted;
    const memory_file_fault first_failures[] = {
        {memory_file_op::write, 1, false, 33},
        {memory_file_op::set_end, 1, false, 5},
    };
    for (const memory_file_fault& first : first_failures) {
        for (const memory_file_fault& restore : restore_faults) {
            SCOPED_TRACE(describe(first) + ", then " + describe(restore));
            memory_file file(original, {first, restore});
            rewrite_outcome outcome = rewrite_in_place(file, original, converted);
            EXPECT_NE(outcome.failed, rewrite_step::none);
            EXPECT_EQ(outcome.error, first.error);
            EXPECT_EQ(outcome.restore_error, restore.short_write ? memory_file::disk_full : restore.error);
            // No end is set behind a restore that did not write the original whole.
            int ends_set = file.calls(memory_file_op::set_end) - (first.op == memory_file_op::set_end ? 1 : 0);
            EXPECT_EQ(ends_set, 0);
        }
    }
}

TEST_P(RewriteOfEveryLength, ARestoreWhoseSeekFailsIsReported)
{
    // A same-length or shorter text seeks only to restore; a longer one seeks
    // once after growing, then again to restore.
    int restore_seek = grows(GetParam().converted) ? 2 : 1;
    memory_file file(original, {{memory_file_op::write, 1, false, 33}, {memory_file_op::seek, restore_seek, false, 25}});
    rewrite_outcome outcome = rewrite_in_place(file, original, GetParam().converted);
    EXPECT_EQ(outcome.failed, rewrite_step::write);
    EXPECT_EQ(outcome.restore_error, 25u);
}

INSTANTIATE_TEST_SUITE_P(Lengths, RewriteOfEveryLength, testing::ValuesIn(lengths),
                         [](const testing::TestParamInfo<length_case>& info) { return std::string(info.param.name); });

TEST(ReadWhole, ReadsAFileThatComesInPiecesUpToItsEnd)
{
    std::string bytes(5000, 'a');
    memory_file file(bytes);
    std::string buffer(8192, '\0');
    std::size_t total = 0;
    EXPECT_EQ(read_whole(file, buffer.data(), buffer.size(), total), 0u);
    EXPECT_EQ(total, bytes.size());
    EXPECT_EQ(buffer.substr(0, total), bytes);
}

TEST(ReadWhole, AFileThatLeavesNoRoomForTheTerminatingZeroIsTooLarge)
{
    memory_file exact(std::string(99, 'a'));
    std::string buffer(100, '\0');
    std::size_t total = 0;
    EXPECT_EQ(read_whole(exact, buffer.data(), buffer.size(), total), 0u);
    EXPECT_EQ(total, 99u);

    memory_file grown(std::string(100, 'a'));
    EXPECT_EQ(read_whole(grown, buffer.data(), buffer.size(), total), memory_file::too_large);
}

TEST(ReadWhole, AFailedReadIsPassedOn)
{
    memory_file file("abc", {{memory_file_op::read, 1, false, 23}});
    char buffer[16];
    std::size_t total = 0;
    EXPECT_EQ(read_whole(file, buffer, sizeof buffer, total), 23u);
}

#include "core/conversion.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#endif

#include "support/memory_file.h"
#include "core/rewrite_hold.h"
#ifdef _WIN32
#include "platform/rewrite_stop_win32.h"
#endif
#include "support/enum_names.h"
#include "support/joined_thread.h"

namespace {

const std::string v140_project =
    "<Project DefaultTargets=\"Build\" ToolsVersion=\"14.0\">\r\n"
    "  <PlatformToolset>v140</PlatformToolset>\r\n</Project>\r\n";
const std::string v142_project =
    "<Project DefaultTargets=\"Build\" ToolsVersion=\"15.0\">\r\n"
    "  <PlatformToolset>v142</PlatformToolset>\r\n</Project>\r\n";

// Everything a conversion told, as one line each.
struct recorded_report final : conversion_report {
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

run convert(memory_file& file, vs_version target, conversion_mode mode)
{
    block_memory memory(file.bytes().size());
    run r;
    r.outcome = convert_open_file(file, memory.block, target, mode, r.report);
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

// The rewrite of a conversion is held while its file is half written. On
// Windows a stop of the rewrites (what the console control handler does
// before the process is ended) reports the rewrite in progress, waits, and
// returns only once the file is whole. On POSIX the terminating signals are
// blocked on the writing thread meanwhile.
TEST(ConversionHold, AStopDuringTheRewriteWaitsUntilTheFileIsWhole)
{
#ifdef _WIN32
    bool stop_saw_the_rewrite = false;
#endif
    bool signal_blocked = true;
    memory_file file(v140_project, first_write_held{[&] {
#ifdef _WIN32
        stop_saw_the_rewrite = !stop_rewrites(0);
#else
        sigset_t mask;
        signal_blocked = pthread_sigmask(SIG_SETMASK, nullptr, &mask) == 0 && sigismember(&mask, SIGTERM) == 1;
#endif
    }});
    block_memory memory(v140_project.size());
    recorded_report report;
    file_conversion outcome;
    joined_thread conversion(
        [&] { outcome = convert_open_file(file, memory.block, 3, conversion_mode::rewrite, report); },
        [&] {
            file.let_go();
#ifdef _WIN32
            resume_rewrites();  // on every path: later holds of this process must not wait
#endif
        });
    ASSERT_TRUE(file.write_began_within(10000));
    EXPECT_TRUE(signal_blocked) << "a signal could end the process half way through the rewrite";
#ifdef _WIN32
    EXPECT_TRUE(stop_saw_the_rewrite) << "the rewrite was not held";
    // A stop from another thread, as the system runs the control handler.
    struct seen_at_return {
        bool idle = false;
        std::string bytes;
        bool end_set = false;
    } seen;
    std::atomic<bool> returned{false};
    joined_thread stop(
        [&] {
            seen.idle = stop_rewrites(30000);
            seen.bytes = file.bytes();
            seen.end_set = file.end_set_after_write();
            returned.store(true);
        },
        [&] { file.let_go(); });
    // Long enough for a stop that does not wait to have returned meanwhile.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(returned.load()) << "the stop returned while the file was half written";
    file.let_go();
    stop.join();
    EXPECT_TRUE(seen.idle);
    EXPECT_EQ(seen.bytes, v142_project) << "the stop returned before the file was whole";
    EXPECT_TRUE(seen.end_set) << "the stop returned before the file's end was set";
#endif
    conversion.join();
    EXPECT_EQ(outcome.result, convert_done);
    EXPECT_EQ(file.bytes(), v142_project);
}

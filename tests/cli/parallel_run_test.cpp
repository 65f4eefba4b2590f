// projport-cli converting on several threads (--jobs N): the report, the
// error stream, the exit code and the files it leaves are those of a run on
// one thread, byte for byte; a signal while the projects are converted ends
// the run after the projects in hand, with the report of a run stopped
// there; a kill or a failed standard output leaves every
// project whole; and the projects held at once are few whatever the tree.

#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/cli_fixture.h"
#include "support/cli_report.h"
#include "support/file_bytes.h"
#include "support/output_pipe.h"
#include "support/posix_child.h"
#include "support/project_text.h"
#include "support/tree_files.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned run_limit_ms = 60000;

std::string small_project(const char* toolset, const char* tools_version)
{
    return project_text("DefaultTargets=\"Build\" ToolsVersion=\"" + std::string(tools_version) + "\"", toolset);
}

// Writes `bytes` at `relative` below `at`, its folders made first.
void put(const fs::path& at, const std::string& relative, const std::string& bytes)
{
    fs::path whole = at / relative;
    fs::create_directories(whole.parent_path());
    EXPECT_TRUE(write_file_bytes(whole.string(), bytes)) << whole;
}

// A .sln of a generator (no version lines, which a retarget puts in) listing `projects`.
std::string solution_of(const std::vector<std::string>& projects)
{
    std::string text = "Microsoft Visual Studio Solution File, Format Version 12.00\r\n";
    for (std::size_t i = 0; i < projects.size(); ++i)
        text += "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91BC942}\") = \"p" + std::to_string(i) + "\", \"" +
                projects[i] + "\", \"{" + std::to_string(i + 1) + "}\"\r\nEndProject\r\n";
    return text;
}

// Toolsets a retarget leaves as they are, listed after the verdict.
std::string listed_project(unsigned seed)
{
    return project_of("DefaultTargets=\"Build\" ToolsVersion=\"14.0\"",
                      {toolset_element("v140"), toolset_element("v141_xp"), conditional_toolset_element("v143"),
                       "<!-- " + std::to_string(seed) + " -->", toolset_element("v90")});
}

// ---- the same report on one thread and on several ----

// The failures a tree can hold beside projects: one that cannot be read,
// an empty one, a folder named like a project, a link left as it is, a
// project reached twice; the PATHs add one that is not there.
void failures_tree(const fs::path& at)
{
    put(at, "t/a/one.vcxproj", small_project("v140", "14.0"));
    put(at, "t/b/empty.vcxproj", "");
    put(at, "t/c/locked.vcxproj", small_project("v100", "4.0"));
    ASSERT_EQ(chmod((at / "t/c/locked.vcxproj").c_str(), 0), 0);
    put(at, "t/d/folder.vcxproj/inner.vcxproj", small_project("v141", "15.0"));
    put(at, "outside/o.vcxproj", small_project("v100", "4.0"));
    put(at, "t/e/sheet.props", "<Project />");
    std::error_code failed;
    fs::create_symlink("../../outside/o.vcxproj", at / "t/e/out.vcxproj", failed);
    ASSERT_FALSE(failed) << failed.message();
    fs::create_symlink("sheet.props", at / "t/e/sheet.vcxproj", failed);
    ASSERT_FALSE(failed) << failed.message();
    put(at, "t/f/two.vcxproj", small_project("v142", "15.0"));
    put(at, "t/g/listed.vcxproj", listed_project(1));
    put(at, "t/h/nothing.vcxproj", project_text("", "ClangCL"));
}

void listed_tree(const fs::path& at)
{
    for (unsigned i = 0; i < 12; ++i)
        put(at, "t/p" + std::to_string(i) + ".vcxproj", i % 3 == 0 ? small_project("v142", "15.0") : listed_project(i));
}

void solutions_tree(const fs::path& at)
{
    put(at, "s/app/App.vcxproj", small_project("v140", "14.0"));
    put(at, "s/lib/Lib.vcxproj", listed_project(2));
    put(at, "s/old/Old.vcxproj", small_project("v100", "4.0"));
    put(at, "s/new/New.vcxproj", small_project("v143", "Current"));
    put(at, "all.sln", solution_of({"s\\app\\App.vcxproj", "s\\lib\\Lib.vcxproj", "s\\gone\\Gone.vcxproj"}));
    put(at, "named.sln", "\xEF\xBB\xBF\r\nMicrosoft Visual Studio Solution File, Format Version 12.00\r\n"
                         "# Visual Studio Version 16\r\nVisualStudioVersion = 16.0.28701.123\r\n"
                         "MinimumVisualStudioVersion = 10.0.40219.1\r\n" +
                             solution_of({"s\\new\\New.vcxproj"}).substr(62));
    put(at, "other.slnx", "<Solution>\r\n  <Folder Name=\"/x/\">\r\n    <Project Path=\"s\\old\\Old.vcxproj\" />\r\n"
                          "    <Project Path=\"s\\app\\App.vcxproj\" />\r\n  </Folder>\r\n</Solution>\r\n");
    for (unsigned i = 0; i < 6; ++i)
        put(at, "more/m" + std::to_string(i) + ".vcxproj", small_project(i % 2 ? "v140" : "v142", i % 2 ? "14.0" : "15.0"));
}

// Sheets and a Directory.Build.props that set the toolset or the SDK.
void sdk_tree(const fs::path& at)
{
    const std::string head = "<Project DefaultTargets=\"Build\" ToolsVersion=\"4.0\">\n"
                             "  <PropertyGroup Label=\"Globals\">\n    <ProjectGuid>{1}</ProjectGuid>\n"
                             "  </PropertyGroup>\n";
    put(at, "r/Directory.Build.props",
        "<Project><PropertyGroup><WindowsTargetPlatformVersion>10.0.22621.0</WindowsTargetPlatformVersion>"
        "</PropertyGroup></Project>\n");
    put(at, "r/a/plain.vcxproj", head + "  <PropertyGroup Label=\"Configuration\">\n  </PropertyGroup>\n</Project>\n");
    put(at, "r/b/sheet.props", "<Project><PropertyGroup><PlatformToolset>v142</PlatformToolset></PropertyGroup></Project>\n");
    put(at, "r/b/imports.vcxproj", head + "  <Import Project=\"sheet.props\" />\n</Project>\n");
    put(at, "r/c/sdk.vcxproj",
        project_of("ToolsVersion=\"15.0\"", {sdk_element("10.0.17763.0"), toolset_element("v141")}));
    put(at, "r/d/old.vcxproj", small_project("v140", "14.0"));
    put(at, "r/e/listed.vcxproj", listed_project(3));
}

// Many small projects and a few of megabytes, the large ones early in the
// walk: on several threads the small ones behind them are done first.
void mixed_tree(const fs::path& at)
{
    const std::string small[] = {small_project("v140", "14.0"), small_project("v142", "15.0"), listed_project(4),
                                 small_project("v100", "4.0")};
    for (unsigned i = 0; i < 200; ++i) {
        char name[32];
        snprintf(name, sizeof name, "t/d%u/p%03u.vcxproj", i / 50, i);
        put(at, name, small[i % 4]);
    }
    static const std::string large[] = {padded_project(3u << 20, 1), padded_project(1u << 20, 2),
                                        padded_project(2u << 20, 3)};
    put(at, "t/d0/a.vcxproj", large[0]);
    put(at, "t/d0/p007a.vcxproj", large[1]);
    put(at, "t/d2/p150a.vcxproj", large[2]);
}

struct same_report_case {
    const char* name;
    void (*make)(const fs::path& at);
    std::vector<std::string> arguments;  // the version first, then options and PATHs, without --jobs
    int rounds;                          // runs of each number of jobs
};

void PrintTo(const same_report_case& c, std::ostream* out)
{
    *out << c.name;
}

const same_report_case same_report_cases[] = {
    {"Failures", failures_tree, {"2019", "gone.vcxproj", "t", "t/a/one.vcxproj", "missing-folder"}, 12},
    {"FailuresChecked", failures_tree, {"2019", "--check", "t", "gone.vcxproj"}, 6},
    {"FailuresAnnotatedForGithub", failures_tree, {"2019", "--annotate=github", "t", "gone.vcxproj"}, 6},
    {"FailuresAnnotatedForAzure", failures_tree, {"2010", "--check", "--annotate=azure", "gone.vcxproj", "t"}, 4},
    {"FailuresAsProjport", failures_tree, {"2010", "--as-projport", "t", "gone.vcxproj"}, 4},
    {"UnchangedToolsetsListed", listed_tree, {"2013", "t"}, 8},
    {"Solutions", solutions_tree, {"2019", "all.sln", "named.sln", "other.slnx", "more", "gone.sln"}, 12},
    {"SolutionsChecked", solutions_tree, {"2019", "--check", "--annotate=github", "other.slnx", "all.sln", "more"}, 4},
    {"SdkAndSheets", sdk_tree, {"2026", "--sdk", "10.0", "r"}, 8},
    {"SdkAndSheetsChecked", sdk_tree, {"2022", "--check", "--sdk=10.0.19041.0", "--annotate=github", "r"}, 4},
    {"ManySmallAndAFewLarge", mixed_tree, {"2019", "t"}, 3},
    {"ManySmallAndAFewLargeChecked", mixed_tree, {"2015", "--check", "--annotate=github", "t"}, 2},
};

// What a run printed and left.
struct run_outcome {
    int code = -1;  // end_code
    std::string out;
    std::string err;
    tree_picture files;
};

class ParallelRun : public cli_fixture {
protected:
    fs::path tree() const { return root / "w"; }

    // A fresh tree made by `make` at tree().
    void fresh_tree(void (*make)(const fs::path&))
    {
        std::error_code ignored;
        fs::remove_all(tree(), ignored);
        fs::create_directories(tree());
        make(tree());
    }

    posix_child_options options_in_tree()
    {
        posix_child_options o = cli_options("out.txt", "err.txt", run_limit_ms);
        o.folder = tree().string();
        return o;
    }

    // `arguments` with the version first, and `jobs` (the option and its
    // number, or nothing for the default) behind it.
    static std::vector<std::string> with_jobs(const std::vector<std::string>& arguments,
                                              const std::vector<std::string>& jobs)
    {
        std::vector<std::string> all{arguments.front()};
        all.insert(all.end(), jobs.begin(), jobs.end());
        all.insert(all.end(), arguments.begin() + 1, arguments.end());
        return all;
    }

    // Runs on a fresh tree and takes what it printed and left.
    run_outcome run_on(void (*make)(const fs::path&), const std::vector<std::string>& arguments)
    {
        fresh_tree(make);
        run_outcome r;
        r.code = end_code(run_cli(arguments, options_in_tree()));
        r.out = bytes_of("out.txt");
        r.err = bytes_of("err.txt");
        r.files = picture_of(tree());
        return r;
    }

    // Whether a file made unreadable can still be read here (by root with
    // the right to override file permissions).
    bool permissions_are_overridden()
    {
        write(root / "probe", "x");
        chmod((root / "probe").c_str(), 0);
        bool read = false;
        (void)read_file_bytes((root / "probe").string(), &read);
        fs::remove(root / "probe");
        return read;
    }
};

class SameReport : public ParallelRun, public testing::WithParamInterface<same_report_case> {};

TEST_P(SameReport, OnSeveralThreadsAsOnOne)
{
    const same_report_case& c = GetParam();
    if (c.make == failures_tree && permissions_are_overridden())
        GTEST_SKIP() << "files without read permission are read here (root): the unreadable project reads";
    run_outcome one = run_on(c.make, with_jobs(c.arguments, {"--jobs", "1"}));
    ASSERT_NE(one.code, -1) << one.out;
    // The tree is what the case means it to be: the run on one thread did
    // some work.
    ASSERT_FALSE(parts_of(one.out).entry_starts.empty()) << one.out;
    const std::vector<std::vector<std::string>> parallel{{"--jobs", "8"}, {"--jobs", "2"}, {}};
    for (int round = 0; round < c.rounds; ++round) {
        for (const std::vector<std::string>& jobs : parallel) {
            std::string named = jobs.empty() ? "the default" : jobs[0] + " " + jobs[1];
            SCOPED_TRACE(named + ", round " + std::to_string(round));
            run_outcome many = run_on(c.make, with_jobs(c.arguments, jobs));
            EXPECT_EQ(many.code, one.code);
            ASSERT_TRUE(many.out == one.out) << "the report differs; on one thread:\n"
                                             << one.out.substr(0, 4000) << "\non several:\n"
                                             << many.out.substr(0, 4000);
            EXPECT_EQ(many.err, one.err);
            EXPECT_EQ(first_difference(one.files, many.files), "");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ParallelRun, SameReport, testing::ValuesIn(same_report_cases),
                         [](const testing::TestParamInfo<same_report_case>& tested) {
                             return std::string(tested.param.name);
                         });

// ---- signals ----

// A tree of projects that all need a rewrite, and what a run on one thread
// prints and makes of them.
struct signal_tree {
    std::map<std::string, std::string> original;   // by path below the tree
    std::map<std::string, std::string> converted;
    std::string report;                             // of --jobs 1
};

class SignalledParallelRun : public ParallelRun {
protected:
    void make_signal_tree(const signal_tree& t)
    {
        std::error_code ignored;
        fs::remove_all(tree(), ignored);
        for (const auto& [name, bytes] : t.original)
            put(tree(), name, bytes);
    }

    // `projects` projects of `size` bytes, named so that the walk takes them
    // in the order of their numbers; with the report of one thread.
    signal_tree prepare(unsigned projects, std::size_t size)
    {
        signal_tree t;
        for (unsigned i = 0; i < projects; ++i) {
            char name[32];
            snprintf(name, sizeof name, "t/p%03u.vcxproj", i);
            // A few of them with toolsets listed, so that the counts differ.
            t.original[name] = i % 5 == 2 ? padded_project(size, i) + "<PlatformToolset>v90</PlatformToolset>\r\n"
                                          : padded_project(size, i);
        }
        make_signal_tree(t);
        posix_child_end whole = run_cli({"2019", "--jobs", "1", "t"}, options_in_tree());
        EXPECT_EQ(end_code(whole), 0);
        t.report = bytes_of("out.txt");
        for (const auto& [name, bytes] : t.original) {
            t.converted[name] = read_file_bytes((tree() / name).string());
            EXPECT_NE(t.converted[name], bytes) << name;
        }
        // The counting of a stopped report agrees with the program's own summary.
        EXPECT_EQ(parts_of(t.report).summary, summary_of_entries(parts_of(t.report).body, false)) << t.report;
        return t;
    }

    // How many projects are converted now.
    std::size_t converted_now(const signal_tree& t)
    {
        std::size_t count = 0;
        for (const auto& [name, converted] : t.converted)
            if (read_file_bytes((tree() / name).string()) == converted)
                ++count;
        return count;
    }

    // Every project whole and nothing else left in the tree; the projects
    // printed converted, the others untouched (when `printed` is given).
    void expect_whole(const signal_tree& t, const std::set<std::string>* printed)
    {
        for (const auto& [name, original] : t.original) {
            std::string now = read_file_bytes((tree() / name).string());
            bool converted = now == t.converted.at(name);
            EXPECT_TRUE(converted || now == original) << name << " is cut: " << now.size() << " bytes";
            if (printed) {
                EXPECT_EQ(converted, printed->count(name) == 1)
                    << name << (converted ? " is converted but not reported" : " is reported but not converted");
            }
        }
        for (const auto& [name, entry] : picture_of(tree())) {
            if (entry.what == tree_entry::kind::file) {
                EXPECT_TRUE(t.original.count(name)) << name << " is left in the tree";
            }
        }
    }

    // The run stopped by a held signal: its report is the first projects'
    // of one thread's with their summary, each of them converted and the
    // others untouched, and it took no project after the signal: no more
    // than those converted when it was sent, and those in hand.
    void expect_stopped_after_the_projects_in_hand(const signal_tree& t, const std::string& out,
                                                   std::size_t converted_at_signal, unsigned jobs)
    {
        EXPECT_EQ(stopped_report_problem(t.report, out, false), "") << out.substr(0, 2000);
        report_parts parts = parts_of(out);
        std::set<std::string> printed(parts.entry_paths.begin(), parts.entry_paths.end());
        EXPECT_LE(printed.size(), converted_at_signal + jobs)
            << converted_at_signal << " converted when the signal came, " << jobs << " threads";
        expect_whole(t, &printed);
    }
};

struct held_case {
    unsigned jobs;
    int signal_number;
};

void PrintTo(const held_case& c, std::ostream* out)
{
    *out << c.jobs << " jobs, signal " << c.signal_number;
}

class HeldSignal : public SignalledParallelRun, public testing::WithParamInterface<held_case> {};

// The report goes into a pipe not read until the signal is sent: the run's
// thread waits in writing the first project's report while the others are
// converted. The signal is sent while the process is stopped, so that the
// test knows how many projects were converted before it.
TEST_P(HeldSignal, EndsTheRunAfterTheProjectsInHandWithTheirSummary)
{
    const held_case& c = GetParam();
    signal_tree t = prepare(32, 1u << 20);
    make_signal_tree(t);
    output_pipe pipe;
    ASSERT_TRUE(pipe.made());
    posix_child_options o = options_in_tree();
    o.output_file.clear();
    o.output_fd = pipe.write_end;
    posix_child child = start_cli({"2019", "--jobs", std::to_string(c.jobs), "t"}, o);
    pipe.close_write_end();
    const std::string first = t.original.begin()->first;
    bool replaced = false;
    for (int tries = 0; tries < 30000 && !replaced; ++tries) {
        replaced = read_file_bytes((tree() / first).string()) == t.converted.at(first);
        if (!replaced)
            usleep(1000);
    }
    EXPECT_TRUE(replaced);
    ASSERT_TRUE(stop_child(child));
    std::size_t converted = converted_now(t);
    EXPECT_EQ(kill(child.pid, c.signal_number), 0);
    continue_child(child);
    std::string out = pipe.read_all();
    EXPECT_EQ(end_code(wait_cli(child, run_limit_ms)), 128 + c.signal_number) << out.substr(0, 2000);
    EXPECT_EQ(bytes_of("err.txt"), "");
    expect_stopped_after_the_projects_in_hand(t, out, converted, c.jobs);
    EXPECT_GE(parts_of(out).entry_starts.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(ParallelRun, HeldSignal,
                         testing::Values(held_case{2, SIGTERM}, held_case{4, SIGINT}, held_case{8, SIGUSR1},
                                         held_case{3, SIGHUP}),
                         [](const testing::TestParamInfo<held_case>& tested) {
                             return std::to_string(tested.param.jobs) + "Jobs" +
                                    std::to_string(tested.param.signal_number);
                         });

class SignalAtARandomMoment : public SignalledParallelRun, public testing::WithParamInterface<unsigned> {};

// Before the projects are converted a signal ends the process at once, with
// nothing printed and nothing changed; while they are, it is held; after the
// summary the run is done.
TEST_P(SignalAtARandomMoment, EndsTheRunWholeAndReportedAsFarAsItWent)
{
    const unsigned jobs = GetParam();
    signal_tree t = prepare(16, 1u << 20);
    make_signal_tree(t);
    std::vector<std::string> arguments{"2019", "--jobs", std::to_string(jobs), "t"};
    posix_child_end timed = run_cli(arguments, options_in_tree());
    ASSERT_EQ(end_code(timed), 0);
    EXPECT_EQ(bytes_of("out.txt"), t.report);
    long long span_us = std::max(1000LL, timed.elapsed_ms * 1000);
    unsigned seed = static_cast<unsigned>(std::random_device{}());
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> moment(0, span_us);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", a whole run " + std::to_string(span_us) + " us");
    const std::vector<int> signals = terminating_signals(false);
    std::map<std::string, int> seen;
    // Six rounds, and more until one signal came while the projects were
    // converted: a short run under a loaded machine may miss that span.
    for (unsigned round = 0; round < 6 || (seen["held"] == 0 && round < 40); ++round) {
        int sig = signals[(round + jobs * 5) % signals.size()];
        long long delay = moment(random);
        SCOPED_TRACE("signal " + std::to_string(sig) + " after " + std::to_string(delay) + " us");
        make_signal_tree(t);
        posix_child child = start_cli(arguments, options_in_tree());
        ASSERT_TRUE(child.started());
        std::this_thread::sleep_for(std::chrono::microseconds(delay));
        bool stopped = stop_child(child);
        std::size_t converted = converted_now(t);
        kill(child.pid, sig);
        continue_child(child);
        posix_child_end end = wait_cli(child, run_limit_ms);
        ASSERT_TRUE(end.finished);
        std::string out = bytes_of("out.txt");
        if (end.signal == sig) {
            // Ended at once: before the first project, or after the summary was begun.
            bool before = out.empty() && converted_now(t) == 0;
            bool after = out.compare(0, parts_of(t.report).body.size(), parts_of(t.report).body) == 0 &&
                         converted_now(t) == t.original.size();
            EXPECT_TRUE(before || after) << "ended by the signal half way:\n" << out.substr(0, 2000);
            expect_whole(t, nullptr);
            ++seen[before ? "ended before" : "ended after"];
        } else if (end.exit_code == 0) {
            EXPECT_EQ(out, t.report);
            ++seen["done"];
        } else {
            ASSERT_EQ(end.exit_code, 128 + sig) << "exit " << end.exit_code << ", signal " << end.signal;
            EXPECT_TRUE(stopped);
            expect_stopped_after_the_projects_in_hand(t, out, converted, jobs);
            ++seen["held"];
        }
        EXPECT_EQ(bytes_of("err.txt"), "");
    }
    EXPECT_GE(seen["held"], 1) << "no signal came while the projects were converted";
}

INSTANTIATE_TEST_SUITE_P(ParallelRun, SignalAtARandomMoment, testing::Values(2u, 4u, 8u),
                         [](const testing::TestParamInfo<unsigned>& tested) {
                             return std::to_string(tested.param) + "Jobs";
                         });

class KilledParallelRun : public SignalledParallelRun, public testing::WithParamInterface<unsigned> {};

TEST_P(KilledParallelRun, EveryProjectIsWholeAndALaterRunClearsWhatWasLeft)
{
    const unsigned jobs = GetParam();
    signal_tree t = prepare(12, 2u << 20);
    make_signal_tree(t);
    std::vector<std::string> arguments{"2019", "--jobs", std::to_string(jobs), "t"};
    posix_child_end timed = run_cli(arguments, options_in_tree());
    ASSERT_EQ(end_code(timed), 0);
    long long span_us = std::max(1000LL, timed.elapsed_ms * 1000);
    unsigned seed = static_cast<unsigned>(std::random_device{}());
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> moment(0, span_us);
    SCOPED_TRACE("seed " + std::to_string(seed));
    for (int round = 0; round < 4; ++round) {
        make_signal_tree(t);
        posix_child child = start_cli(arguments, options_in_tree());
        ASSERT_TRUE(child.started());
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        kill(child.pid, SIGKILL);
        ASSERT_TRUE(wait_cli(child, run_limit_ms).finished);
        std::set<std::string> left;
        for (const auto& [name, original] : t.original) {
            std::string now = read_file_bytes((tree() / name).string());
            EXPECT_TRUE(now == original || now == t.converted.at(name)) << name << " is cut: " << now.size();
        }
        for (const auto& [name, entry] : picture_of(tree())) {
            if (entry.what == tree_entry::kind::file && !t.original.count(name)) {
                EXPECT_TRUE(is_new_file_name(name)) << name;
                left.insert(name);
            }
        }
        // A later run finishes the work; what the killed one left is young and
        // may be a live run's: it goes once it is old.
        posix_child_end after = run_cli(arguments, options_in_tree());
        EXPECT_EQ(end_code(after), 0) << bytes_of("out.txt");
        EXPECT_EQ(converted_now(t), t.original.size());
        for (const std::string& name : left) {
            timespec hour_ago[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, (tree() / name).c_str(), hour_ago, AT_SYMLINK_NOFOLLOW), 0);
        }
        if (!left.empty()) {
            for (const auto& [name, bytes] : t.original)  // the originals again, the old new files kept
                put(tree(), name, bytes);
            for (const std::string& name : left)
                EXPECT_TRUE(fs::exists(tree() / name)) << name;
            after = run_cli(arguments, options_in_tree());
            EXPECT_EQ(end_code(after), 0) << bytes_of("out.txt");
        }
        for (const auto& [name, entry] : picture_of(tree()))
            EXPECT_FALSE(is_new_file_name(name)) << name << " left after a later run";
    }
}

INSTANTIATE_TEST_SUITE_P(ParallelRun, KilledParallelRun, testing::Values(3u, 8u),
                         [](const testing::TestParamInfo<unsigned>& tested) {
                             return std::to_string(tested.param) + "Jobs";
                         });

// ---- without an output ----

// Standard output fails at the first report: the run takes no project more,
// those in hand are finished, and every project is whole.
TEST_F(ParallelRun, AFailedStandardOutputStopsTheRunAfterTheProjectsInHand)
{
    if (access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full on this system";
    std::map<std::string, std::string> original, converted;
    for (unsigned i = 0; i < 48; ++i) {
        char name[32];
        snprintf(name, sizeof name, "t/p%03u.vcxproj", i);
        original[name] = padded_project(512u << 10, i);
    }
    auto make = [&] {
        std::error_code ignored;
        fs::remove_all(tree(), ignored);
        for (const auto& [name, bytes] : original)
            put(tree(), name, bytes);
    };
    make();
    ASSERT_EQ(end_code(run_cli({"2019", "--jobs", "1", "t"}, options_in_tree())), 0);
    for (const auto& [name, bytes] : original)
        converted[name] = read_file_bytes((tree() / name).string());
    for (unsigned jobs : {2u, 4u, 8u}) {
        SCOPED_TRACE(std::to_string(jobs) + " jobs");
        make();
        posix_child_options o = options_in_tree();
        o.output_file = "/dev/full";
        EXPECT_EQ(end_code(run_cli({"2019", "--jobs", std::to_string(jobs), "t"}, o)), 2);
        EXPECT_EQ(bytes_of("err.txt"), "projport-cli: write(standard output) failed: No space left on device\n");
        std::size_t done = 0;
        for (const auto& [name, bytes] : original) {
            std::string now = read_file_bytes((tree() / name).string());
            EXPECT_TRUE(now == bytes || now == converted[name]) << name << " is cut: " << now.size();
            if (now == converted[name])
                ++done;
        }
        EXPECT_GE(done, 1u);
        EXPECT_LT(done, original.size()) << "the run went on to the last project";
        for (const auto& [name, entry] : picture_of(tree()))
            EXPECT_FALSE(is_new_file_name(name)) << name;
    }
}

// ---- memory ----

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool under_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool under_sanitizer = true;
#else
constexpr bool under_sanitizer = false;
#endif
#else
constexpr bool under_sanitizer = false;
#endif

// A tree far larger than the address space the run may have is converted
// whole on two threads: the projects held at once are a few, not all. The
// limit leaves room for the program and its threads (128 MiB, where a run on
// two threads needs some 70) and for eight projects' bytes (two projects in
// hand each need their bytes read and converted: four); the tree's bytes
// alone are half as much again as the limit.
TEST_F(ParallelRun, AFewProjectsAreHeldAtOnceWhateverTheTree)
{
    if (under_sanitizer)
        GTEST_SKIP() << "a sanitizer reserves more address space than any limit would leave";
    constexpr std::size_t projects = 24;
    constexpr std::size_t size = 16u << 20;
    constexpr long long room = (128ll << 20) + 8 * static_cast<long long>(size);
    static_assert(static_cast<long long>(projects * size) >= room * 3 / 2, "the limit would hold every project");
    posix_child_options limited = options_in_tree();
    limited.memory_limit = room;

    // The limit holds: a project of the tree's size cannot be read under it.
    fs::create_directories(tree());
    {
        FILE* sparse = fopen((tree() / "all.vcxproj").c_str(), "wb");
        ASSERT_NE(sparse, nullptr);
        bool made = ftruncate(fileno(sparse), static_cast<off_t>(projects * size)) == 0;
        fclose(sparse);
        ASSERT_TRUE(made);
    }
    EXPECT_EQ(end_code(run_cli({"2019", "--jobs", "2", "all.vcxproj"}, limited)), 2);
    std::string no_memory = std::string("read(all.vcxproj)\n   ^ERROR: 12, ") + strerror(ENOMEM) + "\n";
    ASSERT_NE(bytes_of("out.txt").find(no_memory), std::string::npos)
        << "the address space limit does not bind here:\n" << bytes_of("out.txt");
    fs::remove(tree() / "all.vcxproj");

    const std::string original = padded_project(size, 5);
    for (std::size_t i = 0; i < projects; ++i)
        put(tree(), "t/p" + std::to_string(100 + i) + ".vcxproj", original);
    posix_child_end end = run_cli({"2019", "--jobs", "2", "t"}, limited);
    std::string out = bytes_of("out.txt");
    ASSERT_EQ(end.signal, 0);
    EXPECT_EQ(end.exit_code, 0) << out.substr(0, 2000) << "\n...\n" << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
    EXPECT_NE(out.find(std::to_string(projects) + " projects: " + std::to_string(projects) + " retargeted, 0 already configured, 0 without a match, 0 failed;"),
              std::string::npos)
        << out.substr(out.size() > 300 ? out.size() - 300 : 0);
    const std::string converted = read_file_bytes((tree() / "t/p100.vcxproj").string());
    EXPECT_NE(converted, original);
    for (std::size_t i = 0; i < projects; ++i)
        EXPECT_TRUE(read_file_bytes((tree() / ("t/p" + std::to_string(100 + i) + ".vcxproj")).string()) == converted)
            << i;
}

}  // namespace

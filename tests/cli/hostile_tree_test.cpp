// projport-cli against what a hostile tree, another run or a signal can do:
// every project is left whole (its original bytes or its converted bytes),
// files that are not projects are refused without waiting, and solutions it
// cannot read fail the run. Each run of the program has a time limit of its
// own, so that a hang fails its test instead of blocking the suite.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/cli_fixture.h"
#include "support/file_bytes.h"
#include "support/posix_child.h"
#include "support/project_text.h"
#include "support/temp_dir.h"
#include "support/tree_files.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned run_limit_ms = 60000;

std::string small_project(const char* toolset, const char* tools_version)
{
    return project_text("DefaultTargets=\"Build\" ToolsVersion=\"" + std::string(tools_version) + "\"", toolset);
}

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++count;
    return count;
}

// Every name in `folder` and below, relative to it.
std::set<std::string> names_below(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).string());
    return names;
}

class HostileTree : public cli_fixture {
protected:
    // A child ended before it opened its output files must not leave the
    // last run's output for this one's.
    posix_child_options options(unsigned limit_ms = run_limit_ms) { return cli_options("out.txt", "err.txt", limit_ms); }

    std::string output() { return bytes_of("out.txt"); }

    posix_child_end run(const std::vector<std::string>& arguments, unsigned limit_ms = run_limit_ms)
    {
        return run_cli(arguments, options(limit_ms));
    }
};

// ---- signals and kills ----

// The tree the signal tests run over, its originals and converted texts by
// name, and the folder outside it with a second link to one project (which
// is then rewritten in place).
struct signal_tree {
    std::map<std::string, std::string> original;
    std::map<std::string, std::string> converted;
    std::set<std::string> in_place;  // projects with a second hard link
};

// On one thread (--jobs 1), and on several, where a signal while the
// projects are converted lets the projects in hand finish and be reported.
class SignalledRun : public HostileTree, public testing::WithParamInterface<unsigned> {
protected:
    static constexpr unsigned projects = 8;

    // The run's command line: to 2019, on GetParam() threads.
    std::vector<std::string> arguments() { return {"2019", "--jobs", std::to_string(GetParam()), "tree"}; }
    static constexpr std::size_t project_size = 3u << 20;

    fs::path tree() { return root / "tree"; }

    // Makes the tree at `tree()` from the originals (and the hard link).
    void make_tree(const signal_tree& t)
    {
        std::error_code ignored;
        fs::remove_all(tree(), ignored);
        fs::remove_all(root / "outside", ignored);
        for (const auto& [name, bytes] : t.original)
            write(tree() / name, bytes);
        fs::create_directories(root / "outside");
        for (const std::string& name : t.in_place) {
            std::error_code failed;
            fs::create_hard_link(tree() / name, root / "outside" / fs::path(name).filename(), failed);
            ASSERT_FALSE(failed) << failed.message();
        }
    }

    // The originals, and what a whole run makes of them.
    signal_tree prepare()
    {
        signal_tree t;
        for (unsigned i = 0; i < projects; ++i) {
            std::string name = "p" + std::to_string(i) + "/project" + std::to_string(i) + ".vcxproj";
            t.original[name] = padded_project(project_size, i);
        }
        t.in_place.insert("p3/project3.vcxproj");
        make_tree(t);
        posix_child_end whole = run(arguments());
        EXPECT_TRUE(whole.finished);
        EXPECT_EQ(whole.exit_code, 0) << output();
        for (const auto& entry : t.original)
            t.converted[entry.first] = read_file_bytes((tree() / entry.first).string());
        for (const auto& entry : t.original)
            EXPECT_NE(t.converted[entry.first], entry.second);
        return t;
    }

    // Starts a run over a fresh tree, sends `sig` after `delay`, and checks
    // what it left: every project whole; for a signal the program can hold,
    // a report printed for every project converted and no new file left.
    void signal_one_run(const signal_tree& t, int sig, std::chrono::microseconds delay)
    {
        make_tree(t);
        posix_child child = start_cli(arguments(), options());
        ASSERT_TRUE(child.started());
        std::this_thread::sleep_for(delay);
        kill(child.pid, sig);
        posix_child_end end = wait_cli(child, run_limit_ms);
        ASSERT_TRUE(end.finished) << "signal " << sig;
        std::string out = output();
        std::size_t converted = 0;
        for (const auto& [name, original] : t.original) {
            std::string now = read_file_bytes((tree() / name).string());
            bool whole = now == original || now == t.converted.at(name);
            if (sig == SIGKILL && t.in_place.count(name))
                continue;  // rewritten in place: only a held signal keeps it whole
            EXPECT_TRUE(whole) << name << " is cut by signal " << sig << " after " << delay.count()
                               << " us: " << now.size() << " bytes";
            converted += now == t.converted.at(name) ? 1 : 0;
        }
        for (const std::string& name : names_below(tree())) {
            if (fs::is_regular_file(tree() / name) && !t.original.count(name))
                EXPECT_TRUE(sig == SIGKILL && is_new_file_name(name)) << name << " left after signal " << sig;
        }
        if (sig == SIGKILL)
            return;
        // On several threads the run's hold spans the conversion of every
        // project: a signal that ends the process at once came before the
        // first or after the last.
        if (GetParam() > 1 && end.signal == sig) {
            EXPECT_TRUE(converted == 0 || converted == t.original.size())
                << "signal " << sig << " ended the run at once after " << converted << " projects";
        }
        // Outside a hold the signal ends the process between two projects;
        // during one it ends the run after that project, with the summary.
        EXPECT_TRUE(end.signal == sig || end.exit_code == 128 + sig || end.exit_code == 0)
            << "signal " << sig << ": exit " << end.exit_code << ", signal " << end.signal;
        if (end.exit_code == 128 + sig)
            EXPECT_TRUE(out.find(" project: ") != std::string::npos || out.find(" projects: ") != std::string::npos)
                << out;
        EXPECT_EQ(count_of(out, "Project is ready for Visual Studio 2019"), converted)
            << "signal " << sig << " after " << delay.count() << " us\n" << out;
    }
};


TEST_P(SignalledRun, EverySignalAtARandomMomentLeavesEveryProjectWhole)
{
    signal_tree t = prepare();
    make_tree(t);
    posix_child_end timed = run(arguments());
    ASSERT_TRUE(timed.finished);
    long long span_us = std::max(1000LL, timed.elapsed_ms * 1000);
    unsigned seed = static_cast<unsigned>(std::random_device{}());
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> moment(0, span_us);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", a whole run " + std::to_string(span_us) + " us");
    for (int sig : terminating_signals(false))
        signal_one_run(t, sig, std::chrono::microseconds(moment(random)));
}

TEST_P(SignalledRun, KilledAtRandomMomentsEveryProjectIsWholeAndALaterRunClearsWhatWasLeft)
{
    signal_tree t = prepare();
    make_tree(t);
    posix_child_end timed = run(arguments());
    ASSERT_TRUE(timed.finished);
    long long span_us = std::max(1000LL, timed.elapsed_ms * 1000);
    unsigned seed = static_cast<unsigned>(std::random_device{}());
    std::mt19937 random(seed);
    std::uniform_int_distribution<long long> moment(0, span_us);
    SCOPED_TRACE("seed " + std::to_string(seed));
    for (int round = 0; round < 8; ++round) {
        signal_one_run(t, SIGKILL, std::chrono::microseconds(moment(random)));
        // A later run finishes the work and removes what the killed one left.
        posix_child_end after = run(arguments());
        ASSERT_TRUE(after.finished);
        EXPECT_EQ(after.exit_code, 0) << output();
        // A project rewritten in place (it has a second hard link) can be cut
        // by SIGKILL, and a cut text is no longer the original; the others are
        // compared whole, without GoogleTest's line diff of megabytes.
        for (const auto& [name, converted] : t.converted) {
            if (t.in_place.count(name))
                continue;
            EXPECT_TRUE(read_file_bytes((tree() / name).string()) == converted) << name;
        }
        // What the killed run left is young, and may be a live run's: it is
        // kept until it is a few minutes old, and removed by the next run then.
        bool aged = false;
        for (const std::string& name : names_below(tree())) {
            if (!is_new_file_name(name))
                continue;
            timespec hour_ago[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
            ASSERT_EQ(utimensat(AT_FDCWD, (tree() / name).c_str(), hour_ago, AT_SYMLINK_NOFOLLOW), 0);
            aged = true;
        }
        if (aged) {
            for (const auto& entry : t.original)
                write(tree() / entry.first, entry.second);
            after = run(arguments());
            ASSERT_TRUE(after.finished);
            EXPECT_EQ(after.exit_code, 0) << output();
        }
        for (const std::string& name : names_below(tree()))
            EXPECT_FALSE(is_new_file_name(name)) << name << " left after a later run";
    }
}

INSTANTIATE_TEST_SUITE_P(HostileTree, SignalledRun, testing::Values(1u, 4u),
                         [](const testing::TestParamInfo<unsigned>& tested) {
                             return std::to_string(tested.param) + "Jobs";
                         });

// ---- two runs at once ----

class TwoRuns : public HostileTree, public testing::WithParamInterface<unsigned> {};

TEST_P(TwoRuns, AtOnceLeaveEveryProjectWhole)
{
    const std::string jobs = std::to_string(GetParam());
    std::string original = small_project("v141", "15.0");
    std::string to_2010 = small_project("v100", "4.0");
    std::string to_2015 = small_project("v140", "14.0");
    constexpr unsigned copies = 300;
    for (int round = 0; round < 6; ++round) {
        std::error_code ignored;
        fs::remove_all(root / "t", ignored);
        for (unsigned i = 0; i < copies; ++i)
            write(root / "t" / ("d" + std::to_string(i)) / "p.vcxproj", original);
        posix_child_options first = options(), second = options();
        first.output_file = (root / "first.txt").string();
        second.output_file = (root / "second.txt").string();
        first.error_file = second.error_file = "";
        posix_child a = start_cli({"2010", "--jobs", jobs, "t"}, first);
        posix_child b = start_cli({"2015", "--jobs", jobs, "t"}, second);
        posix_child_end end_a = wait_cli(a, run_limit_ms);
        posix_child_end end_b = wait_cli(b, run_limit_ms);
        ASSERT_TRUE(end_a.finished && end_b.finished);
        for (unsigned i = 0; i < copies; ++i) {
            std::string now = read_file_bytes((root / "t" / ("d" + std::to_string(i)) / "p.vcxproj").string());
            EXPECT_TRUE(now == to_2010 || now == to_2015) << "round " << round << ", copy " << i << ":\n" << now;
        }
        for (const std::string& name : names_below(root / "t"))
            EXPECT_FALSE(is_new_file_name(name)) << name;
        // A run fails only the projects the other changed under it.
        for (const auto& [end, file] : {std::pair{end_a, first.output_file}, std::pair{end_b, second.output_file}}) {
            std::string out = read_file_bytes(file);
            // A walk beside the other run's renames may miss a project; it
            // never takes one twice.
            EXPECT_LE(count_of(out, "Configuring project for"), copies);
            std::size_t failures = count_of(out, "^ERROR");
            EXPECT_EQ(failures, count_of(out, "changed while being converted")) << out;
            EXPECT_EQ(end.exit_code, failures == 0 ? 0 : 2);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(HostileTree, TwoRuns, testing::Values(1u, 4u),
                         [](const testing::TestParamInfo<unsigned>& tested) {
                             return std::to_string(tested.param) + "Jobs";
                         });

// ---- files that are not projects ----

TEST_F(HostileTree, FifosAndLinksToDevicesInATreeAreRefusedWithoutWaiting)
{
    write(root / "t/a.vcxproj", small_project("v100", "4.0"));
    ASSERT_EQ(mkfifo((root / "t/fifo.vcxproj").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", root / "t/zero.vcxproj");
    fs::create_symlink("/dev/stdin", root / "t/stdin.vcxproj");
    fs::create_directories(root / "t/folder.vcxproj");
    write(root / "t/folder.vcxproj/inner.vcxproj", small_project("v100", "4.0"));
    for (const char* mode : {"--check", ""}) {
        std::vector<std::string> arguments{"2019", "t"};
        if (*mode)
            arguments.push_back(mode);
        posix_child_end end = run(arguments, 20000);
        ASSERT_TRUE(end.finished) << "a run " << mode << " hangs on a FIFO or a device";
        std::string out = output();
        EXPECT_EQ(end.exit_code, 2) << out;
        // The FIFO is refused by the open; the links to devices lead out of
        // the tree and are not even opened.
        EXPECT_EQ(count_of(out, "not a regular file"), 1u) << out;
        EXPECT_EQ(count_of(out, "link leads outside the folder"), 2u) << out;
        EXPECT_NE(out.find("[t/folder.vcxproj/inner.vcxproj]"), std::string::npos) << out;
        EXPECT_NE(out.find("3 projects: 2 "), std::string::npos) << out;
    }
}

TEST_F(HostileTree, AFifoSolutionIsRefusedWithoutWaiting)
{
    ASSERT_EQ(mkfifo((root / "s.sln").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((root / "s.slnx").c_str(), 0600), 0);
    posix_child_end end = run({"2019", "--check", "s.sln", "s.slnx"}, 20000);
    ASSERT_TRUE(end.finished) << "a run hangs on a FIFO solution";
    EXPECT_EQ(end.exit_code, 2);
    EXPECT_EQ(count_of(output(), "not a regular file"), 2u) << output();
}

// ---- solutions ----

TEST_F(HostileTree, ASolutionEntryWithAZeroByteOpensNothing)
{
    std::string props = "<Project><PropertyGroup><PlatformToolset>v100</PlatformToolset></PropertyGroup></Project>";
    write(root / "Directory.Build.props", props);
    write(root / "b.vcxproj", small_project("v100", "4.0"));
    std::string entry = std::string("Directory.Build.props") + '\0' + ".vcxproj";
    write(root / "s.sln", "Microsoft Visual Studio Solution File, Format Version 12.00\r\n"
                          "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"a\", \"" + entry + "\", \"{1}\"\r\n"
                          "EndProject\r\n"
                          "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"b\", \"b.vcxproj\", \"{2}\"\r\n"
                          "EndProject\r\n");
    write(root / "s.slnx", "<Solution><Project Path=\"" + entry + "\"/></Solution>");
    posix_child_end end = run({"2019", "s.sln", "s.slnx"});
    ASSERT_TRUE(end.finished);
    std::string out = output();
    EXPECT_EQ(end.exit_code, 2) << out;
    EXPECT_EQ(read_file_bytes((root / "Directory.Build.props").string()), props);
    EXPECT_EQ(count_of(out, "control character"), 2u) << out;
    EXPECT_NE(out.find("Directory.Build.props\\x00.vcxproj"), std::string::npos) << out;
    EXPECT_NE(out.find("[b.vcxproj]"), std::string::npos) << out;
}

TEST_F(HostileTree, AUtf16BigEndianSolutionIsRead)
{
    write(root / "a/a.vcxproj", small_project("v100", "4.0"));
    std::string text = "Microsoft Visual Studio Solution File, Format Version 12.00\r\n"
                       "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"a\", \"a\\a.vcxproj\", \"{1}\"\r\n"
                       "EndProject\r\n";
    std::string big = "\xFE\xFF";
    for (char c : text) {
        big += '\0';
        big += c;
    }
    write(root / "s.sln", big);
    posix_child_end end = run({"2019", "--check", "s.sln"});
    ASSERT_TRUE(end.finished);
    EXPECT_EQ(end.exit_code, 1) << output();
    EXPECT_NE(output().find("[a/a.vcxproj]"), std::string::npos) << output();
}

TEST_F(HostileTree, ARunWhoseOnlyFailureIsItsSolutionFails)
{
    std::string no_header = "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"a\", \"a.vcxproj\", \"{1}\"\r\n";
    std::string little = "Microsoft Visual Studio Solution File, Format Version 12.00\r\n";
    std::string without_bom;
    for (char c : little) {
        without_bom += c;
        without_bom += '\0';
    }
    const std::vector<std::pair<std::string, std::string>> solutions{
        {"nothing.sln", no_header},
        {"utf16-without-bom.sln", without_bom},
        {"empty.slnx", ""},
        {"cut.slnx", "<Solution>\r\n  <Project Path=\"a.vcxproj\" />\r\n"},
    };
    for (const auto& [name, bytes] : solutions) {
        write(root / name, bytes);
        for (bool check : {true, false}) {
            posix_child_end end = check ? run({"2019", "--check", name}) : run({"2019", name});
            ASSERT_TRUE(end.finished);
            EXPECT_EQ(end.exit_code, 2) << name << (check ? " --check" : "") << "\n" << output();
            EXPECT_NE(output().find("read(" + name + ")\n   ^ERROR: "), std::string::npos) << output();
            EXPECT_NE(output().find("not a solution"), std::string::npos) << output();
        }
    }
}

// ---- hostile sizes ----

TEST_F(HostileTree, EightMegabytesOfAmpersandsInASolutionTakeLinearTime)
{
    std::string path(8u << 20, '&');
    write(root / "s.slnx", "<Solution><Project Path=\"" + path + "x.vcxproj\"/></Solution>");
    // Linear, this takes well under a second; a scan from every '&' to the
    // next ';' would take days.
    posix_child_end end = run({"2019", "--check", "s.slnx"}, 30000);
    EXPECT_TRUE(end.finished) << "the .slnx reader is not linear in its input";
    EXPECT_EQ(end.exit_code, 2);
}

TEST_F(HostileTree, AProjectThatMustGrowPastTheFileSizeLimitFailsAndTheRunGoesOn)
{
    std::string big = padded_project(200000, 1);
    write(root / "a.vcxproj", big);
    write(root / "b.vcxproj", small_project("v100", "4.0"));
    posix_child_options o = options();
    o.file_size_limit = static_cast<long long>(big.size());
    posix_child_end end = run_cli({"2019", "a.vcxproj", "b.vcxproj"}, o);
    ASSERT_TRUE(end.finished);
    std::string out = output();
    EXPECT_EQ(end.signal, 0) << "ended by signal " << end.signal;
    EXPECT_EQ(end.exit_code, 2) << out;
    EXPECT_NE(out.find("(a.vcxproj)\n   ^ERROR: 27, File too large\n"), std::string::npos) << out;
    EXPECT_TRUE(read_file_bytes((root / "a.vcxproj").string()) == big);
    EXPECT_EQ(read_file_bytes((root / "b.vcxproj").string()), small_project("v142", "15.0"));
    EXPECT_NE(out.find("2 projects: 1 retargeted, 0 already configured, 0 without a match, 1 failed"),
              std::string::npos)
        << out;
    for (const std::string& name : names_below(root))
        EXPECT_FALSE(is_new_file_name(name)) << name;
}

TEST_F(HostileTree, AReadOnlyProjectIsNotRewrittenWhoeverRuns)
{
    std::string text = small_project("v100", "4.0");
    write(root / "ro.vcxproj", text);
    ASSERT_EQ(chmod((root / "ro.vcxproj").c_str(), 0444), 0);
    posix_child_end end = run({"2019", "ro.vcxproj"});
    ASSERT_TRUE(end.finished);
    std::string out = output();
    EXPECT_EQ(end.exit_code, 2) << out;
    EXPECT_NE(out.find("open(ro.vcxproj)\n   ^ERROR: 13, Permission denied\n"), std::string::npos) << out;
    EXPECT_EQ(read_file_bytes((root / "ro.vcxproj").string()), text);
    // A check only reads it.
    end = run({"2019", "--check", "ro.vcxproj"});
    EXPECT_EQ(end.exit_code, 1) << output();
}

}  // namespace

namespace {

// ---- output that a file controls ----

// Whether `text` is UTF-8 with no control character but the line feed and
// the tab, C1 controls included: what a terminal shows and never obeys.
std::string first_unprintable(const std::string& text)
{
    for (std::size_t at = 0; at < text.size();) {
        auto byte = [&](std::size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
        unsigned lead = byte(at);
        std::size_t length = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
                             : (lead & 0xF8) == 0xF0                  ? 4
                                                                      : 0;
        bool c1 = lead == 0xC2 && byte(at + 1) < 0xA0;
        bool control = lead < 0x20 ? lead != '\n' && lead != '\t' : lead == 0x7F || c1;
        bool whole = length != 0 && lead != 0xC0 && lead != 0xC1 && lead < 0xF5;
        for (std::size_t i = 1; whole && i < length; ++i)
            whole = (byte(at + i) & 0xC0) == 0x80;
        if (control || !whole)
            return "byte " + std::to_string(lead) + " at " + std::to_string(at);
        at += length;
    }
    return "";
}

// The lines of `text` that a CI runner would take for a command: every line
// that begins with "::" or "##" but the program's own annotations, which
// name a file below `root`.
std::vector<std::string> forged_commands(const std::string& text, const std::string& root)
{
    std::vector<std::string> forged;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? std::string::npos : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        // GitHub's runner reads a command at the start of a line; Azure's
        // agent takes "##vso[" wherever it stands.
        if (line.rfind("::", 0) != 0 && line.rfind("##", 0) != 0 && line.find("##vso[") == std::string::npos)
            continue;
        bool own = line.rfind("::error file=" + root, 0) == 0 || line.rfind("::warning file=" + root, 0) == 0;
        if (!own)
            forged.push_back(line);
    }
    return forged;
}

// A hostile name or text, where it enters the report, and how it must show.
struct injection_case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;  // path below the root, bytes
    std::vector<std::string> arguments;                       // after the version
    std::string shown;                                        // in the report (or in the error stream)
};

void PrintTo(const injection_case& c, std::ostream* out)
{
    *out << c.name;
}

const std::string forged = "\n::error file=x::forged";
const std::string stop = "\n::stop-commands::a1b2\n";
const std::string azure = "\n##vso[task.complete result=Succeeded]";
const std::string title = "\x1b]0;title\a\x1b[2J";
const std::string latin1_and_c1 = "caf\xe9\xc2\x9b" "2J";

std::string sln_of(const std::string& entry)
{
    return "Microsoft Visual Studio Solution File, Format Version 12.00\r\n"
           "Project(\"{8BC9CEB8-8B4A-11D0-8D11-00A0C91E6BC8}\") = \"a\", \"" + entry + "\", \"{1}\"\r\nEndProject\r\n";
}

// A .sln in UTF-16 LE with its byte order mark, listing `entry`.
std::string utf16_sln_of(const std::u16string& entry)
{
    std::string narrow = sln_of("@");
    std::u16string text(narrow.begin(), narrow.end());
    text.replace(text.find(u'@'), 1, entry);
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

std::string with_condition(const std::string& condition)
{
    return project_of("DefaultTargets=\"Build\" ToolsVersion=\"14.0\"",
                      {"<PlatformToolset Condition=\"" + condition + "\">v140</PlatformToolset>"});
}

const injection_case injection_cases[] = {
    {"CommandInAFolderName", {{"t/x" + forged + "/a.vcxproj", small_project("v140", "14.0")}}, {"t"},
     "[t/x\\x0A::error file=x::forged/a.vcxproj]\n"},
    {"CommandInAFolderNameAsProjport", {{"t/x" + forged + "/a.vcxproj", small_project("v140", "14.0")}},
     {"--as-projport", "t"},
     "[t/x\\x0A::error file=x::forged/a.vcxproj]\nConfiguring project for Visual Studio 2019\n"},
    {"StopCommandsInAFileName", {{"t/a" + stop + ".vcxproj", small_project("v140", "14.0")}}, {"t"},
     "[t/a\\x0A::stop-commands::a1b2\\x0A.vcxproj]\n"},
    {"AzureCommandInAFileName", {{"t/a" + azure + ".vcxproj", small_project("v140", "14.0")}}, {"t"},
     "[t/a\\x0A\\x23#vso[task.complete result=Succeeded].vcxproj]\n"},
    {"TerminalTitleAndClearedScreenInAFileName", {{"t/" + title + ".vcxproj", small_project("v140", "14.0")}},
     {"t"}, "[t/\\x1B]0;title\\x07\\x1B[2J.vcxproj]\n"},
    {"Latin1AndAC1ControlInAFileName", {{"t/" + latin1_and_c1 + ".vcxproj", small_project("v140", "14.0")}},
     {"t"}, "[t/caf\\xE9\\xC2\\x9B2J.vcxproj]\n"},
    {"LineBreakInAReplacedToolsVersion",
     {{"t/a.vcxproj", small_project("v140", ("14.0" + forged).c_str())}}, {"t"},
     "\nToolsVersion=\"14.0\\x0A::error file=x::forged\"\n"},
    {"LineBreakInTheConditionOfAListedElement", {{"t/a.vcxproj", with_condition("'$(a)'=='b" + forged + "'")}},
     {"t"}, ": <PlatformToolset Condition=\"'$(a)'=='b\\x0A::error file=x::forged'\">v140</PlatformToolset> left"},
    {"MissingProjectNamedByAPath", {}, {"t/gone" + forged + ".vcxproj"},
     "open(t/gone\\x0A::error file=x::forged.vcxproj)\n"},
    {"ControlCharacterInASolutionEntry", {{"t/s.sln", sln_of("a" + title + ".vcxproj")}}, {"t/s.sln"},
     "open(t/a\\x1B]0;title\\x07\\x1B[2J.vcxproj)\n"},
    {"CharacterReferenceToALineFeedInASlnxEntry",
     {{"t/s.slnx", "<Solution><Project Path=\"a&#10;::error file=x::forged.vcxproj\"/></Solution>"}},
     {"t/s.slnx"}, "open(t/a\\x0A::error file=x::forged.vcxproj)\n"},
    {"InvalidUtf8InASolutionEntry",
     {{"t/s.sln", sln_of(latin1_and_c1 + ".vcxproj")},
      {"t/" + latin1_and_c1 + ".vcxproj", small_project("v140", "14.0")}},
     {"t/s.sln"}, "[t/caf\\xE9\\xC2\\x9B2J.vcxproj]\n"},
    {"LoneSurrogateAndNelInAUtf16SolutionEntry",
     {{"t/s.sln", utf16_sln_of(u"a\xD800\x0085.vcxproj")},
      {"t/a\xED\xA0\x80\xC2\x85.vcxproj", small_project("v140", "14.0")}},
     {"t/s.sln"}, "[t/a\\xED\\xA0\\x80\\xC2\\x85.vcxproj]\n"},
    {"SdkValueOnTheCommandLine", {}, {"--sdk=10.0" + forged, "t"}, "unknown SDK version 10.0\\x0A::error file=x"},
    {"UnknownOptionOnTheCommandLine", {}, {"--x" + title, "t"}, "unknown option --x\\x1B]0;title\\x07\\x1B[2J\n"},
};

class InjectedOutput : public HostileTree, public testing::WithParamInterface<injection_case> {};

TEST_P(InjectedOutput, ShowsEscapedAndNoLineOfTheReportIsACommandButItsOwn)
{
    const injection_case& c = GetParam();
    for (const auto& [path, bytes] : c.files)
        write(root / path, bytes);
    for (bool annotate : {false, true}) {
        std::vector<std::string> arguments{"2019", "--check"};
        if (annotate)
            arguments.push_back("--annotate=github");
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        posix_child_end end = run(arguments);
        ASSERT_TRUE(end.finished);
        std::string out = output() + read_file_bytes((root / "err.txt").string());
        SCOPED_TRACE(annotate ? "annotated" : "plain");
        EXPECT_NE(out.find(c.shown), std::string::npos) << out;
        EXPECT_EQ(first_unprintable(out), "") << out;
        EXPECT_EQ(forged_commands(out, annotate ? "t/" : "-"), std::vector<std::string>{}) << out;
    }
}

INSTANTIATE_TEST_SUITE_P(HostileTree, InjectedOutput, testing::ValuesIn(injection_cases),
                         [](const testing::TestParamInfo<injection_case>& tested) {
                             return std::string(tested.param.name);
                         });

// ---- files outside the tree ----

TEST_F(HostileTree, AFolderWalkFollowsALinkOnlyToAProjectInsideIt)
{
    std::string props = "<Project><PropertyGroup><PlatformToolset>v100</PlatformToolset></PropertyGroup></Project>\n";
    std::string project = small_project("v100", "4.0");
    write(root / "outside/Directory.Build.props", props);
    write(root / "outside/o.vcxproj", project);
    write(root / "tb/p.vcxproj", project);
    write(root / "t/sub/z.vcxproj", project);
    write(root / "t/sub/notes.txt", props);
    write(root / "t/.vs/hidden.vcxproj", project);
    const std::vector<std::pair<const char*, const char*>> links{
        {"t/evil.vcxproj", "../outside/Directory.Build.props"},  // outside, and not a project
        {"t/out.vcxproj", "../outside/o.vcxproj"},
        {"t/prefix.vcxproj", "../tb/p.vcxproj"},                // "/…/tb" begins like "/…/t"
        {"t/notes.vcxproj", "sub/notes.txt"},
        {"t/a.vcxproj", "sub/z.vcxproj"},                       // inside: converted under this name
        {"t/hidden.link", ".vs/hidden.vcxproj"},
        {"t/chain.vcxproj", "hidden.link"},                     // a link to a link inside
        {"t/chain-out.vcxproj", "out.vcxproj"},                 // a link to a link outside
    };
    for (const auto& [link, target] : links)
        fs::create_symlink(target, root / link);
    fs::create_symlink(root / "outside/o.vcxproj", root / "t/absolute-out.vcxproj");
    fs::create_symlink(root / "t/sub/z.vcxproj", root / "t/absolute-in.vcxproj");
    posix_child_end end = run({"2019", "--annotate=github", "t"});
    ASSERT_TRUE(end.finished);
    std::string out = output();
    EXPECT_EQ(end.exit_code, 0) << "a link left as it is fails no run\n" << out;
    for (const char* link :
         {"t/absolute-out.vcxproj", "t/chain-out.vcxproj", "t/evil.vcxproj", "t/out.vcxproj", "t/prefix.vcxproj"}) {
        EXPECT_NE(out.find("[" + std::string(link) + "] link leads outside the folder; left as it is\n"
                           "::warning file=" + link + "::link leads outside the folder; left as it is\n"),
                  std::string::npos)
            << link << "\n" << out;
    }
    EXPECT_NE(out.find("[t/notes.vcxproj] link leads to a file that is not a project; left as it is\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(read_file_bytes((root / "outside/Directory.Build.props").string()), props);
    EXPECT_EQ(read_file_bytes((root / "outside/o.vcxproj").string()), project);
    EXPECT_EQ(read_file_bytes((root / "tb/p.vcxproj").string()), project);
    EXPECT_EQ(read_file_bytes((root / "t/sub/notes.txt").string()), props);
    EXPECT_NE(read_file_bytes((root / "t/sub/z.vcxproj").string()), project);
    EXPECT_NE(read_file_bytes((root / "t/.vs/hidden.vcxproj").string()), project);
    // t/absolute-in.vcxproj leads to the file t/a.vcxproj leads to: taken once.
    EXPECT_NE(out.find("[t/a.vcxproj]\n"), std::string::npos) << out;
    EXPECT_NE(out.find("[t/chain.vcxproj]\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\n2 projects: 2 retargeted, 0 already configured, 0 without a match, 0 failed;"),
              std::string::npos)
        << out;
    EXPECT_TRUE(fs::is_symlink(root / "t/a.vcxproj"));

    // A link that leads nowhere is taken, and its open fails the run.
    fs::create_symlink("nowhere.vcxproj", root / "t/dangling.vcxproj");
    end = run({"2019", "t"});
    EXPECT_EQ(end.exit_code, 2) << output();
    EXPECT_NE(output().find("open(t/dangling.vcxproj)\n   ^ERROR: 2, No such file or directory\n"),
              std::string::npos)
        << output();
}

TEST_F(HostileTree, ALinkNamedAsAPathIsConvertedWhereItLeadsWhenThatIsAProject)
{
    std::string props = "<Project><PropertyGroup><PlatformToolset>v100</PlatformToolset></PropertyGroup></Project>\n";
    std::string project = small_project("v100", "4.0");
    write(root / "outside/Directory.Build.props", props);
    write(root / "outside/o.vcxproj", project);
    fs::create_directories(root / "t");
    fs::create_symlink("../outside/o.vcxproj", root / "t/o.vcxproj");
    fs::create_symlink("../outside/Directory.Build.props", root / "t/props.vcxproj");
    posix_child_end end = run({"2019", "t/o.vcxproj", "t/props.vcxproj"});
    ASSERT_TRUE(end.finished);
    EXPECT_EQ(end.exit_code, 0) << output();
    EXPECT_NE(output().find("[t/props.vcxproj] link leads to a file that is not a project; left as it is\n"),
              std::string::npos)
        << output();
    EXPECT_EQ(read_file_bytes((root / "outside/Directory.Build.props").string()), props);
    EXPECT_EQ(read_file_bytes((root / "outside/o.vcxproj").string()), small_project("v142", "15.0"));
}

// ---- out of memory ----

// A project that cannot be held in the memory the run may have fails with
// the system's text, and the projects after it are done. A project already
// written when its listing runs out says so, and fails.
struct memory_case {
    const char* name;
    std::string (*project)();  // needs far more than memory_limit to convert and report, but not to read
    const char* report;        // after the heading, before the failure's lines
    const char* step;          // the failed step
    bool written;
};

void PrintTo(const memory_case& c, std::ostream* out)
{
    *out << c.name;
}

constexpr long long memory_limit = 64ll << 20;

std::string project_of_40_megabytes()
{
    return padded_project(40u << 20, 7);
}

// A toolset element left unchanged whose value is 16 MiB of control
// characters: its line in the report, each byte escaped, is four times that.
std::string huge_leftover()
{
    return "<PlatformToolset>v90" + std::string(16u << 20, '\x01') + "</PlatformToolset>\r\n";
}

std::string retargeted_with_a_huge_leftover()
{
    return small_project("v140", "14.0") + huge_leftover();
}

std::string configured_with_a_huge_leftover()
{
    return small_project("v142", "15.0") + huge_leftover();
}

const memory_case memory_cases[] = {
    {"TheConvertedText", project_of_40_megabytes, "", "convert", false},
    {"TheListingOfAProjectThatNeedsNoChange", configured_with_a_huge_leftover, "", "convert", false},
    {"TheListingOfAProjectWritten", retargeted_with_a_huge_leftover,
     "ToolsVersion=\"14.0\"\n<PlatformToolset>v140</PlatformToolset>\n\nProject is ready for Visual Studio 2019\n",
     "list", true},
};

class OutOfMemory : public HostileTree, public testing::WithParamInterface<memory_case> {};

TEST_P(OutOfMemory, AProjectThatCannotBeHeldFailsAndTheRunGoesOn)
{
    const memory_case& c = GetParam();
    const std::string project = c.project();
    write(root / "a.vcxproj", project);
    write(root / "b.vcxproj", small_project("v100", "4.0"));
    posix_child_options o = options();
    o.memory_limit = memory_limit;
    // One project at a time: the limit leaves room for one project's memory.
    posix_child_end end = run_cli({"2019", "--jobs", "1", "--annotate=github", "a.vcxproj", "b.vcxproj"}, o);
    ASSERT_TRUE(end.finished);
    std::string out = output();
    EXPECT_EQ(end.signal, 0) << "ended by signal " << end.signal;
    EXPECT_EQ(end.exit_code, 2) << out.substr(0, 2000);
    std::string no_memory = strerror(ENOMEM);
    std::string step = c.step;
    std::string heading = "[a.vcxproj]\nConfiguring project for Visual Studio 2019\n\n";
    std::string failure = step + "(a.vcxproj)\n   ^ERROR: " + std::to_string(ENOMEM) + ", " + no_memory + "\n";
    std::string annotation = "::error file=a.vcxproj::" + step + "(a.vcxproj) failed: " + no_memory + "\n";
    EXPECT_EQ(out.substr(0, out.find("[b.vcxproj]")),
              heading + std::string(c.report) + failure + annotation);
    EXPECT_EQ(read_file_bytes((root / "a.vcxproj").string()) != project, c.written);
    EXPECT_EQ(read_file_bytes((root / "b.vcxproj").string()), small_project("v142", "15.0"));
    EXPECT_NE(out.find("2 projects: 1 retargeted, 0 already configured, 0 without a match, 1 failed"),
              std::string::npos)
        << out.substr(0, 2000);
}

INSTANTIATE_TEST_SUITE_P(HostileTree, OutOfMemory, testing::ValuesIn(memory_cases),
                         [](const testing::TestParamInfo<memory_case>& tested) {
                             return std::string(tested.param.name);
                         });

}  // namespace

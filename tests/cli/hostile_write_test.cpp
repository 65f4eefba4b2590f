// projport-cli writing a project beside what containers, memory limits,
// read-only mounts and endless files do: another run with the same process
// number, a folder in the way of a new file, a file system without room for
// one, a project too large for memory, a project on a read-only mount that
// needs no change, and a file whose read never ends. Runs that need a
// namespace of their own (unshare) are skipped, with a message, where one
// cannot be had.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/cli_fixture.h"
#include "support/file_bytes.h"
#include "support/posix_child.h"
#include "support/project_text.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

constexpr unsigned run_limit_ms = 60000;

std::string small_project(const char* toolset, const char* tools_version)
{
    return project_text("DefaultTargets=\"Build\" ToolsVersion=\"" + std::string(tools_version) + "\"", toolset);
}

bool is_new_file_name(const std::string& name)
{
    return name.size() > 4 && name[0] == '.' && name.find(".projport-") != std::string::npos &&
           name.substr(name.size() - 4) == ".tmp";
}

std::string unshare_program()
{
    for (const char* path : {"/usr/bin/unshare", "/bin/unshare"}) {
        if (access(path, X_OK) == 0)
            return path;
    }
    return {};
}

// The process whose parent is `parent` (the program an unshare -f started).
pid_t child_of(pid_t parent)
{
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string stat = read_file_bytes("/proc/" + name + "/stat");
        std::size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        int ppid = 0;
        char state = 0;
        if (sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && ppid == parent)
            return static_cast<pid_t>(std::stol(name));
    }
    return -1;
}

struct new_file_seen {
    std::string name;
    ino_t inode = 0;
    off_t size = 0;
};

// The new file beside a project in `folder` whose inode is not `other` and
// that holds some but not all of `full` bytes.
bool new_file_in_the_making(const fs::path& folder, ino_t other, off_t full, new_file_seen& seen)
{
    DIR* listing = opendir(folder.c_str());
    if (!listing)
        return false;
    bool found = false;
    while (dirent* entry = readdir(listing)) {
        struct stat status {};
        std::string name = entry->d_name;
        if (!is_new_file_name(name) || lstat((folder / name).c_str(), &status) != 0)
            continue;
        if (status.st_ino != other && status.st_size > 0 && status.st_size < full) {
            seen = {name, status.st_ino, status.st_size};
            found = true;
            break;
        }
    }
    closedir(listing);
    return found;
}

class HostileWrite : public cli_fixture {
protected:
    std::string unshare = unshare_program();
    const std::string cli = cli_program();

    // Runs in the folder t, standard output and error both in `output`.
    posix_child_options options(const std::string& output = "out.txt")
    {
        posix_child_options o = cli_options(output, {}, run_limit_ms);
        o.folder = (root / "t").string();
        return o;
    }

    std::string output(const std::string& name = "out.txt") { return bytes_of(name); }

    // Whether a run in a process namespace of its own, where the program is
    // process 1, can be had here; with the reason when not.
    bool namespaces_work(std::string& why)
    {
        if (unshare.empty()) {
            why = "no unshare program";
            return false;
        }
        fs::create_directories(root / "t");
        posix_child_end end = run_child(unshare, {"-fp", "--mount-proc", "/bin/sh", "-c", "test $$ = 1"}, options());
        if (end.exit_code != 0) {
            why = "unshare -fp --mount-proc does not work here: " + output();
            return false;
        }
        return true;
    }

    // Whether a mount namespace of its own, with mounts in it, can be had.
    bool mounts_work(std::string& why)
    {
        if (unshare.empty()) {
            why = "no unshare program";
            return false;
        }
        fs::create_directories(root / "t" / "probe");
        posix_child_end end = run_child(
            unshare, {"-m", "/bin/sh", "-c", "mount -t tmpfs -o size=64k tmpfs probe"}, options());
        if (end.exit_code != 0) {
            why = "no mounts in a namespace of our own here: " + output();
            return false;
        }
        fs::remove(root / "t" / "probe");
        return true;
    }
};

// Two containers where the program is process 1 each: the second run
// starts while the first writes its new file, and writes its own while the
// first moves its file over the project. Neither takes the other's file:
// the project ends whole with the first run's text, and the second, which
// finds the project changed, says so and leaves it.
TEST_F(HostileWrite, TwoRunsWithTheSameProcessNumberLeaveTheProjectWhole)
{
    std::string why;
    if (!namespaces_work(why))
        GTEST_SKIP() << why;
    std::string original = padded_project(40u << 20, 3);
    write(root / "ref" / "p.vcxproj", original);
    posix_child_options ref = options();
    ref.folder = (root / "ref").string();
    ASSERT_EQ(run_cli({"2015", "p.vcxproj"}, ref).exit_code, 0);
    std::string first_text = read_file_bytes((root / "ref" / "p.vcxproj").string());
    auto full = static_cast<off_t>(first_text.size());

    for (int round = 0;; ++round) {
        ASSERT_LT(round, 20) << "no round caught both runs while they wrote";
        write(root / "t" / "p.vcxproj", original);
        posix_child a = start_child(unshare, {"-fp", "--mount-proc", cli, "2015", "p.vcxproj"},
                                    options("first.txt"));
        ASSERT_TRUE(a.started());
        new_file_seen a_file, b_file;
        auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!new_file_in_the_making(root / "t", 0, full, a_file) && std::chrono::steady_clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        pid_t a_program = child_of(a.pid);
        if (a_program > 0)
            kill(a_program, SIGSTOP);
        struct stat a_now {};
        bool caught = a_program > 0 && !a_file.name.empty() && lstat((root / "t" / a_file.name).c_str(), &a_now) == 0 &&
                      a_now.st_size < full;
        posix_child b;
        pid_t b_program = -1;
        if (caught) {
            b = start_child(unshare, {"-fp", "--mount-proc", cli, "2019", "p.vcxproj"}, options("second.txt"));
            give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!new_file_in_the_making(root / "t", a_file.inode, full, b_file) &&
                   std::chrono::steady_clock::now() < give_up)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            b_program = child_of(b.pid);
            if (b_program > 0)
                kill(b_program, SIGSTOP);
            struct stat b_now {};
            caught = b_program > 0 && !b_file.name.empty() &&
                     lstat((root / "t" / b_file.name).c_str(), &b_now) == 0 && b_now.st_size < full;
        }
        if (a_program > 0)
            kill(a_program, SIGCONT);
        posix_child_end end_a = wait_child(a, run_limit_ms);
        if (b_program > 0)
            kill(b_program, SIGCONT);
        posix_child_end end_b = b.started() ? wait_child(b, run_limit_ms) : posix_child_end{};
        ASSERT_TRUE(end_a.finished);
        if (b.started())
            ASSERT_TRUE(end_b.finished);
        if (!caught)
            continue;

        std::string now = read_file_bytes((root / "t" / "p.vcxproj").string());
        EXPECT_TRUE(now == first_text) << "round " << round << ": the project is not the first run's text (" << now.size()
                                       << " bytes of its " << first_text.size() << ")";
        EXPECT_EQ(end_a.exit_code, 0) << output("first.txt");
        EXPECT_EQ(end_b.exit_code, 2) << output("second.txt");
        EXPECT_NE(output("second.txt").find("changed while being converted"), std::string::npos)
            << output("second.txt");
        for (const auto& entry : fs::directory_iterator(root / "t"))
            EXPECT_FALSE(is_new_file_name(entry.path().filename().string())) << entry.path();
        break;
    }
}

// The name an earlier version would have given the new file, taken by a
// folder, stops nothing.
TEST_F(HostileWrite, AFolderNamedLikeANewFileIsNoObstacle)
{
    std::string why;
    if (!namespaces_work(why))
        GTEST_SKIP() << why;
    write(root / "t" / "p.vcxproj", small_project("v100", "4.0"));
    fs::create_directories(root / "t" / ".p.vcxproj.projport-1.tmp");
    posix_child_end end = run_child(unshare, {"-fp", "--mount-proc", cli, "2019", "p.vcxproj"}, options());
    ASSERT_TRUE(end.finished);
    EXPECT_EQ(end.exit_code, 0) << output();
    EXPECT_EQ(read_file_bytes((root / "t" / "p.vcxproj").string()), small_project("v142", "15.0"));
    EXPECT_TRUE(fs::is_directory(root / "t" / ".p.vcxproj.projport-1.tmp"));
}

// A file system without room for one more file: the failure names the new
// file it could not create, and the project keeps its bytes.
TEST_F(HostileWrite, ANewFileThatCannotBeCreatedIsNamedInTheReport)
{
    std::string why;
    if (!mounts_work(why))
        GTEST_SKIP() << why;
    std::string original = small_project("v100", "4.0");
    write(root / "p.vcxproj", original);
    fs::create_directories(root / "t" / "full");
    // Room for the folder and the project, and no more.
    posix_child_end end = run_child(
        unshare,
        {"-m", "/bin/sh", "-c",
         "mount -t tmpfs -o size=1m,nr_inodes=2 tmpfs full && cp \"$1\" full/p.vcxproj || exit 99; cd full; \"$2\" 2019 "
         "p.vcxproj; code=$?; cmp -s p.vcxproj \"$1\" || code=98; exit $code",
         "sh", (root / "p.vcxproj").string(), cli},
        options());
    ASSERT_TRUE(end.finished);
    std::string out = output();
    ASSERT_NE(end.exit_code, 99) << "the small file system could not be set up: " << out;
    EXPECT_EQ(end.exit_code, 2) << "98: the project changed\n" << out;
    std::string line = "create(.p.vcxproj.projport-";
    std::size_t at = out.find(line);
    ASSERT_NE(at, std::string::npos) << out;
    std::size_t close = out.find(")\n   ^ERROR: 28, ", at);
    EXPECT_NE(close, std::string::npos) << out;
    EXPECT_EQ(out.compare(close - 4, 4, ".tmp"), 0) << out;
}

// A project larger than the memory the run may have, and a sparse one of a
// terabyte, fail with the system's text for a lack of memory; the run goes
// on to the next project.
TEST_F(HostileWrite, AProjectThatCannotBeHeldInMemoryFailsAndTheRunGoesOn)
{
    constexpr rlim_t memory_limit = 96u << 20;
    write(root / "t" / "large.vcxproj", padded_project(128u << 20, 1));
    write(root / "t" / "b.vcxproj", small_project("v100", "4.0"));
    {
        int sparse = open((root / "t" / "sparse.vcxproj").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(sparse, 0);
        bool made = ftruncate(sparse, static_cast<off_t>(1) << 40) == 0;
        close(sparse);
        if (!made)
            GTEST_SKIP() << "this file system has no sparse files of a terabyte";
    }
    std::string out_file = (root / "out.txt").string();
    std::string folder = (root / "t").string();
    posix_child_end end = run_in_child(
        [&] {
            int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            rlimit limit{memory_limit, memory_limit};
            if (out < 0 || dup2(out, STDOUT_FILENO) < 0 || dup2(out, STDERR_FILENO) < 0 || chdir(folder.c_str()) != 0 ||
                setrlimit(RLIMIT_AS, &limit) != 0)
                return 126;
            // One project at a time: the limit leaves room for one project's memory.
            execl(cli.c_str(), cli.c_str(), "2019", "--jobs", "1", "large.vcxproj", "sparse.vcxproj", "b.vcxproj",
                  static_cast<char*>(nullptr));
            return 127;
        },
        run_limit_ms);
    ASSERT_TRUE(end.finished);
    std::string out = output();
    EXPECT_EQ(end.signal, 0) << "ended by signal " << end.signal << "\n" << out;
    EXPECT_EQ(end.exit_code, 2) << out;
    std::string no_memory = std::string(")\n   ^ERROR: 12, ") + strerror(ENOMEM) + "\n";
    EXPECT_NE(out.find("read(large.vcxproj" + no_memory), std::string::npos) << out;
    EXPECT_NE(out.find("read(sparse.vcxproj" + no_memory), std::string::npos) << out;
    EXPECT_EQ(read_file_bytes((root / "t" / "b.vcxproj").string()), small_project("v142", "15.0"));
    EXPECT_NE(out.find("3 projects: 1 retargeted, 0 already configured, 0 without a match, 2 failed"),
              std::string::npos)
        << out;
}

// A project that needs no change is only read: with its write permission
// taken away, and on a read-only mount, it is "Already configured"; one that
// needs a change there is refused before anything is written.
TEST_F(HostileWrite, AReadOnlyProjectThatNeedsNoChangeIsOnlyRead)
{
    std::string done = small_project("v142", "15.0");
    std::string to_do = small_project("v100", "4.0");
    write(root / "t" / "done.vcxproj", done);
    ASSERT_EQ(chmod((root / "t" / "done.vcxproj").c_str(), 0444), 0);
    posix_child_end end = run_cli({"2019", "done.vcxproj"}, options());
    ASSERT_TRUE(end.finished);
    EXPECT_EQ(end.exit_code, 0) << output();
    EXPECT_NE(output().find("Already configured for Visual Studio 2019"), std::string::npos) << output();

    std::string why;
    if (!mounts_work(why))
        GTEST_SKIP() << why;
    ASSERT_EQ(chmod((root / "t" / "done.vcxproj").c_str(), 0644), 0);
    write(root / "t" / "to_do.vcxproj", to_do);
    end = run_child(unshare,
                    {"-m", "/bin/sh", "-c", "mount --bind -o ro . . || exit 99; cd \"$PWD\" && exec \"$1\" 2019 "
                                            "done.vcxproj to_do.vcxproj",
                     "sh", cli},
                    options());
    ASSERT_TRUE(end.finished);
    std::string out = output();
    ASSERT_NE(end.exit_code, 99) << "the read-only mount could not be set up: " << out;
    EXPECT_EQ(end.exit_code, 2) << out;
    EXPECT_NE(out.find("Already configured for Visual Studio 2019"), std::string::npos) << out;
    EXPECT_NE(out.find("open(to_do.vcxproj)\n   ^ERROR: 30, "), std::string::npos) << out;
    EXPECT_NE(out.find("2 projects: 0 retargeted, 1 already configured, 0 without a match, 1 failed"),
              std::string::npos)
        << out;
    EXPECT_EQ(read_file_bytes((root / "t" / "done.vcxproj").string()), done);
    EXPECT_EQ(read_file_bytes((root / "t" / "to_do.vcxproj").string()), to_do);
}

// /proc/kmsg is a regular file of size 0 whose read waits for the next
// kernel message: it is an empty project, never read. A link to it is not
// even opened, since its name is no project's; the project bound over by
// it, in a mount namespace of the test's own, is opened and not read.
TEST_F(HostileWrite, AFileWhoseReadNeverEndsIsNotRead)
{
    int probe = open("/proc/kmsg", O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0)
        GTEST_SKIP() << "/proc/kmsg cannot be opened here: " << strerror(errno);
    close(probe);
    fs::create_directories(root / "t");
    fs::create_symlink("/proc/kmsg", root / "t" / "link.vcxproj");
    posix_child_options o = options();
    o.time_limit_ms = 20000;
    posix_child_end end = run_cli({"2019", "--check", "link.vcxproj"}, o);
    ASSERT_TRUE(end.finished) << "the read of /proc/kmsg never ends";
    EXPECT_EQ(end.exit_code, 0) << output();
    EXPECT_NE(output().find("[link.vcxproj] link leads to a file that is not a project"), std::string::npos)
        << output();

    std::string why;
    if (!mounts_work(why))
        GTEST_SKIP() << why;
    write(root / "t" / "kmsg.vcxproj", "");
    end = run_child(unshare,
                    {"-m", "/bin/sh", "-c",
                     "mount --bind /proc/kmsg kmsg.vcxproj || exit 99; exec \"$1\" 2019 --check kmsg.vcxproj", "sh",
                     cli},
                    o);
    ASSERT_TRUE(end.finished) << "the read of /proc/kmsg never ends";
    ASSERT_NE(end.exit_code, 99) << "/proc/kmsg could not be bound over a project: " << output();
    EXPECT_EQ(end.exit_code, 2) << output();
    EXPECT_NE(output().find("the project file is empty"), std::string::npos) << output();
}

}  // namespace

#pragma once
// Starts a program on POSIX as a user's shell would, with its output in
// files, and ends it when it runs past a time limit (the limit is the
// child's, so that a hang fails its test rather than blocking the suite).

#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <vector>

struct posix_child_options {
    std::string folder;           // where it runs; empty: here
    std::string output_file;      // standard output and error go here ("/dev/null" when empty)
    int output_fd = -1;           // standard output and error go here instead, when not -1
    std::string error_file;       // standard error alone, when not empty
    long long file_size_limit = -1;  // RLIMIT_FSIZE in bytes, or -1 for none
    long long memory_limit = -1;     // RLIMIT_AS in bytes, or -1 for none
    unsigned time_limit_ms = 60000;
};

struct posix_child {
    pid_t pid = -1;
    bool started() const noexcept { return pid > 0; }
};

struct posix_child_end {
    bool finished = false;   // ended by itself or by a signal, within the limit
    int exit_code = -1;      // when it exited
    int signal = 0;          // the signal that ended it, or 0
    long long elapsed_ms = 0;
};

// Starts `program` with `arguments`; the child's standard input is /dev/null.
posix_child start_child(const std::string& program, const std::vector<std::string>& arguments,
                        const posix_child_options& options);

// Waits for the child to end, at most `time_limit_ms` from now; a child that
// is still running then is killed (SIGKILL) and reaped, and `finished` is false.
posix_child_end wait_child(posix_child& child, unsigned time_limit_ms);

// start_child and wait_child in one.
posix_child_end run_child(const std::string& program, const std::vector<std::string>& arguments,
                          const posix_child_options& options);

// Runs `body` in a forked child that exits with what it returns, and waits
// for it as wait_child does: for tests whose subject is the process itself
// (the signals it is sent, its standard output).
template <typename Body>
posix_child_end run_in_child(Body body, unsigned time_limit_ms = 20000)
{
    posix_child child;
    child.pid = fork();
    if (child.pid == 0)
        _exit(body());
    return wait_child(child, time_limit_ms);
}

// Stops a running child (SIGSTOP) and waits until every thread of it has
// stopped, so that what it left can be looked at while it does nothing;
// false when it had ended or could not be seen to stop.
bool stop_child(const posix_child& child);

// Lets a child stopped by stop_child go on (SIGCONT).
void continue_child(const posix_child& child);

// How the child ended, in one number: its exit code, 1000 + the signal that
// ended it, or -1 when it did not end within its limit or never started.
int end_code(const posix_child_end& end) noexcept;

// Every signal whose default action ends the process and that can be
// blocked, except those raised by a fault of the program itself (SIGSEGV,
// SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT); with `every_real_time`
// all real-time signals, else only the first two and the last.
std::vector<int> terminating_signals(bool every_real_time);

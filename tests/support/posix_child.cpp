#include "posix_child.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

long long now_ms()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// In the child between fork and exec: only calls that are safe there.
[[noreturn]] void become(const std::string& program, std::vector<char*>& argv, const posix_child_options& options)
{
    int input = open("/dev/null", O_RDONLY);
    const char* out_name = options.output_file.empty() ? "/dev/null" : options.output_file.c_str();
    int output = options.output_fd >= 0 ? options.output_fd : open(out_name, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int error = options.error_file.empty() ? output
                                           : open(options.error_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (input < 0 || output < 0 || error < 0)
        _exit(126);
    dup2(input, STDIN_FILENO);
    dup2(output, STDOUT_FILENO);
    dup2(error, STDERR_FILENO);
    if (!options.folder.empty() && chdir(options.folder.c_str()) != 0)
        _exit(126);
    if (options.file_size_limit >= 0) {
        rlimit limit{static_cast<rlim_t>(options.file_size_limit), static_cast<rlim_t>(options.file_size_limit)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(126);
    }
    if (options.memory_limit >= 0) {
        rlimit limit{static_cast<rlim_t>(options.memory_limit), static_cast<rlim_t>(options.memory_limit)};
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            _exit(126);
    }
    // What a shell leaves: default actions, nothing blocked.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int sig = 1; sig < NSIG; ++sig)
        signal(sig, SIG_DFL);
    execv(program.c_str(), argv.data());
    _exit(127);
}

}  // namespace

posix_child start_child(const std::string& program, const std::vector<std::string>& arguments,
                        const posix_child_options& options)
{
    std::vector<std::string> copies(arguments);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (std::string& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_child child;
    child.pid = fork();
    if (child.pid == 0)
        become(program, argv, options);
    return child;
}

posix_child_end wait_child(posix_child& child, unsigned time_limit_ms)
{
    posix_child_end end;
    if (!child.started())
        return end;
    long long start = now_ms();
    long long deadline = start + time_limit_ms;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(child.pid, &status, WNOHANG);
        if (done == child.pid) {
            end.finished = true;
            break;
        }
        if (done < 0 && errno != EINTR)
            break;
        if (now_ms() >= deadline) {
            kill(child.pid, SIGKILL);
            while (waitpid(child.pid, &status, 0) < 0 && errno == EINTR) {
            }
            break;
        }
        timespec pause{0, 2000000};
        nanosleep(&pause, nullptr);
    }
    end.elapsed_ms = now_ms() - start;
    if (WIFEXITED(status))
        end.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        end.signal = WTERMSIG(status);
    child.pid = -1;
    return end;
}

posix_child_end run_child(const std::string& program, const std::vector<std::string>& arguments,
                          const posix_child_options& options)
{
    posix_child child = start_child(program, arguments, options);
    return wait_child(child, options.time_limit_ms);
}

namespace {

// The state letter of a thread in /proc (R, S, D, T, t, Z...), or 0.
char thread_state(const std::string& stat_path)
{
    int file = open(stat_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0)
        return 0;
    char text[512];
    ssize_t got = read(file, text, sizeof text - 1);
    close(file);
    if (got <= 0)
        return 0;
    text[got] = '\0';
    const char* close_paren = strrchr(text, ')');
    return close_paren && close_paren[1] == ' ' ? close_paren[2] : 0;
}

}  // namespace

bool stop_child(const posix_child& child)
{
    if (!child.started() || kill(child.pid, SIGSTOP) != 0)
        return false;
    std::string tasks = "/proc/" + std::to_string(child.pid) + "/task";
    for (int tries = 0; tries < 20000; ++tries) {
        DIR* listing = opendir(tasks.c_str());
        if (!listing)
            return false;
        bool all_stopped = true, any = false, ended = false;
        while (dirent* entry = readdir(listing)) {
            if (entry->d_name[0] == '.')
                continue;
            char state = thread_state(tasks + "/" + entry->d_name + "/stat");
            any = any || state != 0;
            ended = ended || state == 'Z' || state == 'X';
            all_stopped = all_stopped && (state == 'T' || state == 't' || state == 0);
        }
        closedir(listing);
        if (ended)
            return false;
        if (any && all_stopped)
            return true;
        timespec pause{0, 100000};
        nanosleep(&pause, nullptr);
    }
    return false;
}

void continue_child(const posix_child& child)
{
    if (child.started())
        kill(child.pid, SIGCONT);
}

int end_code(const posix_child_end& end) noexcept
{
    if (!end.finished)
        return -1;
    return end.signal != 0 ? 1000 + end.signal : end.exit_code;
}

std::vector<int> terminating_signals(bool every_real_time)
{
    std::vector<int> signals{SIGHUP, SIGINT, SIGQUIT, SIGUSR1, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM,
                             SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO};
#ifdef SIGSTKFLT
    signals.push_back(SIGSTKFLT);
#endif
#ifdef SIGPWR
    signals.push_back(SIGPWR);
#endif
#ifdef SIGRTMIN
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) {
        if (every_real_time || sig <= SIGRTMIN + 1 || sig == SIGRTMAX)
            signals.push_back(sig);
    }
#endif
    return signals;
}

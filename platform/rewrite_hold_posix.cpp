#include "core/rewrite_hold.h"

#include <signal.h>
#include <time.h>

#include <atomic>

namespace {

// Each thread's holds and its signal mask from before its first one: a
// thread that held the signals blocked already (a converting thread started
// under its run's hold) takes nothing off the process when its hold ends.
thread_local unsigned own_holds = 0;
thread_local sigset_t own_before;
// The mask of the outermost hold, the first one taken while no thread held
// any: its thread is the one the terminating signals would end the process
// on (the threads started under it inherit their block).
std::atomic<unsigned> holding_threads{0};
sigset_t outer_before;
std::atomic<int> first_held{0};

// Whether the signal's default action ends the process and it is one the
// hold keeps back: not SIGKILL and SIGSTOP, which cannot be blocked, and not
// the signals a fault of the program's own raises, which would otherwise
// leave it spinning on the faulting instruction.
bool is_held(int sig) noexcept
{
    switch (sig) {
    case SIGKILL:
    case SIGSTOP:
    case SIGSEGV:
    case SIGBUS:
    case SIGFPE:
    case SIGILL:
    case SIGTRAP:
    case SIGSYS:
    case SIGABRT:
    // Their default is to be ignored or to stop the process, not to end it.
    case SIGCHLD:
    case SIGCONT:
    case SIGURG:
    case SIGWINCH:
    case SIGTSTP:
    case SIGTTIN:
    case SIGTTOU:
        return false;
    default:
        return true;
    }
}

sigset_t terminating_signals() noexcept
{
    sigset_t set;
    sigfillset(&set);
    for (int sig = 1; sig < NSIG; ++sig) {
        if (!is_held(sig))
            sigdelset(&set, sig);
    }
    return set;
}

const sigset_t& held_set() noexcept
{
    static const sigset_t set = terminating_signals();
    return set;
}

// Takes every pending held signal whose action is still the default (one
// that would end the process) off the process, the first one remembered.
// A signal the program handles, or had blocked before the hold, is left to
// its own action.
// Whether `sig`, pending, would end the process once unblocked in a thread
// whose mask was `before`: one of the held set, not blocked before, whose
// action is still the default.
bool ends_the_process(int sig, const sigset_t& before) noexcept
{
    if (sigismember(&held_set(), sig) != 1 || sigismember(&before, sig) == 1)
        return false;
    struct sigaction action {};
    return sigaction(sig, nullptr, &action) == 0 && (action.sa_flags & SA_SIGINFO) == 0 &&
           action.sa_handler == SIG_DFL;
}

void consume_pending(const sigset_t& before) noexcept
{
    sigset_t pending;
    if (sigpending(&pending) != 0)
        return;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sigismember(&pending, sig) != 1 || !ends_the_process(sig, before))
            continue;
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, sig);
        const timespec now{0, 0};
        // Queued real-time signals come one by one.
        while (sigtimedwait(&one, nullptr, &now) == sig) {
            int none = 0;
            (void)first_held.compare_exchange_strong(none, sig);
        }
    }
}

}  // namespace

rewrite_hold::rewrite_hold() noexcept
{
    if (own_holds++ != 0)
        return;
    (void)pthread_sigmask(SIG_BLOCK, &held_set(), &own_before);
    if (holding_threads.fetch_add(1) == 0)
        outer_before = own_before;
}

rewrite_hold::rewrite_hold(within_hold) noexcept : rewrite_hold() {}

rewrite_hold::~rewrite_hold()
{
    if (--own_holds != 0)
        return;
    // A signal that arrived meanwhile would end the process as soon as it is
    // unblocked: it is taken here instead, and the caller ends the run.
    consume_pending(own_before);
    (void)holding_threads.fetch_sub(1);
    (void)pthread_sigmask(SIG_SETMASK, &own_before, nullptr);
}

int held_signal() noexcept
{
    return first_held.load();
}

bool stop_pending() noexcept
{
    if (first_held.load() != 0)
        return true;
    if (holding_threads.load() == 0)
        return false;
    sigset_t pending;
    if (sigpending(&pending) != 0)
        return false;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sigismember(&pending, sig) == 1 && ends_the_process(sig, outer_before))
            return true;
    }
    return false;
}

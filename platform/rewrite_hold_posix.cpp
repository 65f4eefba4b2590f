#include "core/rewrite_hold.h"

#include <signal.h>
#include <time.h>

namespace {

// Only the writing thread takes holds, so the counts need no lock.
unsigned holds = 0;
sigset_t before;
int first_held = 0;

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
void consume_pending() noexcept
{
    sigset_t pending;
    if (sigpending(&pending) != 0)
        return;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sigismember(&pending, sig) != 1 || sigismember(&held_set(), sig) != 1 ||
            sigismember(&before, sig) == 1)
            continue;
        struct sigaction action {};
        if (sigaction(sig, nullptr, &action) != 0 || (action.sa_flags & SA_SIGINFO) != 0 ||
            action.sa_handler != SIG_DFL)
            continue;
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, sig);
        const timespec now{0, 0};
        // Queued real-time signals come one by one.
        while (sigtimedwait(&one, nullptr, &now) == sig) {
            if (first_held == 0)
                first_held = sig;
        }
    }
}

}  // namespace

rewrite_hold::rewrite_hold() noexcept
{
    if (holds++ != 0)
        return;
    (void)pthread_sigmask(SIG_BLOCK, &held_set(), &before);
}

rewrite_hold::~rewrite_hold()
{
    if (--holds != 0)
        return;
    // A signal that arrived meanwhile would end the process as soon as it is
    // unblocked: it is taken here instead, and the caller ends the run.
    consume_pending();
    (void)pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

int held_signal() noexcept
{
    return first_held;
}

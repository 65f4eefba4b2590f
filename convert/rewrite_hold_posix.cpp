#include "convert/rewrite_hold.h"

#include <signal.h>

namespace {

// Only the writing thread takes holds, so the count needs no lock.
unsigned holds = 0;
sigset_t before;

sigset_t terminating_signals() noexcept
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    sigaddset(&set, SIGQUIT);
    sigaddset(&set, SIGPIPE);
    return set;
}

}  // namespace

rewrite_hold::rewrite_hold() noexcept
{
    if (holds++ != 0)
        return;
    sigset_t set = terminating_signals();
    (void)pthread_sigmask(SIG_BLOCK, &set, &before);
}

rewrite_hold::~rewrite_hold()
{
    if (--holds != 0)
        return;
    // A signal that arrived meanwhile is delivered here, with the file whole.
    (void)pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

bool stop_rewrites(unsigned) noexcept
{
    return holds == 0;
}

void resume_rewrites() noexcept {}

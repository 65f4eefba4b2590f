// The hold of a rewrite on POSIX: every signal that would end the process
// waits for the hold's end and is then taken, not delivered, so that the
// program ends the run itself. Each case runs in a forked child, which a
// signal that is not held ends.

#include "core/rewrite_hold.h"

#include "support/posix_child.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// How a forked child that runs `body` and exits with its result ended:
// its exit code, or 1000 + the signal that ended it.
template <typename Body>
int in_child(Body body)
{
    return end_code(run_in_child(body));
}

volatile sig_atomic_t handled = 0;

void note_signal(int sig)
{
    handled = sig;
}

}  // namespace

TEST(RewriteHoldPosix, EveryTerminatingSignalWaitsForTheHoldsEndAndIsTaken)
{
    for (int sig : terminating_signals(true)) {
        int ended = in_child([sig] {
            {
                rewrite_hold hold;
                kill(getpid(), sig);
                // Still here: the signal waits.
            }
            // Still here after the hold: it was taken, and told.
            return held_signal() == sig ? 0 : 2;
        });
        EXPECT_EQ(ended, 0) << "signal " << sig;
    }
}

TEST(RewriteHoldPosix, TheFirstSignalIsTheOneTold)
{
    int ended = in_child([] {
        {
            rewrite_hold outer;
            kill(getpid(), SIGTERM);
            {
                rewrite_hold inner;
            }
            // A nested hold's end takes nothing yet.
            if (held_signal() != 0)
                return 3;
        }
        {
            rewrite_hold again;
            kill(getpid(), SIGUSR1);
        }
        return held_signal() == SIGTERM ? 0 : 2;
    });
    EXPECT_EQ(ended, 0);
}

TEST(RewriteHoldPosix, ASignalOutsideAHoldStillEndsTheProcess)
{
    int ended = in_child([] {
        {
            rewrite_hold hold;
        }
        kill(getpid(), SIGUSR1);
        return 0;
    });
    EXPECT_EQ(ended, 1000 + SIGUSR1);
}

TEST(RewriteHoldPosix, ASignalTheProgramHandlesReachesItsHandler)
{
    int ended = in_child([] {
        signal(SIGUSR2, note_signal);
        {
            rewrite_hold hold;
            kill(getpid(), SIGUSR2);
            if (handled != 0)
                return 3;
        }
        return handled == SIGUSR2 && held_signal() == 0 ? 0 : 2;
    });
    EXPECT_EQ(ended, 0);
}

TEST(RewriteHoldPosix, ASignalBlockedBeforeTheHoldStaysPending)
{
    int ended = in_child([] {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGTERM);
        sigprocmask(SIG_BLOCK, &set, nullptr);
        {
            rewrite_hold hold;
            kill(getpid(), SIGTERM);
        }
        sigset_t pending;
        sigpending(&pending);
        return sigismember(&pending, SIGTERM) == 1 && held_signal() == 0 ? 0 : 2;
    });
    EXPECT_EQ(ended, 0);
}

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
#include <thread>
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

// Threads started under a hold inherit the blocked signals, so that a signal
// meant for the run waits wherever it lands; their own holds, taken within
// it, end without taking the signal, which the outer hold's end takes.
TEST(RewriteHoldPosix, ThreadsStartedUnderAHoldKeepTheSignalForTheOuterHold)
{
    int ended = in_child([] {
        int seen_in_thread = -1;
        {
            rewrite_hold outer;
            std::thread worker([&seen_in_thread] {
                {
                    rewrite_hold inner{within_hold{}};
                    kill(getpid(), SIGTERM);
                    if (!stop_pending())
                        return;
                }
                // The thread's own hold is over: the signal still waits.
                seen_in_thread = held_signal() == 0 && stop_pending() ? 0 : 1;
            });
            worker.join();
            if (seen_in_thread != 0)
                return 3;
        }
        return held_signal() == SIGTERM ? 0 : 2;
    });
    EXPECT_EQ(ended, 0);
}

// Whether the run should stop starting work: only for a signal held back
// that would otherwise end the process.
TEST(RewriteHoldPosix, AStopIsPendingOnlyForASignalThatWouldEndTheProcess)
{
    enum class sent { nothing, handled, blocked_before, terminating };
    struct row {
        sent what;
        bool pending;
    };
    const row table[] = {
        {sent::nothing, false},
        {sent::handled, false},
        {sent::blocked_before, false},
        {sent::terminating, true},
    };
    for (const row& r : table) {
        int ended = in_child([&r] {
            if (stop_pending())
                return 4;
            if (r.what == sent::handled)
                signal(SIGUSR2, note_signal);
            if (r.what == sent::blocked_before) {
                sigset_t set;
                sigemptyset(&set);
                sigaddset(&set, SIGUSR2);
                sigprocmask(SIG_BLOCK, &set, nullptr);
            }
            bool pending = false;
            {
                rewrite_hold hold;
                if (r.what != sent::nothing)
                    kill(getpid(), r.what == sent::terminating ? SIGTERM : SIGUSR2);
                pending = stop_pending();
            }
            // Once taken, it stays told.
            return pending == r.pending && stop_pending() == r.pending ? 0 : 2;
        });
        EXPECT_EQ(ended, 0) << static_cast<int>(r.what);
    }
}

#include "convert/rewrite_hold.h"

#include <windows.h>

namespace {

// Constant-initialised, so a control event during start-up finds them ready.
SRWLOCK lock = SRWLOCK_INIT;
CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
unsigned holds = 0;
bool stopped = false;
// Holds of the calling thread: a nested one must not wait for a stop that in
// turn waits for the outer one.
thread_local unsigned own_holds = 0;

}  // namespace

rewrite_hold::rewrite_hold() noexcept
{
    AcquireSRWLockExclusive(&lock);
    while (stopped && own_holds == 0)
        (void)SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
    ++holds;
    ++own_holds;
    ReleaseSRWLockExclusive(&lock);
}

rewrite_hold::~rewrite_hold()
{
    AcquireSRWLockExclusive(&lock);
    --holds;
    --own_holds;
    ReleaseSRWLockExclusive(&lock);
    WakeAllConditionVariable(&changed);
}

bool stop_rewrites(unsigned timeout_ms) noexcept
{
    ULONGLONG deadline = GetTickCount64() + timeout_ms;
    AcquireSRWLockExclusive(&lock);
    stopped = true;
    while (holds != 0) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            break;
        (void)SleepConditionVariableSRW(&changed, &lock, static_cast<DWORD>(deadline - now), 0);
    }
    bool idle = holds == 0;
    ReleaseSRWLockExclusive(&lock);
    return idle;
}

void resume_rewrites() noexcept
{
    AcquireSRWLockExclusive(&lock);
    stopped = false;
    ReleaseSRWLockExclusive(&lock);
    WakeAllConditionVariable(&changed);
}

int held_signal() noexcept
{
    return 0;
}

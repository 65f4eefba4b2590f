#include "core/rewrite_hold.h"

#include "platform/rewrite_stop_win32.h"

#include <windows.h>

namespace {

// Constant-initialised, so a control event during start-up finds them ready.
SRWLOCK lock = SRWLOCK_INIT;
CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
unsigned holds = 0;
bool stopped = false;
// Holds of the calling thread, in a TLS slot taken by the first hold: a
// nested one must not wait for a stop that in turn waits for the outer one.
// (A thread_local would bring mingw-w64's emulated TLS and its threads
// library into the program.) Read and written under `lock` only.
DWORD own_holds_slot = TLS_OUT_OF_INDEXES;

// The calling thread's holds; 0 while no slot could be had. Keeps the
// thread's last error, which TlsGetValue clears.
unsigned own_holds() noexcept
{
    if (own_holds_slot == TLS_OUT_OF_INDEXES)
        return 0;
    DWORD last_error = GetLastError();
    void* count = TlsGetValue(own_holds_slot);
    SetLastError(last_error);
    return static_cast<unsigned>(reinterpret_cast<ULONG_PTR>(count));
}

void set_own_holds(unsigned count) noexcept
{
    if (own_holds_slot != TLS_OUT_OF_INDEXES)
        (void)TlsSetValue(own_holds_slot, reinterpret_cast<void*>(static_cast<ULONG_PTR>(count)));
}

}  // namespace

rewrite_hold::rewrite_hold() noexcept
{
    AcquireSRWLockExclusive(&lock);
    if (own_holds_slot == TLS_OUT_OF_INDEXES)
        own_holds_slot = TlsAlloc();
    while (stopped && own_holds() == 0)
        (void)SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
    ++holds;
    set_own_holds(own_holds() + 1);
    ReleaseSRWLockExclusive(&lock);
}

rewrite_hold::rewrite_hold(within_hold) noexcept
{
    AcquireSRWLockExclusive(&lock);
    if (own_holds_slot == TLS_OUT_OF_INDEXES)
        own_holds_slot = TlsAlloc();
    ++holds;
    set_own_holds(own_holds() + 1);
    ReleaseSRWLockExclusive(&lock);
}

rewrite_hold::~rewrite_hold()
{
    AcquireSRWLockExclusive(&lock);
    --holds;
    set_own_holds(own_holds() - 1);
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

bool stop_pending() noexcept
{
    AcquireSRWLockShared(&lock);
    bool now = stopped;
    ReleaseSRWLockShared(&lock);
    return now;
}

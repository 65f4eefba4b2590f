#include "cli/work_threads.h"

#include <windows.h>

#include <new>

namespace {

static_assert(sizeof(SRWLOCK) <= 64 && alignof(SRWLOCK) <= 8);
static_assert(sizeof(CONDITION_VARIABLE) <= 64 && alignof(CONDITION_VARIABLE) <= 8);

SRWLOCK* native_lock(unsigned char* bytes) noexcept
{
    return std::launder(reinterpret_cast<SRWLOCK*>(bytes));
}

CONDITION_VARIABLE* native_condition(unsigned char* bytes) noexcept
{
    return std::launder(reinterpret_cast<CONDITION_VARIABLE*>(bytes));
}

struct start_of_thread {
    work_crew::routine run;
    void* context;
};

DWORD WINAPI thread_entry(void* argument) noexcept
{
    start_of_thread start = *static_cast<start_of_thread*>(argument);
    delete static_cast<start_of_thread*>(argument);
    start.run(start.context);
    return 0;
}

}  // namespace

unsigned processors_available() noexcept
{
    DWORD_PTR process_mask = 0;
    DWORD_PTR system_mask = 0;
    unsigned count = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask)) {
        for (; process_mask != 0; process_mask &= process_mask - 1)
            ++count;
    }
    return count > 0 ? count : 1;
}

work_lock::work_lock() noexcept
{
    InitializeSRWLock(new (native_) SRWLOCK);
}

work_lock::~work_lock() = default;

void work_lock::lock() noexcept
{
    AcquireSRWLockExclusive(native_lock(native_));
}

void work_lock::unlock() noexcept
{
    ReleaseSRWLockExclusive(native_lock(native_));
}

work_condition::work_condition() noexcept
{
    InitializeConditionVariable(new (native_) CONDITION_VARIABLE);
}

work_condition::~work_condition() = default;

void work_condition::wait(work_lock& lock) noexcept
{
    (void)SleepConditionVariableSRW(native_condition(native_), native_lock(lock.native_), INFINITE, 0);
}

void work_condition::wake_all() noexcept
{
    WakeAllConditionVariable(native_condition(native_));
}

unsigned work_crew::start(unsigned count, routine run, void* context) noexcept
{
    unsigned started = 0;
    while (count_ < most_threads && started < count) {
        auto* start = new (std::nothrow) start_of_thread{run, context};
        if (!start)
            break;
        HANDLE thread = CreateThread(nullptr, 0, thread_entry, start, 0, nullptr);
        if (!thread) {
            delete start;
            break;
        }
        threads_[count_++] = thread;
        ++started;
    }
    return started;
}

void work_crew::join() noexcept
{
    while (count_ > 0) {
        HANDLE thread = threads_[--count_];
        (void)WaitForSingleObject(thread, INFINITE);
        (void)CloseHandle(thread);
    }
}

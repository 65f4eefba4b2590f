#include "cli/work_threads.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <new>

namespace {

static_assert(sizeof(pthread_mutex_t) <= 64 && alignof(pthread_mutex_t) <= 8);
static_assert(sizeof(pthread_cond_t) <= 64 && alignof(pthread_cond_t) <= 8);

pthread_mutex_t* native_lock(unsigned char* bytes) noexcept
{
    return std::launder(reinterpret_cast<pthread_mutex_t*>(bytes));
}

pthread_cond_t* native_condition(unsigned char* bytes) noexcept
{
    return std::launder(reinterpret_cast<pthread_cond_t*>(bytes));
}

constexpr std::size_t thread_stack_bytes = std::size_t(1) << 20;

struct start_of_thread {
    work_crew::routine run;
    void* context;
};

void* thread_entry(void* argument) noexcept
{
    start_of_thread start = *static_cast<start_of_thread*>(argument);
    delete static_cast<start_of_thread*>(argument);
    start.run(start.context);
    return nullptr;
}

}  // namespace

unsigned processors_available() noexcept
{
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int count = CPU_COUNT(&set);
        if (count > 0)
            return static_cast<unsigned>(count);
    }
#endif
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<unsigned>(online) : 1;
}

work_lock::work_lock() noexcept
{
    (void)pthread_mutex_init(new (native_) pthread_mutex_t, nullptr);
}

work_lock::~work_lock()
{
    (void)pthread_mutex_destroy(native_lock(native_));
}

void work_lock::lock() noexcept
{
    (void)pthread_mutex_lock(native_lock(native_));
}

void work_lock::unlock() noexcept
{
    (void)pthread_mutex_unlock(native_lock(native_));
}

work_condition::work_condition() noexcept
{
    (void)pthread_cond_init(new (native_) pthread_cond_t, nullptr);
}

work_condition::~work_condition()
{
    (void)pthread_cond_destroy(native_condition(native_));
}

void work_condition::wait(work_lock& lock) noexcept
{
    (void)pthread_cond_wait(native_condition(native_), native_lock(lock.native_));
}

void work_condition::wake_all() noexcept
{
    (void)pthread_cond_broadcast(native_condition(native_));
}

unsigned work_crew::start(unsigned count, routine run, void* context) noexcept
{
    // The stack Windows gives a thread, not the 8 MiB of the main thread's
    // limit: under an address-space limit (ulimit -v) eight threads would
    // otherwise take 64 MiB of it.
    pthread_attr_t attributes;
    bool sized = pthread_attr_init(&attributes) == 0;
    if (sized && pthread_attr_setstacksize(&attributes, thread_stack_bytes) != 0) {
        (void)pthread_attr_destroy(&attributes);
        sized = false;
    }
    unsigned started = 0;
    while (count_ < most_threads && started < count) {
        auto* start = new (std::nothrow) start_of_thread{run, context};
        if (!start)
            break;
        pthread_t thread;
        if (pthread_create(&thread, sized ? &attributes : nullptr, thread_entry, start) != 0) {
            delete start;
            break;
        }
        threads_[count_++] = reinterpret_cast<void*>(thread);
        ++started;
    }
    if (sized)
        (void)pthread_attr_destroy(&attributes);
    return started;
}

void work_crew::join() noexcept
{
    while (count_ > 0)
        (void)pthread_join(reinterpret_cast<pthread_t>(threads_[--count_]), nullptr);
}

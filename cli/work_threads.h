#pragma once
// The threads projport-cli converts projects on, and what they share: a lock,
// a condition to wait on under it, and a crew of threads that run one routine
// each and are joined when the crew goes. Over the system's own threads
// (POSIX threads, Windows threads), which fail with a code instead of an
// exception. No system header here.

#include <cstddef>

// The processors this process may run on (its affinity), at least 1.
unsigned processors_available() noexcept;

class work_lock {
public:
    work_lock() noexcept;
    ~work_lock();
    work_lock(const work_lock&) = delete;
    work_lock& operator=(const work_lock&) = delete;

    void lock() noexcept;
    void unlock() noexcept;

private:
    friend class work_condition;
    alignas(8) unsigned char native_[64];
};

// Holds a work_lock for the span of a scope.
class work_guard {
public:
    explicit work_guard(work_lock& lock) noexcept : lock_(lock) { lock_.lock(); }
    ~work_guard() { lock_.unlock(); }
    work_guard(const work_guard&) = delete;
    work_guard& operator=(const work_guard&) = delete;

private:
    work_lock& lock_;
};

class work_condition {
public:
    work_condition() noexcept;
    ~work_condition();
    work_condition(const work_condition&) = delete;
    work_condition& operator=(const work_condition&) = delete;

    // Waits, `lock` held by the caller, until woken (or spuriously): callers
    // wait in a loop on what they wait for.
    void wait(work_lock& lock) noexcept;
    void wake_all() noexcept;

private:
    alignas(8) unsigned char native_[64];
};

// Threads that each run `routine(context)` once; the crew joins them all when
// it is destroyed (or at join()).
class work_crew {
public:
    using routine = void (*)(void* context);

    work_crew() noexcept = default;
    ~work_crew() { join(); }
    work_crew(const work_crew&) = delete;
    work_crew& operator=(const work_crew&) = delete;

    // Starts up to `count` threads (at most most_threads); returns how many
    // the system gave, which may be fewer, 0 included.
    unsigned start(unsigned count, routine run, void* context) noexcept;

    // Waits for every thread started to return.
    void join() noexcept;

    static constexpr unsigned most_threads = 256;

private:
    void* threads_[most_threads] = {};
    unsigned count_ = 0;
};

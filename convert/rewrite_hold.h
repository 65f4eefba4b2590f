#pragma once
// While a project file is being rewritten, or its original bytes written back,
// the process must not be ended half way: a console control event (Windows)
// or a terminating signal (POSIX) that arrives meanwhile takes effect only
// once the file is whole again. No system header here.

// Held for the span of one rewrite, on the thread that writes. Holds nest.
// On Windows a hold taken after stop_rewrites() waits for ever, since the
// process is about to end; on POSIX the terminating signals are blocked
// while any hold lasts and delivered when the last one ends.
class rewrite_hold {
public:
    rewrite_hold() noexcept;
    ~rewrite_hold();
    rewrite_hold(const rewrite_hold&) = delete;
    rewrite_hold& operator=(const rewrite_hold&) = delete;
};

// Called where the process is about to end (a console control handler):
// waits at most `timeout_ms` for the rewrite in progress, and lets no new
// one start afterwards. Returns true when no rewrite is in progress any more,
// false when the time ran out first.
bool stop_rewrites(unsigned timeout_ms) noexcept;

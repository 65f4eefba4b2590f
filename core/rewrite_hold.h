#pragma once
// While a project file is being rewritten, or its original bytes written back,
// the process must not be ended half way: a console control event (Windows)
// or a terminating signal (POSIX) that arrives meanwhile takes effect only
// once the file is whole again. No system header here.

// Held for the span of one rewrite, on the thread that writes. Holds nest: a
// thread that holds one already gets a further one at once, also after the
// rewrites were stopped. On Windows a console control handler stops the
// rewrites and waits for every hold in progress, on any thread
// (platform/rewrite_stop_win32.h). On POSIX the terminating signals are
// blocked on the holding thread while its holds last and delivered when the
// last one ends; other threads of the process must keep them blocked, or
// such a signal is delivered to them and ends the process at once: threads
// started while a hold is held inherit the block, and the holds they take
// themselves leave it in place.
// Marks a hold taken by a thread that works for another thread's hold, and
// only while that one lasts (the threads a run converts on): it never waits
// for a stop, which waits for it in turn.
struct within_hold {};

class rewrite_hold {
public:
    rewrite_hold() noexcept;
    explicit rewrite_hold(within_hold) noexcept;
    ~rewrite_hold();
    rewrite_hold(const rewrite_hold&) = delete;
    rewrite_hold& operator=(const rewrite_hold&) = delete;
};

// POSIX: the first terminating signal that arrived while a hold was held.
// Such a signal is kept from ending the process when the hold ends, so that
// the caller can finish what it reports and end the run itself (exit code
// 128 + the signal's number); 0 when none came. Always 0 on Windows, where a
// console control event is waited for instead (stop_rewrites).
int held_signal() noexcept;

// Whether the work under the holds should stop starting anything new: on
// POSIX a signal that would end the process is held back (pending) or was
// taken (held_signal); on Windows the rewrites were stopped. Any thread may
// ask.
bool stop_pending() noexcept;

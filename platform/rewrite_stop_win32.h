#pragma once
// Windows: how a console control handler lets the rewrite in progress finish
// before the process is ended (the hold itself is core/rewrite_hold.h). On
// POSIX a terminating signal is held back by the hold instead, and nothing
// needs stopping. No system header here.

// The system grants a handler of the close event about 5 s before it ends
// the process; the logoff and shutdown events get at least as long. A
// control handler waits this long for the rewrite in progress.
constexpr unsigned rewrite_grace_ms = 4000;

// Called where the process is about to end (a console control handler):
// waits at most `timeout_ms` for the rewrite in progress, and lets no new
// one start afterwards; a first hold taken after it waits until
// resume_rewrites(), which the program itself never calls. Returns true when
// no rewrite is in progress any more, false when the time ran out first.
bool stop_rewrites(unsigned timeout_ms) noexcept;

// Undoes stop_rewrites(): rewrites may start again, and holds that wait for
// that go on. For tests, which call stop_rewrites() in a process that does
// not end then.
void resume_rewrites() noexcept;

#pragma once
// A pipe for a child's standard output that the test reads only when it
// chooses: with a small capacity, the child is held in writing its report
// until then.

#include <string>

struct output_pipe {
    int read_end = -1;
    int write_end = -1;

    // Both ends close on exec; `capacity` is a wish (Linux's F_SETPIPE_SZ).
    explicit output_pipe(int capacity = 4096);
    ~output_pipe();
    output_pipe(const output_pipe&) = delete;
    output_pipe& operator=(const output_pipe&) = delete;

    bool made() const noexcept { return read_end >= 0 && write_end >= 0; }

    // The test's copy of the write end, once the child has its own.
    void close_write_end() noexcept;

    // Everything written until every write end is closed.
    std::string read_all();
};

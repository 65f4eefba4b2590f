#pragma once
// The record through which a conversion holds its project file: one handle,
// opened for reading and writing with full sharing, closed when the record is
// closed or goes out of scope.

#include <windows.h>

struct async_file {
    OVERLAPPED async_r{};                      // unused while reads are synchronous
    OVERLAPPED async_w{};                      // unused while writes are synchronous
    HANDLE handle = INVALID_HANDLE_VALUE;
    OVERLAPPED* read_overlapped = nullptr;     // null: synchronous reads
    OVERLAPPED* write_overlapped = nullptr;    // null: synchronous writes
    bool is_open = false;
    bool is_async = false;
    bool quiet = false;                        // a failed open prints nothing
    bool borrowed = false;                     // closing leaves the handle to its owner
    DWORD last_error = 0;                      // of the last failed open, read or seek
    DWORD write_error = 0;                     // outcome of the last write-side step

    async_file() = default;
    async_file(const async_file&) = delete;
    async_file& operator=(const async_file&) = delete;
    ~async_file() { close(); }

    // Opens `name` for reading and writing; "-", "con" and "CON" take over the
    // process's standard output instead: the record holds a copy of its
    // handle (the original stays with the runtime's standard output
    // descriptor), and the process's standard output handle becomes its
    // standard error handle. Returns 0, 0xFFFFFFFF when
    // already open, or the system error code of the failed open, which is
    // also printed with its message unless `quiet` is set.
    DWORD open(const wchar_t* name, DWORD extra_flags) noexcept;

    // Gives up the handle; does nothing on a closed record.
    void close() noexcept;
};

// Whether the name stands for the process's standard output rather than a
// file: exactly "-", "con" or "CON", compared code unit by code unit.
bool is_standard_output_name(const wchar_t* name) noexcept;

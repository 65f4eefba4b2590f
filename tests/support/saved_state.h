#pragma once
// Process-wide state that a test changes, put back on every path out of its
// scope, a failed assertion's early return included.

#include <windows.h>

#include <string>

// The working directory: saved when made, optionally moved to `path`, and
// set back at the end of the scope (before a temporary folder it was moved
// into is removed, if declared after that folder).
class saved_working_directory {
public:
    saved_working_directory() { saved_ = current(); }
    explicit saved_working_directory(const std::wstring& path) : saved_working_directory()
    {
        moved_ = !saved_.empty() && SetCurrentDirectoryW(path.c_str()) != FALSE;
    }
    ~saved_working_directory()
    {
        if (!saved_.empty())
            (void)SetCurrentDirectoryW(saved_.c_str());
    }
    saved_working_directory(const saved_working_directory&) = delete;
    saved_working_directory& operator=(const saved_working_directory&) = delete;

    // Whether the move to `path` succeeded.
    bool moved() const { return moved_; }
    const std::wstring& saved() const { return saved_; }

    static std::wstring current()
    {
        DWORD needed = GetCurrentDirectoryW(0, nullptr);
        if (needed == 0)
            return L"";
        std::wstring path(needed, L'\0');
        path.resize(GetCurrentDirectoryW(needed, path.data()));
        return path;
    }

private:
    std::wstring saved_;
    bool moved_ = false;
};

// One of the process's standard handles (STD_OUTPUT_HANDLE...).
class saved_std_handle {
public:
    explicit saved_std_handle(DWORD which) : which_(which), saved_(GetStdHandle(which)) {}
    ~saved_std_handle() { (void)SetStdHandle(which_, saved_); }
    saved_std_handle(const saved_std_handle&) = delete;
    saved_std_handle& operator=(const saved_std_handle&) = delete;

    HANDLE saved() const { return saved_; }

private:
    DWORD which_;
    HANDLE saved_;
};

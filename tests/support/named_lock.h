#pragma once
// A lock shared by every process of the session (a named mutex), held for
// the holder's lifetime: keeps test programs that run at the same time from
// interleaving their changes to one shared thing.

#include <windows.h>

class named_lock {
public:
    // Waits up to `timeout_ms` for the lock named `name`.
    named_lock(const wchar_t* name, DWORD timeout_ms);
    ~named_lock();
    named_lock(const named_lock&) = delete;
    named_lock& operator=(const named_lock&) = delete;

    bool held() const { return held_; }

private:
    HANDLE mutex_ = nullptr;
    bool held_ = false;
};

#include "support/named_lock.h"

named_lock::named_lock(const wchar_t* name, DWORD timeout_ms) : mutex_(CreateMutexW(nullptr, FALSE, name))
{
    if (!mutex_)
        return;
    // An abandoned lock (its holder died) is still ours now.
    DWORD waited = WaitForSingleObject(mutex_, timeout_ms);
    held_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
}

named_lock::~named_lock()
{
    if (held_)
        ReleaseMutex(mutex_);
    if (mutex_)
        CloseHandle(mutex_);
}

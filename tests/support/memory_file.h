#pragma once
// A project file in memory that fails on demand: the n-th call of a chosen
// operation fails with an error, or writes only part of what it is given.
// Or one whose first write stops before it writes a byte until the test lets
// it go: what other threads do while a rewrite is in progress (a control
// handler, a stop of the rewrites) can then be seen. Every operation is safe
// to call from any thread.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "core/project_file.h"

enum class memory_file_op { read, seek, write, set_end, extend };

constexpr const char* name_of(memory_file_op op) noexcept
{
    switch (op) {
    case memory_file_op::read: return "read";
    case memory_file_op::seek: return "seek";
    case memory_file_op::write: return "write";
    case memory_file_op::set_end: return "set_end";
    case memory_file_op::extend: return "extend";
    }
    return "memory_file_op?";
}

struct memory_file_fault {
    memory_file_op op = memory_file_op::read;
    int on_call = 0;               // 1-based call of `op` that misbehaves; 0: none
    bool short_write = false;      // a write then writes half its bytes, without an error
    file_error error = 0;          // otherwise it fails with this code
};

// The first write waits for let_go(). `on_hold` runs on the writing thread
// once that write has begun, before it waits: there it sees what a signal
// handler on that thread sees.
struct first_write_held {
    std::function<void()> on_hold;
};

class memory_file final : public project_file {
public:
    static constexpr file_error disk_full = 28;
    static constexpr file_error too_large = 27;

    explicit memory_file(std::string bytes, std::initializer_list<memory_file_fault> faults = {})
        : bytes_(std::move(bytes)), faults_(faults)
    {
    }

    memory_file(std::string bytes, first_write_held hold)
        : bytes_(std::move(bytes)), held_(true), on_hold_(std::move(hold.on_hold))
    {
    }

    std::string bytes() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

    std::size_t position() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return position_;
    }

    int calls(memory_file_op op) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return calls_[static_cast<int>(op)];
    }

    // Whether the held first write has begun (and waits) within `ms`.
    bool write_began_within(unsigned ms)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return waiting_; });
    }

    // Lets the held write go on; writes after it are not held.
    void let_go()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

    // Whether the end of the file was set after the first write began.
    bool end_set_after_write() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return end_set_after_write_;
    }

    std::uint64_t size() noexcept override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_.size();
    }

    file_error read(char* into, std::size_t count, std::size_t& got) noexcept override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        got = 0;
        if (const memory_file_fault* fault = misbehaves(memory_file_op::read))
            return fault->error;
        std::size_t left = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
        got = std::min(count, left);
        std::copy_n(bytes_.data() + position_, got, into);
        position_ += got;
        return 0;
    }

    file_error seek(std::uint64_t offset) noexcept override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const memory_file_fault* fault = misbehaves(memory_file_op::seek))
            return fault->error;
        position_ = static_cast<std::size_t>(offset);
        return 0;
    }

    file_error write(const char* from, std::size_t count, std::size_t& written) noexcept override
    {
        written = 0;
        bool first = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            first = !writing_began_;
            writing_began_ = true;
        }
        if (first && held_) {
            if (on_hold_)
                on_hold_();
            std::unique_lock<std::mutex> lock(mutex_);
            waiting_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_; });
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (const memory_file_fault* fault = misbehaves(memory_file_op::write)) {
            if (!fault->short_write)
                return fault->error;
            count /= 2;
        }
        if (bytes_.size() < position_ + count)
            bytes_.resize(position_ + count);
        std::copy_n(from, count, bytes_.data() + position_);
        position_ += count;
        written = count;
        return 0;
    }

    file_error set_end() noexcept override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const memory_file_fault* fault = misbehaves(memory_file_op::set_end))
            return fault->error;
        bytes_.resize(position_);
        end_set_after_write_ = writing_began_;
        return 0;
    }

    file_error extend(std::uint64_t length) noexcept override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (const memory_file_fault* fault = misbehaves(memory_file_op::extend))
            return fault->error;
        bytes_.resize(static_cast<std::size_t>(length));
        position_ = bytes_.size();
        return 0;
    }

    file_error disk_full_error() const noexcept override { return disk_full; }
    file_error too_large_error() const noexcept override { return too_large; }

private:
    // Counts the call; the fault planted for it, if any. Called with the lock held.
    const memory_file_fault* misbehaves(memory_file_op op) noexcept
    {
        int call = ++calls_[static_cast<int>(op)];
        for (const memory_file_fault& fault : faults_)
            if (fault.op == op && fault.on_call == call)
                return &fault;
        return nullptr;
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string bytes_;
    std::vector<memory_file_fault> faults_;
    std::size_t position_ = 0;
    int calls_[5] = {};
    bool held_ = false;              // the first write waits for let_go()
    std::function<void()> on_hold_;
    bool writing_began_ = false;     // the first write has begun
    bool waiting_ = false;           // ... and, held, waits to be let go
    bool released_ = false;
    bool end_set_after_write_ = false;
};

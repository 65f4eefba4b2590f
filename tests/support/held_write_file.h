#pragma once
// A project file in memory whose first write stops before it writes a byte
// until the test lets it go: what other threads do while a rewrite is in
// progress (a control handler, a stop of the rewrites) can then be seen.
// Every operation is safe to call from any thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

#include "core/project_file.h"

class held_write_file final : public project_file {
public:
    static constexpr file_error disk_full = 28;
    static constexpr file_error too_large = 27;

    // `on_hold` runs on the writing thread once the first write has begun,
    // before it waits: there it sees what a signal handler on that thread sees.
    explicit held_write_file(std::string bytes, std::function<void()> on_hold = nullptr)
        : bytes_(std::move(bytes)), on_hold_(std::move(on_hold))
    {
    }

    // Whether the first write has begun (and waits) within `ms`.
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

    std::string bytes() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

    // Whether the end of the file was set after the first write.
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
        got = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
        if (got > count)
            got = count;
        if (got)
            std::memcpy(into, bytes_.data() + position_, got);
        position_ += got;
        return 0;
    }

    file_error seek(std::uint64_t offset) noexcept override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        position_ = static_cast<std::size_t>(offset);
        return 0;
    }

    file_error write(const char* from, std::size_t count, std::size_t& written) noexcept override
    {
        bool first = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            first = !holding_;
            holding_ = true;
        }
        if (first) {
            if (on_hold_)
                on_hold_();
            std::unique_lock<std::mutex> lock(mutex_);
            waiting_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_; });
        }
        std::lock_guard<std::mutex> lock(mutex_);
        if (bytes_.size() < position_ + count)
            bytes_.resize(position_ + count);
        bytes_.replace(position_, count, from, count);
        position_ += count;
        written = count;
        return 0;
    }

    file_error set_end() noexcept override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes_.resize(position_);
        end_set_after_write_ = holding_;
        return 0;
    }

    file_error extend(std::uint64_t length) noexcept override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        bytes_.resize(static_cast<std::size_t>(length));
        position_ = bytes_.size();
        return 0;
    }

    file_error disk_full_error() const noexcept override { return disk_full; }
    file_error too_large_error() const noexcept override { return too_large; }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::string bytes_;
    std::function<void()> on_hold_;
    std::size_t position_ = 0;
    bool holding_ = false;  // the first write has begun
    bool waiting_ = false;  // ... and waits to be let go
    bool released_ = false;
    bool end_set_after_write_ = false;
};

#pragma once
// A project file in memory that fails on demand: the n-th call of a chosen
// operation fails with an error, or writes only part of what it is given.

#include <algorithm>
#include <initializer_list>
#include <string>
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

class memory_file final : public project_file {
public:
    static constexpr file_error disk_full = 28;
    static constexpr file_error too_large = 27;

    explicit memory_file(std::string bytes, std::initializer_list<memory_file_fault> faults = {})
        : bytes_(std::move(bytes)), faults_(faults)
    {
    }

    const std::string& bytes() const { return bytes_; }
    std::size_t position() const { return position_; }
    int calls(memory_file_op op) const { return calls_[static_cast<int>(op)]; }

    std::uint64_t size() noexcept override { return bytes_.size(); }

    file_error read(char* into, std::size_t count, std::size_t& got) noexcept override
    {
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
        if (const memory_file_fault* fault = misbehaves(memory_file_op::seek))
            return fault->error;
        position_ = static_cast<std::size_t>(offset);
        return 0;
    }

    file_error write(const char* from, std::size_t count, std::size_t& written) noexcept override
    {
        written = 0;
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
        if (const memory_file_fault* fault = misbehaves(memory_file_op::set_end))
            return fault->error;
        bytes_.resize(position_);
        return 0;
    }

    file_error extend(std::uint64_t length) noexcept override
    {
        if (const memory_file_fault* fault = misbehaves(memory_file_op::extend))
            return fault->error;
        bytes_.resize(static_cast<std::size_t>(length));
        position_ = bytes_.size();
        return 0;
    }

    file_error disk_full_error() const noexcept override { return disk_full; }
    file_error too_large_error() const noexcept override { return too_large; }

private:
    const memory_file_fault* misbehaves(memory_file_op op) noexcept
    {
        int call = ++calls_[static_cast<int>(op)];
        for (const memory_file_fault& fault : faults_)
            if (fault.op == op && fault.on_call == call)
                return &fault;
        return nullptr;
    }

    std::string bytes_;
    std::vector<memory_file_fault> faults_;
    std::size_t position_ = 0;
    int calls_[5] = {};
};

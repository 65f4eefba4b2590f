#pragma once
// A growable run of bytes whose allocation reports failure instead of ending
// the process: a project, its converted text and its report are as large as
// the file a user gives us, so running out of memory for one of them must
// fail that project and let the run go on. Builds without exceptions, where
// a std::string that cannot grow aborts.

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

class byte_buffer {
public:
    byte_buffer() noexcept = default;
    ~byte_buffer() { std::free(data_); }
    byte_buffer(const byte_buffer&) = delete;
    byte_buffer& operator=(const byte_buffer&) = delete;
    byte_buffer(byte_buffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)),
          size_(std::exchange(other.size_, 0)),
          capacity_(std::exchange(other.capacity_, 0))
    {
    }
    byte_buffer& operator=(byte_buffer&& other) noexcept
    {
        if (this != &other) {
            std::free(data_);
            data_ = std::exchange(other.data_, nullptr);
            size_ = std::exchange(other.size_, 0);
            capacity_ = std::exchange(other.capacity_, 0);
        }
        return *this;
    }

    // Makes room for `capacity` bytes in all. Returns false, the bytes kept
    // as they were, when the memory cannot be had.
    [[nodiscard]] bool reserve(std::size_t capacity) noexcept
    {
        if (capacity <= capacity_)
            return true;
        void* grown = std::realloc(data_, capacity);
        if (!grown)
            return false;
        data_ = static_cast<char*>(grown);
        capacity_ = capacity;
        return true;
    }

    // Adds `bytes` at the end, growing by at least half again. Returns false,
    // the bytes kept as they were, when the memory cannot be had.
    [[nodiscard]] bool append(std::string_view bytes) noexcept
    {
        if (bytes.size() > capacity_ - size_) {
            if (bytes.size() > static_cast<std::size_t>(-1) - size_)
                return false;
            std::size_t needed = size_ + bytes.size();
            std::size_t grown = capacity_ + capacity_ / 2;
            if (!reserve(grown > needed && grown > capacity_ ? grown : needed) && !reserve(needed))
                return false;
        }
        if (!bytes.empty())
            std::memcpy(data_ + size_, bytes.data(), bytes.size());
        size_ += bytes.size();
        return true;
    }

    // Sets the size to `size` bytes; bytes beyond the old size are left as the
    // allocation gave them, for the caller to fill. Returns false, the bytes
    // kept as they were, when the memory cannot be had.
    [[nodiscard]] bool resize(std::size_t size) noexcept
    {
        if (!reserve(size))
            return false;
        size_ = size;
        return true;
    }

    void clear() noexcept { size_ = 0; }

    char* data() noexcept { return data_; }
    const char* data() const noexcept { return data_; }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    std::string_view view() const noexcept { return {data_, size_}; }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

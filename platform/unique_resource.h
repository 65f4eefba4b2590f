#pragma once
// One holder for every kind of handle, descriptor and key: it closes what it
// holds when it goes out of scope. A kind says what it holds, which values
// mean "nothing held" and how one is closed:
//
//     struct kind {
//         using value_type = ...;
//         static value_type none() noexcept;          // what an empty holder holds
//         static bool is_none(value_type) noexcept;   // every value that is no resource
//         static bool close(value_type) noexcept;     // false when the close call failed
//     };
//
// The kinds of each platform are in platform/win32_handles.h and
// platform/posix_handles.h. No system header here.

template <typename Kind>
class unique_resource {
public:
    using value_type = typename Kind::value_type;

    unique_resource() noexcept = default;
    explicit unique_resource(value_type value) noexcept : value_(value) {}
    unique_resource(const unique_resource&) = delete;
    unique_resource& operator=(const unique_resource&) = delete;
    unique_resource(unique_resource&& other) noexcept : value_(other.release()) {}
    unique_resource& operator=(unique_resource&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~unique_resource() { reset(); }

    [[nodiscard]] bool is_open() const noexcept { return !Kind::is_none(value_); }
    [[nodiscard]] value_type get() const noexcept { return value_; }

    // Closes what is held, ignoring the outcome, and holds `value` instead.
    void reset(value_type value = Kind::none()) noexcept
    {
        if (is_open())
            (void)Kind::close(value_);
        value_ = value;
    }

    // Closes what is held and holds nothing. Returns false when the close
    // call failed (the resource is given up all the same), true when it
    // succeeded or nothing was held.
    [[nodiscard]] bool close() noexcept
    {
        bool closed = true;
        if (is_open())
            closed = Kind::close(value_);
        value_ = Kind::none();
        return closed;
    }

    // Gives up what is held without closing it.
    [[nodiscard]] value_type release() noexcept
    {
        value_type value = value_;
        value_ = Kind::none();
        return value;
    }

    // For a call that hands a new resource back through a pointer: closes
    // what is held and returns where the new one goes.
    [[nodiscard]] value_type* put() noexcept
    {
        reset();
        return &value_;
    }

private:
    value_type value_ = Kind::none();
};

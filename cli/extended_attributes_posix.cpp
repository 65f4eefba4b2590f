#include "cli/extended_attributes.h"

#include <errno.h>
#include <sys/types.h>
#include <sys/xattr.h>

#include <cstring>
#include <string_view>

#include "cli/byte_buffer.h"
#include "platform/last_error.h"

namespace {

// macOS takes a position and options beside Linux's arguments.
#if defined(__APPLE__)
ssize_t list_names(int fd, char* names, std::size_t size) noexcept { return flistxattr(fd, names, size, 0); }
ssize_t get_value(int fd, const char* name, void* value, std::size_t size) noexcept
{
    return fgetxattr(fd, name, value, size, 0, 0);
}
int set_value(int fd, const char* name, const void* value, std::size_t size) noexcept
{
    return fsetxattr(fd, name, value, size, 0, 0);
}
int remove_value(int fd, const char* name) noexcept { return fremovexattr(fd, name, 0); }
constexpr int no_attribute = ENOATTR;
#else
ssize_t list_names(int fd, char* names, std::size_t size) noexcept { return flistxattr(fd, names, size); }
ssize_t get_value(int fd, const char* name, void* value, std::size_t size) noexcept
{
    return fgetxattr(fd, name, value, size);
}
int set_value(int fd, const char* name, const void* value, std::size_t size) noexcept
{
    return fsetxattr(fd, name, value, size, 0);
}
int remove_value(int fd, const char* name) noexcept { return fremovexattr(fd, name); }
constexpr int no_attribute = ENODATA;
#endif

bool not_supported(int code) noexcept
{
    return code == ENOTSUP || code == ENOSYS;
}

// Calls `visit` with each name of `fd`'s attributes (none where the file
// system has no attributes), listed into `names`; the list may grow between
// asking its size and reading it: asked again then. Returns 0, or the error
// of the listing or the first `visit` that fails.
template <typename Visit>
file_error each_name(int fd, byte_buffer& names, Visit visit) noexcept
{
    names.clear();
    for (;;) {
        ssize_t size = list_names(fd, nullptr, 0);
        if (size < 0)
            return not_supported(errno) ? 0 : last_error_or(EIO);
        if (size == 0)
            return 0;
        if (!names.resize(static_cast<std::size_t>(size)))
            return ENOMEM;
        ssize_t got = list_names(fd, names.data(), names.size());
        if (got >= 0) {
            if (!names.resize(static_cast<std::size_t>(got)))
                return ENOMEM;
            break;
        }
        if (errno != ERANGE)
            return last_error_or(EIO);
    }
    for (std::size_t at = 0; at < names.size();) {
        const char* name = names.data() + at;
        at += strnlen(name, names.size() - at) + 1;
        if (at > names.size())
            return EIO;  // a list without its last zero byte
        if (file_error code = visit(name))
            return code;
    }
    return 0;
}

// The value of `name` on `fd`; `present` false where it has none. Returns 0
// or the error.
file_error value_of(int fd, const char* name, byte_buffer& value, bool& present) noexcept
{
    value.clear();
    present = false;
    for (;;) {
        ssize_t size = get_value(fd, name, nullptr, 0);
        if (size < 0)
            return errno == no_attribute || not_supported(errno) ? 0 : last_error_or(EIO);
        if (!value.resize(static_cast<std::size_t>(size)))
            return ENOMEM;
        ssize_t got = get_value(fd, name, value.data(), value.size());
        if (got >= 0) {
            if (!value.resize(static_cast<std::size_t>(got)))
                return ENOMEM;
            present = true;
            return 0;
        }
        if (errno == no_attribute)
            return 0;
        if (errno != ERANGE)
            return last_error_or(EIO);
    }
}

}  // namespace

file_error copy_extended_attributes(int from, int to) noexcept
{
    byte_buffer names, value, theirs;
    file_error code = each_name(from, names, [&](const char* name) -> file_error {
        bool present = false, there = false;
        if (file_error failed = value_of(from, name, value, present))
            return failed;
        if (!present)
            return 0;  // removed meanwhile
        if (file_error failed = value_of(to, name, theirs, there))
            return failed;
        if (there && theirs.view() == value.view())
            return 0;
        return set_value(to, name, value.data(), value.size()) == 0 ? 0 : last_error_or(EIO);
    });
    if (code != 0)
        return code;
    // What the new file got and the project has not: asked of the project
    // one name at a time, so that the work stays linear in the names.
    return each_name(to, names, [&](const char* name) -> file_error {
        if (get_value(from, name, nullptr, 0) >= 0)
            return 0;
        if (errno != no_attribute && !not_supported(errno))
            return last_error_or(EIO);
        if (remove_value(to, name) != 0 && errno != no_attribute)
            return last_error_or(EIO);
        return 0;
    });
}

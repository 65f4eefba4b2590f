#pragma once
// A project's extended attributes, its POSIX access ACL included
// (system.posix_acl_access), carried over to the new file that replaces it.
// POSIX only (extended_attributes_posix.cpp); on Windows the replacement
// keeps the project's own security and streams.

#include "core/project_file.h"

// Gives the file open as `to` every extended attribute of the file open as
// `from`, with the same value, and removes from `to` each one `from` does
// not have (an ACL a new file inherits from its folder's default ACL).
// Attributes that already agree are left alone. Returns 0, or the error of
// the first attribute that could not be read, set or removed (another
// user's security.* attribute, a file system without them): `to` must then
// not take the place of `from`.
[[nodiscard]] file_error copy_extended_attributes(int from, int to) noexcept;

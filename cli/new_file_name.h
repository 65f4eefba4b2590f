#pragma once
// The name of the new file a project's converted text is written to before
// it is moved over the project, beside it in the same folder: hidden, ending
// in ".tmp" so that no walk takes it for a project, and carrying the number
// of the process that made it and a random part, so that two runs with the
// same process number (in two containers, on two hosts sharing a folder)
// never make the same name. Pure computation, no system header.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The longest name a folder entry may have on the systems we write to
// (NAME_MAX bytes; 255 UTF-16 units on Windows, never fewer than the bytes
// of the same name in UTF-8).
inline constexpr std::size_t longest_file_name = 255;

// ".<project_name>.projport-<pid>-<token, 16 hex digits>.tmp". A project
// name too long for that to stay within longest_file_name is cut (at a
// character's boundary) to the part new_file_project_part gives.
std::string new_file_name(std::string_view project_name, long pid, std::uint64_t token);

// The same with ".old.tmp": where Windows keeps the project for the moment
// of its replacement.
std::string backup_file_name(std::string_view project_name, long pid, std::uint64_t token);

// The part of `project_name` that its new-file names carry: all of it, or
// the start of a name too long to carry whole.
[[nodiscard]] std::string_view new_file_project_part(std::string_view project_name) noexcept;

struct new_file_name_parts {
    std::string_view project_part;  // as new_file_project_part gave it
    long pid = 0;
    bool has_token = false;  // false for ".<name>.projport-<pid>.tmp", the shape of earlier versions
    std::uint64_t token = 0;
    bool backup = false;
};

// Whether `name` is one of the names above, or of the shape earlier
// versions made (".<name>.projport-<pid>.tmp" and ".old.tmp"); `parts` then
// says whose.
[[nodiscard]] bool parse_new_file_name(std::string_view name, new_file_name_parts& parts) noexcept;

// Whether a name parsed into `parts` was made for the project `project_name`.
[[nodiscard]] bool is_new_file_of(const new_file_name_parts& parts, std::string_view project_name) noexcept;

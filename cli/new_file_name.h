#pragma once
// The name of the new file a project's converted text is written to before
// it is moved over the project, beside it in the same folder: hidden, ending
// in ".tmp" so that no walk takes it for a project, and carrying the number
// of the process that made it, so that a later run can tell a leftover of a
// process that is gone. Pure computation, no system header.

#include <string>
#include <string_view>

// ".<project_name>.projport-<pid>.tmp"
std::string new_file_name(std::string_view project_name, long pid);

// ".<project_name>.projport-<pid>.old.tmp": where Windows keeps the project
// for the moment of its replacement.
std::string backup_file_name(std::string_view project_name, long pid);

struct new_file_name_parts {
    std::string_view project_name;
    long pid = 0;
};

// Whether `name` is one of the names above; `parts` then says whose.
[[nodiscard]] bool parse_new_file_name(std::string_view name, new_file_name_parts& parts) noexcept;

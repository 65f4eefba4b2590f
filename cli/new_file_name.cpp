#include "cli/new_file_name.h"

namespace {

constexpr std::string_view marker = ".projport-";
constexpr std::string_view new_suffix = ".tmp";
constexpr std::string_view backup_suffix = ".old.tmp";
// More digits than any process number has; also keeps `long` from overflowing.
constexpr std::size_t most_pid_digits = 9;

std::string name_with(std::string_view project_name, long pid, std::string_view suffix)
{
    std::string name = ".";
    name.append(project_name).append(marker).append(std::to_string(pid)).append(suffix);
    return name;
}

}  // namespace

std::string new_file_name(std::string_view project_name, long pid)
{
    return name_with(project_name, pid, new_suffix);
}

std::string backup_file_name(std::string_view project_name, long pid)
{
    return name_with(project_name, pid, backup_suffix);
}

bool parse_new_file_name(std::string_view name, new_file_name_parts& parts) noexcept
{
    if (name.size() < 2 || name.front() != '.')
        return false;
    std::string_view rest;
    if (name.size() > backup_suffix.size() && name.substr(name.size() - backup_suffix.size()) == backup_suffix)
        rest = name.substr(1, name.size() - 1 - backup_suffix.size());
    else if (name.size() > new_suffix.size() && name.substr(name.size() - new_suffix.size()) == new_suffix)
        rest = name.substr(1, name.size() - 1 - new_suffix.size());
    else
        return false;
    std::size_t at = rest.rfind(marker);
    if (at == std::string_view::npos || at == 0)
        return false;
    std::string_view digits = rest.substr(at + marker.size());
    if (digits.empty() || digits.size() > most_pid_digits)
        return false;
    long pid = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        pid = pid * 10 + (c - '0');
    }
    parts.project_name = rest.substr(0, at);
    parts.pid = pid;
    return true;
}

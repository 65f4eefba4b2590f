#include "cli/new_file_name.h"

namespace {

constexpr std::string_view marker = ".projport-";
constexpr std::string_view new_suffix = ".tmp";
constexpr std::string_view backup_suffix = ".old.tmp";
// More digits than any process number has; also keeps `long` from overflowing.
constexpr std::size_t most_pid_digits = 9;
constexpr std::size_t token_digits = 16;
// What a name adds to its project part at most: the dot in front, the
// marker, the digits, the dash, the token and the longer suffix. A fixed
// bound, so that the cut does not depend on the process number.
constexpr std::size_t most_added = 1 + marker.size() + most_pid_digits + 1 + token_digits + backup_suffix.size();
constexpr std::size_t longest_project_part = longest_file_name - most_added;

std::string name_with(std::string_view project_name, long pid, std::uint64_t token, std::string_view suffix)
{
    constexpr char hex[] = "0123456789abcdef";
    std::string name = ".";
    name.append(new_file_project_part(project_name)).append(marker).append(std::to_string(pid)).append(1, '-');
    for (int shift = 60; shift >= 0; shift -= 4)
        name.append(1, hex[(token >> shift) & 0xF]);
    name.append(suffix);
    return name;
}

bool ends_with(std::string_view text, std::string_view end) noexcept
{
    return text.size() > end.size() && text.substr(text.size() - end.size()) == end;
}

bool parse_pid(std::string_view digits, long& pid) noexcept
{
    if (digits.empty() || digits.size() > most_pid_digits)
        return false;
    pid = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        pid = pid * 10 + (c - '0');
    }
    return true;
}

bool parse_token(std::string_view digits, std::uint64_t& token) noexcept
{
    if (digits.size() != token_digits)
        return false;
    token = 0;
    for (char c : digits) {
        unsigned value = 0;
        if (c >= '0' && c <= '9')
            value = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            value = static_cast<unsigned>(c - 'a' + 10);
        else
            return false;
        token = (token << 4) | value;
    }
    return true;
}

}  // namespace

std::string new_file_name(std::string_view project_name, long pid, std::uint64_t token)
{
    return name_with(project_name, pid, token, new_suffix);
}

std::string backup_file_name(std::string_view project_name, long pid, std::uint64_t token)
{
    return name_with(project_name, pid, token, backup_suffix);
}

std::string_view new_file_project_part(std::string_view project_name) noexcept
{
    if (project_name.size() <= longest_project_part)
        return project_name;
    std::size_t cut = longest_project_part;
    // Never inside a UTF-8 sequence: back over its continuation bytes.
    while (cut > 0 && (static_cast<unsigned char>(project_name[cut]) & 0xC0) == 0x80)
        --cut;
    return project_name.substr(0, cut);
}

bool parse_new_file_name(std::string_view name, new_file_name_parts& parts) noexcept
{
    if (name.size() < 2 || name.front() != '.')
        return false;
    bool backup = ends_with(name, backup_suffix);
    if (!backup && !ends_with(name, new_suffix))
        return false;
    std::string_view rest = name.substr(1, name.size() - 1 - (backup ? backup_suffix : new_suffix).size());
    std::size_t at = rest.rfind(marker);
    if (at == std::string_view::npos || at == 0)
        return false;
    std::string_view numbers = rest.substr(at + marker.size());
    new_file_name_parts found;
    std::size_t dash = numbers.find('-');
    if (dash == std::string_view::npos) {
        if (!parse_pid(numbers, found.pid))
            return false;
    } else {
        if (!parse_pid(numbers.substr(0, dash), found.pid) || !parse_token(numbers.substr(dash + 1), found.token))
            return false;
        found.has_token = true;
    }
    found.project_part = rest.substr(0, at);
    found.backup = backup;
    parts = found;
    return true;
}

bool is_new_file_of(const new_file_name_parts& parts, std::string_view project_name) noexcept
{
    // Earlier versions always carried the whole name.
    if (!parts.has_token)
        return parts.project_part == project_name;
    return parts.project_part == new_file_project_part(project_name);
}

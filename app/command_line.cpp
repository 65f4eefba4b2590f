#include "app/command_line.h"

vs_version match_version(const wchar_t* argument) noexcept
{
    if (!argument)
        return no_vs_version;
    for (int row = 0; row < static_cast<int>(version_count); ++row) {
        const wchar_t* label = version_table[row].label;
        int same = 0;
        while (same < 4 && argument[same] == label[same])
            ++same;
        if (same == 4)
            return vs_version(row);
    }
    return no_vs_version;
}

bool parse_command_line(int count, wchar_t* const* arguments, conversion_request& request) noexcept
{
    request = {};
    if (!arguments || count < 3)
        return false;
    // Only the first two characters of the switch count: -s, -silent and -sx alike.
    if (count >= 4)
        request.attach = arguments[3][0] == L'-' && arguments[3][1] == L's';
    request.version = match_version(arguments[1]);
    if (request.version < 0)
        return false;
    request.path = arguments[2];
    return true;
}

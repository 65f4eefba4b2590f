#include "convert/text_search.h"

std::size_t find_text(std::string_view text, std::string_view needle, std::size_t from) noexcept
{
    return text.find(needle, from);
}

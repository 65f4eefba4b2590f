#include "core/text_search.h"

#include <array>
#include <cstring>

namespace {

// Bytes that are frequent in project files (markup, element names, paths,
// conditions, GUIDs), roughly most frequent first. A needle is looked for by
// its rarest byte: the one latest in this list, or better one not in it.
constexpr std::string_view common_bytes =
    " \r\n\t<>/=\"eoinrtaPlcgsCpumdIjfGDhLTbRwWEy0123456789.-_:;'|$()\\{}ASOMFNBkx";

// Rank of every byte value: its place in common_bytes, or past its end when
// it is not there.
constexpr auto rarity_ranks = [] {
    std::array<unsigned char, 256> ranks{};
    ranks.fill(static_cast<unsigned char>(common_bytes.size()));
    for (std::size_t i = 0; i < common_bytes.size(); ++i)
        ranks[static_cast<unsigned char>(common_bytes[i])] = static_cast<unsigned char>(i);
    return ranks;
}();

std::size_t rarity(char c) noexcept
{
    return rarity_ranks[static_cast<unsigned char>(c)];
}

// Offsets of the needle's rarest byte and of its second rarest (the same
// offset for a one-byte needle).
struct rare_offsets {
    std::size_t rarest = 0;
    std::size_t second = 0;
};

rare_offsets rarest_bytes(std::string_view needle) noexcept
{
    rare_offsets r;
    for (std::size_t i = 1; i < needle.size(); ++i) {
        if (rarity(needle[i]) > rarity(needle[r.rarest])) {
            r.second = r.rarest;
            r.rarest = i;
        } else if (r.second == r.rarest || rarity(needle[i]) > rarity(needle[r.second])) {
            r.second = i;
        }
    }
    return r;
}

}  // namespace

// memchr skips through the text at memory speed to the next place where the
// needle's rarest byte could sit; there the second rarest byte is checked
// before the whole needle is compared.
std::size_t find_text(std::string_view text, std::string_view needle, std::size_t from) noexcept
{
    if (from > text.size() || needle.size() > text.size() - from)
        return std::string_view::npos;
    if (needle.empty())
        return from;

    auto [rare, check] = rarest_bytes(needle);
    const char* begin = text.data();
    const char* scan = begin + from + rare;
    const char* scan_end = begin + (text.size() - needle.size()) + rare + 1;
    while (scan < scan_end) {
        const void* hit = std::memchr(scan, needle[rare], static_cast<std::size_t>(scan_end - scan));
        if (!hit)
            return std::string_view::npos;
        const char* start = static_cast<const char*>(hit) - rare;
        if (start[check] == needle[check] && std::memcmp(start, needle.data(), needle.size()) == 0)
            return static_cast<std::size_t>(start - begin);
        scan = static_cast<const char*>(hit) + 1;
    }
    return std::string_view::npos;
}

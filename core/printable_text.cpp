#include "core/printable_text.h"

#include <cstring>

namespace {

constexpr std::size_t escape_size = 4;  // "\xHH"
constexpr std::string_view azure_prefix = "##vso[";

// How many bytes at `at` form one character that is printed as it stands,
// or 0 when the byte at `at` is printed escaped.
std::size_t kept_length(std::string_view text, std::size_t at) noexcept
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    if (lead < 0x80) {
        bool control = (lead < 0x20 && lead != '\t') || lead == 0x7F;
        bool starts_escape = lead == '\\' && at + 1 < text.size() && text[at + 1] == 'x';
        // Azure Pipelines' agent takes "##vso[" anywhere in a line for a
        // logging command: its first '#' is escaped, wherever it stands.
        bool starts_command = lead == '#' && text.substr(at, azure_prefix.size()) == azure_prefix;
        return control || starts_escape || starts_command ? 0 : 1;
    }
    std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4                                  ? 4
                                                                                         : 0;
    if (length == 0 || text.size() - at < length)
        return 0;
    // The second byte's range is what rules out overlong forms, surrogates
    // and code points past U+10FFFF; the C1 controls are C2 80 to C2 9F.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead == 0xC2)
        low = 0xA0;
    else if (lead == 0xE0)
        low = 0xA0;
    else if (lead == 0xED)
        high = 0x9F;
    else if (lead == 0xF0)
        low = 0x90;
    else if (lead == 0xF4)
        high = 0x8F;
    if (byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

}  // namespace

std::size_t printable_size(std::string_view text) noexcept
{
    std::size_t size = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t kept = kept_length(text, at);
        size += kept == 0 ? escape_size : kept;
        at += kept == 0 ? 1 : kept;
    }
    return size;
}

std::size_t write_printable(std::string_view text, char* out, std::size_t room, std::size_t& written) noexcept
{
    constexpr char digits[] = "0123456789ABCDEF";
    written = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t kept = kept_length(text, at);
        if ((kept == 0 ? escape_size : kept) > room - written)
            break;
        if (kept == 0) {
            auto byte = static_cast<unsigned char>(text[at]);
            out[written] = '\\';
            out[written + 1] = 'x';
            out[written + 2] = digits[byte >> 4];
            out[written + 3] = digits[byte & 0xF];
            written += escape_size;
            ++at;
        } else {
            std::memcpy(out + written, text.data() + at, kept);
            written += kept;
            at += kept;
        }
    }
    return at;
}

#include "cli/text_encoding.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr char16_t replacement = u'\uFFFD';

bool is_continuation(unsigned char byte) noexcept
{
    return (byte & 0xC0) == 0x80;
}

// The range the second byte of a sequence starting with `lead` must fall in:
// this is what rules out overlong forms and code points above U+10FFFF.
// Surrogates (after 0xED) are allowed, which is what makes it WTF-8.
void second_byte_range(unsigned char lead, unsigned char& low, unsigned char& high) noexcept
{
    low = 0x80;
    high = 0xBF;
    if (lead == 0xE0)
        low = 0xA0;
    else if (lead == 0xF0)
        low = 0x90;
    else if (lead == 0xF4)
        high = 0x8F;
}

void append_code_point(std::string& out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::u16string utf8_to_utf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        }
        std::size_t length = lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4                                  ? 4
                                                                                             : 0;
        if (length == 0) {
            out += replacement;
            ++i;
            continue;
        }
        unsigned char low = 0;
        unsigned char high = 0;
        second_byte_range(lead, low, high);
        std::uint32_t c = lead & (0x7F >> length);
        std::size_t taken = 1;
        while (taken < length && i + taken < text.size()) {
            auto byte = static_cast<unsigned char>(text[i + taken]);
            if (taken == 1 ? byte < low || byte > high : !is_continuation(byte))
                break;
            c = (c << 6) | (byte & 0x3F);
            ++taken;
        }
        if (taken < length) {
            out += replacement;
            i += taken;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 | (c >> 10));
            out += static_cast<char16_t>(0xDC00 | (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += length;
    }
    return out;
}

std::string utf16_bytes_to_utf8(std::string_view bytes, bool big_endian)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    std::size_t high = big_endian ? 0 : 1;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units += static_cast<char16_t>((static_cast<unsigned char>(bytes[i + high]) << 8) |
                                       static_cast<unsigned char>(bytes[i + 1 - high]));
    return utf16_to_utf8(units);
}

std::string utf16_to_utf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        append_code_point(out, c);
    }
    return out;
}

#ifdef _WIN32
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::wstring widen(std::string_view text)
{
    std::u16string wide = utf8_to_utf16(text);
    return std::wstring(wide.begin(), wide.end());
}

std::string narrow(std::wstring_view text)
{
    return utf16_to_utf8(std::u16string(text.begin(), text.end()));
}
#endif

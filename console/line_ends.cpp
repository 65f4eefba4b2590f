#include "console/line_ends.h"

namespace {

template <typename Char>
text_mode_result translate(const Char* text, std::size_t length, Char* out, std::size_t capacity) noexcept
{
    std::size_t read = 0;
    std::size_t written = 0;
    for (; read < length; ++read) {
        Char c = text[read];
        if (c == Char('\n')) {
            if (capacity - written < 2)
                break;
            out[written++] = Char('\r');
        } else if (written == capacity) {
            break;
        }
        out[written++] = c;
    }
    return {read, written};
}

}  // namespace

text_mode_result to_text_mode(const wchar_t* text, std::size_t length, wchar_t* out,
                              std::size_t capacity) noexcept
{
    return translate(text, length, out, capacity);
}

text_mode_result to_text_mode(const char* text, std::size_t length, char* out, std::size_t capacity) noexcept
{
    return translate(text, length, out, capacity);
}

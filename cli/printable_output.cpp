#include "cli/printable_output.h"

#include "core/printable_text.h"

namespace {

// Escaped a piece at a time: no memory beyond the output's own is needed.
constexpr std::size_t piece_size = 1024;

}  // namespace

bool append_printable(byte_buffer& out, std::string_view text) noexcept
{
    if (printable_size(text) == text.size())
        return out.append(text);
    char piece[piece_size];
    while (!text.empty()) {
        std::size_t written = 0;
        text.remove_prefix(write_printable(text, piece, sizeof piece, written));
        if (!out.append(std::string_view(piece, written)))
            return false;
    }
    return true;
}

void append_printable(std::string& out, std::string_view text)
{
    char piece[piece_size];
    while (!text.empty()) {
        std::size_t written = 0;
        text.remove_prefix(write_printable(text, piece, sizeof piece, written));
        out.append(piece, written);
    }
}

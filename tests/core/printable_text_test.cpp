// The printable form of names and file texts: what is escaped, what stays,
// and that the form reads back to the one text it came from.

#include "core/printable_text.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>
#include <string_view>

namespace {

// The printable form, written in pieces as small as `room` allows.
std::string printable(std::string_view text, std::size_t room = 4)
{
    std::string out;
    std::string piece(room, '\0');
    while (!text.empty()) {
        std::size_t written = 0;
        std::size_t taken = write_printable(text, piece.data(), room, written);
        if (taken == 0)
            break;
        out.append(piece, 0, written);
        text.remove_prefix(taken);
    }
    return out;
}

// Reads a printable form back: every \x and two hex digits is one byte.
std::string read_back(std::string_view form)
{
    auto hex = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
    std::string text;
    for (std::size_t at = 0; at < form.size(); ++at) {
        if (form[at] == '\\' && at + 3 < form.size() && form[at + 1] == 'x') {
            text += static_cast<char>(hex(form[at + 2]) << 4 | hex(form[at + 3]));
            at += 3;
        } else {
            text += form[at];
        }
    }
    return text;
}

struct printable_case {
    const char* what;
    std::string text;
    std::string form;
};

void PrintTo(const printable_case& c, std::ostream* out)
{
    *out << c.what;
}

class PrintableText : public testing::TestWithParam<printable_case> {};

TEST_P(PrintableText, IsEscapedExactlyWhereItCouldActOnATerminalOrARunner)
{
    const printable_case& c = GetParam();
    EXPECT_EQ(printable(c.text), c.form);
    EXPECT_EQ(printable(c.text, 1000), c.form);
    EXPECT_EQ(printable_size(c.text), c.form.size());
    EXPECT_EQ(read_back(c.form), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PrintableText,
    testing::Values(
        printable_case{"a Windows path", "C:\\src\\Engine\\Engine.vcxproj", "C:\\src\\Engine\\Engine.vcxproj"},
        printable_case{"a path through x64", "build\\x64\\a.vcxproj", "build\\x5Cx64\\a.vcxproj"},
        printable_case{"a backslash at the end", "a\\", "a\\"},
        printable_case{"a tab", "a\tb", "a\tb"},
        printable_case{"a forged workflow command", "a\n::error file=x::forged", "a\\x0A::error file=x::forged"},
        printable_case{"CR LF", "v140\r\n", "v140\\x0D\\x0A"},
        printable_case{"a window title", "\x1b]0;title\a", "\\x1B]0;title\\x07"},
        printable_case{"a cleared screen", "\x1b[2J", "\\x1B[2J"},
        printable_case{"a zero byte", std::string("a\0b", 3), "a\\x00b"},
        printable_case{"DEL", "a\x7f", "a\\x7F"},
        printable_case{"C1 NEL and CSI", "a\xc2\x85" "b\xc2\x9b", "a\\xC2\\x85b\\xC2\\x9B"},
        printable_case{"the first letter past the C1 controls", "\xc2\xa0\xc3\xa9", "\xc2\xa0\xc3\xa9"},
        printable_case{"Japanese and an emoji", "\xe3\x83\x97\xf0\x9f\x98\x80", "\xe3\x83\x97\xf0\x9f\x98\x80"},
        printable_case{"a raw CSI byte", "\x9b" "2J", "\\x9B2J"},
        printable_case{"Latin-1", "caf\xe9.vcxproj", "caf\\xE9.vcxproj"},
        printable_case{"a cut sequence", "\xe2\x82" "A", "\\xE2\\x82A"},
        printable_case{"a cut sequence then a whole one", "\xe2\x82\xe2\x82\xac", "\\xE2\\x82\xe2\x82\xac"},
        printable_case{"an overlong slash", "\xc0\xaf", "\\xC0\\xAF"},
        printable_case{"an overlong three-byte form", "\xe0\x80\xaf", "\\xE0\\x80\\xAF"},
        printable_case{"a lone surrogate (WTF-8)", "\xed\xa0\x80", "\\xED\\xA0\\x80"},
        printable_case{"past U+10FFFF", "\xf4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
        printable_case{"the last code point", "\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},
        printable_case{"a four-byte form cut at the end", "\xf0\x9f\x98", "\\xF0\\x9F\\x98"},
        printable_case{"a written escape", "a\\x0Ab", "a\\x5Cx0Ab"},
        printable_case{"an Azure logging command inside a name", "a ##vso[task.complete result=Failed;]x",
                       "a \\x23#vso[task.complete result=Failed;]x"},
        printable_case{"a third hash before it", "###vso[", "#\\x23#vso["},
        printable_case{"hashes that start no command", "##vso ##[group] #", "##vso ##[group] #"}),
    [](const testing::TestParamInfo<printable_case>& tested) {
        std::string name;
        for (char c : std::string_view(tested.param.what))
            name += (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? c : '_';
        return name;
    });

// Whatever the bytes, the form is plain printable text that reads back to
// them: so two names never print alike.
TEST(PrintableTextBytes, EveryTextReadsBackAndHoldsNoControlOrInvalidByte)
{
    unsigned seed = static_cast<unsigned>(std::random_device{}());
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const std::string alphabet = "\\x0A9Fv:#\n\r\t\x1b\x7f\xc2\x80\x9f\xa0\xe2\x82\xac\xed\xf0\xf4\xff";
    for (int round = 0; round < 20000; ++round) {
        std::string text(random() % 12, ' ');
        for (char& c : text)
            c = random() % 4 == 0 ? static_cast<char>(random() % 256) : alphabet[random() % alphabet.size()];
        std::string form = printable(text, 4 + random() % 8);
        ASSERT_EQ(form, printable(text, 1000));
        ASSERT_EQ(read_back(form), text) << form;
        for (char c : form) {
            auto byte = static_cast<unsigned char>(c);
            ASSERT_TRUE(byte >= 0x20 || byte == '\t') << form;
            ASSERT_NE(byte, 0x7F) << form;
        }
        // Escaped again, only its backslashes before an x change: it holds
        // nothing else to escape, C1 controls and invalid UTF-8 included.
        std::size_t escapes = 0;
        for (std::size_t at = form.find("\\x"); at != std::string::npos; at = form.find("\\x", at + 1))
            ++escapes;
        ASSERT_EQ(printable_size(form), form.size() + 3 * escapes) << form;
    }
}

}  // namespace

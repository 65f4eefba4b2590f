// The printable form appended a piece at a time is the form of the whole
// text, into either kind of output, however the pieces fall.

#include "cli/printable_output.h"

#include <gtest/gtest.h>

#include <string>

#include "core/printable_text.h"

namespace {

std::string whole_form(std::string_view text)
{
    std::string form(printable_size(text), '\0');
    std::size_t written = 0;
    EXPECT_EQ(write_printable(text, form.data(), form.size(), written), text.size());
    form.resize(written);
    return form;
}

TEST(PrintableOutput, ALongTextIsEscapedWholeAcrossThePieces)
{
    // A byte to escape, a four-byte character and a backslash before an x
    // fall on every offset of a piece's end in turn.
    std::string text;
    for (int i = 0; i < 1500; ++i)
        text += i % 3 == 0 ? "\x1b\xf0\x9f\x98\x80" : i % 3 == 1 ? "\\x" : "ab";
    byte_buffer buffer;
    ASSERT_TRUE(append_printable(buffer, text));
    std::string string;
    append_printable(string, text);
    std::string expected = whole_form(text);
    EXPECT_TRUE(buffer.view() == expected);
    EXPECT_TRUE(string == expected);
    EXPECT_GT(expected.size(), 4096u);
}

TEST(PrintableOutput, ATextWithNothingToEscapeIsAppendedAsItIs)
{
    byte_buffer buffer;
    ASSERT_TRUE(append_printable(buffer, "C:\\src\\Engine\\Engine.vcxproj"));
    ASSERT_TRUE(append_printable(buffer, " \xc3\xa9"));
    EXPECT_EQ(buffer.view(), "C:\\src\\Engine\\Engine.vcxproj \xc3\xa9");
}

}  // namespace

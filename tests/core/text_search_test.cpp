#include "core/text_search.h"

#include <gtest/gtest.h>

#include <string>

namespace {
constexpr std::size_t npos = std::string_view::npos;
}

TEST(FindText, NeedleAtTheStartAndAtTheEnd)
{
    EXPECT_EQ(find_text("Version=x", "Version", 0), 0u);
    EXPECT_EQ(find_text("x=Version", "Version", 0), 2u);
    EXPECT_EQ(find_text("x=Version", "Version", 3), npos);
}

TEST(FindText, OverlappingCandidatesAndRepeatedRareByte)
{
    EXPECT_EQ(find_text("aaab", "aab", 0), 1u);
    EXPECT_EQ(find_text("vvvvvxvvw", "vvw", 0), 6u);
    EXPECT_EQ(find_text("kxkxkxky", "kxky", 0), 4u);
}

TEST(FindText, NeedleLongerThanTheTextOrFromPastTheEnd)
{
    EXPECT_EQ(find_text("abc", "abcd", 0), npos);
    EXPECT_EQ(find_text("abc", "c", 3), npos);
    EXPECT_EQ(find_text("abc", "c", 4), npos);
    EXPECT_EQ(find_text("abc", "", 3), 3u);
    EXPECT_EQ(find_text("abc", "", 4), npos);
}

TEST(FindText, EmptyNeedleIsFoundWhereTheSearchStarts)
{
    EXPECT_EQ(find_text("abc", "", 0), 0u);
    EXPECT_EQ(find_text("abc", "", 2), 2u);
}

TEST(FindText, HighBytesAndZeroBytesAreOrdinaryBytes)
{
    std::string text("a\0\xff\x80q\0\xff\x81", 8);
    EXPECT_EQ(find_text(text, std::string("\xff\x81", 2), 0), 6u);
    EXPECT_EQ(find_text(text, std::string("\0\xff", 2), 2), 5u);
    EXPECT_EQ(find_text(text, "q", 0), 4u);
}

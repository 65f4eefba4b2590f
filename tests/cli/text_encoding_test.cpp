#include "cli/text_encoding.h"

#include <gtest/gtest.h>

namespace {

std::u16string units(std::initializer_list<char16_t> list)
{
    return std::u16string(list);
}

}  // namespace

TEST(TextEncoding, AsciiPassesThroughBothWays)
{
    EXPECT_EQ(utf8_to_utf16("C:\\src\\a.vcxproj"), u"C:\\src\\a.vcxproj");
    EXPECT_EQ(utf16_to_utf8(u"C:\\src\\a.vcxproj"), "C:\\src\\a.vcxproj");
    EXPECT_EQ(utf8_to_utf16(""), u"");
    EXPECT_EQ(utf16_to_utf8(u""), "");
}

TEST(TextEncoding, EmbeddedZeroIsAUnitLikeAnyOther)
{
    EXPECT_EQ(utf8_to_utf16(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_EQ(utf16_to_utf8(std::u16string_view(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(TextEncoding, EachSequenceLengthAtItsBounds)
{
    // U+0080, U+07FF, U+0800, U+FFFF, U+10000, U+10FFFF
    std::string utf8 = "\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF";
    std::u16string utf16 = units({0x0080, 0x07FF, 0x0800, 0xFFFF, 0xD800, 0xDC00, 0xDBFF, 0xDFFF});
    EXPECT_EQ(utf8_to_utf16(utf8), utf16);
    EXPECT_EQ(utf16_to_utf8(utf16), utf8);
}

TEST(TextEncoding, FourByteSequenceIsASurrogatePair)
{
    // U+1F600
    EXPECT_EQ(utf8_to_utf16("\xF0\x9F\x98\x80"), units({0xD83D, 0xDE00}));
    EXPECT_EQ(utf16_to_utf8(units({0xD83D, 0xDE00})), "\xF0\x9F\x98\x80");
}

TEST(TextEncoding, LoneSurrogatesKeepTheirThreeByteForm)
{
    std::u16string lone_high = units({u'a', 0xD800, u'b'});
    std::u16string lone_low = units({u'a', 0xDFFF});
    std::u16string reversed = units({0xDC00, 0xD800});
    EXPECT_EQ(utf16_to_utf8(lone_high), "a\xED\xA0\x80" "b");
    EXPECT_EQ(utf16_to_utf8(lone_low), "a\xED\xBF\xBF");
    EXPECT_EQ(utf16_to_utf8(reversed), "\xED\xB0\x80\xED\xA0\x80");
    EXPECT_EQ(utf8_to_utf16(utf16_to_utf8(lone_high)), lone_high);
    EXPECT_EQ(utf8_to_utf16(utf16_to_utf8(lone_low)), lone_low);
    EXPECT_EQ(utf8_to_utf16(utf16_to_utf8(reversed)), reversed);
}

TEST(TextEncoding, TwoHighSurrogatesAreTwoLoneOnes)
{
    std::u16string text = units({0xD800, 0xDBFF, 0xDC00});
    EXPECT_EQ(utf16_to_utf8(text), "\xED\xA0\x80\xF4\x8F\xB0\x80");
    EXPECT_EQ(utf8_to_utf16(utf16_to_utf8(text)), text);
}

TEST(TextEncoding, HighSurrogateAtTheEndIsLone)
{
    std::u16string text = units({u'x', 0xDBFF});
    EXPECT_EQ(utf16_to_utf8(text), "x\xED\xAF\xBF");
    EXPECT_EQ(utf8_to_utf16(utf16_to_utf8(text)), text);
}

TEST(TextEncoding, EverySingleUnitRoundTrips)
{
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        std::u16string text(1, static_cast<char16_t>(c));
        ASSERT_EQ(utf8_to_utf16(utf16_to_utf8(text)), text) << static_cast<unsigned>(c);
    }
}

TEST(TextEncoding, EveryPairRoundTripsThroughFourBytes)
{
    for (char16_t high = 0xD800; high <= 0xDBFF; high = static_cast<char16_t>(high + 0x3F)) {
        for (char16_t low = 0xDC00; low <= 0xDFFF; low = static_cast<char16_t>(low + 0x11)) {
            std::u16string pair = units({high, low});
            std::string utf8 = utf16_to_utf8(pair);
            ASSERT_EQ(utf8.size(), 4u);
            ASSERT_EQ(utf8_to_utf16(utf8), pair);
        }
    }
}

TEST(TextEncoding, SurrogateFormsInARowSpellThePair)
{
    EXPECT_EQ(utf8_to_utf16("\xED\xA0\xBD\xED\xB8\x80"), units({0xD83D, 0xDE00}));
}

TEST(TextEncoding, StrayContinuationBytesAreEachReplaced)
{
    EXPECT_EQ(utf8_to_utf16("a\x80\xBF" "b"), units({u'a', 0xFFFD, 0xFFFD, u'b'}));
}

TEST(TextEncoding, BytesThatNeverStartASequenceAreReplaced)
{
    EXPECT_EQ(utf8_to_utf16("\xC0\xC1\xF5\xFF"), units({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}));
}

TEST(TextEncoding, OverlongFormsAreReplacedBytewise)
{
    // "/" as two bytes, U+0000 as three, U+FFFF as four.
    EXPECT_EQ(utf8_to_utf16("\xC0\xAF"), units({0xFFFD, 0xFFFD}));
    EXPECT_EQ(utf8_to_utf16("\xE0\x80\x80"), units({0xFFFD, 0xFFFD, 0xFFFD}));
    EXPECT_EQ(utf8_to_utf16("\xF0\x8F\xBF\xBF"), units({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}));
}

TEST(TextEncoding, CodePointsAboveTheLastAreReplaced)
{
    // U+110000
    EXPECT_EQ(utf8_to_utf16("\xF4\x90\x80\x80"), units({0xFFFD, 0xFFFD, 0xFFFD, 0xFFFD}));
}

TEST(TextEncoding, TruncatedSequenceIsOneReplacement)
{
    EXPECT_EQ(utf8_to_utf16("\xE2\x82"), units({0xFFFD}));
    EXPECT_EQ(utf8_to_utf16("\xF0\x9F\x98" "a"), units({0xFFFD, u'a'}));
    EXPECT_EQ(utf8_to_utf16("\xE2\x82\xE2\x82\xAC"), units({0xFFFD, 0x20AC}));
}

#ifdef _WIN32
TEST(TextEncoding, WideWrappersMatchTheCodec)
{
    std::wstring wide = L"a\x00FC\xD800";
    EXPECT_EQ(narrow(wide), "a\xC3\xBC\xED\xA0\x80");
    EXPECT_EQ(widen(narrow(wide)), wide);
}
#endif

TEST(TextEncoding, Utf16BytesReadInEitherOrder)
{
    using namespace std::string_view_literals;
    // "a", U+00FC, U+1F600 as a surrogate pair.
    EXPECT_EQ(utf16_bytes_to_utf8("a\0\xFC\0\x3D\xD8\x00\xDE"sv, false), "a\xC3\xBC\xF0\x9F\x98\x80");
    EXPECT_EQ(utf16_bytes_to_utf8("\0a\0\xFC\xD8\x3D\xDE\x00"sv, true), "a\xC3\xBC\xF0\x9F\x98\x80");
    EXPECT_EQ(utf16_bytes_to_utf8("\0a\0"sv, true), "a");
    EXPECT_EQ(utf16_bytes_to_utf8("", false), "");
}

// Text conversion to UTF-8 and the padding of short TIFF texts.
#include <gtest/gtest.h>

#include <string>

#include "avkorvo/src/PropertyList.h"
#include "avkorvo/src/Utf8.h"

using Talvenrock::Orvo::pad;
using Talvenrock::Orvo::utf8;

namespace {

std::string bytes(std::initializer_list<unsigned char> list)
{
    return std::string(list.begin(), list.end());
}

TEST(Utf8, EncodesEachLengthAtItsBoundaries)
{
    // The last value of each form and the first of the next.
    EXPECT_EQ(utf8(std::u32string{0x7F}), bytes({0x7F}));
    EXPECT_EQ(utf8(std::u32string{0x80}), bytes({0xC2, 0x80}));
    EXPECT_EQ(utf8(std::u32string{0xE9}), bytes({0xC3, 0xA9}));
    EXPECT_EQ(utf8(std::u32string{0x7FF}), bytes({0xDF, 0xBF}));
    EXPECT_EQ(utf8(std::u32string{0x800}), bytes({0xE0, 0xA0, 0x80}));
    EXPECT_EQ(utf8(std::u32string{0xFFFF}), bytes({0xEF, 0xBF, 0xBF}));
    EXPECT_EQ(utf8(std::u32string{0x10000}), bytes({0xF0, 0x90, 0x80, 0x80}));
    EXPECT_EQ(utf8(std::u32string{0x1FFFFF}), bytes({0xF7, 0xBF, 0xBF, 0xBF}));
    EXPECT_EQ(utf8(std::u32string{0x200000}), bytes({0xF8, 0x88, 0x80, 0x80, 0x80}));
    EXPECT_EQ(utf8(std::u32string{0x3FFFFFF}), bytes({0xFB, 0xBF, 0xBF, 0xBF, 0xBF}));
    EXPECT_EQ(utf8(std::u32string{0x4000000}), bytes({0xFC, 0x84, 0x80, 0x80, 0x80, 0x80}));
    EXPECT_EQ(utf8(std::u32string{0x7FFFFFFF}), bytes({0xFD, 0xBF, 0xBF, 0xBF, 0xBF, 0xBF}));
}

TEST(Utf8, WideStringOfThisPlatform)
{
    EXPECT_EQ(utf8(std::wstring(L"caf\u00e9")), "caf" + bytes({0xC3, 0xA9}));
    EXPECT_EQ(utf8(std::wstring(L"\U0001F600")), bytes({0xF0, 0x9F, 0x98, 0x80}));
    EXPECT_EQ(utf8(std::wstring()), "");
}

TEST(Utf8, JoinsSurrogatePairsOfUtf16)
{
    const std::u16string grinning{0xD83D, 0xDE00};
    EXPECT_EQ(utf8(grinning), bytes({0xF0, 0x9F, 0x98, 0x80}));
    // The largest code point: both surrogates at their top.
    EXPECT_EQ(utf8(std::u16string{0xDBFF, 0xDFFF}), bytes({0xF4, 0x8F, 0xBF, 0xBF}));
    EXPECT_EQ(utf8(std::u16string{u'a', 0xD800, 0xDC00, u'b'}),
              "a" + bytes({0xF0, 0x90, 0x80, 0x80}) + "b");
}

TEST(Utf8, LoneSurrogatesAreEncodedAsTheyAre)
{
    // A high surrogate at the end, one followed by a non-surrogate, and a
    // low surrogate before a high one are each a value of their own.
    EXPECT_EQ(utf8(std::u16string{0xD800}), bytes({0xED, 0xA0, 0x80}));
    EXPECT_EQ(utf8(std::u16string{0xD800, u'x'}), bytes({0xED, 0xA0, 0x80, 'x'}));
    EXPECT_EQ(utf8(std::u16string{0xDC00, 0xD800}), bytes({0xED, 0xB0, 0x80, 0xED, 0xA0, 0x80}));
}

TEST(Utf8, DropsValuesBeyondThirtyOneBits)
{
    EXPECT_EQ(utf8(std::u32string{U'a', 0x80000000u, 0xFFFFFFFFu, U'b'}), "ab");
    // wchar_t is signed here: a negative character has the same bits.
    if (sizeof(wchar_t) == 4) {
        EXPECT_EQ(utf8(std::wstring{L'a', static_cast<wchar_t>(-1)}), "a");
    }
}

TEST(Pad, FillsShortTextsToFourBytes)
{
    EXPECT_EQ(pad("ab"), "ab  ");
    EXPECT_EQ(pad("abc"), "abc ");
    EXPECT_EQ(pad("abcd"), "abcd");
    EXPECT_EQ(pad("abcdefgh"), "abcdefgh");
    // Bytes, not characters: two bytes of one character are still padded.
    EXPECT_EQ(pad(bytes({0xC3, 0xA9})), bytes({0xC3, 0xA9, ' ', ' '}));
}

}  // namespace

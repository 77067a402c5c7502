// Windows-1252 to and from UTF-16 and UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "text/cp1252.h"
#include "text/unicode.h"

namespace vardel::text {
namespace {

using namespace std::string_literals;

// The code page's bytes 80..9F; every other byte is the code point of the same value.
constexpr char16_t kHighBytes[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

TEST(Cp1252, EveryByteMapsAndComesBack) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const char16_t unit = (b >= 0x80 && b < 0xA0) ? kHighBytes[b - 0x80] : static_cast<char16_t>(b);
        const std::u16string wide = Cp1252ToUtf16(byte);
        ASSERT_EQ(wide.size(), 1u);
        EXPECT_EQ(wide[0], unit) << "byte " << std::hex << b;
        EXPECT_EQ(Utf16ToCp1252(wide), byte) << "byte " << std::hex << b;
        EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(byte)), byte) << "byte " << std::hex << b;
        EXPECT_EQ(Utf8ToUtf16(Cp1252ToUtf8(byte)), wide) << "byte " << std::hex << b;
    }
}

TEST(Cp1252, UnitsWithoutAByteBecomeQuestionMarks) {
    struct Case {
        std::u16string in;
        std::string out;
    };
    const Case cases[] = {
        {u"\u0101", "?"},             // no best fit: a-macron is not "a"
        {u"\u0142", "?"},
        {u"\u4E2D", "?"},
        {u"\U0001F600", "??"},        // one "?" per surrogate
        {u"\u20AC", "\x80"},
        {u"\u2014", "\x97"},
        {u"\u2019", "\x92"},
        {u"\u0160", "\x8A"},
        {u"\u00A0\u00E4\u00FF", "\xA0\xE4\xFF"},
        {u"\u0080", "?"},             // C1 controls without a byte of their own
        {u"\u0083", "?"},
        {u"\u0100", "?"},
        {u"\uFFFD", "?"},
        {u"a\xD800", "a?"},           // unpaired surrogates
        {u"a\xDC00" u"b", "a?b"},
        {u"Gr\u00FC\u00DFe \u20AC", "Gr\xFC\xDF" "e \x80"},
        {u"", ""},
        {u"a\0b"s, "a\0b"s},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf16ToCp1252(c.in), c.out);
}

TEST(Cp1252, Utf8ToAnsiReplacesEachIllFormedPartOnce) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xE2\x80\x94", "Gr\xFC\xDF" "e \x80 \x97"},
        {"\xC4\x81", "?"},
        {"\xF0\x9F\x98\x80", "??"},      // outside the BMP: two units in UTF-16
        {"\xEF\xBF\xBD", "?"},
        {"\xC3", "?"},                   // cut off at the end
        {"\xC3(", "?("},
        {"\xE2\x82", "?"},               // one maximal part
        {"\xE2\x82x", "?x"},
        {"\xF0\x9F\x98", "?"},
        {"\xC0\xAF", "??"},              // overlong forms
        {"\xE0\x80\xAF", "???"},
        {"\xED\xA0\x80", "???"},         // an encoded surrogate
        {"\xF4\x90\x80\x80", "????"},    // beyond U+10FFFF
        {"\xF5\x80", "??"},
        {"\x80", "?"},
        {"\xFF\xFE", "??"},
        {"abc\xC2\xA0", "abc\xA0"},
        {"a\0b"s, "a\0b"s},
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToCp1252(c.in), c.out);
}

TEST(Cp1252, Utf8AndUtf16) {
    EXPECT_EQ(Utf8ToUtf16("a\xF0\x9F\x98\x80\xC3\xA9\xE2\x82\xAC"), u"a\U0001F600\u00E9\u20AC");
    EXPECT_EQ(Utf8ToUtf16("\xE2\x82x\xFF"), u"\uFFFDx\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xED\xB0\x80"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(Utf16ToUtf8(u"a\U0001F600\u00E9\u20AC\uFFFF"), "a\xF0\x9F\x98\x80\xC3\xA9\xE2\x82\xAC\xEF\xBF\xBF");
    EXPECT_EQ(Utf16ToUtf8(u"\xD800"), "\xEF\xBF\xBD");
    EXPECT_EQ(Utf16ToUtf8(u"\xDC00\xD800"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // wrong order
    EXPECT_EQ(Utf16ToUtf8(u"\xD800" u"a"), "\xEF\xBF\xBD" "a");
    EXPECT_EQ(Utf16ToUtf8(u"\xDBFF\xDFFF"), "\xF4\x8F\xBF\xBF");
    EXPECT_EQ(Cp1252ToUtf8("\x80\x81\xE4"), "\xE2\x82\xAC\xC2\x81\xC3\xA4");
}

// The all-ASCII fast path works in words of eight bytes: the first high byte
// must be found at every position of a word, and after it.
TEST(Cp1252, HighByteAtEveryPositionOfALongText) {
    const std::string ascii = "The quick brown fox jumps over the dog";
    for (std::size_t pos = 0; pos <= ascii.size(); ++pos) {
        std::string ansi = ascii;
        ansi.insert(pos, "\x80");
        std::string utf8 = ascii;
        utf8.insert(pos, "\xE2\x82\xAC");
        EXPECT_EQ(Cp1252ToUtf8(ansi), utf8) << pos;
        EXPECT_EQ(Utf8ToCp1252(utf8), ansi) << pos;
        std::string broken = ascii;
        broken.insert(pos, "\xE2\x82");
        std::string expected = ascii;
        expected.insert(pos, "?");
        EXPECT_EQ(Utf8ToCp1252(broken), expected) << pos;
    }
}

}  // namespace
}  // namespace vardel::text

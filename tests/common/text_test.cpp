// Blank trimming, the name upper-case mapping, byte order and replacement.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "text/text.h"

namespace vardel::text {
namespace {

using namespace std::string_literals;

TEST(TrimBlanks, OnlyCode32AtBothEnds) {
    const std::pair<std::string, std::string> cases[] = {
        {"  a b  ", "a b"},
        {"a", "a"},
        {"", ""},
        {"     ", ""},
        {"\ta\t", "\ta\t"},
        {" \n x \r\n ", "\n x \r\n"},
        {" \xA0x\xA0 ", "\xA0x\xA0"},  // no-break space is no blank
        {" a\0b "s, "a\0b"s},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(TrimBlanks(in), out) << "\"" << in << "\"";
}

TEST(UpperCase, LettersAndExactlySevenMoreBytes) {
    const std::map<int, int> extra = {{0x84, 0x8E}, {0x94, 0x99}, {0x81, 0x9A}, {0x82, 0x90},
                                      {0xA4, 0xA5}, {0x86, 0x8F}, {0x87, 0x80}};
    for (int b = 0; b < 256; ++b) {
        int expected = b;
        if (b >= 'a' && b <= 'z') expected = b - 32;
        if (auto it = extra.find(b); it != extra.end()) expected = it->second;
        EXPECT_EQ(UpperCaseByte(static_cast<unsigned char>(b)), expected) << "byte " << std::hex << b;
    }
    EXPECT_EQ(UpperCase("tagesblatt \xE4\xF6\xFC\x84\x94\x81 1-z"), "TAGESBLATT \xE4\xF6\xFC\x8E\x99\x9A 1-Z");
    EXPECT_EQ(UpperCase(""), "");
}

TEST(CompareBytes, UnsignedBytesAndShorterPrefixFirst) {
    struct Case {
        std::string a, b;
        int sign;
    };
    const Case cases[] = {
        {"a", "b", -1},
        {"b", "a", 1},
        {"abc", "abc", 0},
        {"", "", 0},
        {"ab", "abc", -1},
        {"abc", "ab", 1},
        {"", "a", -1},
        {"Z", "a", -1},
        {"\x80", "a", 1},  // high bytes sort after ASCII
        {"\xFF", "\x80", 1},
        {"a\0b"s, "a", 1},  // an embedded NUL is a byte like any other
        {"a\0"s, "a\x01", -1},
    };
    for (const auto& c : cases) {
        const int r = CompareBytes(c.a, c.b);
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << "\"" << c.a << "\" vs \"" << c.b << "\"";
    }
}

TEST(ReplaceAll, LeftToRightWithoutOverlap) {
    struct Case {
        std::string text, search, replacement, expected;
    };
    const Case cases[] = {
        {"aaa", "aa", "b", "ba"},
        {"abcabc", "b", "", "acac"},
        {"abc", "", "x", "abc"},
        {"Abc", "a", "x", "Abc"},  // case-sensitive
        {"aaaa", "a", "aa", "aaaaaaaa"},  // replacements are not searched again
        {"abab", "ab", "ba", "baba"},
        {"abc", "abc", "", ""},
        {"", "a", "b", ""},
        {"x", "xy", "z", "x"},
        {"a - b - c", " - ", "|", "a|b|c"},
        {"news: news: x", "news: ", "", "x"},
        {"a\0b\0c"s, "\0"s, "/", "a/b/c"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplaceAll(c.text, c.search, c.replacement), c.expected)
            << "\"" << c.text << "\" / \"" << c.search << "\"";
}

}  // namespace
}  // namespace vardel::text

// The code pages of the plug-in's texts: conversions, "character n" and cuts, in
// UTF-8, in Windows-1252 and in a single-byte code set given by its table, and
// the texts and fields that follow the code page in force.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "feed/filters.h"
#include "text/code_page.h"
#include "text/fixed_text.h"
#include "text/text.h"
#include "text/unicode.h"

namespace vardel::text {
namespace {

using namespace std::string_literals;

// ISO-8859-7 in part: Latin-1's "£" (A3) and "§" (A7), the Greek letters
// alpha to gamma (E1 to E3) and "΄" (B4); every other byte from 80 on undefined.
CodePage GreekSample() {
    std::array<char32_t, 256> table{};
    for (char32_t b = 0; b < 256; ++b) table[b] = b < 0x80 ? b : CodePage::kUndefined;
    table[0xA3] = 0x00A3;
    table[0xA7] = 0x00A7;
    table[0xB4] = 0x0384;
    table[0xE1] = 0x03B1;
    table[0xE2] = 0x03B2;
    table[0xE3] = 0x03B3;
    return CodePage::SingleByte("ISO-8859-7", table);
}

TEST(CodePage, Utf8IsLosslessAndMendsIllFormedParts) {
    const CodePage utf8 = CodePage::Utf8();
    const std::string text = "\xD0\x9C\xD0\xBE\xD1\x81\xD1\x82 \xCE\xB1 \xE4\xB8\xAD \xF0\x9F\x98\x80";  // Мост α 中 😀
    EXPECT_EQ(utf8.FromUtf8(text), text);
    EXPECT_EQ(utf8.ToUtf8(text), text);
    EXPECT_EQ(utf8.FromUtf16(Utf8ToUtf16(text)), text);
    // Invalid bytes (from a profile in another code set, say) become U+FFFD in
    // both directions, once per maximal part.
    EXPECT_EQ(utf8.ToUtf8("K\xE4se"), "K\xEF\xBF\xBDse");
    EXPECT_EQ(utf8.FromUtf8("\xE2\x82x\xC0\xAF"), "\xEF\xBF\xBDx\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(utf8.FromUtf16(u"a\xD800"), "a\xEF\xBF\xBD");
    EXPECT_EQ(utf8.FromUtf8("a\0b"s), "a\0b"s);
}

TEST(CodePage, SingleByteCodeSetMapsThroughItsTable) {
    const CodePage greek = GreekSample();
    ASSERT_EQ(greek.GetKind(), CodePage::Kind::SingleByte);
    EXPECT_EQ(greek.Name(), "ISO-8859-7");
    // Characters it lacks become "?", one per UTF-16 unit.
    EXPECT_EQ(greek.FromUtf8("\xCE\xB1\xCE\xB2\xCE\xB3 \xC2\xA3 \xC3\xA4 \xD0\x96 \xF0\x9F\x98\x80 \xE2\x82"),
              "\xE1\xE2\xE3 \xA3 ? ? ?? ?");
    EXPECT_EQ(greek.FromUtf16(u"\u03B1\u00A3\U0001F600\xDC00"), "\xE1\xA3???");
    EXPECT_EQ(greek.ToUtf8("\xE1\xB4 \xA3"), "\xCE\xB1\xCE\x84 \xC2\xA3");
    EXPECT_EQ(greek.ToUtf8("\xE4"), "\xEF\xBF\xBD") << "an undefined byte";
}

TEST(CodePage, TableThatIsNotAsciiBelow80GivesWindows1252) {
    std::array<char32_t, 256> table{};
    for (char32_t b = 0; b < 256; ++b) table[b] = b;
    table['A'] = 0x0391;
    EXPECT_EQ(CodePage::SingleByte("ODD", table).GetKind(), CodePage::Kind::Windows1252);
    table['A'] = 'A';
    EXPECT_EQ(CodePage::SingleByte("", table).GetKind(), CodePage::Kind::Windows1252);
}

TEST(CodePage, CharacterNIsUplus00nnInTheCodePage) {
    struct Case {
        unsigned char n;
        std::string windows1252, utf8, greek;
    };
    const Case cases[] = {
        {'A', "A", "A", "A"},
        {9, "\t", "\t", "\t"},
        {0x96, "\x96", "\xC2\x96", "?"},     // Windows-1252 keeps the byte n
        {0xA0, "\xA0", "\xC2\xA0", "?"},
        {0xA3, "\xA3", "\xC2\xA3", "\xA3"},
        {0xE4, "\xE4", "\xC3\xA4", "?"},
        {0xFF, "\xFF", "\xC3\xBF", "?"},
    };
    const CodePage windows1252 = CodePage::Windows1252(), utf8 = CodePage::Utf8(), greek = GreekSample();
    for (const Case& c : cases) {
        EXPECT_EQ(windows1252.Character(c.n), c.windows1252) << int(c.n);
        EXPECT_EQ(utf8.Character(c.n), c.utf8) << int(c.n);
        EXPECT_EQ(greek.Character(c.n), c.greek) << int(c.n);
    }
}

TEST(CodePage, Utf8CutsNeverSplitACharacter) {
    struct Case {
        std::string text;
        std::size_t max;
        std::size_t length;
    };
    const Case cases[] = {
        {"abc", 5, 3},
        {"abc", 3, 3},
        {"abc", 2, 2},
        {"abc", 0, 0},
        {"a\xC3\xA4", 2, 1},                  // two bytes, cut after the first
        {"a\xC3\xA4", 3, 3},
        {"a\xC3\xA4x", 3, 3},
        {"a\xE2\x82\xAC", 2, 1},              // three bytes, cut after one and two
        {"a\xE2\x82\xAC", 3, 1},
        {"a\xE2\x82\xAC" "b", 4, 4},
        {"a\xF0\x9F\x98\x80", 2, 1},          // four bytes, cut after one, two, three
        {"a\xF0\x9F\x98\x80", 3, 1},
        {"a\xF0\x9F\x98\x80", 4, 1},
        {"a\xF0\x9F\x98\x80" "b", 5, 5},
        {"\xC3\xA4", 1, 0},
        // the start of a sequence goes, whether or not the next byte would
        // complete it: a cut depends on the bytes before it only
        {"a\xE2\x82\xE2\x82\xAC", 3, 1},
        {"a\xE2\x82x", 3, 1},
        {"a\x80\x80\x80\x80x", 4, 4},         // stray continuation bytes
        {"a\xFF\x80", 2, 2},
        {"a\xC3", 5, 2},                      // nothing to cut: the text stays whole
    };
    const CodePage utf8 = CodePage::Utf8();
    for (const Case& c : cases) {
        EXPECT_EQ(utf8.FitLength(c.text, c.max), c.length) << ::testing::PrintToString(c.text) << " to " << c.max;
        EXPECT_EQ(CodePage::Windows1252().FitLength(c.text, c.max), std::min(c.text.size(), c.max));
        EXPECT_EQ(GreekSample().FitLength(c.text, c.max), std::min(c.text.size(), c.max));
    }
}

TEST(CodePage, FileNamesOfWindows1252AreUtf8AndOthersStay) {
    EXPECT_EQ(CodePage::Windows1252().FileName("M\xFCnchen.xml"), "M\xC3\xBCnchen.xml");
    EXPECT_EQ(CodePage::Utf8().FileName("M\xC3\xBCnchen.xml"), "M\xC3\xBCnchen.xml");
    EXPECT_EQ(GreekSample().FileName("\xE1.xml"), "\xE1.xml");
}

TEST(CodePage, InForceUntilAnotherIsSet) {
    EXPECT_EQ(AnsiCodePage().GetKind(), CodePage::Kind::Windows1252);
    {
        const ScopedAnsiCodePage utf8(CodePage::Utf8());
        EXPECT_TRUE(AnsiCodePage().IsUtf8());
        const ScopedAnsiCodePage greek(GreekSample());
        EXPECT_EQ(AnsiCodePage().Name(), "ISO-8859-7");
    }
    EXPECT_EQ(AnsiCodePage().GetKind(), CodePage::Kind::Windows1252);
}

// Fixed texts keep whole characters: the one that does not fit goes, a padded
// field fills its place with blanks.
TEST(CodePage, FixedFieldsCutWhereTheCodePageAllows) {
    const std::string text = "ab\xC3\xA4\xE2\x82\xAC";  // a b ä €: 7 bytes
    {
        const ScopedAnsiCodePage utf8(CodePage::Utf8());
        EXPECT_EQ(FixedText<5>(text).View(), "ab\xC3\xA4");
        EXPECT_EQ(FixedText<4>(text).View(), "ab");
        EXPECT_EQ(FixedText<8>(text).View(), text);
        PaddedField<6> field;
        field.Assign(text);
        EXPECT_EQ(field.View(), "ab\xC3\xA4  ");
    }
    EXPECT_EQ(FixedText<4>(text).View(), "ab\xC3") << "Windows-1252 cuts bytes";
}

// In UTF-8 the seven extra bytes of the upper-case mapping are parts of
// characters: mapping them would make "Д" (D0 94) equal "Й" (D0 99).
TEST(CodePage, UpperCaseInUtf8ChangesOnlyAsciiLetters) {
    const ScopedAnsiCodePage utf8(CodePage::Utf8());
    EXPECT_EQ(UpperCase("abc\xD0\x94\xC3\xA4xyz"), "ABC\xD0\x94\xC3\xA4XYZ");
    EXPECT_NE(UpperCase("\xD0\x94"), UpperCase("\xD0\x99"));
}

// The filters' character n and their 1023-byte buffer, in UTF-8 and in a
// single-byte code set (Windows-1252: filters_test.cpp).
TEST(CodePage, FiltersInsertCharacterNOfTheCodePage) {
    struct Case {
        const char* input;
        std::string utf8, greek;
    };
    const Case named[] = {
        {"&auml;&Auml;", "\xC3\xA4\xC3\x84", "??"},
        {"&pound;&sect;&nbsp;", "\xC2\xA3\xC2\xA7\xC2\xA0", "\xA3\xA7?"},
        {"&amp;auml; &quot;", "\xC3\xA4 \"", "? \""},
        {"\xD0\x96&yuml;", "\xD0\x96\xC3\xBF", "\xD0\x96?"},
    };
    const Case numeric[] = {
        {"&#228;&#065;", "\xC3\xA4" "A", "?A"},
        {"&#163;&#150;", "\xC2\xA3\xC2\x96", "\xA3?"},
        {"&#038;#228;", "\xC3\xA4", "?"},
        {"&#038;#033;", "&#033;", "&#033;"},
    };
    for (const Case& c : named) {
        {
            const ScopedAnsiCodePage utf8(CodePage::Utf8());
            EXPECT_EQ(feed::DecodeNamedEntities(c.input), c.utf8) << c.input;
        }
        const ScopedAnsiCodePage greek(GreekSample());
        EXPECT_EQ(feed::DecodeNamedEntities(c.input), c.greek) << c.input;
    }
    for (const Case& c : numeric) {
        {
            const ScopedAnsiCodePage utf8(CodePage::Utf8());
            EXPECT_EQ(feed::DecodeNumericReferences(c.input), c.utf8) << c.input;
        }
        const ScopedAnsiCodePage greek(GreekSample());
        EXPECT_EQ(feed::DecodeNumericReferences(c.input), c.greek) << c.input;
    }
}

TEST(CodePage, NamedEntityBufferKeepsWholeUtf8Characters) {
    const ScopedAnsiCodePage utf8(CodePage::Utf8());
    const std::string a1021(1021, 'a');
    EXPECT_EQ(feed::DecodeNamedEntities(a1021 + "\xC3\xA4xx"), a1021 + "\xC3\xA4");
    EXPECT_EQ(feed::DecodeNamedEntities(a1021 + "x\xC3\xA4"), a1021 + "x");
    EXPECT_EQ(feed::DecodeNamedEntities(a1021 + "\xE2\x82\xAC"), a1021);
    // Decoded characters take two bytes: 300 entities fill 170 of them and a part.
    std::string many;
    for (int i = 0; i < 300; ++i) many += "&auml;";
    std::string expected;
    for (int i = 0; i < 170; ++i) expected += "\xC3\xA4";
    EXPECT_EQ(feed::DecodeNamedEntities(many), expected + "&au");
}

}  // namespace
}  // namespace vardel::text

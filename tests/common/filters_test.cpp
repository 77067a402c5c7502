// The HTML text filters: their rules by example, and equality with the plain
// pass-by-pass versions on random texts built to provoke the cascades.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "feed/filters.h"
#include "support/reference_feed.h"
#include "text/code_page.h"

namespace vardel::testing {
namespace {

struct FilterCase {
    const char* input;
    std::string expected;
};

// A case shows as its input, escaped, in test names and messages.
void PrintTo(const FilterCase& c, std::ostream* os) { *os << ::testing::PrintToString(std::string(c.input)); }

class StripTagsCases : public ::testing::TestWithParam<FilterCase> {};

TEST_P(StripTagsCases, GivesExpectedText) {
    EXPECT_EQ(feed::StripTags(GetParam().input), GetParam().expected);
    EXPECT_EQ(reference::StripTags(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Filters, StripTagsCases,
                         ::testing::Values(FilterCase{"", ""}, FilterCase{"no tags", "no tags"},
                                           FilterCase{"a <b>bold</b> text", "a bold text"},
                                           FilterCase{"x > y", "x > y"},
                                           FilterCase{"a<b", "a"},  // unclosed: to the end
                                           FilterCase{"<b", ""},
                                           FilterCase{"<<b>>", ">"},
                                           FilterCase{"<br>line<br>", "line"},
                                           FilterCase{"<!-- c -->t", "t"},
                                           // removal joins text into a new tag, removed later
                                           FilterCase{"<i>x<<i>b>y", "xy"},
                                           // a tag removed everywhere, also before a later tag
                                           FilterCase{"<p>1</p><a href=\"u\">2</a><p>3</p>", "123"},
                                           FilterCase{"a<>b<>", "ab"},
                                           // a pass cuts only what is there at its turn: the "<" joined to
                                           // the empty segment after "<>" was cut loose by that very pass
                                           FilterCase{"<><<<>>a", "a"}, FilterCase{"a<><<<>>a>a", "aa>a"},
                                           FilterCase{"<>ba<ba<<>>>", "ba>"},
                                           // a later tag that reaches into text joined on from the left
                                           FilterCase{"<a><bc><b<a>c>", ""},
                                           FilterCase{"<<><a>b>><><<<>>", "b>>"}));

// Every text of up to eight characters over "<", ">", "a" and "b", against the
// rule itself: all the ways removals join text into new tags, at this size.
TEST(Filters, StripTagsEqualsTheRuleOnEveryShortText) {
    const char letters[] = {'<', '>', 'a', 'b'};
    std::string text;
    for (std::size_t length = 0; length <= 8; ++length) {
        std::size_t count = 1;
        for (std::size_t i = 0; i < length; ++i) count *= 4;
        text.assign(length, ' ');
        for (std::size_t n = 0; n < count; ++n) {
            for (std::size_t i = 0, rest = n; i < length; ++i, rest /= 4) text[i] = letters[rest % 4];
            ASSERT_EQ(feed::StripTags(text), reference::StripTags(text)) << text;
        }
    }
}

TEST(Filters, RemoveLineFeedsKeepsCarriageReturns) {
    EXPECT_EQ(feed::RemoveLineFeeds("one\r\ntwo\nthree\r"), "one\rtwothree\r");
    EXPECT_EQ(feed::RemoveLineFeeds("\n\n"), "");
    EXPECT_EQ(feed::RemoveLineFeeds(""), "");
}

class NumericReferenceCases : public ::testing::TestWithParam<FilterCase> {};

TEST_P(NumericReferenceCases, GivesExpectedText) {
    EXPECT_EQ(feed::DecodeNumericReferences(GetParam().input), GetParam().expected);
    EXPECT_EQ(reference::DecodeNumericReferences(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, NumericReferenceCases,
    ::testing::Values(FilterCase{"&#065;", "A"}, FilterCase{"&#65;", "&#65;"}, FilterCase{"&#0065;", "&#0065;"},
                      FilterCase{"&#009;|&#010;|&#255;", "\t|\n|\xFF"},
                      FilterCase{"&#000;&#008;&#256;&#999;&#x41;", "&#000;&#008;&#256;&#999;&#x41;"},
                      // a "&" decoded from &#038; forms a reference that a later pass decodes
                      FilterCase{"&#038;#066;", "B"},
                      // ... but not one whose pass has already run
                      FilterCase{"&#038;#033;", "&#033;"}, FilterCase{"&#038;#038;", "&#038;"},
                      // a digit, "#" or ";" decoded can complete a reference too
                      FilterCase{"&#&#049;00;", "d"}, FilterCase{"&#&#048;33;", "&#033;"},
                      FilterCase{"&&#035;066;", "B"}, FilterCase{"&#070&#059;", "F"},
                      // chains: each step decodes a larger code than the one before
                      FilterCase{"&#038;#1&#048;0;", "d"}, FilterCase{"&#038;#0&#052;9;", "&#049;"}, FilterCase{"&#&#048;&#053;&#055;;", "9"},
                      FilterCase{"&#228;&&#", "\xE4&&#"}, FilterCase{"", ""}));

class NamedEntityCases : public ::testing::TestWithParam<FilterCase> {};

TEST_P(NamedEntityCases, GivesExpectedText) {
    EXPECT_EQ(feed::DecodeNamedEntities(GetParam().input), GetParam().expected);
    EXPECT_EQ(reference::DecodeNamedEntities(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Filters, NamedEntityCases,
    ::testing::Values(FilterCase{"&eacute;t&eacute;", "\xE9t\xE9"}, FilterCase{"&Eacute;", "\xC9"},
                      FilterCase{"&Auml;&auml;", "\xC4\xE4"}, FilterCase{"&quot;x&quot;", "\"x\""},
                      FilterCase{"&nbsp;", "\xA0"}, FilterCase{"&cent;&iquest;&yuml;", "\xA2\xBF\xFF"},
                      FilterCase{"&frac14;&sup2;&times;&divide;", "\xBC\xB2\xD7\xF7"},
                      // "&amp;" runs before the list but after "&quot;"
                      FilterCase{"&amp;lt;", "&lt;"}, FilterCase{"&amp;auml;", "\xE4"},
                      FilterCase{"&amp;quot;", "&quot;"}, FilterCase{"&amp;amp;", "&amp;"},
                      FilterCase{"&amp;nbsp;", "\xA0"},
                      // not in the list, or in another case
                      FilterCase{"&lt;b&gt; &apos; &iexcl; &AMP; &Nbsp; &euro;", "&lt;b&gt; &apos; &iexcl; &AMP; &Nbsp; &euro;"},
                      FilterCase{"&auml", "&auml"}, FilterCase{"", ""}));

TEST(Filters, EveryListedEntityDecodesToItsLatin1Code) {
    std::string all, expected;
    for (int i = 0; i < 94; ++i) {
        all += std::string("&") + reference::kLatin1EntityNames[i] + ";";
        expected += static_cast<char>(162 + i);
    }
    EXPECT_EQ(feed::DecodeNamedEntities(all), expected);
    // Code 161 has no entry.
    EXPECT_EQ(feed::DecodeNamedEntities("&iexcl;"), "&iexcl;");
}

TEST(Filters, NamedEntitiesKeepTheFirst1023Characters) {
    const std::string input = std::string(1500, 'x');
    EXPECT_EQ(feed::DecodeNamedEntities(input), std::string(1023, 'x'));
    // The cut comes before the replacements: an entity across it is not decoded.
    const std::string across = std::string(1020, 'x') + "&auml;";
    EXPECT_EQ(feed::DecodeNamedEntities(across), std::string(1020, 'x') + "&au");
    // ... and every replacement after it shortens the text further.
    const std::string many = [] {
        std::string s;
        for (int i = 0; i < 300; ++i) s += "&auml;";
        return s;
    }();
    EXPECT_EQ(feed::DecodeNamedEntities(many), std::string(170, '\xE4') + "&au");
}

TEST(Filters, NumericPassRunsBeforeTheNamedPass) {
    const std::string both = feed::DecodeNamedEntities(feed::DecodeNumericReferences("&amp;#065;"));
    EXPECT_EQ(both, "&#065;");
}

// Stretches full of "<" that wait while the segments after them die at passes
// spaced apart, with long tags between those passes that nearly match: the one
// pass would read far back for every segment, runs out of steps and strips the
// text pass by pass instead. The result is the rule's either way.
TEST(Filters, StripTagsOfATextBuiltToKeepTheSearchBusy) {
    const int count = 120;
    std::string run, text = "<b0>";
    for (int j = 0; j < count; ++j) run += "<y";
    for (int i = 1; i <= count; ++i) text += "<z" + run + "<b" + std::to_string(i) + "><b" + std::to_string(i) + ">";
    for (int block = 0; block < count; ++block) {
        text += "w" + run + "<b0>";
        for (int i = 1; i <= count; ++i) text += "<b" + std::to_string(i) + ">";
        text += "q>";
    }
    EXPECT_EQ(feed::StripTags(text), reference::StripTags(text));
}

// Random texts over the few characters the references are made of, so that
// decoded characters often complete new references and tags join up.
std::string RandomText(std::mt19937& random, const std::vector<std::string>& pieces, int length) {
    std::string s;
    std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
    for (int i = 0; i < length; ++i) s += pieces[pick(random)];
    return s;
}

// In UTF-8 too, where decoded characters take two bytes and the 1023-byte cut
// backs off to a whole character.
class EqualToThePlainPasses : public ::testing::TestWithParam<bool> {};

TEST_P(EqualToThePlainPasses, OnRandomTexts) {
    const text::ScopedAnsiCodePage page(GetParam() ? text::CodePage::Utf8() : text::CodePage::Windows1252());
    std::mt19937 random(20260512);
    const std::vector<std::string> numeric = {"&", "#", ";", "0", "0", "1", "2", "3", "4", "5", "6", "8", "9",
                                              "&#038;", "&#035;", "&#059;", "&#048;", "&#049;", "&#050;",
                                              "&#051;", "&#053;", "&#055;", "&#065;", "&#228;", "x", "\xC3\xA4"};
    const std::vector<std::string> named = {"&", ";", "amp", "&amp;", "&amp;", "quot", "auml", "nbsp", "&auml;",
                                            "&quot;", "&nbsp;", "&yuml;", "&frac14;", "frac", "14", "x", "Auml",
                                            "\xE2\x82\xAC"};
    const std::vector<std::string> tags = {"<", ">", "<", ">", "b", "i", "<b>", "</b>", "<i>", " ", "x",
                                           "<b", "b>", "<<", ">>", "<i"};
    for (int round = 0; round < 2000; ++round) {
        const int length = 1 + round % 40;
        const std::string n = RandomText(random, numeric, length);
        ASSERT_EQ(feed::DecodeNumericReferences(n), reference::DecodeNumericReferences(n)) << n;
        const std::string e = RandomText(random, named, length * 8);
        ASSERT_EQ(feed::DecodeNamedEntities(e), reference::DecodeNamedEntities(e)) << e;
        const std::string t = RandomText(random, tags, length * 2);
        ASSERT_EQ(feed::StripTags(t), reference::StripTags(t)) << t;
    }
}

INSTANTIATE_TEST_SUITE_P(Filters, EqualToThePlainPasses, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Utf8" : "Windows1252"; });

}  // namespace
}  // namespace vardel::testing

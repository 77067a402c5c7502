// The Linux layer's code page follows the host's locale: which code page a code
// set gives, when the plug-in takes it, and Cyrillic, Greek and Japanese feeds
// through the component layer and through the exports, each in the C locale, in
// a UTF-8 locale and in a single-byte one (KOI8-R, generated for the run).
#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>

#include "linux/locale_support.h"
#include "platform/components.h"
#include "platform/linux/libxml_layer.h"
#include "platform/linux/locale_code_page.h"
#include "platform/services.h"
#include "plugin/library_unload.h"
#include "support/fakes.h"
#include "support/http_server.h"
#include "text/code_page.h"
#include "vardel/vardel2.h"

namespace vardel::testing {
namespace {

using text::CodePage;

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST(LocaleCodePage, EachCodeSetGivesItsCodePage) {
    struct Case {
        const char* codeSet;
        CodePage::Kind kind;
        const char* utf8;      // a text in UTF-8 ...
        std::string expected;  // ... in that code page
    };
    const Case cases[] = {
        {"UTF-8", CodePage::Kind::Utf8, "\xD0\x9C\xD0\xBE\xD1\x81\xD1\x82", "\xD0\x9C\xD0\xBE\xD1\x81\xD1\x82"},
        {"utf8", CodePage::Kind::Utf8, "\xCE\xB1", "\xCE\xB1"},
        // the C and POSIX locales' ASCII: Windows-1252
        {"ANSI_X3.4-1968", CodePage::Kind::Windows1252, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xD0\x9C", "Gr\xFC\xDF" "e \x80 ?"},
        {"", CodePage::Kind::Windows1252, "\xC3\xA4", "\xE4"},
        // single-byte code sets, as iconv maps them
        {"KOI8-R", CodePage::Kind::SingleByte, "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xC3\xA4",
         "\xF0\xD2\xC9\xD7\xC5\xD4 ?"},
        {"ISO-8859-7", CodePage::Kind::SingleByte, "\xCE\xB1\xCE\xB2\xCE\xB3 \xC2\xA3 \xD0\x9C", "\xE1\xE2\xE3 \xA3 ?"},
        {"CP1251", CodePage::Kind::SingleByte, "\xD0\x9C\xD0\xBE\xD1\x81\xD1\x82 \xE2\x82\xAC", "\xCC\xEE\xF1\xF2 \x88"},
        {"ISO-8859-1", CodePage::Kind::SingleByte, "\xC3\xA4 \xE2\x82\xAC", "\xE4 ?"},
        // other multi-byte code sets: UTF-8, which keeps every character
        {"EUC-JP", CodePage::Kind::Utf8, "\xE6\x96\xB0", "\xE6\x96\xB0"},
        {"GB18030", CodePage::Kind::Utf8, "\xE6\x96\xB0", "\xE6\x96\xB0"},
        {"NO-SUCH-CODE-SET", CodePage::Kind::Windows1252, "\xC3\xA4", "\xE4"},
    };
    for (const Case& c : cases) {
        const CodePage page = platform::linux_layer::CodePageOfCodeSet(c.codeSet);
        EXPECT_EQ(page.GetKind(), c.kind) << c.codeSet;
        EXPECT_EQ(page.FromUtf8(c.utf8), c.expected) << c.codeSet;
    }
}

TEST(LocaleCodePage, HostCodePageIsThatOfTheLocaleNow) {
    struct Case {
        std::string locale;
        CodePage::Kind kind;
        std::string name;
    };
    const Case cases[] = {
        {"C", CodePage::Kind::Windows1252, "WINDOWS-1252"},
        {"POSIX", CodePage::Kind::Windows1252, "WINDOWS-1252"},
        {"C.UTF-8", CodePage::Kind::Utf8, "UTF-8"},
        {GeneratedLocale("ru_RU", "KOI8-R"), CodePage::Kind::SingleByte, "KOI8-R"},
        {GeneratedLocale("el_GR", "ISO-8859-7"), CodePage::Kind::SingleByte, "ISO-8859-7"},
    };
    for (const Case& c : cases) {
        const ScopedLocale locale(c.locale);
        // The generated ones come last: without localedef the rest is checked.
        if (!locale.Active()) GTEST_SKIP() << "no " << c.name << " locale could be generated";
        const CodePage page = platform::HostAnsiCodePage();
        EXPECT_EQ(page.GetKind(), c.kind) << c.locale;
        EXPECT_EQ(page.Name(), c.name) << c.locale;
    }
}

using CodePageLifecycleTest = PluginTest;

// The host sets its locale before it opens a meter; a later change of the locale
// does not mix two code pages in one run.
TEST_F(CodePageLifecycleTest, FixedAtTheFirstDllstartupUntilTheUnload) {
    const ScopedLocale utf8("C.UTF-8");
    VARDEL_REQUIRE_LOCALE(utf8, "C.UTF-8");
    plugin::ReleaseAll();
    EXPECT_EQ(text::AnsiCodePage().GetKind(), CodePage::Kind::Windows1252) << "as freshly loaded";
    StartInstance();
    EXPECT_TRUE(text::AnsiCodePage().IsUtf8());
    std::setlocale(LC_ALL, "C");
    StartInstance();
    EXPECT_TRUE(text::AnsiCodePage().IsUtf8());
    plugin::ReleaseAll();
    StartInstance();
    EXPECT_EQ(text::AnsiCodePage().GetKind(), CodePage::Kind::Windows1252);
}

// ---- one case, three locales ----------------------------------------------------

enum LocaleColumn { kC, kUtf8, kKoi8r, kLocaleColumns };

std::string LocaleName(int column) {
    switch (column) {
        case kC: return "C";
        case kUtf8: return "C.UTF-8";
        default: return GeneratedLocale("ru_RU", "KOI8-R");
    }
}

// What a text looks like in each locale's code page.
struct InLocales {
    std::string c, utf8, koi8r;
    const std::string& In(int column) const { return column == kC ? c : column == kUtf8 ? utf8 : koi8r; }
};

// Enters the locale of the test's column; skips the test where the system has
// none.
class LocaleColumnTest : public ::testing::WithParamInterface<int> {
protected:
    bool EnterLocale() {
        locale_ = std::make_unique<ScopedLocale>(LocaleName(GetParam()));
        return locale_->Active();
    }
    void LeaveLocale() { locale_.reset(); }
    const std::string& Expected(const InLocales& texts) const { return texts.In(GetParam()); }

private:
    std::unique_ptr<ScopedLocale> locale_;
};

#define VARDEL_ENTER_LOCALE()                                                                      \
    do {                                                                                           \
        if (!EnterLocale()) GTEST_SKIP() << "locale " << LocaleName(GetParam()) << " is not available"; \
    } while (false)

std::string ColumnName(const ::testing::TestParamInfo<int>& info) {
    return info.param == kC ? "C" : info.param == kUtf8 ? "Utf8" : "Koi8r";
}

const InLocales kBridgeOpen{"???? ??????", "\xD0\x9C\xD0\xBE\xD1\x81\xD1\x82 \xD0\xBE\xD1\x82\xD0\xBA\xD1\x80\xD1\x8B\xD1\x82",
                            "\xED\xCF\xD3\xD4 \xCF\xD4\xCB\xD2\xD9\xD4"};
const InLocales kGoodMorning{"???????? \xA3" "5",
                             "\xCE\x9A\xCE\xB1\xCE\xBB\xCE\xB7\xCE\xBC\xCE\xAD\xCF\x81\xCE\xB1 \xC2\xA3" "5",
                             "???????? ?5"};
const InLocales kNewBridge{"???? ??", "\xE6\x96\xB0\xE6\xA9\x8B\xE9\x96\x8B\xE9\x80\x9A \xF0\xA0\xAE\xB7", "???? ??"};

class ComponentsInLocale : public ::testing::Test, public LocaleColumnTest {
protected:
    void SetUp() override { VARDEL_ENTER_LOCALE(); }
    void TearDown() override { LeaveLocale(); }
};

TEST_P(ComponentsInLocale, FeedTextsComeInTheLocalesCodePage) {
    struct Case {
        const char* fixture;
        InLocales title;
    };
    for (const Case& c : {Case{"cyrillic.xml", kBridgeOpen}, Case{"greek_iso-8859-7.xml", kGoodMorning},
                          Case{"cjk.xml", kNewBridge}}) {
        const platform::DocumentRef doc = platform::Services().components->CreateXmlDocument();
        ASSERT_TRUE(doc->Load(FixturePath(std::string("feeds/") + c.fixture))) << c.fixture;
        EXPECT_EQ(platform::TextOf(doc->SelectSingleNode("rss/channel/item/title")), Expected(c.title)) << c.fixture;
        // The same text through LOADXML of the document's text in the code page.
        const platform::DocumentRef again = platform::Services().components->CreateXmlDocument();
        ASSERT_TRUE(again->LoadXml("<t>" + Expected(c.title) + "</t>")) << c.fixture;
        EXPECT_EQ(platform::TextOf(again->DocumentElement()), Expected(c.title)) << c.fixture;
    }
}

// Names and patterns cross in the code page too: where it has the letters, a
// Cyrillic element and attribute are found by name.
TEST_P(ComponentsInLocale, NamesAndPatternsInTheLocalesCodePage) {
    if (GetParam() == kC) GTEST_SKIP() << "Windows-1252 has no Cyrillic letters to name them with";
    const InLocales element{"", "\xD1\x80\xD1\x83\xD0\xB1\xD1\x80\xD0\xB8\xD0\xBA\xD0\xB0", "\xD2\xD5\xC2\xD2\xC9\xCB\xC1"};
    const InLocales attribute{"", "\xD1\x82\xD0\xB5\xD0\xBC\xD0\xB0", "\xD4\xC5\xCD\xC1"};
    const InLocales value{"", "\xD0\xB3\xD0\xBE\xD1\x80\xD0\xBE\xD0\xB4", "\xC7\xCF\xD2\xCF\xC4"};
    const InLocales text{"", "\xD0\xA2\xD1\x80\xD0\xB0\xD0\xBD\xD1\x81\xD0\xBF\xD0\xBE\xD1\x80\xD1\x82",
                         "\xF4\xD2\xC1\xCE\xD3\xD0\xCF\xD2\xD4"};
    const platform::DocumentRef doc = platform::Services().components->CreateXmlDocument();
    ASSERT_TRUE(doc->Load(FixturePath("feeds/cyrillic.xml")));
    const platform::NodeListRef list = doc->GetElementsByTagName(Expected(element));
    ASSERT_EQ(platform::LengthOf(list), 1);
    EXPECT_EQ(platform::TextOf(platform::ItemOf(list, 0)), Expected(text));
    EXPECT_EQ(platform::AttributeOf(platform::ItemOf(list, 0), Expected(attribute)), Expected(value));
    EXPECT_EQ(platform::TextOf(doc->SelectSingleNode("rss/channel/item/" + Expected(element))), Expected(text));
    EXPECT_EQ(platform::LengthOf(doc->SelectNodes("//" + Expected(element) + "[@" + Expected(attribute) + "]")), 1);
}

TEST_P(ComponentsInLocale, ResponseTextInEveryEncodingComesInTheCodePage) {
    const std::string utf8 = "\xD0\x9C\xD0\xBE\xD1\x81\xD1\x82 \xD0\xBE\xD1\x82\xD0\xBA\xD1\x80\xD1\x8B\xD1\x82";
    std::string utf16le = "\xFF\xFE";
    for (char16_t unit : u"Мост открыт") {
        if (!unit) break;
        utf16le += static_cast<char>(unit & 0xFF);
        utf16le += static_cast<char>(unit >> 8);
    }
    EXPECT_EQ(platform::linux_layer::ResponseBodyToAnsi(utf8), Expected(kBridgeOpen));
    EXPECT_EQ(platform::linux_layer::ResponseBodyToAnsi("\xEF\xBB\xBF" + utf8), Expected(kBridgeOpen));
    EXPECT_EQ(platform::linux_layer::ResponseBodyToAnsi(utf16le), Expected(kBridgeOpen));
}

// A value read with a buffer of n bytes keeps at most n - 1 bytes, and never
// part of a character.
TEST_P(ComponentsInLocale, ProfileReadBufferCutsWholeCharacters) {
    TempFolder folder;
    folder.Write("p.ini", "[S]\nK=" + std::string(997, 'a') + "\xD0\xB6\xD0\xB6\n");  // 997 + "жж"
    const std::string value =
        platform::Services().profiles->ReadString("S", "K", "", 1000, folder.File("p.ini"));
    const InLocales expected{std::string(997, 'a') + "\xD0\xB6", std::string(997, 'a') + "\xD0\xB6",
                             std::string(997, 'a') + "\xD0\xB6"};
    EXPECT_EQ(value, expected.In(GetParam())) << "999 bytes end after a whole character";
    const std::string shorter =
        platform::Services().profiles->ReadString("S", "K", "", 999, folder.File("p.ini"));
    const InLocales cut{std::string(997, 'a') + "\xD0", std::string(997, 'a'), std::string(997, 'a') + "\xD0"};
    EXPECT_EQ(shorter, cut.In(GetParam())) << "998 bytes would split it";
}

INSTANTIATE_TEST_SUITE_P(CodePage, ComponentsInLocale, ::testing::Values(kC, kUtf8, kKoi8r), ColumnName);

// ---- through the exports ---------------------------------------------------------

// Each test starts with the plug-in as freshly loaded (PluginTest); its first
// dllstartup happens in the test's locale.
class NewsInLocale : public PluginTest, public LocaleColumnTest {
protected:
    NewsInLocale()
        : server([this](const HttpRequestSeen& request) {
              std::lock_guard lock(mutex);
              HttpReply reply;
              reply.body = request.target == "/long.xml" ? longFeed : FileBytes(FixturePath("feeds" + request.target));
              if (reply.body.empty()) reply.status = 404;
              return reply;
          }) {
        host.folder = folder.Path();
        clock.tick = 1000;
    }
    void SetUp() override { VARDEL_ENTER_LOCALE(); }
    void TearDown() override { LeaveLocale(); }

    // A meter with those keys, from a host profile in UTF-8, on a site list that
    // names each fixture a site of its own ("long" is longFeed).
    const char* News(const std::string& keys) {
        folder.Write("plugins/Vardel/Vardel2.ini",
                     "[Sites]\ncyrillic=" + server.Url("/cyrillic.xml") + "\ngreek=" + server.Url("/greek_iso-8859-7.xml") +
                         "\ncjk=" + server.Url("/cjk.xml") + "\nlong=" + server.Url("/long.xml") + "\n");
        folder.Write("host.ini", "[DLF]\nIsDLF=0\n[Meter]\n" + keys);
        const std::int32_t n = StartInstance();
        src_load_settings(n, folder.File("host.ini").c_str(), "Meter");
        return GetNews(n);
    }

    TempFolder folder;
    std::mutex mutex;
    std::string longFeed;
    LoopbackHttpServer server;
};

TEST_P(NewsInLocale, EveryScriptThroughTheNewsCycle) {
    struct Case {
        const char* site;
        InLocales title;
        const char* link;
    };
    for (const Case& c : {Case{"cyrillic", kBridgeOpen, "https://vesti.example/1"},
                          Case{"greek", kGoodMorning, "https://nea.example/1"},
                          Case{"cjk", kNewBridge, "https://news.example.jp/1"}}) {
        plugin::ReleaseAll();
        EXPECT_EQ(News(std::string("SiteName=") + c.site + "\n"), Expected(c.title) + "%l" + c.link) << c.site;
    }
}

// The tags go, then the references become character n of the code page:
// "&#150;" U+0096, "&laquo;" U+00AB, "&nbsp;" U+00A0 ("?" where KOI8-R has none).
TEST_P(NewsInLocale, FiltersInsertCharacterNOfTheCodePage) {
    const InLocales expected{
        "???????? \xAB??? ??????\xBB \x96 12\xA0?",
        "\xD0\x94\xD0\xB2\xD0\xB8\xD0\xB6\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5 \xC2\xAB\xD0\xBA\xD0\xB0\xD0\xBA "
        "\xD0\xBF\xD1\x80\xD0\xB5\xD0\xB6\xD0\xB4\xD0\xB5\xC2\xBB \xC2\x96 12\xC2\xA0\xD0\xBC",
        "\xE4\xD7\xC9\xD6\xC5\xCE\xC9\xC5 ?\xCB\xC1\xCB \xD0\xD2\xC5\xD6\xC4\xC5? ? 12\x9A\xCD"};
    EXPECT_EQ(News("SiteName=cyrillic\nSiteType=1004\nTemplate=<description>\nFLTHTML=1\nFLTHTMLCode=1\n"),
              Expected(expected));
}

// A remove-string typed in a UTF-8 profile: in a UTF-8 locale it is the feed's
// "ß"; in the others the profile's bytes are not the text's.
TEST_P(NewsInLocale, RemoveStringFromAUtf8Profile) {
    const InLocales expected{
        "??????? ? ??????? \x97 \xDF%lhttps://vesti.example/2",
        "\xD0\xAF\xD1\x80\xD0\xBC\xD0\xB0\xD1\x80\xD0\xBA\xD0\xB0 \xD0\xB2 "
        "\xD1\x81\xD1\x83\xD0\xB1\xD0\xB1\xD0\xBE\xD1\x82\xD1\x83 \xE2\x80\x94 %lhttps://vesti.example/2",
        "\xF1\xD2\xCD\xC1\xD2\xCB\xC1 \xD7 \xD3\xD5\xC2\xC2\xCF\xD4\xD5 ? ?%lhttps://vesti.example/2"};
    EXPECT_EQ(News("SiteName=cyrillic\nStartZeile=2\nEndZeile=2\nRS=\xC3\x9F\n"), Expected(expected));
}

// The text of an instance keeps 2047 bytes: a character across that end goes
// whole in UTF-8.
TEST_P(NewsInLocale, TextOfAnInstanceEndsWithAWholeCharacter) {
    {
        std::lock_guard lock(mutex);
        longFeed = "<rss><channel><item><title>" + std::string(2046, 'a') +
                   "\xD0\xB6\xD0\xB6</title><link>https://vesti.example/1</link></item></channel></rss>";
    }
    const InLocales expected{std::string(2046, 'a') + "?", std::string(2046, 'a'), std::string(2046, 'a') + "\xD6"};
    EXPECT_EQ(News("SiteName=long\n"), Expected(expected));
}

INSTANTIATE_TEST_SUITE_P(CodePage, NewsInLocale, ::testing::Values(kC, kUtf8, kKoi8r), ColumnName);

}  // namespace
}  // namespace vardel::testing

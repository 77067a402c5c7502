// The XML document component's contract, written against the platform's own
// components only: the same tests run natively against the Linux layer and, in
// the Windows build, against the system's components under Wine. Where Wine is
// known to differ from Windows, the test names the deviation and is skipped there.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/components.h"
#include "platform/services.h"
#include "support/fakes.h"
#include "support/platform_check.h"

namespace vardel::testing {
namespace {

using platform::DocumentRef;
using platform::NodeListRef;
using platform::NodeRef;

// Parser codes of the Windows component (negative as signed 32-bit values).
constexpr std::int32_t kEndTagMismatch = -1072896659;   // 0xC00CE56D
constexpr std::int32_t kInvalidCharacter = -1072896760; // 0xC00CE508
constexpr std::int32_t kInvalidAtTopLevel = -1072896682; // 0xC00CE556
constexpr std::int32_t kMissingRoot = -1072896680;      // 0xC00CE558

// The texts of the small feed in every encoding, as the plug-in sees them.
const std::string kSmallTitle = "Gr\xFC\xDF" "e aus K\xF6ln";
const std::string kSmallDescription = "Preis: 5 \x80 \x97 g\xFCnstig";
const std::string kSmallAuthor = "?\xF3" "d? ??";  // Łódź and a character outside the BMP

std::string Slashes(std::string path) {
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

std::string Backslashes(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

// "file:///..." for a local path on either platform ("/a/b" or "Z:/a/b").
std::string FileUrl(const std::string& path) {
    const std::string p = Slashes(path);
    return p.rfind('/', 0) == 0 ? "file://" + p : "file:///" + p;
}

class ComponentContract : public ::testing::Test {
protected:
    platform::ComponentFactory& Components() { return *platform::Services().components; }

    // A fresh document set up as the plug-in sets up its loads.
    DocumentRef NewDocument() {
        DocumentRef doc = Components().CreateXmlDocument();
        EXPECT_NE(doc, nullptr) << "the XML document component must be available";
        if (doc) {
            doc->SetValidateOnParse(false);
            doc->SetAsync(false);
        }
        return doc;
    }

    DocumentRef Parsed(const std::string& xml) {
        DocumentRef doc = NewDocument();
        EXPECT_TRUE(doc->LoadXml(xml)) << xml << "\n" << doc->GetParseError().reason;
        return doc;
    }

    DocumentRef Loaded(const std::string& fixture) {
        DocumentRef doc = NewDocument();
        EXPECT_TRUE(doc->Load(FixturePath("feeds/" + fixture)))
            << fixture << ": " << doc->GetParseError().code << " " << doc->GetParseError().reason;
        return doc;
    }

    // The TEXT of every entry of a list.
    static std::vector<std::string> TextsOf(const NodeListRef& list) {
        std::vector<std::string> texts;
        for (long i = 0; i < platform::LengthOf(list); ++i) texts.push_back(platform::TextOf(list->Item(i)));
        return texts;
    }
};

using Texts = std::vector<std::string>;

// ---- LOADXML and the parse error ----------------------------------------------------

TEST_F(ComponentContract, LoadXmlOfAWellFormedDocument) {
    DocumentRef doc = NewDocument();
    ASSERT_TRUE(doc->LoadXml("<rss><channel><title>T</title></channel></rss>"));
    EXPECT_EQ(doc->GetParseError().code, 0);
    ASSERT_NE(doc->DocumentElement(), nullptr);
    EXPECT_EQ(doc->DocumentElement()->Text(), "T");
    EXPECT_EQ(doc->Text(), "T");
}

TEST_F(ComponentContract, LoadXmlRejectsWhatIsNotWellFormed) {
    const char* const inputs[] = {
        "",
        "   ",
        "hello world",
        "<a>",
        "<a><b></a></b>",
        "<rss><title>x</titel></rss>",
        "<a/><b/>",
        "<p>line<br></p>",
        "<a>a&nbsp;b</a>",           // an entity nobody declared
        "<a>&#1;</a>",               // not an XML character
        "<a x='1' x='2'/>",
        "<a b=c/>",
        "<?xml version=\"1.0\" encoding=\"x-no-such\"?><a/>",
    };
    for (const char* input : inputs) {
        SCOPED_TRACE(input);
        DocumentRef doc = NewDocument();
        EXPECT_FALSE(doc->LoadXml(input));
        const platform::ParseError error = doc->GetParseError();
        EXPECT_NE(error.code, 0);
        EXPECT_NE(error.code, platform::kResourceNotFound) << "a parse error is not an unreachable address";
        EXPECT_FALSE(error.reason.empty());
        EXPECT_EQ(doc->DocumentElement(), nullptr);
    }
}

TEST_F(ComponentContract, ParseErrorsCarryTheComponentsCodesAndOneLineReasons) {
    VARDEL_WINE_DEVIATION("every parse failure is 0x80004005 \"error\" under Wine");
    struct Case {
        const char* xml;
        std::int32_t code;
        const char* reason;  // empty: any text
    };
    const Case cases[] = {
        {"<rss><title>x</titel></rss>", kEndTagMismatch,
         "End tag 'titel' does not match the start tag 'title'.\r\n"},
        {"", kMissingRoot, "XML document must have a top level element.\r\n"},
        {"hello world", kInvalidAtTopLevel, "Invalid at the top level of the document.\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        DocumentRef doc = NewDocument();
        EXPECT_FALSE(doc->LoadXml(c.xml));
        EXPECT_EQ(doc->GetParseError().code, c.code);
        EXPECT_EQ(doc->GetParseError().reason, c.reason);
    }
}

TEST_F(ComponentContract, UndeclaredNamespacePrefixIsAnError) {
    VARDEL_WINE_DEVIATION("Wine accepts an undeclared prefix and drops it");
    DocumentRef doc = NewDocument();
    EXPECT_FALSE(doc->LoadXml("<rss><dc:date>2026-12-01</dc:date></rss>"));
    EXPECT_NE(doc->GetParseError().code, 0);
    EXPECT_NE(doc->GetParseError().reason.find("dc"), std::string::npos) << doc->GetParseError().reason;
}

TEST_F(ComponentContract, LoadXmlIgnoresTheDeclaredEncodingOfItsUnicodeText) {
    // The text arrives as Unicode, so the declaration's encoding does not apply;
    // an encoding the system does not know still fails (see above).
    for (const char* encoding : {"windows-1252", "ISO-8859-1", "utf-8", "UTF-16"}) {
        SCOPED_TRACE(encoding);
        DocumentRef doc = Parsed(std::string("<?xml version=\"1.0\" encoding=\"") + encoding +
                                 "\"?><a>\xE4\xF6\xFC \x80 \x97</a>");
        EXPECT_EQ(doc->Text(), "\xE4\xF6\xFC \x80 \x97");
    }
}

TEST_F(ComponentContract, FailedLoadEmptiesTheDocumentButNodesHandedOutLiveOn) {
    DocumentRef doc = Parsed("<rss><channel><title>Alt</title></channel></rss>");
    NodeRef root = doc->DocumentElement();
    NodeListRef titles = doc->GetElementsByTagName("title");
    EXPECT_FALSE(doc->LoadXml("<broken>"));
    EXPECT_EQ(doc->DocumentElement(), nullptr);
    EXPECT_EQ(platform::LengthOf(doc->GetElementsByTagName("title")), 0);
    EXPECT_EQ(root->Text(), "Alt");
    EXPECT_EQ(platform::TextOf(platform::ItemOf(titles, 0)), "Alt");

    ASSERT_TRUE(doc->LoadXml("<rss><channel><title>Neu</title></channel></rss>"));
    EXPECT_EQ(doc->GetParseError().code, 0) << "a successful load clears the previous error";
    EXPECT_EQ(root->Text(), "Alt");
    EXPECT_EQ(doc->DocumentElement()->Text(), "Neu");
}

TEST_F(ComponentContract, NodesKeepTheirDocumentAlive) {
    NodeRef item;
    NodeListRef titles;
    {
        DocumentRef doc = Parsed("<rss><item><title>A</title></item><item><title>B</title></item></rss>");
        item = platform::ItemOf(doc->GetElementsByTagName("item"), 1);
        titles = doc->GetElementsByTagName("title");
    }
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->Text(), "B");
    EXPECT_EQ(TextsOf(titles), (Texts{"A", "B"}));
}

// ---- LOAD of files ------------------------------------------------------------------

TEST_F(ComponentContract, LoadsRealWorldFeeds) {
    struct Case {
        const char* fixture;
        const char* root;  // a child of the root element that must be there
        long entries;      // GETELEMENTSBYTAGNAME of the entry name
        const char* entry;
    };
    const Case cases[] = {
        {"rss2_extensions.xml", "channel", 3, "item"},
        {"rdf10.xml", "channel", 2, "item"},
        {"atom.xml", "title", 2, "entry"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        DocumentRef doc = Loaded(c.fixture);
        EXPECT_EQ(doc->GetParseError().code, 0);
        EXPECT_EQ(doc->GetParseError().reason, "");
        ASSERT_NE(doc->DocumentElement(), nullptr);
        EXPECT_NE(doc->DocumentElement()->SelectSingleNode(c.root), nullptr);
        EXPECT_EQ(platform::LengthOf(doc->GetElementsByTagName(c.entry)), c.entries);
    }
}

TEST_F(ComponentContract, DecodesEveryEncodingOfTheSameFeed) {
    for (const char* fixture : {"small_iso-8859-1.xml", "small_windows-1252.xml", "small_utf-8.xml",
                                "small_utf-16.xml"}) {
        SCOPED_TRACE(fixture);
        DocumentRef doc = Loaded(fixture);
        NodeRef item = platform::ItemOf(doc->GetElementsByTagName("item"), 0);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(platform::TextOf(item->SelectSingleNode("title")), kSmallTitle);
        EXPECT_EQ(platform::TextOf(item->SelectSingleNode("description")), kSmallDescription);
        EXPECT_EQ(platform::TextOf(item->SelectSingleNode("author")), kSmallAuthor);
    }
}

TEST_F(ComponentContract, LoadsWindowsPathsAndFileAddresses) {
    const std::string path = FixturePath("feeds/small_utf-8.xml");
    for (const std::string& address : {Backslashes(path), FileUrl(path)}) {
        SCOPED_TRACE(address);
        DocumentRef doc = NewDocument();
        EXPECT_TRUE(doc->Load(address)) << doc->GetParseError().reason;
        EXPECT_EQ(platform::TextOf(doc->SelectSingleNode("rss/channel/item/title")), kSmallTitle);
    }
}

TEST_F(ComponentContract, MissingFileFailsToLoad) {
    TempFolder folder;
    for (const std::string& path : {folder.File("missing.xml"), folder.File("no-folder/missing.xml")}) {
        SCOPED_TRACE(path);
        DocumentRef doc = NewDocument();
        EXPECT_FALSE(doc->Load(path));
        EXPECT_NE(doc->GetParseError().code, 0);
        EXPECT_NE(doc->GetParseError().code, platform::kResourceNotFound)
            << "a missing feed copy is not an unreachable address";
        EXPECT_EQ(doc->DocumentElement(), nullptr);
    }
}

TEST_F(ComponentContract, MissingFileIsObjectNotFound) {
    VARDEL_WINE_DEVIATION("every load failure is 0x80004005 \"error\" under Wine");
    TempFolder folder;
    DocumentRef doc = NewDocument();
    EXPECT_FALSE(doc->Load(folder.File("missing.xml")));
    EXPECT_EQ(doc->GetParseError().code, platform::kObjectNotFound);
    EXPECT_EQ(doc->GetParseError().reason, "The system cannot locate the object specified.\r\n");
}

TEST_F(ComponentContract, FileThatIsNotWellFormedFails) {
    for (const char* fixture : {"not_well_formed.xml", "small_cp1252_undeclared.xml"}) {
        SCOPED_TRACE(fixture);
        DocumentRef doc = NewDocument();
        EXPECT_FALSE(doc->Load(FixturePath(std::string("feeds/") + fixture)));
        EXPECT_NE(doc->GetParseError().code, 0);
        EXPECT_NE(doc->GetParseError().code, platform::kResourceNotFound);
    }
}

TEST_F(ComponentContract, FileParseErrorsCarryTheComponentsCodes) {
    VARDEL_WINE_DEVIATION("every load failure is 0x80004005 \"error\" under Wine");
    DocumentRef doc = NewDocument();
    EXPECT_FALSE(doc->Load(FixturePath("feeds/not_well_formed.xml")));
    EXPECT_EQ(doc->GetParseError().code, kEndTagMismatch);
    EXPECT_EQ(doc->GetParseError().reason, "End tag 'titel' does not match the start tag 'title'.\r\n");
    // Windows-1252 bytes without a declaration are not UTF-8.
    EXPECT_FALSE(doc->Load(FixturePath("feeds/small_cp1252_undeclared.xml")));
    EXPECT_EQ(doc->GetParseError().code, kInvalidCharacter);
}

// ---- TEXT -------------------------------------------------------------------------------

TEST_F(ComponentContract, TextFollowsTheWhitespaceRules) {
    struct Case {
        const char* xml;
        const char* text;  // TEXT of the root element
    };
    const Case cases[] = {
        {"<d>  lead and trail  </d>", "lead and trail"},
        {"<d>line1\r\nline2</d>", "line1\nline2"},
        {"<d>a\rb</d>", "a\nb"},
        {"<d>\n  indented\n  text\n</d>", "indented\n  text"},
        {"<d>   </d>", ""},
        {"<d>\n</d>", ""},
        {"<d><a>x</a><b>y</b></d>", "xy"},
        {"<d><a>x</a> <b>y</b></d>", "x y"},
        {"<d>  <a>  x  </a>  <b>  y  </b>  </d>", "x     y"},
        {"<d>  one  <a>  two  </a>  three  </d>", "one    two    three"},
        {"<d><![CDATA[  spaced cdata  ]]></d>", "  spaced cdata  "},
        {"<d>\n  <![CDATA[  cdata  ]]>\n</d>", "  cdata  "},
        {"<d>&#32;&#32;x&#32;&#32;</d>", "x"},
        {"<d>&#10;x&#10;</d>", "x"},
        {"<d>&#9;x</d>", "x"},
        {"<d>a&#13;&#10;b</d>", "a\r\nb"},
        {"<d>&#160;x&#160;</d>", "\xA0x\xA0"},
        {"<d>a<!-- note -->b<?pi data?>c</d>", "abc"},
        {"<d>a &amp; b &lt;c&gt; &quot;&apos;</d>", "a & b <c> \"'"},
        {"<!DOCTYPE d [<!ENTITY e \"Wert\">]><d>[&e;]</d>", "[Wert]"},
        {"<d>&#228;&#xE4;&#x20AC;&#x4E2D;&#x1F600;</d>", "\xE4\xE4\x80???"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.xml);
        DocumentRef doc = Parsed(c.xml);
        EXPECT_EQ(platform::TextOf(doc->DocumentElement()), c.text);
    }
}

TEST_F(ComponentContract, TextOfDocumentTextNodesAndPreservedSpace) {
    DocumentRef doc = Parsed("<d>  <e>\n   y</e>  <p xml:space=\"preserve\">  kept  </p>  </d>");
    EXPECT_EQ(doc->Text(), "y   kept");
    NodeRef e = doc->DocumentElement()->SelectSingleNode("e");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(platform::TextOf(e->SelectSingleNode("text()")), "y") << "the TEXT of a text node is trimmed";
    EXPECT_EQ(platform::TextOf(doc->DocumentElement()->SelectSingleNode("p")), "  kept  ");
}

// ---- GETELEMENTSBYTAGNAME ---------------------------------------------------------------

TEST_F(ComponentContract, ElementsByTagNameInDocumentOrder) {
    DocumentRef doc = Loaded("rss2_extensions.xml");
    NodeListRef items = doc->GetElementsByTagName("item");
    ASSERT_EQ(platform::LengthOf(items), 3);
    EXPECT_EQ(platform::TextOf(items->Item(0)->SelectSingleNode("title")), "Stadtrat beschlie\xDF" "t neuen Haushalt");
    EXPECT_EQ(platform::TextOf(items->Item(2)->SelectSingleNode("title")), "1. FC gewinnt Derby 3:1");
    EXPECT_EQ(items->Item(-1), nullptr);
    EXPECT_EQ(items->Item(3), nullptr);

    EXPECT_EQ(platform::LengthOf(doc->GetElementsByTagName("ITEM")), 0) << "names are case-sensitive";
    EXPECT_EQ(platform::LengthOf(doc->GetElementsByTagName("nothing")), 0);
}

TEST_F(ComponentContract, ElementsByTagNameSearchesDescendantsOnly) {
    DocumentRef doc = Loaded("rss2_extensions.xml");
    NodeRef item = platform::ItemOf(doc->GetElementsByTagName("item"), 1);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(TextsOf(item->GetElementsByTagName("category")), (Texts{"Wetter", "Sturm"}));
    EXPECT_EQ(platform::LengthOf(item->GetElementsByTagName("item")), 0) << "not the element itself";
    NodeRef channel = doc->DocumentElement()->SelectSingleNode("channel");
    EXPECT_EQ(platform::LengthOf(channel->GetElementsByTagName("guid")), 3);
    EXPECT_EQ(platform::LengthOf(channel->GetElementsByTagName("channel")), 0);
}

TEST_F(ComponentContract, StarListsEveryElementIncludingTheRoot) {
    DocumentRef doc = Parsed("<r><a><b/></a><c>t</c><!-- x --></r>");
    NodeListRef all = doc->GetElementsByTagName("*");
    ASSERT_EQ(platform::LengthOf(all), 4);
    EXPECT_EQ(platform::TextOf(all->Item(3)), "t");
    EXPECT_EQ(platform::LengthOf(doc->DocumentElement()->GetElementsByTagName("*")), 3);
}

TEST_F(ComponentContract, ElementsByTagNameMatchesQualifiedNamesAsWritten) {
    VARDEL_WINE_DEVIATION("Wine matches local names in GETELEMENTSBYTAGNAME");
    DocumentRef doc = Loaded("rss2_extensions.xml");
    EXPECT_EQ(TextsOf(doc->GetElementsByTagName("dc:creator")),
              (Texts{"Anna M\xFCller", "J\xF6rg Wei\xDF", "Chlo\xE9 Dupont"}));
    EXPECT_EQ(TextsOf(doc->GetElementsByTagName("dc:subject")),
              (Texts{"Politik", "Finanzen", "Wetter", "Sport"}));
    EXPECT_EQ(platform::LengthOf(doc->GetElementsByTagName("creator")), 0) << "dc:creator is not creator";
    EXPECT_EQ(platform::LengthOf(doc->GetElementsByTagName("content:encoded")), 1);
    EXPECT_EQ(platform::LengthOf(doc->GetElementsByTagName("encoded")), 0);
    EXPECT_EQ(platform::LengthOf(doc->GetElementsByTagName("title")), 1 + 3)
        << "the channel's title and the items' titles; media:title is another name";
    DocumentRef rdf = Loaded("rdf10.xml");
    EXPECT_EQ(platform::LengthOf(rdf->GetElementsByTagName("rdf:li")), 2);
    EXPECT_EQ(platform::LengthOf(rdf->GetElementsByTagName("li")), 0);
    EXPECT_EQ(platform::LengthOf(rdf->GetElementsByTagName("RDF")), 0);
}

TEST_F(ComponentContract, RdfItemsInTheDefaultNamespaceAreFoundByTheirName) {
    DocumentRef doc = Loaded("rdf10.xml");
    NodeListRef items = doc->GetElementsByTagName("item");
    ASSERT_EQ(platform::LengthOf(items), 2);
    EXPECT_EQ(platform::TextOf(platform::ItemOf(items->Item(1)->GetElementsByTagName("title"), 0)), "Zweiter Eintrag");
    EXPECT_EQ(items->Item(0)->GetAttribute("rdf:about"), "https://blog.example.org/eintrag/1");
    EXPECT_EQ(TextsOf(doc->DocumentElement()->SelectNodes("item/title")),
              (Texts{"Erster Eintrag", "Zweiter Eintrag"}));
    EXPECT_EQ(platform::TextOf(doc->DocumentElement()->SelectSingleNode("item[1]/dc:date")),
              "2026-12-02T11:30:00+01:00");
}

TEST_F(ComponentContract, PrefixedAttributeNamesInPatterns) {
    VARDEL_WINE_DEVIATION("Wine raises an error for a prefixed attribute name in a pattern (@rdf:about)");
    DocumentRef doc = Loaded("rdf10.xml");
    EXPECT_EQ(platform::TextOf(doc->DocumentElement()->SelectSingleNode("item[0]/@rdf:about")),
              "https://blog.example.org/eintrag/1");
}

// ---- SELECTNODES and SELECTSINGLENODE -------------------------------------------------

TEST_F(ComponentContract, SelectionPatterns) {
    DocumentRef doc = Loaded("rss2_extensions.xml");
    NodeRef root = doc->DocumentElement();
    ASSERT_NE(root, nullptr);
    const std::string first = "Stadtrat beschlie\xDF" "t neuen Haushalt";
    const std::string second = "Sturmwarnung f\xFCr das Wochenende";
    const std::string third = "1. FC gewinnt Derby 3:1";
    struct Case {
        const char* pattern;
        Texts texts;  // TEXT of every node selected from the root element
    };
    const std::vector<Case> cases = {
        {"channel/item[0]/title", {first}},
        {"channel/item[1]/title", {second}},
        {"channel/item[01]/title", {second}},
        {"channel/item[ 1 ]/title", {second}},
        {"channel/item[3]/title", {}},
        {"channel/item[0.5]/title", {}},
        {"channel/item/title[0]", {first, second, third}},
        {"channel/item[end()]/title", {third}},
        {"channel/item[index()=1]/title", {second}},
        {"channel/item[index() $gt$ 0]/title", {second, third}},
        {"channel/item[dc:creator $eq$ 'Anna M\xFCller']/title", {first}},
        {"channel/item[dc:subject='Wetter' $or$ dc:subject='Sport']/title", {second, third}},
        {"channel/item[category/@domain and enclosure]/title", {second}},
        {"channel/item[$not$ enclosure]/guid", {"urn:example:1001", "https://news.example.com/artikel/1003.html"}},
        {"channel/item[not(media:content)][0]/title", {second}},
        {"channel/item[guid/@isPermaLink != 'false']/title", {third}},
        {"channel/item[0]/dc:subject", {"Politik", "Finanzen"}},
        {"channel/item[0]/media:content/@url", {"https://img.example.com/1001.jpg"}},
        {"channel/item[0]/media:content/media:title", {"Ratssaal"}},
        {"channel/item[0]/content:encoded", {"<p>Langfassung: 5 \x80 pro Kopf \x97 mehr als geplant.</p>"}},
        {"channel/item[0]/description/text()", {"<p>Der Stadtrat hat am Abend den <b>Haushalt</b> f\xFCr 2027 beschlossen.</p>"}},
        {"channel/item[2]/description", {"Ein <b>verdienter</b> Sieg vor 50.000 Zuschauern."}},
        {"channel/item[1]/category[1]/@domain", {"https://news.example.com/tag"}},
        {"channel/*[0]", {"Beispiel Nachrichten"}},
        {"//dc:subject", {"Politik", "Finanzen", "Wetter", "Sport"}},
        {"channel//media:title", {"Ratssaal"}},
        {"/rss/channel/language", {"de-de"}},
        {"channel/title | channel/language", {"Beispiel Nachrichten", "de-de"}},
        {"channel/./title", {"Beispiel Nachrichten"}},
        {"channel/item[2]/../title", {"Beispiel Nachrichten"}},
        {"channel/item[2]/title/ancestor(channel)/language", {"de-de"}},
        {"CHANNEL/ITEM", {}},
        {"x:item", {}},
        {"channel/encoded", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        NodeListRef list = root->SelectNodes(c.pattern);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(TextsOf(list), c.texts);
        NodeRef single = root->SelectSingleNode(c.pattern);
        if (c.texts.empty())
            EXPECT_EQ(single, nullptr);
        else
            EXPECT_EQ(platform::TextOf(single), c.texts.front());
    }
}

TEST_F(ComponentContract, SelectionFromTheDocumentAndFromAnItem) {
    DocumentRef doc = Loaded("atom.xml");
    EXPECT_EQ(platform::TextOf(doc->SelectSingleNode("feed/entry[1]/title")), "Fehlerbehebung 1.9.3");
    EXPECT_EQ(platform::TextOf(doc->SelectSingleNode("/feed/title")), "Projekt-Neuigkeiten");
    NodeRef entry = platform::ItemOf(doc->GetElementsByTagName("entry"), 0);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(platform::TextOf(entry->SelectSingleNode("link/@href")), "https://projekt.example.net/2.0");
    EXPECT_EQ(platform::AttributeOf(platform::ItemOf(entry->SelectNodes("link"), 0), "href"),
              "https://projekt.example.net/2.0");
    EXPECT_EQ(platform::TextOf(entry->SelectSingleNode("summary")), "<p>Schneller &amp; kleiner.</p>");
    EXPECT_EQ(platform::TextOf(entry->SelectSingleNode("content")), "Alle Details im Blog.");
    EXPECT_EQ(platform::TextOf(entry->SelectSingleNode("/feed/author/name")), "Maria Nu\xF1" "ez")
        << "an absolute pattern starts at the document";
    EXPECT_EQ(platform::TextOf(entry->SelectSingleNode(".")), platform::TextOf(entry));
}

TEST_F(ComponentContract, MalformedPatternsAreAnErrorOfTheCall) {
    DocumentRef doc = Loaded("rss2_extensions.xml");
    NodeRef root = doc->DocumentElement();
    for (const char* pattern : {"1+1", "count(..)"}) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(root->SelectNodes(pattern), nullptr);
        EXPECT_EQ(root->SelectSingleNode(pattern), nullptr);
        EXPECT_EQ(doc->SelectNodes(pattern), nullptr);
        EXPECT_EQ(doc->SelectSingleNode(pattern), nullptr);
    }
}

TEST_F(ComponentContract, PatternsWithStrayCharactersAreAnErrorOfTheCall) {
    VARDEL_WINE_DEVIATION("after one pattern that Wine's pattern scanner rejects (\"\", \"<\", \"@\", \"[0]\"...), "
                          "the next such pattern crashes the process, on any document");
    DocumentRef doc = Loaded("rss2_extensions.xml");
    NodeRef root = doc->DocumentElement();
    for (const char* pattern : {"", " ", "<", "#", "%", "@", "[0]"}) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(root->SelectNodes(pattern), nullptr);
        EXPECT_EQ(root->SelectSingleNode(pattern), nullptr);
        EXPECT_EQ(doc->SelectNodes(pattern), nullptr);
        EXPECT_EQ(doc->SelectSingleNode(pattern), nullptr);
    }
}

TEST_F(ComponentContract, UnfinishedPatternsAreAnErrorOfTheCall) {
    VARDEL_WINE_DEVIATION("Wine crashes on unfinished patterns such as \"channel/\"");
    DocumentRef doc = Loaded("rss2_extensions.xml");
    NodeRef root = doc->DocumentElement();
    for (const char* pattern : {"a[", "channel/", "channel//", "channel/item[", "channel/item['0']",
                                "channel/item[last()-1]"}) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(root->SelectNodes(pattern), nullptr);
        EXPECT_EQ(root->SelectSingleNode(pattern), nullptr);
    }
}

// ---- GETATTRIBUTE ----------------------------------------------------------------------

TEST_F(ComponentContract, AttributesByQualifiedName) {
    DocumentRef doc = Parsed(
        "<r xmlns='http://purl.org/rss/1.0/' xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
        "<item rdf:about='http://x/1?a=1&amp;b=2' plain='a &lt; b &gt; c &quot;q&quot; &apos;s&apos; &#228;&#xE4;&#x20AC;'"
        " ws='  two  spaces\n\tnl\r\nend ' cref='a&#10;b&#9;c&#13;d' empty='' Mixed='M' about='plain-about'/>"
        "<item rdf:about='only-prefixed'/></r>");
    NodeRef item = platform::ItemOf(doc->GetElementsByTagName("item"), 0);
    ASSERT_NE(item, nullptr);
    struct Case {
        const char* name;
        const char* value;
    };
    const Case cases[] = {
        {"rdf:about", "http://x/1?a=1&b=2"},
        {"about", "plain-about"},
        {"RDF:about", ""},
        {"rdf:About", ""},
        {"mixed", ""},
        {"Mixed", "M"},
        {"plain", "a < b > c \"q\" 's' \xE4\xE4\x80"},
        {"ws", "  two  spaces  nl end "},
        {"cref", "a\nb\tc\rd"},
        {"empty", ""},
        {"missing", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(item->GetAttribute(c.name), c.value);
    }
    EXPECT_EQ(platform::ItemOf(doc->GetElementsByTagName("item"), 1)->GetAttribute("about"), "");
    EXPECT_EQ(doc->DocumentElement()->GetAttribute("xmlns:rdf"), "http://www.w3.org/1999/02/22-rdf-syntax-ns#");
    EXPECT_EQ(doc->GetAttribute("about"), "") << "the document has no attributes";
    EXPECT_EQ(platform::AttributeOf(nullptr, "about"), "");
}

// ---- SAVE -------------------------------------------------------------------------------

class SaveContract : public ComponentContract {
protected:
    // Saves the document and loads the file again.
    DocumentRef SavedAndReloaded(const DocumentRef& doc, const std::string& name) {
        EXPECT_TRUE(doc->Save(folder.File(name)));
        DocumentRef again = NewDocument();
        EXPECT_TRUE(again->Load(folder.File(name))) << again->GetParseError().reason;
        return again;
    }
    static std::string SmallTitleOf(const DocumentRef& doc) {
        return platform::TextOf(doc->SelectSingleNode("rss/channel/item/title"));
    }
    TempFolder folder;
};

TEST_F(SaveContract, Utf8DocumentIsSavedAsUtf8AndReadsBack) {
    DocumentRef saved = SavedAndReloaded(Loaded("small_utf-8.xml"), "copy.xml");
    EXPECT_EQ(SmallTitleOf(saved), kSmallTitle);
    EXPECT_EQ(platform::TextOf(saved->SelectSingleNode("rss/channel/item/author")), kSmallAuthor);
    const std::string bytes = folder.Read("copy.xml");
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << bytes;
    EXPECT_NE(bytes.find("Gr\xC3\xBC\xC3\x9F" "e"), std::string::npos);
}

TEST_F(SaveContract, DocumentIsSavedInTheEncodingItDeclares) {
    VARDEL_WINE_DEVIATION("Wine writes UTF-8 under every encoding label");
    struct Case {
        const char* fixture;
        std::string mustContain;  // bytes of the title in the declared encoding
    };
    const Case cases[] = {
        {"small_windows-1252.xml", "Gr\xFC\xDF" "e aus K\xF6ln"},
        {"small_iso-8859-1.xml", "Gr\xFC\xDF" "e aus K\xF6ln"},
        {"small_utf-16.xml", std::string("G\0r\0\xFC\0\xDF\0", 8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        DocumentRef saved = SavedAndReloaded(Loaded(c.fixture), "copy.xml");
        EXPECT_EQ(SmallTitleOf(saved), kSmallTitle);
        EXPECT_EQ(platform::TextOf(saved->SelectSingleNode("rss/channel/item/description")), kSmallDescription);
        EXPECT_EQ(platform::TextOf(saved->SelectSingleNode("rss/channel/item/author")), kSmallAuthor);
        const std::string bytes = folder.Read("copy.xml");
        EXPECT_NE(bytes.find(c.mustContain), std::string::npos);
    }
    EXPECT_EQ(folder.Read("copy.xml").substr(0, 2), "\xFF\xFE") << "UTF-16 starts with its byte order mark";
}

TEST_F(SaveContract, LoadXmlDocumentKeepsItsDeclarationForSave) {
    VARDEL_WINE_DEVIATION("Wine writes UTF-8 under every encoding label");
    DocumentRef doc = Parsed("<?xml version=\"1.0\" encoding=\"windows-1252\"?><rss><t>\xC4rger \x80</t></rss>");
    DocumentRef saved = SavedAndReloaded(doc, "copy.xml");
    EXPECT_EQ(platform::TextOf(saved->SelectSingleNode("rss/t")), "\xC4rger \x80");
    const std::string bytes = folder.Read("copy.xml");
    EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"windows-1252\"?>", 0), 0u) << bytes;
    EXPECT_NE(bytes.find("\xC4rger \x80"), std::string::npos);
}

TEST_F(SaveContract, DocumentWithoutDeclarationIsSavedAsUtf8WithoutOne) {
    DocumentRef saved = SavedAndReloaded(Parsed("<rss><t>\xC4rger \x80</t></rss>"), "copy.xml");
    EXPECT_EQ(platform::TextOf(saved->SelectSingleNode("rss/t")), "\xC4rger \x80");
    const std::string bytes = folder.Read("copy.xml");
    EXPECT_EQ(bytes.rfind("<rss>", 0), 0u) << bytes;
    EXPECT_NE(bytes.find("\xC3\x84rger \xE2\x82\xAC"), std::string::npos);
}

TEST_F(SaveContract, SaveReplacesTheFileAndFailsWithoutItsFolder) {
    folder.Write("copy.xml", std::string(10000, 'x'));
    DocumentRef doc = Parsed("<rss><t>kurz</t></rss>");
    ASSERT_TRUE(doc->Save(folder.File("copy.xml")));
    EXPECT_LT(folder.Read("copy.xml").size(), 100u);
    EXPECT_FALSE(doc->Save(folder.File("missing-folder/copy.xml")));
}

// ---- Safety ------------------------------------------------------------------------------

TEST_F(ComponentContract, ExternalEntitiesAreNeverRead) {
    const std::string secretUrl = FileUrl(FixturePath("feeds/xxe_secret.txt"));
    const std::string dtdUrl = FileUrl(FixturePath("feeds/xxe_secret.dtd"));
    const std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE rss [\n<!ENTITY secret SYSTEM \"" + secretUrl +
                            "\">\n<!ENTITY % remote SYSTEM \"" + dtdUrl + "\">\n%remote;\n]>\n"
                            "<rss><channel><title>[&secret;]</title></channel></rss>";
    TempFolder folder;
    folder.Write("xxe_absolute.xml", xml);
    // As the plug-in loads: the component's default for external resolution, and
    // turned off as for feed copies.
    for (const bool turnOff : {false, true}) {
        for (const std::string& source : {std::string("loadxml"), folder.File("xxe_absolute.xml"),
                                          FixturePath("feeds/xxe_relative.xml")}) {
            SCOPED_TRACE(source + (turnOff ? " with RESOLVEEXTERNALS false" : ""));
            DocumentRef doc = NewDocument();
            if (turnOff) doc->SetResolveExternals(false);
            const bool loaded = source == "loadxml" ? doc->LoadXml(xml) : doc->Load(source);
            const std::string text = doc->Text();
            EXPECT_EQ(text.find("TOP-SECRET"), std::string::npos) << text;
            if (loaded) {
                EXPECT_NE(text.find("[]"), std::string::npos) << text;
            }
        }
    }
}

TEST_F(ComponentContract, EntityBombFailsAsAParseError) {
    DocumentRef doc = NewDocument();
    EXPECT_FALSE(doc->Load(FixturePath("feeds/billion_laughs.xml")));
    EXPECT_NE(doc->GetParseError().code, 0);
    EXPECT_NE(doc->GetParseError().code, platform::kResourceNotFound);
    EXPECT_EQ(doc->DocumentElement(), nullptr);
}

}  // namespace
}  // namespace vardel::testing

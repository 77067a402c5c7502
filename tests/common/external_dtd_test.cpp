// Documents that name an external DTD, as old RSS 0.91 feeds do: well-formed (an
// entity declared only in the external subset needs no declaration the parser
// can see, as long as the document is not standalone), loaded without ever
// reading the DTD. Such an entity reads as nothing, in text and in attributes, as
// the Windows component has it. Without an external subset an undeclared entity
// still makes the document not well-formed.
#include <gtest/gtest.h>

#include <string>

#include "platform/components.h"
#include "platform/services.h"
#include "support/fakes.h"
#include "support/platform_check.h"

namespace vardel::testing {
namespace {

using platform::DocumentRef;

DocumentRef NewDocument() {
    DocumentRef doc = platform::Services().components->CreateXmlDocument();
    doc->SetAsync(false);
    doc->SetValidateOnParse(false);
    doc->SetResolveExternals(false);
    return doc;
}

std::string Text(const DocumentRef& doc, const std::string& path) {
    const platform::NodeRef node = doc->SelectSingleNode(path);
    return node ? node->Text() : "(none)";
}

std::string Attribute(const DocumentRef& doc, const std::string& path, const std::string& name) {
    const platform::NodeRef node = doc->SelectSingleNode(path);
    return node ? node->GetAttribute(name) : "(none)";
}

// What the fixture reads as, wherever it came from.
void ExpectTheFixturesTexts(const DocumentRef& doc) {
    EXPECT_EQ(Text(doc, "rss/channel/item/title"), "ber die Brcke");
    EXPECT_EQ(Attribute(doc, "rss/channel/item/category", "domain"), "http://news.example/thma");
}

TEST(ExternalDtd, FeedNamingOneLoadsWithItsUnreadEntitiesEmpty) {
    DocumentRef doc = NewDocument();
    ASSERT_TRUE(doc->Load(FixturePath("feeds/rss091_external_dtd.xml"))) << doc->GetParseError().reason;
    ExpectTheFixturesTexts(doc);
    EXPECT_EQ(Text(doc, "rss/channel/title"), "Caf & Bar");
    EXPECT_EQ(Text(doc, "rss/channel/item"), "ber die Brcke http://news.example/1 Verkehr")
        << "nothing of the attribute's entity turns up in the content";
}

// (The copy's whitespace is the component's: Wine's leaves out the whitespace-only
// text it dropped while loading, so only texts without such parts are compared.)
TEST(ExternalDtd, SavedCopyLoadsBack) {
    TempFolder folder;
    DocumentRef doc = NewDocument();
    ASSERT_TRUE(doc->Load(FixturePath("feeds/rss091_external_dtd.xml")));
    ASSERT_TRUE(doc->Save(folder.File("copy.xml")));
    DocumentRef copy = NewDocument();
    ASSERT_TRUE(copy->Load(folder.File("copy.xml"))) << copy->GetParseError().reason << folder.Read("copy.xml");
    ExpectTheFixturesTexts(copy);
}

struct EntityCase {
    const char* name;
    const char* xml;
    bool wellFormed;
};

std::ostream& operator<<(std::ostream& out, const EntityCase& c) { return out << c.name; }

class UndeclaredEntities : public ::testing::TestWithParam<EntityCase> {};

TEST_P(UndeclaredEntities, AreAnErrorOnlyWhereTheParserSeesEveryDeclaration) {
    DocumentRef doc = NewDocument();
    EXPECT_EQ(doc->LoadXml(GetParam().xml), GetParam().wellFormed) << doc->GetParseError().reason;
    if (GetParam().wellFormed) {
        EXPECT_EQ(Text(doc, "r"), "ab");
    } else {
        EXPECT_NE(doc->GetParseError().code, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    ExternalDtd, UndeclaredEntities,
    ::testing::Values(
        EntityCase{"SystemIdentifier", "<!DOCTYPE r SYSTEM \"r.dtd\"><r>a&x;b</r>", true},
        EntityCase{"PublicIdentifier", "<!DOCTYPE r PUBLIC \"-//X//DTD R//EN\" \"http://x.invalid/r.dtd\"><r>a&x;b</r>",
                   true},
        EntityCase{"AlsoAnInternalSubset", "<!DOCTYPE r SYSTEM \"r.dtd\" [<!ENTITY y \"\">]><r>a&x;&y;b</r>", true},
        EntityCase{"NoDoctype", "<r>a&x;b</r>", false},
        EntityCase{"InternalSubsetOnly", "<!DOCTYPE r [<!ENTITY y \"\">]><r>a&x;b</r>", false},
        // standalone: the document says that no declaration outside matters
        EntityCase{"Standalone", "<?xml version=\"1.0\" standalone=\"yes\"?><!DOCTYPE r SYSTEM \"r.dtd\"><r>a&x;b</r>",
                   false}));

}  // namespace
}  // namespace vardel::testing

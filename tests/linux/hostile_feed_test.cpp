// Feeds and feed copies as a careless user or a hostile server would leave them,
// through the Linux XML document component: files that are not regular files,
// entities that expand beyond any sensible size, and documents that name an
// external DTD that is never read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>

#include "platform/components.h"
#include "platform/services.h"
#include "support/fakes.h"
#include "support/http_server.h"

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

// Loads path in a thread and waits at most a few seconds. A load that blocks on a
// FIFO is then released (by default by opening and closing the FIFO's other end),
// so that the test ends either way.
platform::ParseError LoadWithin(const std::string& path, bool& finished,
                                const std::function<void()>& release = {}) {
    DocumentRef doc = NewDocument();
    auto load = std::async(std::launch::async, [&] {
        doc->Load(path);
        return doc->GetParseError();
    });
    finished = load.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!finished && release) release();
    if (!finished && !release) {
        const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (writer >= 0) ::close(writer);
    }
    return load.get();
}

TEST(NonRegularFiles, AreRefusedAsMissingWithoutBlocking) {
    TempFolder folder;
    const std::string fifo = folder.File("fifo.xml");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string linkToFifo = folder.File("link.xml");
    ASSERT_EQ(::symlink(fifo.c_str(), linkToFifo.c_str()), 0);
    for (const std::string& path : {fifo, linkToFifo, std::string("/dev/null"), std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        bool finished = false;
        const platform::ParseError error = LoadWithin(path, finished);
        EXPECT_TRUE(finished) << "the load blocked";
        EXPECT_EQ(error.code, platform::kObjectNotFound);
        EXPECT_EQ(error.reason, "The system cannot locate the object specified.\r\n");
    }
}

TEST(NonRegularFiles, AFifoWithAWriterIsRefusedToo) {
    TempFolder folder;
    const std::string fifo = folder.File("fifo.xml");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A writer that keeps the FIFO open and writes a well-formed feed.
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    const std::string feed = "<rss><channel><item><title>t</title></item></channel></rss>";
    ASSERT_EQ(::write(writer, feed.data(), feed.size()), static_cast<ssize_t>(feed.size()));
    bool finished = false;
    const platform::ParseError error = LoadWithin(fifo, finished, [&] { ::close(writer); });
    if (finished) ::close(writer);
    ::close(reader);
    EXPECT_TRUE(finished);
    EXPECT_EQ(error.code, platform::kObjectNotFound);
}

TEST(NonRegularFiles, AFolderIsStillRefusedAsAccessDenied) {
    TempFolder folder;
    bool finished = false;
    const platform::ParseError error = LoadWithin(folder.Path(), finished);
    EXPECT_TRUE(finished);
    EXPECT_EQ(static_cast<std::uint32_t>(error.code), 0x80070005u);
}

// ---- What entity references may expand to ------------------------------------------

constexpr std::size_t kBudget = 10u * 1024u * 1024u;
const std::string kOverBudget = "The entity references expand to more than 10485760 bytes.\r\n";

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string s;
    s.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) s += piece;
    return s;
}

// A document whose entity e is 64 KiB of text, used `times` times in the way given.
std::string Expanding(std::size_t times, const std::string& use) {
    return "<!DOCTYPE r [<!ENTITY e \"" + std::string(64 * 1024, 'x') + "\">]>" + use.substr(0, use.find('#')) +
           Repeat("&e;", times) + use.substr(use.find('#') + 1);
}

struct BudgetCase {
    const char* name;
    std::string xml;
    bool loads;
    std::string reason = kOverBudget;
};

std::ostream& operator<<(std::ostream& out, const BudgetCase& c) { return out << c.name; }

class ExpansionBudgetCases : public ::testing::TestWithParam<BudgetCase> {};

TEST_P(ExpansionBudgetCases, DecidesWhetherTheDocumentLoads) {
    DocumentRef doc = NewDocument();
    EXPECT_EQ(doc->LoadXml(GetParam().xml), GetParam().loads);
    if (GetParam().loads) {
        EXPECT_EQ(doc->GetParseError().code, 0);
    } else {
        EXPECT_EQ(static_cast<std::uint32_t>(doc->GetParseError().code), 0xC00CE50Du);
        EXPECT_EQ(doc->GetParseError().reason, GetParam().reason);
    }
}

// A document of 11 MiB: its references may stand for as much as the document.
std::string LargeExpanding(std::size_t times) {
    return Expanding(times, "<r>#" + Repeat("<!--" + std::string(1024 * 1024 - 7, 'p') + "-->", 11) + "</r>");
}

std::string OverBudgetOf(std::size_t documentBytes) {
    return "The entity references expand to more than " + std::to_string(documentBytes) + " bytes.\r\n";
}

// 160 references of 64 KiB are exactly 10 MiB.
INSTANTIATE_TEST_SUITE_P(
    HostileFeeds, ExpansionBudgetCases,
    ::testing::Values(BudgetCase{"ContentUpToTheBudget", Expanding(160, "<r>#</r>"), true},
                      BudgetCase{"ContentBeyondIt", Expanding(161, "<r>#</r>"), false},
                      BudgetCase{"SpreadOverElements", Expanding(161, "<r>" + Repeat("<i>&e;</i>", 100) + "#</r>"), false},
                      BudgetCase{"AttributeValues", Expanding(161, "<r a='#'/>"), false},
                      BudgetCase{"ContentAndAttributesTogether", Expanding(81, "<r a='" + Repeat("&e;", 80) + "'>#</r>"),
                                 false},
                      // f holds e 64 times: 4 MiB for each f
                      BudgetCase{"NestedEntity",
                                 "<!DOCTYPE r [<!ENTITY e \"" + std::string(64 * 1024, 'x') + "\"><!ENTITY f \"" +
                                     Repeat("&e;", 64) + "\">]><r>&f;&f;&f;</r>",
                                 false},
                      BudgetCase{"NestedEntityWithin",
                                 "<!DOCTYPE r [<!ENTITY e \"" + std::string(64 * 1024, 'x') + "\"><!ENTITY f \"" +
                                     Repeat("&e;", 64) + "\">]><r>&f;&f;</r>",
                                 true},
                      // references before the bulk of the document: the verdict is on its whole size
                      BudgetCase{"LargeDocumentUpToItsSize", LargeExpanding(176), true},
                      BudgetCase{"LargeDocumentBeyondItsSize", LargeExpanding(178), false,
                                 OverBudgetOf(LargeExpanding(178).size())}));

TEST(ExpansionBudget, TextOfADocumentWithinItIsWhole) {
    DocumentRef doc = NewDocument();
    ASSERT_TRUE(doc->LoadXml(Expanding(160, "<r>a#b</r>")));
    const std::string text = doc->DocumentElement()->Text();
    EXPECT_EQ(text.size(), kBudget + 2);
    EXPECT_EQ(text.front(), 'a');
    EXPECT_EQ(text.back(), 'b');
}

// The issue's bomb: a 1 MiB entity referenced 1024 times, as a file and over HTTP.
TEST(ExpansionBudget, LargeEntityReferencedOftenFailsWithoutExpanding) {
    const std::string bomb = "<?xml version=\"1.0\"?><!DOCTYPE rss [<!ENTITY big \"" + std::string(1024 * 1024, 'A') +
                             "\">]><rss><channel><item><title>" + Repeat("&big;", 1024) +
                             "</title></item></channel></rss>";
    TempFolder folder;
    folder.Write("bomb.xml", bomb);
    LoopbackHttpServer server([&](const HttpRequestSeen&) {
        HttpReply reply;
        reply.contentType = "application/xml";
        reply.body = bomb;
        return reply;
    });
    for (const std::string& address : {folder.File("bomb.xml"), server.Url("/bomb.xml")}) {
        SCOPED_TRACE(address);
        DocumentRef doc = NewDocument();
        EXPECT_FALSE(doc->Load(address));
        EXPECT_EQ(doc->GetParseError().reason, kOverBudget);
    }
}

// The copy keeps the document as written: the entity of the attribute value,
// which the value does not keep, leaves no reference in the content either.
TEST(ExternalDtd, CopyHoldsNoReferenceThatTheFeedDidNotHave) {
    TempFolder folder;
    DocumentRef doc = NewDocument();
    ASSERT_TRUE(doc->Load(FixturePath("feeds/rss091_external_dtd.xml")));
    ASSERT_TRUE(doc->Save(folder.File("copy.xml")));
    const std::string copy = folder.Read("copy.xml");
    EXPECT_NE(copy.find("<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\""), std::string::npos);
    EXPECT_NE(copy.find("<title>Caf&eacute; &amp; Bar</title>"), std::string::npos) << copy;
    EXPECT_NE(copy.find("</link>\n<category domain=\"http://news.example/thma\">"), std::string::npos) << copy;
}

}  // namespace
}  // namespace vardel::testing

// What only our own component layer promises beyond the Windows components: the
// limits that keep a fetch from exhausting memory or following redirects for ever,
// bounded entity expansion, pattern forms the Windows components under Wine cannot
// be asked about (they crash on some of them), and that the layer's shortcuts
// agree with its general evaluation.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/components.h"
#include "platform/linux/xsl_pattern.h"
#include "platform/services.h"
#include "support/fakes.h"
#include "support/http_server.h"

namespace vardel::testing {
namespace {

using platform::DocumentRef;

constexpr std::size_t kLimit = 16u * 1024u * 1024u;

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

platform::ComponentFactory& Components() { return *platform::Services().components; }

std::string Fetch(const std::string& url) {
    auto request = Components().CreateHttpRequest();
    request->Open("Get", url, false);
    request->Send();
    return request->ResponseText();
}

// A well-formed XML body of exactly `size` bytes: items of about 1 KB.
std::string FeedOfSize(std::size_t size) {
    const std::string head = "<rss><channel>", tail = "</channel></rss>";
    const std::string item = "<item>" + std::string(1000, 'x') + "</item>\n";
    std::string body = head;
    while (body.size() + item.size() + tail.size() <= size) body += item;
    body += "<item>" + std::string(size - body.size() - tail.size() - 13, 'y') + "</item>";
    return body + tail;
}

TEST(ComponentLimits, ResponsesOverSixteenMebibytesFail) {
    std::string body;
    std::mutex mutex;
    LoopbackHttpServer server([&](const HttpRequestSeen&) {
        std::lock_guard lock(mutex);
        HttpReply reply;
        reply.body = body;
        return reply;
    });
    const auto serve = [&](std::string b) {
        std::lock_guard lock(mutex);
        body = std::move(b);
    };

    serve(FeedOfSize(kLimit));
    ASSERT_EQ(FeedOfSize(kLimit).size(), kLimit);
    DocumentRef doc = Components().CreateXmlDocument();
    EXPECT_TRUE(doc->Load(server.Url("/feed.xml"))) << "exactly the limit is still fine";
    EXPECT_EQ(Fetch(server.Url("/feed.xml")).size(), kLimit);

    serve(FeedOfSize(kLimit + 1));
    EXPECT_FALSE(doc->Load(server.Url("/feed.xml")));
    EXPECT_EQ(doc->GetParseError().code, platform::kResourceNotFound);
    EXPECT_EQ(Fetch(server.Url("/feed.xml")), "");
}

TEST(ComponentLimits, CompressedBodyIsLimitedByItsUnpackedSize) {
    HttpReply reply;
    reply.body = FileBytes(FixturePath("feeds/gzip_bomb.xml.gz"));  // 17 KB, 17 MiB unpacked
    reply.headers.push_back({"Content-Encoding", "gzip"});
    LoopbackHttpServer server([&](const HttpRequestSeen&) { return reply; });
    DocumentRef doc = Components().CreateXmlDocument();
    EXPECT_FALSE(doc->Load(server.Url("/feed.xml")));
    EXPECT_EQ(doc->GetParseError().code, platform::kResourceNotFound);
    EXPECT_EQ(Fetch(server.Url("/feed.xml")), "");
}

TEST(ComponentLimits, AtMostFiveRedirectsAreFollowed) {
    // "/hop/N" redirects to "/hop/N-1"; "/hop/0" is the feed.
    LoopbackHttpServer server([](const HttpRequestSeen& request) {
        HttpReply reply;
        const int n = std::stoi(request.target.substr(5));
        if (n == 0) {
            reply.body = "<rss><channel><title>Ziel</title></channel></rss>";
        } else {
            reply.status = 302;
            reply.headers.push_back({"Location", "/hop/" + std::to_string(n - 1)});
        }
        return reply;
    });
    DocumentRef doc = Components().CreateXmlDocument();
    EXPECT_TRUE(doc->Load(server.Url("/hop/5")));
    EXPECT_EQ(platform::TextOf(doc->DocumentElement()), "Ziel");
    EXPECT_FALSE(doc->Load(server.Url("/hop/6")));
    EXPECT_EQ(doc->GetParseError().code, platform::kResourceNotFound);
    EXPECT_EQ(Fetch(server.Url("/hop/5")), "<rss><channel><title>Ziel</title></channel></rss>");
    EXPECT_EQ(Fetch(server.Url("/hop/6")), "");
}

TEST(ComponentLimits, OnlyHttpAndHttpsAreFetched) {
    DocumentRef doc = Components().CreateXmlDocument();
    EXPECT_EQ(Fetch("file://" + FixturePath("feeds/xxe_secret.txt")), "");
    EXPECT_EQ(Fetch("ftp://127.0.0.1/feed.xml"), "");
    // A redirect to a local file is not followed either.
    LoopbackHttpServer server([](const HttpRequestSeen&) {
        HttpReply reply;
        reply.status = 302;
        reply.headers.push_back({"Location", "file://" + FixturePath("feeds/xxe_secret.txt")});
        return reply;
    });
    EXPECT_EQ(Fetch(server.Url("/feed.xml")), "");
    EXPECT_FALSE(doc->Load(server.Url("/feed.xml")));
}

TEST(ComponentLimits, HeaderLinesCannotSmuggleInFurtherLines) {
    LoopbackHttpServer server([](const HttpRequestSeen&) { return HttpReply{}; });
    auto request = Components().CreateHttpRequest();
    request->Open("Get", server.Url("/feed.xml"), false);
    request->SetRequestHeader("Get", "TarnAgent\r\nX-Smuggled: 1");
    request->SetRequestHeader("X-Bad\r\nX-Smuggled", "2");
    request->SetRequestHeader("X-Fine", "3");
    request->Send();
    ASSERT_EQ(server.Requests().size(), 1u);
    const HttpRequestSeen seen = server.Requests()[0];
    EXPECT_EQ(seen.Header("X-Smuggled"), "");
    EXPECT_EQ(seen.Header("Get"), "") << "the whole line is left out";
    EXPECT_EQ(seen.Header("X-Fine"), "3");
}

TEST(ComponentLimits, EntityBombNeitherExpandsNorGrowsMemory) {
    const long before = PeakKilobytes();
    for (int i = 0; i < 3; ++i) {
        DocumentRef doc = Components().CreateXmlDocument();
        EXPECT_FALSE(doc->Load(FixturePath("feeds/billion_laughs.xml")));
        EXPECT_FALSE(doc->LoadXml(FileBytes(FixturePath("feeds/billion_laughs.xml"))));
    }
    EXPECT_LT(PeakKilobytes() - before, 32 * 1024) << "kilobytes of peak memory added by the bomb";
}

// ---- Pattern forms beyond what the contract suite asks of both layers -----------------

TEST(ComponentPatterns, FurtherForms) {
    DocumentRef doc = Components().CreateXmlDocument();
    ASSERT_TRUE(doc->LoadXml(
        "<r xmlns:m='urn:m'>\n  <a k='Eins'>one</a>\n  <!--c1-->\n  <?p data?>\n  <m:b>two</m:b>\n"
        "  <m:c m:k='x'>three</m:c>\n  <a k='eins'>four</a>\n</r>"));
    const platform::NodeRef root = doc->DocumentElement();
    struct Case {
        const char* pattern;
        long count;
        const char* firstText;
    };
    const Case cases[] = {
        {"node()", 6, "one"},          // whitespace-only text nodes do not count
        {"node()[1]", 1, "c1"},
        {"text()", 0, ""},
        {"comment()", 1, "c1"},
        {"pi()", 1, "data"},
        {"m:*", 2, "two"},
        {"m:c/@*", 1, "x"},
        {"m:c/@m:k", 1, "x"},
        {"a/@*", 2, "Eins"},
        {"a[@k $ieq$ 'EINS']", 2, "one"},
        {"a[@k $ine$ 'EINS']", 0, ""},
        {"a[@k = 'eins']", 1, "four"},
        {"a[-1]", 0, ""},
        {"a[last()]", 1, "four"},
        {"*[index() $ge$ 2]", 2, "three"},
        {"*[(index() = 0 $or$ index() = 3) $and$ @k]", 2, "one"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pattern);
        const platform::NodeListRef list = root->SelectNodes(c.pattern);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->Length(), c.count);
        EXPECT_EQ(platform::TextOf(root->SelectSingleNode(c.pattern)), c.firstText);
    }
}

std::vector<std::string> TextsOf(const platform::NodeListRef& list) {
    std::vector<std::string> texts;
    for (long i = 0; i < platform::LengthOf(list); ++i) texts.push_back(platform::TextOf(list->Item(i)));
    return texts;
}

// Plain paths are followed directly and document-wide names come from the index
// made while parsing; both must select exactly what the general evaluation does
// ("./" in front makes a pattern take the general way).
TEST(ComponentPatterns, ShortcutsSelectWhatTheGeneralEvaluationSelects) {
    for (const char* fixture : {"feeds/rss2_extensions.xml", "feeds/rdf10.xml", "feeds/atom.xml"}) {
        SCOPED_TRACE(fixture);
        DocumentRef doc = Components().CreateXmlDocument();
        ASSERT_TRUE(doc->Load(FixturePath(fixture)));
        const platform::NodeRef root = doc->DocumentElement();
        for (const char* path : {"channel", "channel/item", "channel/item[1]", "channel/item[2]/title",
                                 "channel/item/dc:subject[1]", "channel/item[0]/media:content/@url",
                                 "channel/item/category/@domain", "channel/*[3]", "*/*[0]", "item/@rdf:about",
                                 "item[1]/dc:date", "entry/link/@href", "entry[0]/*", "channel/item[7]",
                                 "x:channel", "channel/x:item", "@missing"}) {
            SCOPED_TRACE(path);
            const std::string general = std::string("./") + path;
            EXPECT_EQ(TextsOf(root->SelectNodes(path)), TextsOf(root->SelectNodes(general)));
            EXPECT_EQ(platform::TextOf(root->SelectSingleNode(path)), platform::TextOf(root->SelectSingleNode(general)));
        }
        for (const char* absolute : {"/rss/channel/title", "/rdf:RDF/item[1]/title", "/feed/entry[1]/title", "/*"}) {
            SCOPED_TRACE(absolute);
            const std::string general = std::string("/.") + absolute;
            EXPECT_EQ(TextsOf(root->SelectNodes(absolute)), TextsOf(root->SelectNodes(general)));
        }
        for (const char* name : {"item", "title", "dc:creator", "dc:subject", "media:title", "rss", "rdf:RDF",
                                 "rdf:li", "entry", "link", "nothing", "dc:nothing", "x:title", "RDF", "li"}) {
            SCOPED_TRACE(name);
            EXPECT_EQ(TextsOf(doc->GetElementsByTagName(name)), TextsOf(doc->SelectNodes(std::string("//") + name)));
        }
    }
}

TEST(ComponentPatterns, TranslationKeepsNamesAsWrittenAndCountsFromZero) {
    using platform::linux_layer::XslPatternToXPath;
    EXPECT_EQ(XslPatternToXPath("channel/item[0]"), "*[name()='channel']/*[name()='item'][1]");
    EXPECT_EQ(XslPatternToXPath("//dc:date"), "//*[name()='dc:date']");
    EXPECT_EQ(XslPatternToXPath("@rdf:about"), "@*[name()='rdf:about']");
    EXPECT_EQ(XslPatternToXPath("item[end()]"), "*[name()='item'][(position()=last())]");
    for (const char* malformed : {"a[]", "a]", "a[0", "a:", "a/@", "$eq$", "a[$foo$ b]", "a[b $eq$]",
                                  "ancestor()", "a!b", "(a)", "a[1]]", "a[text(]"}) {
        SCOPED_TRACE(malformed);
        EXPECT_EQ(XslPatternToXPath(malformed), std::nullopt);
    }
}

}  // namespace
}  // namespace vardel::testing

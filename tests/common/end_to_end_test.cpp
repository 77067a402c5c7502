// The plug-in end to end, through its exports, with the platform's real XML and
// HTTP components against a loopback HTTP server, and its real profile files in a
// host folder of the test's own. Only the clock, the host window and the message
// boxes are the test's, so the counter can be moved and the boxes read.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "config/site_table.h"
#include "plugin/instances.h"
#include "plugin/library_unload.h"
#include "support/fakes.h"
#include "support/http_server.h"
#include "support/platform_check.h"
#include "vardel/vardel2.h"

namespace vardel::testing {
namespace {

constexpr std::uint32_t kFiveMinutes = 5 * 60 * 1000;

struct Item {
    std::string title, link;
};

// An RSS 2.0 feed; the texts are given in UTF-8 and written in the named encoding
// ("UTF-8" or "windows-1252", whose bytes the caller then supplies).
std::string RssFeed(const std::vector<Item>& items, const std::string& encoding = "UTF-8") {
    std::string xml = "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>\n<rss version=\"2.0\"><channel>"
                      "<title>Testkanal</title><link>http://example.test/</link>\n";
    for (const Item& item : items)
        xml += "<item><title>" + item.title + "</title><link>" + item.link + "</link></item>\n";
    xml += "</channel></rss>\n";
    return xml;
}

const std::string kFeed = RssFeed({{"Erste Meldung", "http://example.test/1"},
                                   {"Zweite Meldung", "http://example.test/2"},
                                   {"Dritte Meldung", "http://example.test/3"}});

class EndToEndTest : public PluginTest {
protected:
    EndToEndTest()
        : server([this](const HttpRequestSeen& request) {
              std::lock_guard lock(mutex);
              return answer(request);
          }) {
        host.folder = folder.Path();
        clock.tick = 1000;  // a site's fresh stamp 0 is due once the counter is above it
        Serve(kFeed);
    }

    // What the server answers from now on.
    void Serve(const std::string& body, int status = 200, const std::string& type = "application/xml") {
        std::lock_guard lock(mutex);
        answer = [=](const HttpRequestSeen&) {
            HttpReply reply;
            reply.status = status;
            reply.contentType = type;
            reply.body = body;
            return reply;
        };
    }
    void Answer(std::function<HttpReply(const HttpRequestSeen&)> handler) {
        std::lock_guard lock(mutex);
        answer = std::move(handler);
    }

    // The site list: one site "Feed" at the address.
    void SiteList(const std::string& address, const std::string& lastDL = "") {
        std::string ini = "[Sites]\r\nFeed=" + address + "\r\n";
        if (!lastDL.empty()) ini += "[lastDL]\r\nFeed=" + lastDL + "\r\n";
        folder.Write("plugins/Vardel/Vardel2.ini", ini);
    }

    // The host profile: the disk-copy flag and one section per meter (the keys
    // after the section's name).
    void Profile(int isDLF, const std::vector<std::pair<std::string, std::string>>& meters) {
        std::string ini = "[DLF]\r\nIsDLF=" + std::to_string(isDLF) + "\r\n";
        for (const auto& [section, keys] : meters) ini += "[" + section + "]\r\n" + keys;
        folder.Write("host.ini", ini);
    }

    std::int32_t OpenMeter(const std::string& section) {
        const std::int32_t n = StartInstance();
        src_load_settings(n, folder.File("host.ini").c_str(), section.c_str());
        return n;
    }

    // The meter is due again: its hold is over and its site's interval has passed.
    void NextInterval() { clock.tick += kFiveMinutes + 1; }

    std::size_t RequestCount() const { return server.Requests().size(); }
    std::string CopyFile() const { return folder.Read("plugins/Vardel/Feed.xml"); }
    std::string Stamp() const {
        return platform::Services().profiles->ReadString("LastDL", "Feed", "", 256,
                                                         folder.File("plugins/Vardel/Vardel2.ini"));
    }

    TempFolder folder;
    std::mutex mutex;
    std::function<HttpReply(const HttpRequestSeen&)> answer;
    LoopbackHttpServer server;
};

const std::string kDefaultMeter = "SiteName=Feed\r\nStartZeile=1\r\nEndZeile=1\r\nRefreshrate=5\r\n";
const std::string kTickerMeter = "SiteName=Feed\r\nStartZeile=1\r\nEndZeile=3\r\nStyle=1011\r\nRefreshrate=5\r\n";

TEST_F(EndToEndTest, GoodFeedIsLoadedStraightFromItsAddress) {
    SiteList(server.Url("/feed.xml"));
    Profile(0, {{"News", kDefaultMeter}});
    const std::int32_t n = OpenMeter("News");
    EXPECT_STREQ(GetNews(n), "Erste Meldung%lhttp://example.test/1");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/feed.xml");
    EXPECT_EQ(requests[0].Header("Get"), "") << "the direct load adds no header";
    EXPECT_EQ(host.newsCycles, 1);
    EXPECT_TRUE(messageBox.shown.empty());
}

// The direct load finds no XML; exactly one HTTP request follows, with the added
// header line, and its answer is parsed from the ANSI text: "€" survives, a
// character outside Windows-1252 becomes "?".
TEST_F(EndToEndTest, AnswerThatIsNotXmlIsFetchedAgainByOneHttpRequest) {
    const std::string feed = RssFeed({{"Preis: 5 \xE2\x82\xAC f\xC3\xBCr M\xC4\x81ori", "http://example.test/1"}});
    Answer([feed, calls = 0](const HttpRequestSeen&) mutable {
        HttpReply reply;
        if (calls++ == 0) {
            reply.contentType = "text/plain";
            reply.body = "Wartungsarbeiten, bitte sp\xC3\xA4ter wieder.";
        } else {
            reply.body = feed;
        }
        return reply;
    });
    SiteList(server.Url("/feed.xml"));
    Profile(0, {{"News", "SiteName=Feed\r\nSiteType=1004\r\nTemplate=<title>\r\n"}});
    EXPECT_STREQ(GetNews(OpenMeter("News")), "Preis: 5 \x80 f\xFCr M?ori");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Header("Get"), "");
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].target, "/feed.xml");
    EXPECT_EQ(requests[1].Header("Get"), "TarnAgent");
}

// A 404 gives no feed: the previous text's site document stays as it was (none),
// so the meter shows its template with empty fields, and no box appears.
TEST_F(EndToEndTest, NotFoundShowsNoNews) {
    Serve("<html><body>Not Found<br></body></html>", 404, "text/html");
    SiteList(server.Url("/gone.xml"));
    Profile(0, {{"News", kDefaultMeter}});
    EXPECT_STREQ(GetNews(OpenMeter("News")), "%l");
    EXPECT_TRUE(messageBox.shown.empty());
    EXPECT_EQ(host.newsCycles, 1);
}

// An HTTP error is resource-not-found: the address counts as unreachable, so no
// HTTP request follows.
TEST_F(EndToEndTest, NotFoundIsUnreachableWithoutHttpRequest) {
    VARDEL_WINE_DEVIATION("Wine reports every load failure as 0x80004005, so the HTTP request follows");
    Serve("<html><body>Not Found<br></body></html>", 404, "text/html");
    SiteList(server.Url("/gone.xml"));
    Profile(0, {{"News", kDefaultMeter}});
    GetNews(OpenMeter("News"));
    EXPECT_EQ(RequestCount(), 1u);
}

// Disk-copy mode, nothing listens: the site is stamped (no new attempt for five
// minutes) and the copy on disk is shown.
TEST_F(EndToEndTest, RefusedConnectionInDiskCopyModeStampsAndShowsTheCopy) {
    VARDEL_WINE_DEVIATION("Wine reports every load failure as 0x80004005, never resource-not-found, "
                          "so an unreachable site is not stamped");
    SiteList("http://127.0.0.1:" + std::to_string(LoopbackHttpServer::RefusedPort()) + "/feed.xml");
    folder.Write("plugins/Vardel/Feed.xml", kFeed);
    Profile(1, {{"News", kDefaultMeter}});
    const std::int32_t n = OpenMeter("News");
    EXPECT_STREQ(GetNews(n), "Erste Meldung%lhttp://example.test/1");
    EXPECT_NE(Stamp(), "");
    EXPECT_GT(config::SiteTable()[1].LastDownload, 0.0);
    EXPECT_TRUE(messageBox.shown.empty());
}

// Without a copy the failed download ends in the copy message, with the path.
TEST_F(EndToEndTest, RefusedConnectionInDiskCopyModeWithoutCopyShowsTheCopyMessage) {
    SiteList("http://127.0.0.1:" + std::to_string(LoopbackHttpServer::RefusedPort()) + "/feed.xml");
    Profile(1, {{"News", kDefaultMeter}});
    EXPECT_STREQ(GetNews(OpenMeter("News")), "%l");
    ASSERT_EQ(messageBox.shown.size(), 1u);
    const std::string& text = messageBox.shown[0].text;
    EXPECT_EQ(text.rfind("f2--> Nr: ", 0), 0u) << text;
    const std::string path = folder.Path() + "plugins\\Vardel\\Feed.xml";
    EXPECT_EQ(text.substr(text.size() - path.size() - 2), "\r|" + path) << text;
    EXPECT_EQ(messageBox.shown[0].caption, "Vardel2");
}

// A server that never answers: the cycle ends with the component layer's
// time-out instead of hanging, and shows no feed.
TEST_F(EndToEndTest, ServerThatNeverAnswersEndsWithTheTimeOut) {
    VARDEL_WINE_DEVIATION("Wine's URL loading has no receive time-out: a silent server blocks the load "
                          "for good (measured: still waiting after 400 s)");
    Answer([](const HttpRequestSeen&) {
        HttpReply reply;
        reply.neverAnswer = true;
        return reply;
    });
    SiteList(server.Url("/slow.xml"));
    Profile(0, {{"News", kDefaultMeter}});
    const std::int32_t n = OpenMeter("News");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_STREQ(GetNews(n), "%l");
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 100.0);
    std::printf("a cycle against a silent server took %.1f s\n", seconds);
}

// Disk-copy mode keeps the feed on disk; after a restart within the hold-off the
// copy is shown without any download.
TEST_F(EndToEndTest, CopyIsWrittenStampedAndReadBackAfterARestart) {
    SiteList(server.Url("/feed.xml"));
    Profile(1, {{"News", kDefaultMeter}});
    EXPECT_STREQ(GetNews(OpenMeter("News")), "Erste Meldung%lhttp://example.test/1");
    EXPECT_EQ(RequestCount(), 1u);
    EXPECT_NE(CopyFile().find("Zweite Meldung"), std::string::npos);
    EXPECT_GT(std::atof(Stamp().c_str()), 40000.0) << "the day serial of the download and its hold-off";

    plugin::ReleaseAll();  // the host unloads the plug-in and starts again
    host.newsCycles = 0;
    clock.tick = 500;      // a new counter after the restart
    EXPECT_STREQ(GetNews(OpenMeter("News")), "Erste Meldung%lhttp://example.test/1");
    EXPECT_EQ(RequestCount(), 1u) << "no download within the hold-off";
    EXPECT_TRUE(messageBox.shown.empty());

    // The next interval: still within the five minutes of the stamp (the local
    // time stands still here), so the copy is read again, not downloaded.
    NextInterval();
    Serve(RssFeed({{"Neu", "http://example.test/n"}}));
    EXPECT_STREQ(GetNews(1), "Erste Meldung%lhttp://example.test/1");
    EXPECT_EQ(RequestCount(), 1u);
}

// The same with a Windows-1252 feed: the copy keeps its encoding, and the
// umlauts survive the round trip.
TEST_F(EndToEndTest, Windows1252CopyKeepsItsUmlauts) {
    VARDEL_WINE_DEVIATION("Wine's SAVE writes UTF-8 under a windows-1252 declaration, so the copy reads back garbled");
    Serve(RssFeed({{"Gr\xFC\xDF" "e aus M\xFCnchen \x80", "http://example.test/1"}}, "windows-1252"));
    SiteList(server.Url("/feed.xml"));
    Profile(1, {{"News", kDefaultMeter}});
    EXPECT_STREQ(GetNews(OpenMeter("News")), "Gr\xFC\xDF" "e aus M\xFCnchen \x80%lhttp://example.test/1");
    EXPECT_NE(CopyFile().find("Gr\xFC\xDF" "e"), std::string::npos) << "Windows-1252 bytes in the copy";

    plugin::ReleaseAll();
    EXPECT_STREQ(GetNews(OpenMeter("News")), "Gr\xFC\xDF" "e aus M\xFCnchen \x80%lhttp://example.test/1");
    EXPECT_EQ(RequestCount(), 1u);
}

// An RSS 0.91 feed that names its DTD, with an entity only the DTD declares: it
// is shown (the entity reads as nothing), kept as a copy and read back from it;
// the DTD, at an address of the same server, is never asked for.
TEST_F(EndToEndTest, FeedNamingAnExternalDtdIsShownAndKeptAsACopy) {
    const std::string feed = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n"
                             "<!DOCTYPE rss PUBLIC \"-//Netscape Communications//DTD RSS 0.91//EN\" \"" +
                             server.Url("/rss-0.91.dtd") +
                             "\">\n<rss version=\"0.91\"><channel><title>Kanal</title>"
                             "<item><title>Caf&eacute;-Bar &amp; Grill</title><link>http://example.test/1</link></item>"
                             "</channel></rss>\n";
    Answer([feed](const HttpRequestSeen& request) {
        HttpReply reply;
        if (request.target == "/feed.xml") {
            reply.contentType = "application/xml";
            reply.body = feed;
        } else {
            reply.status = 404;
        }
        return reply;
    });
    SiteList(server.Url("/feed.xml"));
    Profile(1, {{"News", kDefaultMeter}});
    EXPECT_STREQ(GetNews(OpenMeter("News")), "Caf-Bar & Grill%lhttp://example.test/1");
    EXPECT_NE(CopyFile().find("Grill"), std::string::npos) << "the copy is written";

    plugin::ReleaseAll();
    EXPECT_STREQ(GetNews(OpenMeter("News")), "Caf-Bar & Grill%lhttp://example.test/1") << "read back from the copy";
    EXPECT_TRUE(messageBox.shown.empty());
    for (const HttpRequestSeen& request : server.Requests()) EXPECT_EQ(request.target, "/feed.xml");
}

TEST_F(EndToEndTest, InstancesOnOneSiteShareOneDownloadPerInterval) {
    SiteList(server.Url("/feed.xml"));
    Profile(0, {{"Head", kDefaultMeter}, {"Ticker", kTickerMeter}});
    const std::int32_t head = OpenMeter("Head");
    const std::int32_t ticker = OpenMeter("Ticker");
    EXPECT_STREQ(GetNews(head), "Erste Meldung%lhttp://example.test/1");
    EXPECT_STREQ(GetNews(ticker), "Erste Meldung * Zweite Meldung * Dritte Meldung * ");
    EXPECT_EQ(RequestCount(), 1u);

    NextInterval();
    Serve(RssFeed({{"Neu", "http://example.test/n"}}));
    EXPECT_STREQ(GetNews(ticker), "Neu * ");
    EXPECT_STREQ(GetNews(head), "Neu%lhttp://example.test/n");
    EXPECT_EQ(RequestCount(), 2u);
    EXPECT_EQ(host.newsCycles, 4);
}

TEST_F(EndToEndTest, RemoveStringErrorWordAndOtherKinds) {
    SiteList(server.Url("/feed.xml"));
    Profile(0, {{"Ticker", kTickerMeter + "RS=\" Meldung\"\r\n"},
                {"Broken", "SiteName=Feed\r\nStyle=5\r\n"},
                {"Other", "SiteName=Feed\r\nSiteType=7\r\n"}});
    EXPECT_STREQ(GetNews(OpenMeter("Ticker")), "Erste * Zweite * Dritte * ");
    EXPECT_STREQ(GetNews(OpenMeter("Broken")), "Fehler");
    EXPECT_STREQ(GetNews(OpenMeter("Other")), "");
    EXPECT_EQ(host.newsCycles, 3);
}

// IsDLF 2 fetches nothing at all; extraction still runs on the empty site.
TEST_F(EndToEndTest, OtherDiskCopyValueFetchesNothing) {
    SiteList(server.Url("/feed.xml"));
    folder.Write("plugins/Vardel/Feed.xml", kFeed);
    Profile(2, {{"News", kDefaultMeter}});
    EXPECT_STREQ(GetNews(OpenMeter("News")), "%l");
    EXPECT_EQ(RequestCount(), 0u);
    EXPECT_EQ(host.newsCycles, 1);
    EXPECT_TRUE(messageBox.shown.empty());
}

// An unknown site touches nothing: no request, no host message, text unchanged.
TEST_F(EndToEndTest, MeterOfAnUnknownSiteStaysEmpty) {
    SiteList(server.Url("/feed.xml"));
    Profile(0, {{"News", "SiteName=Elsewhere\r\n"}});
    EXPECT_STREQ(GetNews(OpenMeter("News")), "");
    EXPECT_EQ(RequestCount(), 0u);
    EXPECT_EQ(host.newsCycles, 0);
}

// A site whose name holds a path separator or ".." would put its copy outside
// the plug-in's folder: it keeps none, shows its news from memory and says so
// once. Nothing is written beside the folder's own files.
TEST_F(EndToEndTest, SiteNamedWithAPathKeepsNoCopyAndSaysSoOnce) {
    const std::vector<std::string> names = {"../../escaped", "sub/x", "sub\\y", "x..y"};
    std::string sites = "[Sites]\r\n";
    std::vector<std::pair<std::string, std::string>> profile;
    for (std::size_t i = 0; i < names.size(); ++i) {
        sites += names[i] + "=" + server.Url("/feed.xml") + "\r\n";
        profile.push_back({"M" + std::to_string(i), "SiteName=" + names[i] + "\r\n"});
    }
    folder.Write("plugins/Vardel/Vardel2.ini", sites);
    folder.Write("plugins/Vardel/sub/keep", "");
    Profile(1, profile);
    std::vector<std::int32_t> meters;
    for (std::size_t i = 0; i < names.size(); ++i) meters.push_back(OpenMeter("M" + std::to_string(i)));
    for (int round = 0; round < 2; ++round) {
        for (std::int32_t n : meters) EXPECT_STREQ(GetNews(n), "Erste Meldung%lhttp://example.test/1");
        NextInterval();
    }
    EXPECT_EQ(RequestCount(), names.size());
    ASSERT_EQ(messageBox.shown.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& text = messageBox.shown[i].text;
        EXPECT_EQ(text.substr(text.size() - names[i].size()), names[i]);
    }
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.Path()))
        if (!entry.is_directory()) files.push_back(entry.path().lexically_relative(folder.Path()).generic_string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"host.ini", "plugins/Vardel/Vardel2.ini", "plugins/Vardel/sub/keep"}));
}

TEST_F(EndToEndTest, CounterWrapEndsHoldAndSiteStampWithinOneInterval) {
    SiteList(server.Url("/feed.xml"));
    Profile(0, {{"News", kDefaultMeter}});
    const std::int32_t n = OpenMeter("News");
    clock.tick = 0xFFFFFFFFu - 1000u;
    GetNews(n);
    EXPECT_EQ(RequestCount(), 1u);
    for (std::uint32_t tick : {0xFFFFFFFFu, 0u, kFiveMinutes - 1002u}) {
        clock.tick = tick;
        GetNews(n);
    }
    EXPECT_EQ(RequestCount(), 1u) << "inside the hold across the wrap";
    EXPECT_EQ(host.newsCycles, 1);
    clock.tick = kFiveMinutes - 1001u;
    GetNews(n);
    EXPECT_EQ(RequestCount(), 2u);
    EXPECT_EQ(host.newsCycles, 2);
}

}  // namespace
}  // namespace vardel::testing

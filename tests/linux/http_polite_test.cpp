// Polite fetching through the Linux layer's components, against the loopback
// server: LOAD of an address and SEND share the HTTP cache, revalidate what it
// holds, honour Retry-After and say honestly who they are.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>

#include "platform/components.h"
#include "platform/services.h"
#include "support/cache_folder.h"
#include "support/http_server.h"

namespace vardel::testing {
namespace {

constexpr char kFeed[] = "<rss><channel><title>Kanal</title><item><title>Alt</title></item></channel></rss>";
constexpr char kNewFeed[] = "<rss><channel><title>Kanal</title><item><title>Neu</title></item></channel></rss>";
constexpr char kLastModified[] = "Fri, 15 Jan 2027 08:00:00 GMT";

HttpReply Reply(std::string body, int status = 200, std::vector<std::pair<std::string, std::string>> headers = {}) {
    HttpReply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.headers = std::move(headers);
    return reply;
}

// An HTTP date this many seconds from now.
std::string HttpDateIn(int seconds) {
    const std::time_t t = std::time(nullptr) + seconds;
    std::tm utc{};
    gmtime_r(&t, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    return text;
}

void Set(const char* name, const char* value) {
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

class PoliteFetch : public ::testing::Test {
protected:
    PoliteFetch()
        : server([this](const HttpRequestSeen& request) {
              std::lock_guard lock(mutex);
              return answer(request);
          }) {}

    void Answer(std::function<HttpReply(const HttpRequestSeen&)> handler) {
        std::lock_guard lock(mutex);
        answer = std::move(handler);
    }
    // Changes what the handler reads, between two fetches.
    void Change(const std::function<void()>& change) {
        std::lock_guard lock(mutex);
        change();
    }

    platform::ComponentFactory& Components() { return *platform::Services().components; }

    // LOAD of the address: the title of the first item, or "failed <code>".
    std::string Load(const std::string& url) {
        platform::DocumentRef doc = Components().CreateXmlDocument();
        if (!doc->Load(url)) return "failed " + std::to_string(doc->GetParseError().code);
        return platform::TextOf(doc->SelectSingleNode("rss/channel/item/title"));
    }
    // The plug-in's request: RESPONSETEXT.
    std::string Send(const std::string& url) {
        std::unique_ptr<platform::HttpRequest> request = Components().CreateHttpRequest();
        request->Open("Get", url, false);
        request->SetRequestHeader("Get", "TarnAgent");
        request->Send();
        return request->ResponseText();
    }

    std::size_t RequestCount() { return server.Requests().size(); }
    HttpRequestSeen LastRequest() { return server.Requests().back(); }

    const std::string kNotReachable = "failed " + std::to_string(platform::kResourceNotFound);
    FreshCacheHome home;
    std::mutex mutex;
    std::function<HttpReply(const HttpRequestSeen&)> answer;
    LoopbackHttpServer server;
};

TEST_F(PoliteFetch, StoredResponseIsRevalidatedAndA304GivesItsBody) {
    // The server knows two versions of the feed; a request that names the
    // current one gets a 304.
    std::string etag = "\"v1\"";
    std::string body = kFeed;
    Answer([&](const HttpRequestSeen& request) {
        if (request.Header("If-None-Match") == etag) return Reply("", 304, {{"ETag", etag}});
        return Reply(body, 200, {{"ETag", etag}, {"Last-Modified", kLastModified}});
    });
    const std::string url = server.Url("/feed.xml");

    EXPECT_EQ(Load(url), "Alt");
    EXPECT_EQ(LastRequest().Header("If-None-Match"), "");
    EXPECT_EQ(LastRequest().Header("If-Modified-Since"), "");

    // The load stored it; both ways of fetching revalidate it.
    EXPECT_EQ(Load(url), "Alt");
    EXPECT_EQ(LastRequest().Header("If-None-Match"), "\"v1\"");
    EXPECT_EQ(LastRequest().Header("If-Modified-Since"), kLastModified);
    EXPECT_EQ(Send(url), kFeed);
    EXPECT_EQ(LastRequest().Header("If-None-Match"), "\"v1\"");
    EXPECT_EQ(LastRequest().Header("Get"), "TarnAgent") << "the caller's header lines still go out";

    // A new version replaces the stored one.
    Change([&] {
        etag = "\"v2\"";
        body = kNewFeed;
    });
    EXPECT_EQ(Send(url), kNewFeed);
    EXPECT_EQ(Load(url), "Neu");
    EXPECT_EQ(LastRequest().Header("If-None-Match"), "\"v2\"");
    EXPECT_EQ(RequestCount(), 5u);
}

TEST_F(PoliteFetch, AnswerToWaitHoldsOffEveryRequestAndTheStoredBodyServes) {
    struct Case {
        int status;
        std::string retryAfter;
    };
    const Case cases[] = {{503, "3600"}, {429, "120"}, {503, HttpDateIn(3600)}, {429, HttpDateIn(600)}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " Retry-After: " + c.retryAfter);
        const std::string path = "/feed" + std::to_string(++n) + ".xml";
        bool busy = false;
        Answer([&](const HttpRequestSeen&) {
            if (busy) return Reply("<html>Bitte warten</html>", c.status, {{"Retry-After", c.retryAfter}});
            return Reply(kFeed);
        });
        EXPECT_EQ(Load(server.Url(path)), "Alt");
        Change([&] { busy = true; });
        // The answer itself: the stored feed stands in for the error page.
        EXPECT_EQ(Send(server.Url(path)), kFeed);
        const std::size_t asked = RequestCount();
        EXPECT_EQ(Load(server.Url(path)), "Alt");
        EXPECT_EQ(Send(server.Url(path)), kFeed);
        EXPECT_EQ(RequestCount(), asked) << "no request before the time the server named";
        // Other addresses of the server are not held off.
        Change([&] { busy = false; });
        EXPECT_EQ(Load(server.Url(path + "?other")), "Alt");
        EXPECT_EQ(RequestCount(), asked + 1);
    }
}

TEST_F(PoliteFetch, WithoutAStoredBodyAHeldOffFetchFailsAsUnreachable) {
    Answer([](const HttpRequestSeen&) { return Reply("<error>busy</error>", 503, {{"Retry-After", "600"}}); });
    const std::string url = server.Url("/feed.xml");
    EXPECT_EQ(Load(url), kNotReachable);
    EXPECT_EQ(RequestCount(), 1u);
    EXPECT_EQ(Load(url), kNotReachable);
    EXPECT_EQ(Send(url), "");
    EXPECT_EQ(RequestCount(), 1u);
}

TEST_F(PoliteFetch, OnlyA429Or503WithAUsableRetryAfterHoldsOff) {
    const HttpReply replies[] = {
        Reply("<error/>", 500, {{"Retry-After", "600"}}),
        Reply("<error/>", 503),
        Reply("<error/>", 503, {{"Retry-After", "bald"}}),
        Reply("<error/>", 429, {{"Retry-After", "0"}}),
        Reply(kFeed, 200, {{"Retry-After", "600"}}),
    };
    for (const HttpReply& reply : replies) {
        SCOPED_TRACE(reply.status);
        Answer([&](const HttpRequestSeen&) { return reply; });
        const std::string url = server.Url("/feed-" + std::to_string(RequestCount()) + ".xml");
        Send(url);
        const std::size_t asked = RequestCount();
        Send(url);
        EXPECT_EQ(RequestCount(), asked + 1);
    }
}

TEST_F(PoliteFetch, NoStoreIsNotKeptAndRemovesWhatWasStored) {
    bool noStore = false;
    Answer([&](const HttpRequestSeen&) {
        std::vector<std::pair<std::string, std::string>> headers{{"ETag", "\"x\""}};
        if (noStore) headers.push_back({"Cache-Control", "private, No-Store"});
        return Reply(kFeed, 200, headers);
    });
    const std::string url = server.Url("/feed.xml");
    Send(url);
    Send(url);
    EXPECT_EQ(LastRequest().Header("If-None-Match"), "\"x\"");
    Change([&] { noStore = true; });
    Send(url);
    Send(url);
    EXPECT_EQ(LastRequest().Header("If-None-Match"), "");
}

TEST_F(PoliteFetch, CorruptCacheFileIsIgnoredAndReplaced) {
    Answer([](const HttpRequestSeen& request) {
        if (request.Header("If-None-Match") == "\"v1\"") return Reply("", 304);
        return Reply(kFeed, 200, {{"ETag", "\"v1\""}});
    });
    const std::string url = server.Url("/feed.xml");
    EXPECT_EQ(Send(url), kFeed);
    // Cut every file of the cache in the middle of its body.
    const std::string folder = home.CacheFolder();
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const auto size = std::filesystem::file_size(entry.path());
        std::filesystem::resize_file(entry.path(), size - 10);
    }
    EXPECT_EQ(Load(url), "Alt");
    EXPECT_EQ(LastRequest().Header("If-None-Match"), "") << "validators of a cut entry are not sent";
    EXPECT_EQ(Send(url), kFeed);
    EXPECT_EQ(LastRequest().Header("If-None-Match"), "\"v1\"") << "the entry was stored anew";
}

TEST_F(PoliteFetch, WithoutAUsableCacheFolderFetchesStillWork) {
    Answer([](const HttpRequestSeen&) { return Reply(kFeed, 200, {{"ETag", "\"v1\""}}); });
    const std::string file = home.Path() + "/a-file";
    std::ofstream(file) << "not a folder";
    const std::string below = file + "/below";
    const char* originalHome = std::getenv("HOME");
    const bool hadHome = originalHome != nullptr;
    const std::string home_ = hadHome ? originalHome : "";
    const struct {
        const char* name;
        const char* xdg;
        const char* home;
    } cases[] = {
        {"XDG_CACHE_HOME is a file", file.c_str(), home_.c_str()},
        {"XDG_CACHE_HOME below a file", below.c_str(), home_.c_str()},
        {"neither XDG_CACHE_HOME nor HOME", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);

        Set("XDG_CACHE_HOME", c.xdg);
        Set("HOME", c.home);
        EXPECT_EQ(Load(server.Url("/feed.xml")), "Alt");
        EXPECT_EQ(Send(server.Url("/feed.xml")), kFeed);
        EXPECT_EQ(LastRequest().Header("If-None-Match"), "");
    }
    Set("HOME", hadHome ? home_.c_str() : nullptr);
}

TEST_F(PoliteFetch, UserAgentNamesTheProductAndItsVersion) {
    Answer([](const HttpRequestSeen&) { return Reply(kFeed); });
    Load(server.Url("/feed.xml"));
    Send(server.Url("/feed.xml"));
    for (const HttpRequestSeen& request : server.Requests()) {
        const std::string agent = request.Header("User-Agent");
        EXPECT_EQ(agent.rfind("Vardel2/" VARDEL_VERSION " ", 0), 0u) << agent;
        EXPECT_EQ(agent.find("Mozilla"), std::string::npos) << agent;
    }
}

}  // namespace
}  // namespace vardel::testing

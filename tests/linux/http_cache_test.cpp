// The Linux layer's HTTP cache on its own: entries that read back exactly or not
// at all, the size bound, the hold-off of Retry-After and the HTTP dates it names,
// and where the cache lives.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/linux/http_cache.h"
#include "support/cache_folder.h"

namespace vardel::testing {
namespace {

using platform::linux_layer::CachedResponse;
using platform::linux_layer::HttpCache;
using platform::linux_layer::HttpCacheFolder;
using platform::linux_layer::kMaxRetryAfterSeconds;
using platform::linux_layer::ParseHttpDate;
using platform::linux_layer::RetryAfterUntil;

constexpr char kUrl[] = "http://news.example/feed.xml";
constexpr std::int64_t kNow = 1'800'000'000;  // 2027-01-15 08:00:00 UTC

CachedResponse Response(std::string body, std::string etag = "\"v1\"", std::string lastModified = "") {
    CachedResponse response;
    response.etag = std::move(etag);
    response.lastModified = std::move(lastModified);
    response.hasBody = true;
    response.body = std::move(body);
    return response;
}

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class HttpCacheTest : public ::testing::Test {
protected:
    HttpCache Cache(std::uint64_t maxBytes = platform::linux_layer::kHttpCacheMaxBytes) {
        return HttpCache(home.CacheFolder(), maxBytes, [this] { return now; });
    }

    FreshCacheHome home;
    std::int64_t now = kNow;
};

TEST_F(HttpCacheTest, EntryReadsBackInAFreshCacheObject) {
    CachedResponse response = Response(std::string("<rss>\0\r\n\xFF</rss>", 13), "W/\"abc\"", "Tue, 15 Nov 1994 12:45:26 GMT");
    response.retryUntil = kNow + 60;
    ASSERT_TRUE(Cache().Store(kUrl, response));

    const std::optional<CachedResponse> found = Cache().Find(kUrl);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->body, response.body);
    EXPECT_EQ(found->etag, "W/\"abc\"");
    EXPECT_EQ(found->lastModified, "Tue, 15 Nov 1994 12:45:26 GMT");
    EXPECT_EQ(found->retryUntil, kNow + 60);
    EXPECT_FALSE(Cache().Find("http://news.example/other.xml"));

    // A hold-off without a body, and the folder is the user's alone.
    CachedResponse waiting;
    waiting.retryUntil = kNow + 5;
    ASSERT_TRUE(Cache().Store("http://news.example/other.xml", waiting));
    const std::optional<CachedResponse> other = Cache().Find("http://news.example/other.xml");
    ASSERT_TRUE(other);
    EXPECT_FALSE(other->hasBody);
    struct stat st {};
    ASSERT_EQ(stat(home.CacheFolder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(HttpCacheTest, FileThatDoesNotReadBackExactlyIsNoEntry) {
    const std::string good = [&] {
        EXPECT_TRUE(Cache().Store(kUrl, Response("<rss>Inhalt</rss>")));
        return FileBytes(Cache().FileOf(kUrl));
    }();
    const std::size_t bodyAt = good.size() - std::string("<rss>Inhalt</rss>").size();
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string flipped = good;
    flipped[bodyAt + 6] = 'i';
    std::string otherUrl = good;
    otherUrl.replace(otherUrl.find("feed.xml"), 8, "feed.xmm");
    const Case cases[] = {
        {"empty", ""},
        {"cut in the body", good.substr(0, good.size() - 3)},
        {"cut in the head", good.substr(0, 40)},
        {"a byte of the body changed", flipped},
        {"a byte more", good + "x"},
        {"another address with the same hash", otherUrl},
        {"another format", "vardel-http-cache 2" + good.substr(good.find('\n'))},
        {"not an entry at all", "<rss>Inhalt</rss>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteBytes(Cache().FileOf(kUrl), c.bytes);
        EXPECT_FALSE(Cache().Find(kUrl));
    }
    // The next store replaces what was there.
    ASSERT_TRUE(Cache().Store(kUrl, Response("<rss>Neu</rss>")));
    ASSERT_TRUE(Cache().Find(kUrl));
    EXPECT_EQ(Cache().Find(kUrl)->body, "<rss>Neu</rss>");
}

TEST_F(HttpCacheTest, SizeBoundRemovesTheEntriesUsedLeastRecently) {
    const std::string body(1000, 'x');
    const std::uint64_t entrySize = [&] {
        EXPECT_TRUE(Cache().Store("http://a.example/", Response(body)));
        return FileBytes(Cache().FileOf("http://a.example/")).size();
    }();
    HttpCache cache = Cache(3 * entrySize + entrySize / 2);
    const auto setUsed = [&](const char* url, std::int64_t seconds) {
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, cache.FileOf(url).c_str(), times, 0), 0);
    };
    ASSERT_TRUE(cache.Store("http://b.example/", Response(body)));
    ASSERT_TRUE(cache.Store("http://c.example/", Response(body)));
    setUsed("http://a.example/", 1000);
    setUsed("http://b.example/", 3000);
    setUsed("http://c.example/", 2000);

    ASSERT_TRUE(cache.Store("http://d.example/", Response(body)));
    EXPECT_FALSE(cache.Find("http://a.example/")) << "the least recently used goes";
    EXPECT_TRUE(cache.Find("http://b.example/"));
    EXPECT_TRUE(cache.Find("http://c.example/"));
    EXPECT_TRUE(cache.Find("http://d.example/"));

    // Touch counts as use: c now outlives b.
    setUsed("http://d.example/", 4000);
    cache.Touch("http://c.example/");
    ASSERT_TRUE(cache.Store("http://e.example/", Response(body)));
    EXPECT_FALSE(cache.Find("http://b.example/"));
    EXPECT_TRUE(cache.Find("http://c.example/"));

    // An entry larger than the whole bound is not kept, and removes nothing.
    EXPECT_FALSE(cache.Store("http://big.example/", Response(std::string(4 * entrySize, 'y'))));
    EXPECT_FALSE(cache.Find("http://big.example/"));
    EXPECT_TRUE(cache.Find("http://e.example/"));
}

TEST_F(HttpCacheTest, TemporaryFilesOfKilledWritersAreRemovedAtTheNextStore) {
    HttpCache cache = Cache();
    ASSERT_TRUE(cache.Store(kUrl, Response("<rss/>")));
    const std::string stale = cache.FileOf(kUrl) + ".4711.1.tmp";
    const std::string recent = cache.FileOf(kUrl) + ".4712.1.tmp";
    const std::string foreign = home.CacheFolder() + "/notes.txt";
    for (const std::string& path : {stale, recent, foreign}) WriteBytes(path, "half");
    const timespec old[2] = {{1000, 0}, {1000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, stale.c_str(), old, 0), 0);
    ASSERT_EQ(utimensat(AT_FDCWD, foreign.c_str(), old, 0), 0);

    ASSERT_TRUE(cache.Store("http://other.example/", Response("<rss/>")));
    struct stat st {};
    EXPECT_NE(stat(stale.c_str(), &st), 0) << "a writer killed an hour ago left it";
    EXPECT_EQ(stat(recent.c_str(), &st), 0) << "another process may be writing it now";
    EXPECT_EQ(stat(foreign.c_str(), &st), 0) << "not a file of the cache";
}

TEST_F(HttpCacheTest, HoldOffRunsUntilItsTimeAndNoFurtherThanADay) {
    CachedResponse response;
    const struct {
        std::int64_t until;
        bool heldOff;
    } cases[] = {
        {0, false},
        {kNow - 1, false},
        {kNow, false},
        {kNow + 1, true},
        {kNow + kMaxRetryAfterSeconds, true},
        // Further ahead than any hold-off can be: the clock was set back.
        {kNow + kMaxRetryAfterSeconds + 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.until - kNow);
        response.retryUntil = c.until;
        EXPECT_EQ(response.HeldOff(kNow), c.heldOff);
    }
}

TEST(HttpDates, RetryAfterNamesSecondsOrADate) {
    const struct {
        const char* value;
        std::optional<std::int64_t> until;
    } cases[] = {
        {"120", kNow + 120},
        {"  30\t", kNow + 30},
        {"0", std::nullopt},
        {"99999999999999999999999", kNow + kMaxRetryAfterSeconds},
        {"-5", std::nullopt},
        {"1.5", std::nullopt},
        {"soon", std::nullopt},
        {"", std::nullopt},
        {"Fri, 15 Jan 2027 08:10:00 GMT", kNow + 600},
        {"Friday, 15-Jan-27 08:10:00 GMT", kNow + 600},
        {"Fri Jan 15 08:10:00 2027", kNow + 600},
        {"Fri, 15 Jan 2027 07:59:59 GMT", std::nullopt},  // already past
        {"Fri, 15 Jan 2077 08:00:00 GMT", kNow + kMaxRetryAfterSeconds},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(RetryAfterUntil(c.value, kNow), c.until);
    }
}

TEST(HttpDates, TheThreeFormsAndWhatIsNotADate) {
    const struct {
        const char* text;
        std::optional<std::int64_t> seconds;
    } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 784111777},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 784111777},
        {"Sun Nov  6 08:49:37 1994", 784111777},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Tue, 29 Feb 2028 23:59:59 GMT", 1835481599},
        {"Tue, 06-Jan-32 00:00:00 GMT", 1956960000},  // two-digit years up to 69 are 20xx
        {"Sun, 06 Nov 1994 08:49:37 CET", std::nullopt},
        {"Sun, 06 Nov 1994 08:49:37", std::nullopt},
        {"Sun, 06 Nov 1994 08:49:37 GMT trailing", std::nullopt},
        {"Sun, 06 Foo 1994 08:49:37 GMT", std::nullopt},
        {"Sun, 32 Nov 1994 08:49:37 GMT", std::nullopt},
        {"Sun, 06 Nov 1994 24:00:00 GMT", std::nullopt},
        {"Sun, 6 Nov 1994 08:49:37 GMT", std::nullopt},
        {"06 Nov 1994 08:49:37 GMT", std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseHttpDate(c.text), c.seconds);
    }
}

TEST(HttpCacheFolderTest, XdgCacheHomeWhenAbsoluteElseTheHomeFolder) {
    EXPECT_EQ(HttpCacheFolder("/var/cache/me", "/home/me"), "/var/cache/me/vardel");
    EXPECT_EQ(HttpCacheFolder(nullptr, "/home/me"), "/home/me/.cache/vardel");
    EXPECT_EQ(HttpCacheFolder("", "/home/me"), "/home/me/.cache/vardel");
    EXPECT_EQ(HttpCacheFolder("relative/cache", "/home/me"), "/home/me/.cache/vardel");
    EXPECT_EQ(HttpCacheFolder(nullptr, nullptr), "");
    EXPECT_EQ(HttpCacheFolder(nullptr, "relative"), "");
}

}  // namespace
}  // namespace vardel::testing

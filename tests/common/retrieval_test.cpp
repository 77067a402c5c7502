// Feed retrieval and feed copies against scripted components: the exact calls,
// their arguments and order, the outcomes, stamps, copies and messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/instance_settings.h"
#include "config/site_table.h"
#include "feed/retrieval.h"
#include "files/plugin_files.h"
#include "plugin/instances.h"
#include "support/fake_components.h"
#include "support/fakes.h"
#include "timeutil/timestamp.h"

namespace vardel::testing {
namespace {

using Calls = CallList;
using platform::MessageIcon;

constexpr char kAddress[] = "http://news.example/feed.xml";

class RetrievalTest : public PluginTest {
protected:
    RetrievalTest() : scope_(WithComponents(&components)) {
        config::IsDLF = 0;
        host.folder = folder.Path();
        StartInstance();
        folder.Write("plugins/Vardel/Vardel2.ini", std::string("[Sites]\nHeise=") + kAddress + "\n");
        auto& sites = config::SiteTable();
        sites.resize(3);
        sites[1].Name.Assign("  Heise  ");
        sites[1].Address.Assign(kAddress);
        sites[1].RefreshMinutes = 5;
        sites[2].Name.Assign("Other");
        // A document installed earlier, to tell "kept" from "replaced".
        previous = components.CreateXmlDocument();
        sites[1].FeedDocument = previous;
        components.ClearCalls();
    }
    ~RetrievalTest() override { config::IsDLF = 0; }

    static platform::ServiceSet WithComponents(platform::ComponentFactory* factory) {
        platform::ServiceSet s;
        s.components = factory;
        return s;
    }

    config::SiteEntry& Site(int n) { return config::SiteTable()[static_cast<std::size_t>(n)]; }
    std::string CopyPath() const { return folder.Path() + "plugins\\Vardel\\Heise.xml"; }
    double ExpectedStamp() const { return timeutil::DaySerialNow() + timeutil::kDownloadHoldOff; }
    bool KeptPrevious() { return Site(1).FeedDocument == previous; }

    FakeComponents components;
    TempFolder folder;
    platform::DocumentRef previous;

private:
    platform::ScopedServices scope_;
};

const std::string kFeed = OneItemFeed("Eins", "http://news.example/1");

TEST_F(RetrievalTest, FeedCopyPathJoinsFolderAndBlankTrimmedName) {
    EXPECT_EQ(feed::FeedCopyPath(1), folder.Path() + "plugins\\Vardel\\Heise.xml");
    EXPECT_EQ(feed::FeedCopyPath(2), folder.Path() + "plugins\\Vardel\\Other.xml");
    files::SetHostFolder("C:\\Host");  // joined without a separator
    EXPECT_EQ(feed::FeedCopyPath(1), "C:\\Hostplugins\\Vardel\\Heise.xml");
    files::SetHostFolder("");
    EXPECT_EQ(feed::FeedCopyPath(1), "plugins\\Vardel\\Heise.xml");
}

// A name that could reach outside the plug-in's folder names no copy: nothing is
// read or written for it, and the user is told once, whichever operation comes
// first; the download itself still counts.
TEST_F(RetrievalTest, SiteNameWithAPathKeepsNoCopy) {
    config::IsDLF = 1;
    for (const char* name : {"..", "a/b", "a\\b", "..\\..\\x", " ../x "}) {
        SCOPED_TRACE(name);
        Site(2).Name.Assign(name);
        Site(2).Address.Assign(kAddress);
        Site(2).CopyRefusalShown = false;
        messageBox.shown.clear();
        EXPECT_EQ(feed::FeedCopyPath(2), "");
        components.ClearCalls();
        feed::LoadFeedCopy(2);
        EXPECT_TRUE(components.calls().empty());
        components.world().resources[kAddress] = FakeResource::Feed(kFeed);
        EXPECT_TRUE(feed::DownloadFeed(2));
        EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress)) << "no SAVE";
        EXPECT_DOUBLE_EQ(Site(2).LastDownload, ExpectedStamp());
        ASSERT_EQ(messageBox.shown.size(), 1u);
        EXPECT_EQ(messageBox.shown[0].caption, "Vardel2");
    }
    EXPECT_TRUE(components.world().saved.empty());
    for (const std::string fine : {"a.b", ".hidden", "x."}) {
        Site(2).Name.Assign(fine);
        EXPECT_EQ(feed::FeedCopyPath(2), folder.Path() + "plugins\\Vardel\\" + fine + ".xml");
    }
}

TEST_F(RetrievalTest, DirectLoadInDownloadOnlyModeInstallsWithoutCopyOrStamp) {
    components.world().resources[kAddress] = FakeResource::Feed(kFeed);
    EXPECT_TRUE(feed::DownloadFeed(1));
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
    EXPECT_EQ(FakeComponents::XmlOf(Site(1).FeedDocument), kFeed);
    EXPECT_EQ(Site(1).FeedDocument.use_count(), 1) << "the local reference must be released";
    EXPECT_TRUE(components.world().saved.empty());
    EXPECT_EQ(Site(1).LastDownload, 0.0);
    EXPECT_TRUE(messageBox.shown.empty());
}

TEST_F(RetrievalTest, DirectLoadInDiskCopyModeSavesTheCopyThenStamps) {
    config::IsDLF = 1;
    components.world().resources[kAddress] = FakeResource::Feed(kFeed);
    EXPECT_TRUE(feed::DownloadFeed(1));
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress) + Calls{"#1 SAVE " + CopyPath()});
    EXPECT_EQ(components.world().saved[CopyPath()], kFeed);
    EXPECT_EQ(FakeComponents::XmlOf(Site(1).FeedDocument), kFeed);
    EXPECT_DOUBLE_EQ(Site(1).LastDownload, ExpectedStamp());
    EXPECT_NE(platform::Services().profiles->ReadString("LastDL", "Heise", "", 256, files::SiteListPath()), "");
}

TEST_F(RetrievalTest, FailedSaveStillInstallsAndStamps) {
    config::IsDLF = 1;
    components.world().resources[kAddress] = FakeResource::Feed(kFeed);
    components.world().saveFails = true;
    EXPECT_TRUE(feed::DownloadFeed(1));
    EXPECT_EQ(FakeComponents::XmlOf(Site(1).FeedDocument), kFeed);
    EXPECT_DOUBLE_EQ(Site(1).LastDownload, ExpectedStamp());
    EXPECT_TRUE(messageBox.shown.empty());
}

// Resource-not-found: no HTTP request; disk-copy mode stamps the site.
TEST_F(RetrievalTest, UnreachableAddressSkipsTheHttpRequest) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        config::IsDLF = mode;
        Site(1).LastDownload = 0;
        components.ClearCalls();
        components.world().resources[kAddress] =
            FakeResource::Error(platform::kResourceNotFound, "The system cannot locate the resource specified.\r\n");
        EXPECT_FALSE(feed::DownloadFeed(1));
        EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
        EXPECT_TRUE(KeptPrevious());
        if (mode == 1)
            EXPECT_DOUBLE_EQ(Site(1).LastDownload, ExpectedStamp());
        else
            EXPECT_EQ(Site(1).LastDownload, 0.0);
    }
}

TEST_F(RetrievalTest, OtherLoadErrorFallsBackToOneHttpRequest) {
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        config::IsDLF = mode;
        Site(1).FeedDocument = previous;
        Site(1).LastDownload = 0;
        components.ClearCalls();
        components.world().saved.clear();
        components.world().resources[kAddress] = FakeResource::Error(-1072896682, "Invalid at the top level.");
        components.world().responses[kAddress] = kFeed;

        EXPECT_TRUE(feed::DownloadFeed(1));
        Calls expected = DirectLoadCalls(1, kAddress) + HttpRequestCalls(2, kAddress) + ParseResponseCalls(3, kFeed);
        if (mode == 1) expected.push_back("#3 SAVE " + CopyPath());
        EXPECT_EQ(components.calls(), expected);
        EXPECT_EQ(FakeComponents::XmlOf(Site(1).FeedDocument), kFeed);
        EXPECT_EQ(Site(1).FeedDocument.use_count(), 1);
        EXPECT_EQ(components.world().saved.size(), mode == 1 ? 1u : 0u);
        if (mode == 1)
            EXPECT_DOUBLE_EQ(Site(1).LastDownload, ExpectedStamp());
        else
            EXPECT_EQ(Site(1).LastDownload, 0.0);
    }
}

// One limit covers the direct load and the fallback together, and no more than
// the download.
TEST_F(RetrievalTest, DirectLoadAndFallbackShareOneTimeLimit) {
    components.world().resources[kAddress] = FakeResource::Error(-1072896682, "Invalid at the top level.");
    components.world().responses[kAddress] = kFeed;
    EXPECT_TRUE(feed::DownloadFeed(1));
    EXPECT_EQ(components.world().timeLimitsSet, (std::vector<std::uint32_t>{30'000, 0}));
    EXPECT_EQ(components.world().timeLimitAtNetwork, (std::vector<std::uint32_t>{30'000, 30'000}));

    // A copy load is no network operation of the download.
    config::IsDLF = 1;
    components.world().timeLimitAtNetwork.clear();
    feed::LoadFeedCopy(1);
    EXPECT_EQ(components.world().timeLimitAtNetwork, (std::vector<std::uint32_t>{0}));
}

// The answer is not XML either: nothing is installed, saved or stamped.
TEST_F(RetrievalTest, FallbackWithAnAnswerThatIsNotXmlFails) {
    config::IsDLF = 1;
    components.world().resources[kAddress] = FakeResource::Error(-1072896682, "Invalid at the top level.");
    components.world().responses[kAddress] = "Service unavailable";
    EXPECT_FALSE(feed::DownloadFeed(1));
    EXPECT_EQ(components.calls(),
              DirectLoadCalls(1, kAddress) + HttpRequestCalls(2, kAddress) + ParseResponseCalls(3, "Service unavailable"));
    EXPECT_TRUE(KeptPrevious());
    EXPECT_TRUE(components.world().saved.empty());
    EXPECT_EQ(Site(1).LastDownload, 0.0);
    EXPECT_TRUE(messageBox.shown.empty());
}

TEST_F(RetrievalTest, MissingXmlComponentFailsSilently) {
    components.world().xmlAvailable = false;
    EXPECT_FALSE(feed::DownloadFeed(1));
    EXPECT_EQ(components.calls(), Calls{"new xmldom failed"});

    components.ClearCalls();
    EXPECT_FALSE(feed::HttpFetch(kAddress, 1));
    EXPECT_EQ(components.calls(), HttpRequestCalls(1, kAddress) + Calls{"new xmldom failed"});
    EXPECT_TRUE(KeptPrevious());
    EXPECT_TRUE(messageBox.shown.empty());
}

TEST_F(RetrievalTest, MissingHttpComponentIsReportedAndNothingElseHappens) {
    components.world().httpAvailable = false;
    EXPECT_FALSE(feed::HttpFetch(kAddress, 1));
    EXPECT_EQ(components.calls(), Calls{"new xmlhttp failed"});
    ASSERT_EQ(messageBox.shown.size(), 1u);
    EXPECT_EQ(messageBox.shown[0].text, "Komponente ist nicht installiert oder registriert.");
    EXPECT_EQ(messageBox.shown[0].caption, "Abbruch ...");
    EXPECT_EQ(messageBox.shown[0].icon, MessageIcon::Stop);
    EXPECT_TRUE(KeptPrevious());
}

// HttpFetch fetches whatever address it is given, for the site it is given.
TEST_F(RetrievalTest, HttpFetchUsesTheGivenAddress) {
    components.world().responses["http://elsewhere/x"] = kFeed;
    EXPECT_TRUE(feed::HttpFetch("http://elsewhere/x", 2));
    EXPECT_EQ(components.calls(), HttpRequestCalls(1, "http://elsewhere/x") + ParseResponseCalls(2, kFeed));
    EXPECT_EQ(FakeComponents::XmlOf(Site(2).FeedDocument), kFeed);
    EXPECT_TRUE(KeptPrevious());
}

TEST_F(RetrievalTest, CopyLoadInstallsAndMovesTheTickStamp) {
    const struct {
        std::uint32_t tick;
        std::int16_t minutes;
        std::uint32_t expected;
    } cases[] = {
        {1000, 5, 1000u + 300000u - 10u},
        {1000, 0, 990},                              // 10 ms in the past
        {0xFFFFFFF0u, 1, 60000u - 16u - 10u},        // past the wrap: low 32 bits
        {5, 0, 0xFFFFFFFBu},                         // below 0: low 32 bits
        {100000, -1, 100000u - 60000u - 10u},        // negative interval
        {0, 32767, 1966020000u - 10u},               // the longest interval
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tick);
        components.ClearCalls();
        components.world().resources[CopyPath()] = FakeResource::Feed(kFeed);
        Site(1).FeedDocument = previous;
        Site(1).RefreshMinutes = c.minutes;
        clock.tick = c.tick;
        feed::LoadFeedCopy(1);
        EXPECT_EQ(components.calls(), CopyLoadCalls(1, CopyPath()));
        EXPECT_EQ(FakeComponents::XmlOf(Site(1).FeedDocument), kFeed);
        EXPECT_EQ(Site(1).FeedDocument.use_count(), 1);
        EXPECT_EQ(Site(1).NextRefreshTick, c.expected);
    }
    EXPECT_TRUE(messageBox.shown.empty());
    EXPECT_EQ(Site(1).LastDownload, 0.0) << "a copy load is no download";
}

TEST_F(RetrievalTest, MissingCopyShowsCodeReasonAndPath) {
    Site(1).NextRefreshTick = 777;
    feed::LoadFeedCopy(1);
    EXPECT_EQ(components.calls(), CopyLoadCalls(1, CopyPath()));
    ASSERT_EQ(messageBox.shown.size(), 1u);
    EXPECT_EQ(messageBox.shown[0].text, "f2--> Nr: -2146697210\rThe system cannot locate the object specified.\r\n\r|" +
                                            CopyPath());
    EXPECT_EQ(messageBox.shown[0].caption, "Vardel2");
    EXPECT_EQ(messageBox.shown[0].icon, MessageIcon::None);
    EXPECT_TRUE(KeptPrevious());
    EXPECT_EQ(Site(1).NextRefreshTick, 777u);
}

TEST_F(RetrievalTest, BrokenCopyShowsTheParserCode) {
    components.world().resources[CopyPath()] = FakeResource::Error(-1072896659, "End tag 'titel' does not match.");
    feed::LoadFeedCopy(1);
    ASSERT_EQ(messageBox.shown.size(), 1u);
    EXPECT_EQ(messageBox.shown[0].text, "f2--> Nr: -1072896659\rEnd tag 'titel' does not match.\r|" + CopyPath());
    EXPECT_TRUE(KeptPrevious());
}

TEST_F(RetrievalTest, CopyLoadWithoutXmlComponentShowsF1) {
    components.world().xmlAvailable = false;
    feed::LoadFeedCopy(1);
    EXPECT_EQ(components.calls(), Calls{"new xmldom failed"});
    ASSERT_EQ(messageBox.shown.size(), 1u);
    EXPECT_EQ(messageBox.shown[0].text, "f1");
    EXPECT_EQ(messageBox.shown[0].caption, "Vardel2");
    EXPECT_EQ(messageBox.shown[0].icon, MessageIcon::None);
    EXPECT_TRUE(KeptPrevious());
}

// A copy saved by a download is what the next copy load reads.
TEST_F(RetrievalTest, SavedCopyIsReadBack) {
    config::IsDLF = 1;
    components.world().resources[kAddress] = FakeResource::Feed(kFeed);
    ASSERT_TRUE(feed::DownloadFeed(1));
    Site(1).FeedDocument = previous;
    feed::LoadFeedCopy(1);
    EXPECT_EQ(FakeComponents::XmlOf(Site(1).FeedDocument), kFeed);
    EXPECT_TRUE(messageBox.shown.empty());
}

// Numbers that name no site touch nothing and call nothing.
TEST_F(RetrievalTest, NumbersOutsideTheSiteTableAreIgnored) {
    components.world().resources[""] = FakeResource::Feed(kFeed);
    for (int site : {0, -1, 3, 32767, -32768}) {
        SCOPED_TRACE(site);
        EXPECT_FALSE(feed::DownloadFeed(static_cast<std::int16_t>(site)));
        EXPECT_FALSE(feed::HttpFetch(kAddress, static_cast<std::int16_t>(site)));
        feed::LoadFeedCopy(site);
    }
    feed::LoadFeedCopy(1 << 20);
    EXPECT_TRUE(components.calls().empty());
    EXPECT_TRUE(messageBox.shown.empty());
    EXPECT_TRUE(KeptPrevious());
}

}  // namespace
}  // namespace vardel::testing

// The news cycle through GetNews, against scripted components: the hold, site
// resolution, both fetch modes and the others, the stamps, extraction by kind and
// layout, the host message, the remove-string, and the counter wrap.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "config/instance_settings.h"
#include "config/site_table.h"
#include "plugin/instances.h"
#include "support/fake_components.h"
#include "support/fakes.h"
#include "timeutil/timestamp.h"
#include "vardel/vardel2.h"

namespace vardel::testing {
namespace {

using Calls = CallList;

constexpr char kAddress[] = "http://news.example/feed.xml";
constexpr std::uint32_t kFiveMinutes = 5 * 60 * 1000;
const std::string kFeed = OneItemFeed("Eins", "http://news.example/1");

class NewsCycleTest : public PluginTest {
protected:
    NewsCycleTest() : scope_(WithComponents(&components)) {
        config::IsDLF = 0;
        host.folder = folder.Path();
        instance = StartInstance();
        folder.Write("plugins/Vardel/Vardel2.ini", std::string("[Sites]\nHeise=") + kAddress + "\n");
        auto& sites = config::SiteTable();
        sites.resize(2);
        sites[1].Name.Assign("Heise");
        sites[1].Address.Assign(kAddress);
        sites[1].RefreshMinutes = 5;
        ShowSite(instance, "Heise", 1);
        components.world().resources[kAddress] = FakeResource::Feed(kFeed);
        clock.tick = 1000;
    }
    ~NewsCycleTest() override { config::IsDLF = 0; }

    static platform::ServiceSet WithComponents(platform::ComponentFactory* factory) {
        platform::ServiceSet s;
        s.components = factory;
        return s;
    }

    // The settings src_load_settings gives by default, for the named site.
    static void ShowSite(std::int32_t n, const char* name, std::int16_t index) {
        config::InstanceSettings& s = config::SettingsOf(n);
        s.SiteType = config::kSiteTypeNews;
        s.SiteName = name;
        s.SiteIndex = index;
        s.StartZeile = "1";
        s.EndZeile = "1";
        s.Style = config::kStyleDefault;
        s.KeyNode = "item";
        s.Template = "<title>%l<link>";
        s.Refreshrate = 5;
    }

    config::SiteEntry& Site() { return config::SiteTable()[1]; }
    config::InstanceSettings& Settings(std::int32_t n = 0) { return config::SettingsOf(n ? n : instance); }
    plugin::InstanceState& State(std::int32_t n = 0) { return plugin::StateOf(n ? n : instance); }
    std::string CopyPath() const { return folder.Path() + "plugins\\Vardel\\Heise.xml"; }

    // One GetNews call, as the host makes it; the component record starts afresh.
    const char* Cycle(std::int32_t n = 0) {
        components.ClearCalls();
        return GetNews(n ? n : instance);
    }

    FakeComponents components;
    TempFolder folder;
    std::int32_t instance = 0;

private:
    platform::ScopedServices scope_;
};

// --- the hold -----------------------------------------------------------------

TEST_F(NewsCycleTest, InsideTheHoldNothingHappens) {
    State().HoldUntil = 5000;
    State().Text = "cached";
    clock.tick = 4999;
    const char* text = Cycle();
    EXPECT_EQ(text, State().Text.CStr());
    EXPECT_STREQ(text, "cached");
    EXPECT_TRUE(components.calls().empty());
    EXPECT_EQ(host.newsCycles, 0);
    EXPECT_EQ(State().HoldUntil, 5000u);

    clock.tick = 5000;  // equal to HoldUntil is due
    Cycle();
    EXPECT_EQ(host.newsCycles, 1);
    EXPECT_EQ(State().HoldUntil, 5000u + kFiveMinutes);
}

TEST_F(NewsCycleTest, SecondCallWithinTheIntervalReturnsTheCachedText) {
    Cycle();
    ASSERT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
    State().Text = "cached";
    clock.tick += kFiveMinutes - 1;
    EXPECT_STREQ(Cycle(), "cached");
    EXPECT_TRUE(components.calls().empty());
    EXPECT_EQ(host.newsCycles, 1);
}

// --- sites that cannot be worked on ---------------------------------------------

TEST_F(NewsCycleTest, InstanceWithoutAUsableSiteKeepsItsTextAndTouchesNothing) {
    const struct {
        const char* what;
        const char* name;
        std::int16_t index;
        bool emptyTable;
    } cases[] = {
        {"name of no site", "Nowhere", -1, false},
        {"index beyond the table", "Heise", 7, false},
        {"element 0", "", 0, false},
        {"empty table", "Heise", 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ShowSite(instance, c.name, c.index);
        if (c.emptyTable) config::SiteTable().clear();
        State().Text = "as before";
        State().HoldUntil = 0;
        const char* text = Cycle();
        EXPECT_EQ(text, State().Text.CStr());
        EXPECT_STREQ(text, "as before");
        EXPECT_TRUE(components.calls().empty());
        EXPECT_EQ(host.newsCycles, 0);
        EXPECT_EQ(State().HoldUntil, 0u);
        EXPECT_EQ(Settings().SiteIndex, c.index);
    }
}

TEST_F(NewsCycleTest, UnresolvedSiteIsLookedUpByName) {
    ShowSite(instance, " heise ", -1);
    Cycle();
    EXPECT_EQ(Settings().SiteIndex, 1);
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
    EXPECT_EQ(host.newsCycles, 1);
}

// The site list was read only after this instance's load (another instance's
// load read it): the site the cycle finds gets the instance's interval, as the
// load would have given it, instead of 0, which downloads on every call.
TEST_F(NewsCycleTest, SiteResolvedByTheCycleTakesTheInstancesInterval) {
    Site().RefreshMinutes = 0;
    ShowSite(instance, "heise", -1);
    Settings().Refreshrate = 7;
    Cycle();
    ASSERT_EQ(Settings().SiteIndex, 1);
    EXPECT_EQ(Site().RefreshMinutes, 7);
    EXPECT_EQ(State().HoldUntil, 1000u + 7 * 60000u);
    EXPECT_EQ(Site().NextRefreshTick, 1000u + 7 * 60000u - 10u);
    clock.tick += 1;
    Cycle();
    EXPECT_TRUE(components.calls().empty());

    // A site already resolved keeps the interval that loads gave it.
    Settings().Refreshrate = 9;
    State().HoldUntil = 0;
    Cycle();
    EXPECT_EQ(Site().RefreshMinutes, 7);
}

// --- download-only mode -----------------------------------------------------------

TEST_F(NewsCycleTest, DownloadOnlyModeDownloadsADueSiteAndStampsBothWithFreshReadings) {
    components.world().onNetwork = [this] { clock.tick += 250; };  // the download takes time
    Cycle();
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
    EXPECT_EQ(FakeComponents::XmlOf(Site().FeedDocument), kFeed);
    EXPECT_EQ(Site().NextRefreshTick, 1250u + kFiveMinutes - 10);
    EXPECT_EQ(State().HoldUntil, 1250u + kFiveMinutes);
    EXPECT_EQ(host.newsCycles, 1);
    EXPECT_TRUE(components.world().saved.empty());
    EXPECT_EQ(Site().LastDownload, 0.0);
}

TEST_F(NewsCycleTest, SiteIsDueOnlyAboveItsStamp) {
    Site().NextRefreshTick = 1000;  // equal: not due
    Cycle();
    EXPECT_TRUE(components.calls().empty());
    EXPECT_EQ(host.newsCycles, 1) << "extraction and the host message still run";
    EXPECT_EQ(Site().NextRefreshTick, 1000u);
    EXPECT_EQ(State().HoldUntil, 1000u + kFiveMinutes);

    Site().NextRefreshTick = 999;
    State().HoldUntil = 0;
    Cycle();
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
}

TEST_F(NewsCycleTest, FailedDownloadKeepsTheDocumentAndStillMovesTheStamp) {
    const platform::DocumentRef previous = std::make_shared<FakeComponents>()->CreateXmlDocument();
    Site().FeedDocument = previous;
    components.world().resources[kAddress] = FakeResource::Error(platform::kResourceNotFound, "unreachable");
    Cycle();
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
    EXPECT_EQ(Site().FeedDocument, previous);
    EXPECT_EQ(Site().NextRefreshTick, 1000u + kFiveMinutes - 10);
    EXPECT_EQ(Site().LastDownload, 0.0);
    EXPECT_TRUE(messageBox.shown.empty());
}

TEST_F(NewsCycleTest, ZeroIntervalRefreshesAndDownloadsOnEveryCall) {
    Site().RefreshMinutes = 0;
    for (int i = 0; i < 3; ++i) {
        Cycle();
        EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
        EXPECT_EQ(State().HoldUntil, clock.tick);
        EXPECT_EQ(Site().NextRefreshTick, clock.tick - 10);
        ++clock.tick;
    }
    EXPECT_EQ(host.newsCycles, 3);
}

// --- disk-copy mode -------------------------------------------------------------

TEST_F(NewsCycleTest, DiskCopyModeDownloadsSavesAndStamps) {
    config::IsDLF = 1;
    Cycle();
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress) + Calls{"#1 SAVE " + CopyPath()});
    EXPECT_DOUBLE_EQ(Site().LastDownload, timeutil::DaySerialNow() + timeutil::kDownloadHoldOff);
    EXPECT_EQ(Site().NextRefreshTick, 1000u + kFiveMinutes - 10);
    EXPECT_EQ(host.newsCycles, 1);
}

TEST_F(NewsCycleTest, DiskCopyModeFallsBackToTheCopyAfterAFailedDownload) {
    config::IsDLF = 1;
    components.world().resources[kAddress] = FakeResource::Error(platform::kResourceNotFound, "unreachable");
    components.world().resources[CopyPath()] = FakeResource::Feed(kFeed);
    Cycle();
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress) + CopyLoadCalls(2, CopyPath()));
    EXPECT_EQ(FakeComponents::XmlOf(Site().FeedDocument), kFeed);
    EXPECT_DOUBLE_EQ(Site().LastDownload, timeutil::DaySerialNow() + timeutil::kDownloadHoldOff)
        << "resource-not-found stamps the site";
    EXPECT_TRUE(messageBox.shown.empty());
}

// A site never downloaded has no copy: the failed download shows the copy message.
TEST_F(NewsCycleTest, DiskCopyModeWithoutCopyShowsTheCopyMessage) {
    config::IsDLF = 1;
    components.world().resources[kAddress] = FakeResource::Error(-1072896682, "Invalid at the top level.");
    Cycle();
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress) + HttpRequestCalls(2, kAddress) +
                                      ParseResponseCalls(3, "") + CopyLoadCalls(4, CopyPath()));
    ASSERT_EQ(messageBox.shown.size(), 1u);
    EXPECT_EQ(messageBox.shown[0].text.rfind("f2--> Nr: -2146697210\r", 0), 0u) << messageBox.shown[0].text;
    EXPECT_EQ(Site().LastDownload, 0.0) << "a parse error is no download";
    EXPECT_EQ(Site().NextRefreshTick, 1000u + kFiveMinutes - 10);
    EXPECT_EQ(host.newsCycles, 1);
}

// The host restarted within the hold-off of the last download: the copy is read,
// because the tick stamp starts at 0, and nothing is downloaded.
TEST_F(NewsCycleTest, DiskCopyModeWithinTheHoldOffReadsTheCopy) {
    config::IsDLF = 1;
    Site().LastDownload = timeutil::DaySerialNow() + 1.0 / 1440;
    components.world().resources[CopyPath()] = FakeResource::Feed(kFeed);
    components.world().onNetwork = [this] { clock.tick += 3; };
    Cycle();
    EXPECT_EQ(components.calls(), CopyLoadCalls(1, CopyPath()));
    EXPECT_EQ(FakeComponents::XmlOf(Site().FeedDocument), kFeed);
    EXPECT_EQ(Site().NextRefreshTick, 1003u + kFiveMinutes - 10);

    // Within the tick stamp as well: nothing is fetched, the text is still made.
    State().HoldUntil = 0;
    clock.tick += 1000;
    Cycle();
    EXPECT_TRUE(components.calls().empty());
    EXPECT_EQ(host.newsCycles, 2);

    // The tick stamp passes while the download is still held off: the copy again.
    State().HoldUntil = 0;
    clock.tick = Site().NextRefreshTick + 1;
    Cycle();
    EXPECT_EQ(components.calls(), CopyLoadCalls(1, CopyPath()));
}

// With R = 0 the tick stamp lies in the past right after the download, so the
// copy just written is read back in the same cycle.
TEST_F(NewsCycleTest, DiskCopyModeWithZeroIntervalReadsTheFreshCopyBack) {
    config::IsDLF = 1;
    Site().RefreshMinutes = 0;
    Cycle();
    EXPECT_EQ(components.calls(),
              DirectLoadCalls(1, kAddress) + Calls{"#1 SAVE " + CopyPath()} + CopyLoadCalls(2, CopyPath()));
}

// A download stamp lies at most one hold-off ahead of the clock; one further
// ahead means the clock was set back, and must not hold the site off until then.
TEST_F(NewsCycleTest, DiskCopyModeDownloadStampFarAheadIsDue) {
    config::IsDLF = 1;
    components.world().resources[CopyPath()] = FakeResource::Feed(kFeed);
    const struct {
        const char* what;
        double ahead;  // of now, in days
        bool due;
    } cases[] = {
        {"just stamped", timeutil::kDownloadHoldOff, false},
        {"within the second of rounding", timeutil::kDownloadHoldOff + 0.5 / 86400, false},
        {"two seconds further", timeutil::kDownloadHoldOff + 2.0 / 86400, true},
        {"a year ahead", 365.0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Site().LastDownload = timeutil::DaySerialNow() + c.ahead;
        Site().NextRefreshTick = 0;
        State().HoldUntil = 0;
        Cycle();
        if (c.due) {
            EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress) + Calls{"#1 SAVE " + CopyPath()});
            EXPECT_DOUBLE_EQ(Site().LastDownload, timeutil::DaySerialNow() + timeutil::kDownloadHoldOff);
        } else {
            EXPECT_EQ(components.calls(), CopyLoadCalls(1, CopyPath()));
        }
    }
}

TEST_F(NewsCycleTest, OtherModesFetchNothingAndStillExtract) {
    for (std::int32_t mode : {2, -1, 7}) {
        SCOPED_TRACE(mode);
        config::IsDLF = mode;
        Settings().Style = 5;  // makes the extraction step visible
        State().Text = "";
        State().HoldUntil = 0;
        const int before = host.newsCycles;
        EXPECT_STREQ(Cycle(), "Fehler");
        EXPECT_TRUE(components.calls().empty());
        EXPECT_EQ(host.newsCycles, before + 1);
        EXPECT_EQ(Site().NextRefreshTick, 0u);
        EXPECT_EQ(State().HoldUntil, 1000u + kFiveMinutes);
    }
}

// --- extraction and post-processing ----------------------------------------------

TEST_F(NewsCycleTest, LayoutOutsideTheTableGivesTheErrorWord) {
    Settings().Style = 5;
    State().Text = "old";
    EXPECT_STREQ(Cycle(), "Fehler");
    EXPECT_EQ(host.newsCycles, 1);
    EXPECT_EQ(State().HoldUntil, 1000u + kFiveMinutes);
}

TEST_F(NewsCycleTest, OtherKindLeavesTheTextToPostProcessing) {
    for (std::int16_t kind : {0, 1005, -1}) {
        SCOPED_TRACE(kind);
        Settings().SiteType = kind;
        State().Text = "untouched";
        State().HoldUntil = 0;
        EXPECT_STREQ(Cycle(), "untouched");
    }
    EXPECT_EQ(host.newsCycles, 3);
}

// The built-in layouts and the instance's own template, on a one-item feed.
TEST_F(NewsCycleTest, ExtractionByKindAndLayout) {
    const struct {
        std::int16_t kind, style;
        const char *keyNode, *templ, *expected;
    } cases[] = {
        {1003, 0, "", "", "Eins%lhttp://news.example/1"},
        {1003, 1011, "", "", "Eins * "},
        {1003, 1012, "", "", "Eins%b"},
        // the instance's own template and key node are used only for Freestyle
        {1003, 0, "channel", "<title>", "Eins%lhttp://news.example/1"},
        {1004, 1011, "item", "<link> | <title>", "http://news.example/1 | Eins"},
        {1004, 0, "channel", "[<title>]", "[Channel]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        Settings().SiteType = c.kind;
        Settings().Style = c.style;
        Settings().KeyNode = c.keyNode;
        Settings().Template = c.templ;
        State().HoldUntil = 0;
        Site().NextRefreshTick = 0;
        EXPECT_STREQ(Cycle(), c.expected);
    }
}

TEST_F(NewsCycleTest, RemoveStringIsRemovedEverywhereCaseSensitively) {
    const struct {
        const char *text, *rs, *expected;
    } cases[] = {
        {"a-x-b-x-c-x", "x", "a--b--c-"},  // three times
        {"abc", "q", "abc"},              // not there
        {"abc", "B", "abc"},              // case-sensitive
        {"xxxxx", "xx", "x"},             // no overlap
        {"news", "", "news"},             // empty: nothing removed
        {"news", "news", ""},
    };
    Settings().SiteType = 1005;  // no extraction: the text is what the test sets
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Settings().RS = c.rs;
        State().Text = c.text;
        State().HoldUntil = 0;
        EXPECT_STREQ(Cycle(), c.expected);
    }
}

TEST_F(NewsCycleTest, RemoveStringAppliesToTheErrorWordToo) {
    Settings().Style = 5;
    Settings().RS = "hl";
    EXPECT_STREQ(Cycle(), "Feer");
}

TEST_F(NewsCycleTest, HostMessageGoesToTheMostRecentHostWindow) {
    FakeHostWindow other;
    const std::int32_t second = dllstartup(other.Handle(), 0);
    ShowSite(second, "Heise", 1);
    Cycle(instance);
    EXPECT_EQ(host.newsCycles, 0);
    EXPECT_EQ(other.newsCycles, 1);
}

// --- shared sites ----------------------------------------------------------------

TEST_F(NewsCycleTest, InstancesOnOneSiteShareOneDownloadPerInterval) {
    const std::int32_t second = StartInstance();
    ShowSite(second, "Heise", 1);
    Settings(second).Style = config::kStyleTicker;

    Cycle(instance);
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
    clock.tick += 2000;
    Cycle(second);
    EXPECT_TRUE(components.calls().empty()) << "the site is not due again";
    EXPECT_EQ(host.newsCycles, 2);

    // The first instance's hold ends first and finds the site due; the second,
    // due a little later, finds it fetched.
    clock.tick = 1000 + kFiveMinutes - 1;
    Cycle(instance);
    EXPECT_TRUE(components.calls().empty()) << "still inside the hold";
    clock.tick = 1000 + kFiveMinutes;
    Cycle(instance);
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
    clock.tick = 3000 + kFiveMinutes;
    Cycle(second);
    EXPECT_TRUE(components.calls().empty());
    EXPECT_EQ(host.newsCycles, 4);
}

// When one cycle sets both stamps, the site's is 10 ms earlier than the hold, so
// the instance finds its site due when its hold ends.
TEST_F(NewsCycleTest, SiteIsDueWhenTheHoldOfTheFetchingInstanceEnds) {
    Cycle();
    clock.tick = State().HoldUntil;
    Cycle();
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
}

// --- the counter wrap -------------------------------------------------------------

TEST_F(NewsCycleTest, HoldAndSiteStampExpireWithinOneIntervalAcrossTheWrap) {
    clock.tick = 0xFFFFFFFFu - 99999u;  // 100 s before the wrap
    Cycle();
    ASSERT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
    EXPECT_EQ(State().HoldUntil, kFiveMinutes - 100000u);  // past 0
    EXPECT_EQ(Site().NextRefreshTick, kFiveMinutes - 100000u - 10u);

    for (std::uint32_t tick : {0xFFFFFFFFu, 0u, 1u, kFiveMinutes - 100001u}) {
        SCOPED_TRACE(tick);
        clock.tick = tick;
        Cycle();
        EXPECT_TRUE(components.calls().empty()) << "still inside the hold";
    }
    EXPECT_EQ(host.newsCycles, 1);

    clock.tick = kFiveMinutes - 100000u;
    Cycle();
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
    EXPECT_EQ(host.newsCycles, 2);
}

// A host that calls nothing for weeks: the hold and the site's stamp count the
// time elapsed since they were taken, however far the counter ran meanwhile:
// past 2^31 ms after the stamp (where a signed difference turns over) and past
// 2^32 (where the counter wraps).
TEST_F(NewsCycleTest, HoldAndSiteStampExpireAfterWeeksWithoutACall) {
    const struct {
        const char* what;
        std::uint32_t start, elapsed;
    } cases[] = {
        {"2^31 ms after the hold", 1000, kFiveMinutes + 0x80000000u},
        {"the counter wraps meanwhile", 0x90000000u, kFiveMinutes + 0x80000000u + 5000u},
        {"a millisecond short of 2^32 ms", 1000, 0xFFFFFFFFu},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        State().HoldUntil = 0;
        Site().NextRefreshTick = 0;
        clock.tick = c.start;
        Cycle();
        ASSERT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
        clock.tick = c.start + kFiveMinutes - 1;
        Cycle();
        EXPECT_TRUE(components.calls().empty()) << "still inside the hold";
        const int before = host.newsCycles;
        clock.tick = c.start + c.elapsed;
        Cycle();
        EXPECT_EQ(host.newsCycles, before + 1) << "the hold has ended";
        EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress)) << "the site is due";
    }
}

// Fresh records (hold and stamps 0) are due whatever the counter reads, also in
// the upper half of its range.
TEST_F(NewsCycleTest, FreshRecordsAreDueAtAnyCounterReading) {
    for (std::uint32_t tick : {1u, 0x7FFFFFFFu, 0x80000001u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(tick);
        clock.tick = tick;
        State().HoldUntil = 0;
        Site().NextRefreshTick = 0;
        Cycle();
        EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
    }
}

// A negative interval puts the stamps in the past: every call is due (a plain
// unsigned comparison would hold such an instance for weeks).
TEST_F(NewsCycleTest, NegativeIntervalHoldsNothing) {
    Site().RefreshMinutes = -1;
    Cycle();
    EXPECT_EQ(State().HoldUntil, 1000u - 60000u);
    clock.tick += 1;
    Cycle();
    EXPECT_EQ(components.calls(), DirectLoadCalls(1, kAddress));
    EXPECT_EQ(host.newsCycles, 2);
}

}  // namespace
}  // namespace vardel::testing

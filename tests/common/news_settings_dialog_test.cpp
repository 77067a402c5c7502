// The news settings dialog through source_configure, with a fake dialog service
// acting as the user: what it shows for a record, the enabling rule, what
// "Okay" stores, and what the close command keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "config/instance_settings.h"
#include "config/news_settings_dialog.h"
#include "config/site_table.h"
#include "plugin/instances.h"
#include "support/fakes.h"
#include "vardel/vardel2.h"

namespace vardel::testing {
namespace {

using namespace config::news_settings;
using config::InstanceSettings;

// The fields of a record that the cases set; the rest stay as a load of an
// empty section leaves them.
struct Record {
    std::int16_t siteType = 1003;
    std::int16_t siteIndex = -1;
    const char* start = "1";
    const char* end = "1";
    std::int16_t style = 0;
    const char* keyNode = "item";
    const char* templateText = "<title>%l<link>";
    std::int16_t refreshrate = 5;
    const char* rs = "";
    std::int32_t filters[3] = {0, 0, 0};
};

void Fill(InstanceSettings& s, const Record& r) {
    std::memset(static_cast<void*>(&s), 0, sizeof s);
    s.SiteType = r.siteType;
    s.SiteIndex = r.siteIndex;
    s.StartZeile = r.start;
    s.EndZeile = r.end;
    s.Style = r.style;
    s.KeyNode = r.keyNode;
    s.Template = r.templateText;
    s.Refreshrate = r.refreshrate;
    s.RS = r.rs;
    s.FLTHTML = r.filters[0];
    s.FLTWrap = r.filters[1];
    s.FLTHTMLCode = r.filters[2];
}

class NewsSettingsDialogTest : public PluginTest {
protected:
    NewsSettingsDialogTest() {
        host.folder = folder.Path();
        folder.Write("plugins/Vardel/Vardel2.ini",
                     "[Sites]\r\nHeise=http://heise.example/rss\r\nTagesschau=http://t.example/rss\r\n"
                     "Golem=http://golem.example/rss\r\n");
        instance = StartInstance();
    }

    InstanceSettings& Settings() { return config::SettingsOf(instance); }

    // Opens the dialog for the instance as the host does; the user acts, then
    // closes it unless the actions ended it.
    void Open(const Record& record, std::function<void(FakeDialogView&)> user = nullptr) {
        Fill(Settings(), record);
        dialogs.user = std::move(user);
        ASSERT_EQ(source_configure(instance, "GetNews"), 0);
        ASSERT_EQ(dialogs.opened, ++openings);
    }
    const FakeDialogView::Control& Shown(int id) { return dialogs.lastControls.at(id); }

    TempFolder folder;
    std::int32_t instance = 0;
    int openings = 0;
};

// --- what the dialog shows ------------------------------------------------------------

struct OpeningCase {
    const char* name;
    Record record;
    int kind;           // the checked kind radio
    int selected;       // the selected list item
    const char* startBox;
    const char* endBox;
    int styleRadio;     // the checked style radio, 0 for none
    const char* keyNodeBox;
    const char* templateBox;
    bool stylesEnabled;
    bool freestyleEnabled;
};

void PrintTo(const OpeningCase& c, std::ostream* os) { *os << c.name; }

class NewsSettingsOpening : public NewsSettingsDialogTest, public ::testing::WithParamInterface<OpeningCase> {};

TEST_P(NewsSettingsOpening, ShowsTheRecord) {
    const OpeningCase& c = GetParam();
    Open(c.record);
    EXPECT_TRUE(Shown(c.kind).checked);
    EXPECT_FALSE(Shown(c.kind == kNews ? kFreestyle : kNews).checked);
    EXPECT_EQ(Shown(kSiteList).items, (std::vector<std::string>{"Heise", "Tagesschau", "Golem"}));
    EXPECT_EQ(Shown(kSiteList).selected, c.selected);
    EXPECT_EQ(Shown(kStartLine).text, c.startBox);
    EXPECT_EQ(Shown(kEndLine).text, c.endBox);
    EXPECT_EQ(Shown(kTicker).checked, c.styleRadio == kTicker);
    EXPECT_EQ(Shown(kList).checked, c.styleRadio == kList);
    EXPECT_EQ(Shown(kKeyNode).text, c.keyNodeBox);
    EXPECT_EQ(Shown(kTemplate).text, c.templateBox);
    for (int id : {kTicker, kList, kStyleBox}) EXPECT_EQ(Shown(id).enabled, c.stylesEnabled) << id;
    for (int id : {kKeyNode, kTemplate, kKeyNodeLabel, kTemplateLabel, kFreestyleBox})
        EXPECT_EQ(Shown(id).enabled, c.freestyleEnabled) << id;
    for (int id : {kRemoveString, kFilterHtml, kFilterWrap, kReplaceHtmlChar, kOkay, kSiteList, kInterval})
        EXPECT_TRUE(Shown(id).enabled) << id;
}

constexpr const char* kItem = "item";
constexpr const char* kDefaultTemplate = "<title>%l<link>";

INSTANTIATE_TEST_SUITE_P(
    NewsSettings, NewsSettingsOpening,
    ::testing::Values(
        OpeningCase{"Defaults", {}, kNews, 0, "1", "1", 0, kItem, kDefaultTemplate, false, false},
        OpeningCase{"Freestyle", {1004, 2, "1", "5", 1011, "entry;id;", "<title>"},
                    kFreestyle, 1, "1", "5", kTicker, "entry;id;", "<title>", false, true},
        OpeningCase{"StartZeroShowsOne", {1003, 3, "0", "4"}, kNews, 2, "1", "4", 0, kItem, kDefaultTemplate, true, false},
        OpeningCase{"StartMinusOneShowsOne", {1003, 1, "-1", "2"}, kNews, 0, "1", "2", 0, kItem, kDefaultTemplate, true, false},
        OpeningCase{"EqualLinesDisableTheStyles", {1003, 1, "3", "3", 1012}, kNews, 0, "3", "3", kList, kItem,
                    kDefaultTemplate, false, false},
        // Text order: "10" sorts before "9", so the end box shows the start line.
        OpeningCase{"NineToTenShowsNineToNine", {1003, 1, "9", "10", 1011}, kNews, 0, "9", "9", kTicker, kItem,
                    kDefaultTemplate, false, false},
        // A start line that is no number shows as it is; the end line is not
        // compared with it (and "abc" counts as 0 for the styles).
        OpeningCase{"StartThatIsNoNumber", {1003, 1, "abc", "1"}, kNews, 0, "abc", "1", 0, kItem, kDefaultTemplate,
                    true, false},
        // " 5" sorts before "1", so the start box shows 1; without its blank it is
        // compared with the end line, which sorts before it: the end box shows " 5".
        OpeningCase{"StartWithABlankShowsOne", {1003, 1, " 5", "3"}, kNews, 0, "1", " 5", 0, kItem,
                    kDefaultTemplate, true, false},
        OpeningCase{"StyleOutsideTheRadiosChecksNone", {1003, 1, "1", "4", 1013}, kNews, 0, "1", "4", 0, kItem,
                    kDefaultTemplate, true, false},
        OpeningCase{"StyleBelow1000ChecksNone", {1003, 1, "1", "4", 11}, kNews, 0, "1", "4", 0, kItem,
                    kDefaultTemplate, true, false},
        OpeningCase{"KindBelowNewsIsNews", {0}, kNews, 0, "1", "1", 0, kItem, kDefaultTemplate, false, false},
        OpeningCase{"UnknownKindIsNews", {1005}, kNews, 0, "1", "1", 0, kItem, kDefaultTemplate, false, false},
        OpeningCase{"BlankKeyNodeAndTemplateKeepTheDefaults", {1004, 1, "1", "1", 0, "   ", ""}, kFreestyle, 0, "1",
                    "1", 0, kItem, kDefaultTemplate, false, true},
        OpeningCase{"KeyNodeAndTemplateWithoutTheirBlanks", {1004, 1, "1", "1", 0, " entry ", " <link> "},
                    kFreestyle, 0, "1", "1", 0, "entry", "<link>", false, true},
        OpeningCase{"SiteIndexZeroSelectsTheFirst", {1003, 0}, kNews, 0, "1", "1", 0, kItem, kDefaultTemplate, false,
                    false},
        OpeningCase{"SiteIndexBeyondTheListSelectsNothing", {1003, 7}, kNews, -1, "1", "1", 0, kItem,
                    kDefaultTemplate, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NewsSettingsDialogTest, IntervalBoxAlwaysOpensWithFive) {
    Record r;
    r.refreshrate = 30;
    Open(r);
    EXPECT_EQ(Shown(kInterval).text, "5");
    r.refreshrate = 5;
    Open(r);
    EXPECT_EQ(Shown(kInterval).text, "5");
}

TEST_F(NewsSettingsDialogTest, ShowsTheRemoveStringAndTheFilters) {
    Record r;
    r.rs = " - heise online";
    r.filters[0] = 1;
    r.filters[2] = 5;  // any value but 0 shows checked
    Open(r);
    EXPECT_EQ(Shown(kRemoveString).text, " - heise online");
    EXPECT_TRUE(Shown(kFilterHtml).checked);
    EXPECT_FALSE(Shown(kFilterWrap).checked);
    EXPECT_TRUE(Shown(kReplaceHtmlChar).checked);
    EXPECT_TRUE(Shown(kSiteList).extendedKeys);
    EXPECT_EQ(dialogs.lastCaption, "News Settings");
    EXPECT_EQ(dialogs.lastOwner, host.Handle());
}

// --- the enabling rule ----------------------------------------------------------------

TEST_F(NewsSettingsDialogTest, EnablingFollowsTheLinesAndTheKind) {
    auto styles = [](FakeDialogView& v) { return v[kTicker].enabled && v[kList].enabled && v[kStyleBox].enabled; };
    auto styleState = [](FakeDialogView& v) { return v[kTicker].enabled || v[kList].enabled || v[kStyleBox].enabled; };
    auto freestyle = [](FakeDialogView& v) {
        return v[kKeyNode].enabled && v[kTemplate].enabled && v[kKeyNodeLabel].enabled && v[kTemplateLabel].enabled &&
               v[kFreestyleBox].enabled;
    };
    auto freestyleState = [](FakeDialogView& v) {
        return v[kKeyNode].enabled || v[kTemplate].enabled || v[kKeyNodeLabel].enabled ||
               v[kTemplateLabel].enabled || v[kFreestyleBox].enabled;
    };
    Open({}, [&](FakeDialogView& v) {
        EXPECT_FALSE(styleState(v));
        v.Type(kEndLine, "5");
        EXPECT_TRUE(styles(v));
        v.Type(kEndLine, "abc");  // no number: 0
        EXPECT_FALSE(styleState(v));
        v.Type(kStartLine, "-2");  // 0 is more than -2
        EXPECT_TRUE(styles(v));
        v.Type(kStartLine, "1.5");
        v.Type(kEndLine, "1.75");  // compared as numbers, not as line counts
        EXPECT_TRUE(styles(v));
        v.Click(kFreestyle);
        EXPECT_FALSE(styleState(v));
        EXPECT_TRUE(freestyle(v));
        v.Click(kNews);
        EXPECT_TRUE(styles(v));
        EXPECT_FALSE(freestyleState(v));
        // Any command runs the rule, also one that does nothing else.
        v.SetText(kEndLine, "1");
        EXPECT_TRUE(styles(v));
        v.Click(kFilterWrap);
        EXPECT_FALSE(styleState(v));
        v.Close();
    });
}

// --- "Okay" ---------------------------------------------------------------------------

struct Stored {
    std::int16_t siteType = 1003;
    const char* siteName = "Heise";
    std::int16_t siteIndex = 1;
    std::string start = "1";
    std::string end = "1";
    std::int16_t style = 0;
    std::string keyNode;
    std::string templateText;
    std::int16_t refreshrate = 5;
    std::string rs;
    std::int32_t filters[3] = {0, 0, 0};
};

struct OkayCase {
    const char* name;
    Record record;
    std::function<void(FakeDialogView&)> act;  // before "Okay"
    Stored stored;
};

void PrintTo(const OkayCase& c, std::ostream* os) { *os << c.name; }

class NewsSettingsOkay : public NewsSettingsDialogTest, public ::testing::WithParamInterface<OkayCase> {};

TEST_P(NewsSettingsOkay, StoresTheControls) {
    const OkayCase& c = GetParam();
    plugin::StateOf(instance).HoldUntil = 12345;
    Open(c.record, [&](FakeDialogView& v) {
        if (c.act) c.act(v);
        v.Click(kOkay);
        EXPECT_TRUE(v.Ended());
        EXPECT_EQ(v.Result(), 1);
    });
    const InstanceSettings& s = Settings();
    const Stored& e = c.stored;
    EXPECT_EQ(s.SiteType, e.siteType);
    EXPECT_EQ(s.SiteName.View(), e.siteName);
    EXPECT_EQ(s.SiteIndex, e.siteIndex);
    EXPECT_EQ(s.StartZeile.View(), e.start);
    EXPECT_EQ(s.EndZeile.View(), e.end);
    EXPECT_EQ(s.Style, e.style);
    EXPECT_EQ(s.KeyNode.View(), e.keyNode);
    EXPECT_EQ(s.Template.View(), e.templateText);
    EXPECT_EQ(s.Refreshrate, e.refreshrate);
    EXPECT_EQ(s.RS.View(), e.rs);
    EXPECT_EQ(s.FLTHTML, e.filters[0]);
    EXPECT_EQ(s.FLTWrap, e.filters[1]);
    EXPECT_EQ(s.FLTHTMLCode, e.filters[2]);
    // The chosen site takes the interval; the next news cycle builds the text anew.
    for (std::int32_t site = 1; site <= config::LastSiteNumber(); ++site)
        EXPECT_EQ(config::SiteTable()[site].RefreshMinutes, site == e.siteIndex ? e.refreshrate : 0) << site;
    EXPECT_EQ(plugin::StateOf(instance).HoldUntil, 0u);
}

Stored With(std::function<void(Stored&)> change) {
    Stored s;
    change(s);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    NewsSettings, NewsSettingsOkay,
    ::testing::Values(
        // An unknown site opens with the first item: "Okay" takes that site. The
        // interval box shows 5, whatever the record held.
        OkayCase{"UntouchedTakesTheFirstSiteAndFiveMinutes", {1003, -1, "1", "1", 0, "item", "<t>", 30}, nullptr, {}},
        OkayCase{"StartZeroIsStoredAsOne", {1003, 2, "0", "4"}, nullptr,
                 With([](Stored& s) { s.siteName = "Tagesschau"; s.siteIndex = 2; s.end = "4"; s.style = 1011; })},
        OkayCase{"EqualLinesStoreTheDefaultLayout", {1003, 1, "1", "5", 1012},
                 [](FakeDialogView& v) {
                     v.Type(kStartLine, "3");
                     v.Type(kEndLine, "3");
                 },
                 With([](Stored& s) { s.start = "3"; s.end = "3"; })},
        OkayCase{"MoreLinesWithoutAStyleRadioStoreTicker", {1003, 1, "3", "5", 0}, nullptr,
                 With([](Stored& s) { s.start = "3"; s.end = "5"; s.style = 1011; })},
        OkayCase{"ListIsStored", {1003, 1, "1", "5", 1011}, [](FakeDialogView& v) { v.Click(kList); },
                 With([](Stored& s) { s.end = "5"; s.style = 1012; })},
        // The style radios are disabled for Freestyle, but the style still follows
        // the lines.
        OkayCase{"FreestyleStoresItsBoxes", {1003, 1, "1", "5", 1012},
                 [](FakeDialogView& v) {
                     v.Click(kFreestyle);
                     v.Type(kKeyNode, " entry;link; ");
                     v.Type(kTemplate, "<link>%b");
                 },
                 With([](Stored& s) {
                     s.siteType = 1004; s.end = "5"; s.style = 1012; s.keyNode = " entry;link; ";
                     s.templateText = "<link>%b";
                 })},
        OkayCase{"NewsEmptiesKeyNodeAndTemplate", {1004, 1, "1", "1", 0, "entry", "<link>"},
                 [](FakeDialogView& v) { v.Click(kNews); }, {}},
        OkayCase{"LineBoxesAreStoredAsTyped", {},
                 [](FakeDialogView& v) {
                     v.Type(kStartLine, " 2 ");
                     v.Type(kEndLine, "5 ");
                 },
                 With([](Stored& s) { s.start = " 2 "; s.end = "5 "; s.style = 1011; })},
        OkayCase{"PickedSiteTakesTheInterval", {},
                 [](FakeDialogView& v) {
                     v.Pick(kSiteList, 2);
                     v.Type(kInterval, "12");
                 },
                 With([](Stored& s) { s.siteName = "Golem"; s.siteIndex = 3; s.refreshrate = 12; })},
        OkayCase{"IntervalThatIsNoNumberIsZero", {}, [](FakeDialogView& v) { v.Type(kInterval, "abc"); },
                 With([](Stored& s) { s.refreshrate = 0; })},
        OkayCase{"IntervalKeepsItsLow16Bits", {}, [](FakeDialogView& v) { v.Type(kInterval, "70000"); },
                 With([](Stored& s) { s.refreshrate = 4464; })},
        OkayCase{"IntervalIsRoundedToEven", {}, [](FakeDialogView& v) { v.Type(kInterval, "2.5"); },
                 With([](Stored& s) { s.refreshrate = 2; })},
        OkayCase{"RemoveStringAndFilters", {1003, 1, "1", "1", 0, "item", "<t>", 5, "old", {1, 0, 0}},
                 [](FakeDialogView& v) {
                     v.Type(kRemoveString, " - heise online ");
                     v.Click(kFilterHtml);
                     v.Click(kFilterWrap);
                     v.Click(kReplaceHtmlChar);
                 },
                 With([](Stored& s) {
                     s.rs = " - heise online ";
                     s.filters[0] = 0; s.filters[1] = 1; s.filters[2] = 1;
                 })},
        OkayCase{"OverlongTextsAreCutToTheirFields", {},
                 [](FakeDialogView& v) {
                     v.Type(kStartLine, std::string(40, '1'));
                     v.Type(kEndLine, std::string(40, '2'));
                     v.Click(kFreestyle);
                     v.Type(kKeyNode, std::string(150, 'k'));
                     v.Type(kTemplate, std::string(250, 't'));
                     v.Type(kRemoveString, std::string(200, 'r'));
                 },
                 With([](Stored& s) {
                     s.siteType = 1004; s.start = std::string(31, '1'); s.end = std::string(31, '2');
                     s.style = 1011; s.keyNode = std::string(99, 'k'); s.templateText = std::string(199, 't');
                     s.rs = std::string(127, 'r');
                 })}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(NewsSettingsDialogTest, OnlyOkayClickedOrWithCodeOneStores) {
    Open({}, [](FakeDialogView& v) {
        v.Type(kEndLine, "4");
        v.PressEnter();
        v.PressEscape();
        v.Command(kOkay, 5);  // a double click is not "Okay"
        EXPECT_FALSE(v.Ended());
        v.Command(kOkay, 1);
        EXPECT_TRUE(v.Ended());
        EXPECT_EQ(v.Result(), 1);
    });
    EXPECT_EQ(Settings().EndZeile.View(), "4");
}

TEST_F(NewsSettingsDialogTest, CloseKeepsEverythingButAnEmptyEndLine) {
    Record r;
    r.siteIndex = 2;
    r.end = "  ";
    r.refreshrate = 30;
    r.rs = "x";
    plugin::StateOf(instance).HoldUntil = 12345;
    Open(r, [](FakeDialogView& v) {
        v.Pick(kSiteList, 0);
        v.Type(kStartLine, "2");
        v.Type(kEndLine, "9");
        v.Click(kList);
        v.Click(kFreestyle);
        v.Type(kInterval, "1");
        v.Type(kRemoveString, "y");
        v.Click(kFilterHtml);
        v.PressEscape();
        EXPECT_FALSE(v.Ended());
        v.Close();
    });
    InstanceSettings expected;
    Fill(expected, r);
    expected.EndZeile = "1";  // initialisation sets it before anything else happens
    EXPECT_EQ(std::memcmp(&Settings(), &expected, sizeof expected), 0);
    for (std::int32_t site = 1; site <= config::LastSiteNumber(); ++site)
        EXPECT_EQ(config::SiteTable()[site].RefreshMinutes, 0);
    EXPECT_EQ(plugin::StateOf(instance).HoldUntil, 12345u);
}

TEST_F(NewsSettingsDialogTest, EmptySiteTableGivesAnEmptyListAndNoSite) {
    folder.Write("plugins/Vardel/Vardel2.ini", "[Other]\r\nx=1\r\n");
    Record r;
    r.siteIndex = 2;
    Open(r, [](FakeDialogView& v) {
        EXPECT_TRUE(v[kSiteList].items.empty());
        EXPECT_EQ(v[kSiteList].selected, -1);
        v.Click(kOkay);
    });
    EXPECT_EQ(Settings().SiteName.View(), "");
    EXPECT_EQ(Settings().SiteIndex, -1);
    EXPECT_TRUE(config::SiteTable().empty());
}

TEST_F(NewsSettingsDialogTest, LoadsTheSiteTableOnlyWhenEmpty) {
    Open({});
    EXPECT_EQ(config::LastSiteNumber(), 3);
    folder.Write("plugins/Vardel/Vardel2.ini", "[Sites]\r\nOther=http://o.example/\r\n");
    Open({});
    EXPECT_EQ(Shown(kSiteList).items.size(), 3u);
}

TEST_F(NewsSettingsDialogTest, ALongSiteNameIsCutAndNoLongerFound) {
    const std::string name(100, 'n');
    folder.Write("plugins/Vardel/Vardel2.ini", "[Sites]\r\n" + name + "=http://n.example/\r\n");
    Open({}, [](FakeDialogView& v) { v.Click(kOkay); });
    EXPECT_EQ(Shown(kSiteList).items, std::vector<std::string>{name});
    EXPECT_EQ(Settings().SiteName.View(), name.substr(0, 99));
    EXPECT_EQ(Settings().SiteIndex, -1);
}

// The host may open instances while the dialog runs; that moves the records.
TEST_F(NewsSettingsDialogTest, OkayWritesTheInstanceAlsoAfterTheTableMoved) {
    const auto before = config::SettingsTable().data();
    Open({}, [&](FakeDialogView& v) {
        for (int i = 0; i < 64; ++i) StartInstance();
        v.Type(kEndLine, "3");
        v.Click(kOkay);
    });
    ASSERT_NE(config::SettingsTable().data(), before);
    EXPECT_EQ(Settings().EndZeile.View(), "3");
    EXPECT_TRUE(config::SettingsOf(instance + 1).EndZeile.Empty());
}

TEST_F(NewsSettingsDialogTest, OpensOnlyForTheNewsFunctionByteForByte) {
    for (const char* name : {"getnews", "GetNewsX", "GetNew", "", " GetNews"}) {
        EXPECT_EQ(source_configure(instance, name), 0);
        EXPECT_EQ(dialogs.opened, 0) << name;
    }
    EXPECT_EQ(source_configure(instance, nullptr), 0);
    EXPECT_EQ(dialogs.opened, 0);
    EXPECT_TRUE(config::SiteTable().empty());
}

// No terminal or window system: nothing is loaded, nothing changes.
TEST_F(NewsSettingsDialogTest, WithoutADialogNothingChanges) {
    dialogs.available = false;
    Record r;
    r.end = "";
    Fill(Settings(), r);
    plugin::StateOf(instance).HoldUntil = 7;
    EXPECT_EQ(source_configure(instance, "GetNews"), 0);
    EXPECT_EQ(Settings().EndZeile.View(), "");
    EXPECT_EQ(plugin::StateOf(instance).HoldUntil, 7u);
    EXPECT_TRUE(config::SiteTable().empty());
}

}  // namespace
}  // namespace vardel::testing

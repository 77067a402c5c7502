// Instance settings in the host profile, through src_load_settings and
// src_save_settings, with the platform's own profile files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/instance_settings.h"
#include "config/site_table.h"
#include "platform/services.h"
#include "plugin/instances.h"
#include "support/fakes.h"
#include "vardel/vardel2.h"

namespace vardel::testing {
namespace {

using config::InstanceSettings;

class InstanceSettingsTest : public PluginTest {
protected:
    InstanceSettingsTest() {
        host.folder = folder.Path();
        folder.Write("plugins/Vardel/Vardel2.ini", "[Sites]\r\na=http://a.example/rss\r\nb=http://b.example/rss\r\n");
        StartInstance();
        StartInstance();
    }

    void Load(int instance, const std::string& section = "Meter1") {
        EXPECT_EQ(src_load_settings(instance, HostProfile().c_str(), section.c_str()), 0);
    }
    void Save(int instance, const std::string& section = "Meter1") {
        EXPECT_EQ(src_save_settings(instance, HostProfile().c_str(), section.c_str()), 0);
    }
    std::string HostProfile() const { return folder.File("host.ini"); }
    std::vector<std::string> Section(const std::string& name) {
        return platform::Services().profiles->ReadSection(name, HostProfile());
    }
    InstanceSettings& Settings(int instance) { return config::SettingsOf(instance); }

    TempFolder folder;
};

void ExpectDefaults(const InstanceSettings& s) {
    EXPECT_EQ(s.SiteType, config::kSiteTypeNews);
    EXPECT_EQ(s.SiteName.View(), "");
    EXPECT_EQ(s.SiteIndex, -1);
    EXPECT_EQ(s.StartZeile.View(), "1");
    EXPECT_EQ(s.EndZeile.View(), "1");
    EXPECT_EQ(s.Style, 0);
    EXPECT_EQ(s.KeyNode.View(), "item");
    EXPECT_EQ(s.Template.View(), "<title>%l<link>");
    EXPECT_EQ(s.Refreshrate, 5);
    EXPECT_EQ(s.RS.View(), "");
    EXPECT_EQ(s.FLTHTML, 0);
    EXPECT_EQ(s.FLTWrap, 0);
    EXPECT_EQ(s.FLTHTMLCode, 0);
}

TEST_F(InstanceSettingsTest, MissingFileOrEmptySectionGivesTheDefaults) {
    config::IsDLF = 1;
    Load(1);
    ExpectDefaults(Settings(1));
    EXPECT_EQ(config::IsDLF, 0);

    folder.Write("host.ini", "[Meter1]\r\n[DLF]\r\nIsDLF=1\r\n");
    Load(2);
    ExpectDefaults(Settings(2));
    EXPECT_EQ(config::IsDLF, 1);
}

TEST_F(InstanceSettingsTest, LoadOverwritesEveryField) {
    Settings(1).RS = "stale";
    Settings(1).FLTWrap = 1;
    Settings(1).SiteIndex = 2;
    Load(1);
    ExpectDefaults(Settings(1));
}

TEST_F(InstanceSettingsTest, NumbersAreReadWithTheNumberConversion) {
    struct Case {
        const char* key;
        const char* value;
        int expected;
    };
    const Case cases[] = {
        {"Refreshrate", "2.5", 2},   {"Refreshrate", "3.5", 4},    {"Refreshrate", "abc", 0},
        {"Refreshrate", "-7", -7},   {"SiteType", "&H3EB", 1003},  {"SiteType", "70000", 4464},
        {"Style", "1011 List", 1011}, {"FLTHTML", "1", 1},          {"FLTWrap", "&B1", 1},
        {"FLTHTMLCode", "1E0", 1},   {"FLTHTMLCode", "70000", 70000},
    };
    for (const Case& c : cases) {
        folder.Write("host.ini", std::string("[Meter1]\n") + c.key + "=" + c.value + "\n");
        Load(1);
        const InstanceSettings& s = Settings(1);
        const std::string key = c.key;
        const int actual = key == "Refreshrate" ? s.Refreshrate
                           : key == "SiteType"  ? s.SiteType
                           : key == "Style"     ? s.Style
                           : key == "FLTHTML"   ? s.FLTHTML
                           : key == "FLTWrap"   ? s.FLTWrap
                                                : s.FLTHTMLCode;
        EXPECT_EQ(actual, c.expected) << c.key << "=" << c.value;
    }
}

TEST_F(InstanceSettingsTest, TextsAreTrimmedAndCutToTheirFields) {
    folder.Write("host.ini", "[Meter1]\n"
                             "StartZeile='  7  '\n"
                             "EndZeile=\"  9\"\n"
                             "KeyNode=" + std::string(150, 'k') + "\n"
                             "Template=" + std::string(300, 't') + "\n"
                             "RS=" + std::string(200, 'r') + "\n"
                             "SiteName=" + std::string(120, 's') + "\n");
    Load(1);
    const InstanceSettings& s = Settings(1);
    EXPECT_EQ(s.StartZeile.View(), "7");
    EXPECT_EQ(s.EndZeile.View(), "9");
    EXPECT_EQ(s.KeyNode.View(), std::string(99, 'k'));
    EXPECT_EQ(s.Template.View(), std::string(199, 't'));
    EXPECT_EQ(s.RS.View(), std::string(127, 'r'));
    EXPECT_EQ(s.SiteName.View(), std::string(99, 's'));
}

TEST_F(InstanceSettingsTest, SiteNameResolvesTheSiteAndSetsItsInterval) {
    folder.Write("host.ini", "[Meter1]\nSiteName=B\nRefreshrate=10\n"
                             "[Meter2]\nSiteName=b\nRefreshrate=15\n"
                             "[Meter3]\nSiteName=gone\nRefreshrate=30\n");
    Load(1, "Meter1");
    EXPECT_EQ(Settings(1).SiteIndex, 2);
    EXPECT_EQ(config::SiteTable()[2].RefreshMinutes, 10);
    Load(2, "Meter2");  // the last loaded instance on a site sets its interval
    EXPECT_EQ(config::SiteTable()[2].RefreshMinutes, 15);

    Load(1, "Meter3");
    EXPECT_EQ(Settings(1).SiteIndex, -1);
    EXPECT_EQ(Settings(1).SiteName.View(), "gone");
    EXPECT_EQ(config::SiteTable()[1].RefreshMinutes, 0);
    EXPECT_EQ(config::SiteTable()[2].RefreshMinutes, 15);
}

TEST_F(InstanceSettingsTest, SaveWritesEveryKeyInOrderAndLoadsBack) {
    folder.Write("host.ini", "[Meter1]\nSiteName=a\n");
    Load(1);
    InstanceSettings& s = Settings(1);
    s.SiteType = config::kSiteTypeFreestyle;
    s.StartZeile = "2";
    s.EndZeile = "4";
    s.Style = config::kStyleList;
    s.KeyNode = "entry";
    s.Template = "<title> - <description>";
    s.Refreshrate = -3;
    s.RS = "Anzeige:";
    s.FLTHTML = 1;
    s.FLTWrap = 0;
    s.FLTHTMLCode = 1;
    config::IsDLF = 1;
    Save(1, "Saved");

    const std::vector<std::string> expected = {
        "SiteType=1004", "SiteName=a",   "StartZeile=2",  "EndZeile=4",
        "Style=1012",    "KeyNode=entry", "Template=<title> - <description>", "Refreshrate=-3",
        "RS=Anzeige:",   "FLTHtml=1",     "FLTWrap=0",     "FLTHTMLCode=1"};
    EXPECT_EQ(Section("Saved"), expected);
    EXPECT_EQ(Section("DLF"), (std::vector<std::string>{"a=1", "IsDLF=1"}));

    const InstanceSettings saved = s;
    config::IsDLF = 0;
    Load(2, "Saved");
    const InstanceSettings& back = Settings(2);
    EXPECT_EQ(back.SiteType, saved.SiteType);
    EXPECT_EQ(back.SiteName.View(), saved.SiteName.View());
    EXPECT_EQ(back.SiteIndex, 1);
    EXPECT_EQ(back.StartZeile.View(), saved.StartZeile.View());
    EXPECT_EQ(back.EndZeile.View(), saved.EndZeile.View());
    EXPECT_EQ(back.Style, saved.Style);
    EXPECT_EQ(back.KeyNode.View(), saved.KeyNode.View());
    EXPECT_EQ(back.Template.View(), saved.Template.View());
    EXPECT_EQ(back.Refreshrate, saved.Refreshrate);
    EXPECT_EQ(back.RS.View(), saved.RS.View());
    EXPECT_EQ(back.FLTHTML, 1) << "read as FLTHTML from the key saved as FLTHtml";
    EXPECT_EQ(back.FLTWrap, 0);
    EXPECT_EQ(back.FLTHTMLCode, 1);
    EXPECT_EQ(config::IsDLF, 1);
}

// A site name fills its field with 100 characters, an instance holds 99: the name
// the instance saves must find the same site at the next load, even where the
// first 99 characters alone name another site.
TEST_F(InstanceSettingsTest, SavedNameOfAHundredCharacterSiteLoadsBackToThatSite) {
    const std::string stem(98, 'n');
    folder.Write("plugins/Vardel/Vardel2.ini", "[Sites]\n" + stem + "x=http://short.example/\n" +  // 99
                                                   stem + "xY=http://long.example/\n");         // 100
    folder.Write("host.ini", "[Meter1]\nSiteName=" + std::string(98, 'N') + "Xy\n");
    Load(1);
    ASSERT_EQ(Settings(1).SiteIndex, 2);
    Save(1, "Saved");
    EXPECT_EQ(Section("Saved")[1], "SiteName=" + std::string(98, 'N') + "XY")
        << "the 99 characters held, then the rest of the site's name";
    Load(2, "Saved");
    EXPECT_EQ(Settings(2).SiteIndex, 2);
}

// Profiles saved with the name cut to 99 characters find the site it was cut from
// (the first of several), unless a site has exactly that name.
TEST_F(InstanceSettingsTest, NameSavedCutFindsTheSiteItWasCutFrom) {
    const std::string stem(98, 'n');
    folder.Write("plugins/Vardel/Vardel2.ini", "[Sites]\n" + stem + "xY=http://long.example/\n" +
                                                   stem + "xZzz=http://longer.example/\n");
    folder.Write("host.ini", "[Cut]\nSiteName=" + stem + "X\n"
                             "[Other]\nSiteName=" + stem + "q\n"
                             "[Short]\nSiteName=" + stem + "\n");
    Load(1, "Cut");
    EXPECT_EQ(Settings(1).SiteIndex, 1);
    Load(1, "Other");
    EXPECT_EQ(Settings(1).SiteIndex, -1);
    Load(1, "Short");
    EXPECT_EQ(Settings(1).SiteIndex, -1) << "98 characters are no cut name";
}

TEST_F(InstanceSettingsTest, SaveReplacesTheKeysOfAnEarlierSave) {
    folder.Write("host.ini", "; written by the host\r\n[Meter1]\r\nSiteName=a\r\nStartZeile= 3 \r\nRefreshrate=5\r\n"
                             "FLTHTML=1\r\nOwnKey=kept\r\n");
    Load(1);
    Settings(1).Refreshrate = 20;
    Save(1);
    EXPECT_EQ(platform::Services().profiles->ReadString("Meter1", "Refreshrate", "", 1000, HostProfile()), "20");
    EXPECT_EQ(platform::Services().profiles->ReadString("Meter1", "OwnKey", "", 1000, HostProfile()), "kept");
    const std::vector<std::string> lines = Section("Meter1");
    EXPECT_EQ(lines.size(), 13u) << "each key once, the host's own key kept";
    Load(2);
    EXPECT_EQ(Settings(2).StartZeile.View(), "3");
    EXPECT_EQ(Settings(2).FLTHTML, 1);
}

TEST_F(InstanceSettingsTest, DlfSectionNamesEachUsedSiteOnceInSiteOrder) {
    folder.Write("host.ini", "[DLF]\r\nstale=1\r\nIsDLF=1\r\n"
                             "[M1]\r\nSiteName=b\r\n[M2]\r\nSiteName=a\r\n[M3]\r\nSiteName=B\r\n[M4]\r\nSiteName=nowhere\r\n");
    Load(1, "M1");
    Load(2, "M2");
    const int third = StartInstance();
    const int fourth = StartInstance();
    Load(third, "M3");
    Load(fourth, "M4");
    config::IsDLF = 0;
    Save(1, "M1");
    // Site 1 before site 2; of the two instances on site 2 the later one's name.
    EXPECT_EQ(Section("DLF"), (std::vector<std::string>{"a=1", "B=1", "IsDLF=0"}));

    // Names are noted without their blanks.
    Settings(2).SiteName = "  a  ";
    dllshutdown(third);
    Save(2, "M2");
    EXPECT_EQ(Section("DLF"), (std::vector<std::string>{"a=1", "b=1", "IsDLF=0"}));
}

TEST_F(InstanceSettingsTest, IsDLFComesFromTheFileLoadedLast) {
    folder.Write("host.ini", "[DLF]\nIsDLF=1\n");
    folder.Write("other.ini", "[dlf]\nisdlf=0\n");
    Load(1);
    EXPECT_EQ(config::IsDLF, 1);
    const std::string other = folder.File("other.ini");
    src_load_settings(2, other.c_str(), "Meter1");
    EXPECT_EQ(config::IsDLF, 0);
}

TEST_F(InstanceSettingsTest, NumbersNeverHandedOutAreIgnored) {
    folder.Write("host.ini", "[Meter1]\nSiteName=a\n");
    for (int bad : {0, -1, 3, 100000}) {
        EXPECT_EQ(src_load_settings(bad, HostProfile().c_str(), "Meter1"), 0);
        EXPECT_EQ(src_save_settings(bad, HostProfile().c_str(), "Other"), 0);
    }
    EXPECT_TRUE(Section("Other").empty());
}

}  // namespace
}  // namespace vardel::testing

// The site table and the site list file below the host's folder, with the
// platform's own profile files.
#include <gtest/gtest.h>

#include <string>

#include "config/site_table.h"
#include "files/plugin_files.h"
#include "platform/services.h"
#include "plugin/instances.h"
#include "support/fakes.h"
#include "timeutil/timestamp.h"
#include "vardel/vardel2.h"

namespace vardel::testing {
namespace {

using config::FindSite;
using config::SiteTable;

const std::string kSiteList = "plugins/Vardel/Vardel2.ini";

class SiteTableTest : public PluginTest {
protected:
    SiteTableTest() {
        host.folder = folder.Path();
        StartInstance();
    }

    void WriteSiteList(const std::string& content) { folder.Write(kSiteList, content); }
    std::string Stamp(const std::string& site) {
        return platform::Services().profiles->ReadString("LastDL", site, "", 256, files::SiteListPath());
    }

    TempFolder folder;
};

TEST_F(SiteTableTest, PathIsTheHostFolderFollowedDirectly) {
    files::SetHostFolder("C:\\Meter\\");
    EXPECT_EQ(files::SiteListPath(), "C:\\Meter\\plugins\\Vardel\\Vardel2.ini");
    files::SetHostFolder("C:\\Meter");
    EXPECT_EQ(files::SiteListPath(), "C:\\Meterplugins\\Vardel\\Vardel2.ini");
    files::SetHostFolder("");
    EXPECT_EQ(files::SiteListPath(), "plugins\\Vardel\\Vardel2.ini");
}

TEST_F(SiteTableTest, LinesBecomeSitesInFileOrder) {
    const std::string longName(120, 'N');
    const std::string longAddress = "http://example.com/" + std::string(300, 'p');
    WriteSiteList("; my sites\r\n[Sites]\r\na=x\r\nb=y\r\n=z\r\nn=b=c\r\n" + longName + "=" + longAddress +
                  "\r\nlineonly\r\nK\x84se=k\r\n\r\n[LastDL]\r\n");
    config::LoadSites();

    ASSERT_EQ(config::LastSiteNumber(), 7);
    const auto& t = SiteTable();
    EXPECT_EQ(t[0].Name.View(), "") << "element 0 stays all zero";
    EXPECT_EQ(t[1].Name.View(), "a" + std::string(99, ' '));
    EXPECT_EQ(t[1].Address.View(), "x");
    EXPECT_EQ(t[2].Address.View(), "y");
    EXPECT_EQ(t[3].Name.View(), std::string(100, ' '));
    EXPECT_EQ(t[3].Address.View(), "z");
    EXPECT_EQ(t[4].Address.View(), "b=c");
    EXPECT_EQ(t[5].Name.View(), longName.substr(0, 100));
    EXPECT_EQ(t[5].Address.View(), longAddress.substr(0, 255));
    EXPECT_EQ(t[6].Name.View().substr(0, 8), "lineonly");
    EXPECT_EQ(t[6].Address.View(), "");
    for (int n = 1; n <= 7; ++n) {
        EXPECT_EQ(t[n].LastDownload, 0.0);
        EXPECT_EQ(t[n].RefreshMinutes, 0);
        EXPECT_EQ(t[n].FeedDocument, nullptr);
    }

    struct Lookup {
        std::string name;
        int site;
    };
    for (const Lookup& l : {Lookup{"  A  ", 1}, Lookup{"B", 2}, Lookup{"c", -1}, Lookup{"", 3}, Lookup{"N=B=C", -1},
                            Lookup{"n", 4}, Lookup{longName, -1}, Lookup{longName.substr(0, 100), 5},
                            Lookup{"LINEONLY", 6}, Lookup{"k\x8Ese", 7}, Lookup{"K\xE4se", -1}}) {
        EXPECT_EQ(FindSite(l.name), l.site) << l.name;
    }
}

TEST_F(SiteTableTest, FirstOfTwoEqualNamesIsFound) {
    WriteSiteList("[Sites]\na=first\n A =second\n");
    config::LoadSites();
    EXPECT_EQ(config::LastSiteNumber(), 2);
    EXPECT_EQ(FindSite("a"), 1);
}

// The section was once read into 20000 bytes, and the sites beyond were lost.
TEST_F(SiteTableTest, LongListKeepsEverySite) {
    std::string list = "[Sites]\r\n";
    for (int i = 1; i <= 2000; ++i)
        list += "Site " + std::to_string(i) + "=http://news.example.com/feeds/" + std::to_string(i) + "/rss.xml\r\n";
    list += "[lastDL]\r\nSite 2000= 46000.25\r\n";
    WriteSiteList(list);
    config::LoadSites();
    ASSERT_EQ(config::LastSiteNumber(), 2000);
    EXPECT_EQ(FindSite("site 2000"), 2000);
    EXPECT_EQ(SiteTable()[2000].Address.View(), "http://news.example.com/feeds/2000/rss.xml");
    EXPECT_EQ(SiteTable()[2000].LastDownload, 46000.25);
}

// The path was once formed in 256 bytes: a long host folder read another file.
TEST_F(SiteTableTest, LongHostFolderIsNotCut) {
#ifdef _WIN32
    GTEST_SKIP() << "the private-profile functions of Windows take paths of at most 260 characters";
#else
    std::string deep;
    for (int i = 0; i < 6; ++i) deep += std::string(45, 'd') + std::to_string(i) + "/";
    host.folder = folder.Path() + deep;
    StartInstance();
    ASSERT_GT(files::SiteListPath().size(), 300u);
    folder.Write(deep + kSiteList, "[Sites]\na=x\n");
    config::LoadSites();
    EXPECT_EQ(FindSite("a"), 1);
    clock.now = {2025, 12, 2, 9, 12, 0, 0, 0};
    config::StampSiteDownload(1);
    EXPECT_NE(folder.Read(deep + kSiteList).find("[lastDL]"), std::string::npos);
#endif
}

TEST_F(SiteTableTest, StampsAreReadByTrimmedNameWithoutRegardToCase) {
    WriteSiteList("[Sites]\na=x\n  Padded  =y\nnostamp=z\nbad=w\n[lastdl]\nA= 46000.5\nPADDED=-1.25\nbad=abc\n");
    config::LoadSites();
    const auto& t = SiteTable();
    EXPECT_EQ(t[1].LastDownload, 46000.5);
    EXPECT_EQ(t[2].LastDownload, -1.25);
    EXPECT_EQ(t[3].LastDownload, 0.0);
    EXPECT_EQ(t[4].LastDownload, 0.0);
}

TEST_F(SiteTableTest, StampIsNowPlusTheHoldOffWithALeadingBlank) {
    WriteSiteList("[Sites]\r\na=x\r\n Heise =y\r\n");
    config::LoadSites();
    clock.now = {2025, 12, 2, 9, 12, 0, 0, 0};  // day serial 46000.5
    config::StampSiteDownload(2);

    const double expected = 46000.5 + timeutil::kDownloadHoldOff;
    EXPECT_EQ(SiteTable()[2].LastDownload, expected);
    EXPECT_EQ(SiteTable()[1].LastDownload, 0.0);
    EXPECT_EQ(Stamp("Heise"), "46000.5034722222");
    EXPECT_EQ(Stamp("a"), "");
    const std::string raw = folder.Read(kSiteList);
    EXPECT_NE(raw.find("[lastDL]"), std::string::npos) << raw;

    // A later start reads the stamp back.
    config::ReleaseSites();
    config::LoadSites();
    EXPECT_NEAR(SiteTable()[2].LastDownload, expected, 1e-9);
}

TEST_F(SiteTableTest, StampOfANumberThatNamesNoSiteWritesNothing) {
    WriteSiteList("[Sites]\na=x\n");
    config::LoadSites();
    const std::string before = folder.Read(kSiteList);
    for (int site : {0, -1, 2, 40000}) config::StampSiteDownload(site);
    EXPECT_EQ(folder.Read(kSiteList), before);
}

TEST_F(SiteTableTest, EmptyListLeavesTheTableEmptyAndTheNextNeedLoadsAgain) {
    const std::string file = folder.File("host.ini");
    src_load_settings(1, file.c_str(), "Meter1");  // no site list file
    EXPECT_TRUE(SiteTable().empty());
    EXPECT_EQ(FindSite(""), -1);
    EXPECT_EQ(config::SettingsOf(1).SiteIndex, -1);

    WriteSiteList("[Sites]\n; nothing yet\n[LastDL]\na=1\n");
    src_load_settings(1, file.c_str(), "Meter1");
    EXPECT_TRUE(SiteTable().empty());

    WriteSiteList("[Sites]\na=x\n");
    folder.Write("host.ini", "[Meter1]\nSiteName=A\n");
    src_load_settings(1, file.c_str(), "Meter1");
    EXPECT_EQ(config::LastSiteNumber(), 1);
    EXPECT_EQ(config::SettingsOf(1).SiteIndex, 1);
}

TEST_F(SiteTableTest, LoadedTableIsNotReloadedForTheNextInstance) {
    WriteSiteList("[Sites]\na=x\n");
    folder.Write("host.ini", "[Meter1]\nSiteName=a\n[Meter2]\nSiteName=b\n");
    const std::string file = folder.File("host.ini");
    src_load_settings(1, file.c_str(), "Meter1");
    WriteSiteList("[Sites]\na=x\nb=y\n");
    const int second = StartInstance();
    src_load_settings(second, file.c_str(), "Meter2");
    EXPECT_EQ(config::LastSiteNumber(), 1);
    EXPECT_EQ(config::SettingsOf(second).SiteIndex, -1);
}

TEST_F(SiteTableTest, ReleaseEmptiesTheTable) {
    WriteSiteList("[Sites]\na=x\n");
    config::LoadSites();
    ASSERT_FALSE(SiteTable().empty());
    config::ReleaseSites();
    EXPECT_TRUE(SiteTable().empty());
    EXPECT_EQ(config::LastSiteNumber(), 0);
    EXPECT_EQ(FindSite("a"), -1);
}

}  // namespace
}  // namespace vardel::testing

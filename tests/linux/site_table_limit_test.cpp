// Site numbers are 16-bit wherever they travel (SiteIndex, FindSite): a list
// longer than the largest number keeps the sites that can be referred to, and a
// later site never aliases an earlier number. (Linux only: the Windows profile
// functions would take minutes over a list of this length.)
#include <gtest/gtest.h>

#include <string>

#include "config/site_table.h"
#include "support/fakes.h"

namespace vardel::testing {
namespace {

using SiteTableLimitTest = PluginTest;

TEST_F(SiteTableLimitTest, SitesBeyondTheLargestSiteNumberAreLeftOut) {
    TempFolder folder;
    host.folder = folder.Path();
    StartInstance();
    std::string list = "[Sites]\n";
    for (int i = 1; i <= 32767 + 2; ++i) list += "s" + std::to_string(i) + "=u\n";
    folder.Write("plugins/Vardel/Vardel2.ini", list);

    config::LoadSites();
    EXPECT_EQ(config::LastSiteNumber(), 32767);
    EXPECT_EQ(config::FindSite("s32767"), 32767);
    EXPECT_EQ(config::FindSite("s32768"), -1);
    EXPECT_EQ(config::FindSite("s32769"), -1);
}

}  // namespace
}  // namespace vardel::testing

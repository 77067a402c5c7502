// The plug-in's entry points and instance lifecycle, through the exports.
#include <gtest/gtest.h>

#include <cstring>

#include "files/plugin_files.h"
#include "plugin/instances.h"
#include "plugin/library_unload.h"
#include "support/fakes.h"
#include "vardel/vardel2.h"

namespace vardel::testing {
namespace {

using LifecycleTest = PluginTest;

TEST_F(LifecycleTest, FixedAnswers) {
    EXPECT_EQ(dlltype(), 1);
    ASSERT_NE(init(), nullptr);
    EXPECT_STREQ(init(), "GetNews");
    EXPECT_EQ(init(), init()) << "the name must be static storage";
    EXPECT_EQ(getparam(12345), 0);
    EXPECT_EQ(configure(), 0);
}

TEST_F(LifecycleTest, InstanceNumbersCountUpAndAreNeverReused) {
    host.folder = "C:\\Host\\";
    EXPECT_EQ(StartInstance(), 1);
    EXPECT_EQ(StartInstance(), 2);
    EXPECT_EQ(dllshutdown(1), 0);
    EXPECT_EQ(StartInstance(), 3);
    EXPECT_EQ(host.folderQueries, 3);
    EXPECT_EQ(files::HostFolder(), "C:\\Host\\");
    EXPECT_EQ(plugin::Globals().HostWindow, host.Handle());
}

// Past the last number the tables hold, dllstartup answers 0, which names no
// instance: the last real instance keeps its records, whatever is done with 0.
TEST_F(LifecycleTest, NoNumberIsHandedOutTwicePastTheLastOne) {
    StartInstance();
    plugin::Globals().InstanceCount = plugin::kMaxInstanceNumber - 1;  // as after that many startups
    const std::int32_t last = StartInstance();
    ASSERT_EQ(last, plugin::kMaxInstanceNumber);
    config::SettingsOf(last).Template = "<title>";
    plugin::StateOf(last).Text = "last meter";

    host.folder = "C:\\Other\\";
    for (int i = 0; i < 3; ++i) EXPECT_EQ(StartInstance(), 0);
    EXPECT_EQ(files::HostFolder(), "C:\\Other\\") << "the folder query still runs";
    EXPECT_EQ(dllshutdown(0), 0);
    EXPECT_STREQ(GetNews(0), "");
    EXPECT_STREQ(GetNews(last), "last meter");
    EXPECT_EQ(config::SettingsOf(last).Template.View(), "<title>");
    EXPECT_EQ(plugin::Globals().InstanceCount, plugin::kMaxInstanceNumber);
    EXPECT_EQ(plugin::Globals().States.size(), static_cast<std::size_t>(plugin::kMaxInstanceNumber) + 1);
}

TEST_F(LifecycleTest, NewInstanceStartsZeroFilled) {
    const int n = StartInstance();
    const auto& state = plugin::StateOf(n);
    EXPECT_EQ(state.HoldUntil, 0u);
    EXPECT_TRUE(state.Text.Empty());
    const auto& settings = config::SettingsOf(n);
    EXPECT_EQ(settings.SiteType, 0);
    EXPECT_EQ(settings.SiteIndex, 0);
    EXPECT_TRUE(settings.Template.Empty());
}

TEST_F(LifecycleTest, FolderAnswerOfZeroGivesEmptyFolder) {
    host.folder = "C:\\Host\\";
    StartInstance();
    host.answerFolder = false;
    StartInstance();
    EXPECT_EQ(files::HostFolder(), "");
}

TEST_F(LifecycleTest, ShutdownZeroFillsBothRecordsAndKeepsTheCounter) {
    const int n = StartInstance();
    config::SettingsOf(n).SiteType = 1004;
    config::SettingsOf(n).Template = "<title>";
    plugin::StateOf(n).HoldUntil = 99;
    plugin::StateOf(n).Text = "old news";
    EXPECT_EQ(dllshutdown(n), 0);
    EXPECT_EQ(config::SettingsOf(n).SiteType, 0);
    EXPECT_TRUE(config::SettingsOf(n).Template.Empty());
    EXPECT_EQ(plugin::StateOf(n).HoldUntil, 0u);
    EXPECT_TRUE(plugin::StateOf(n).Text.Empty());
    EXPECT_EQ(plugin::Globals().InstanceCount, 1);
}

TEST_F(LifecycleTest, PastemeterGrowsOnlyTheSettingsTable) {
    StartInstance();
    StartInstance();
    config::SettingsOf(1).SiteType = 1004;
    config::SettingsOf(1).SiteIndex = 7;
    config::SettingsOf(1).KeyNode = "entry;id;";
    EXPECT_EQ(pastemeter(1, 5), 0);
    ASSERT_GE(config::SettingsTable().size(), 6u);
    EXPECT_EQ(plugin::Globals().States.size(), 3u);
    EXPECT_EQ(config::SettingsOf(5).SiteType, 1004);
    EXPECT_EQ(config::SettingsOf(5).SiteIndex, 7);
    EXPECT_EQ(config::SettingsOf(5).KeyNode.View(), "entry;id;");
    // Number 5 becomes a real instance only when dllstartup hands it out.
    EXPECT_STREQ(GetNews(5), "");
}

TEST_F(LifecycleTest, PastemeterKeepsTheDestinationText) {
    StartInstance();
    StartInstance();
    plugin::StateOf(2).Text = "shown before";
    pastemeter(1, 2);
    EXPECT_STREQ(GetNews(2), "shown before");
}

// Numbers that dllstartup never handed out touch nothing.
TEST_F(LifecycleTest, UnknownInstanceNumbersAreIgnored) {
    StartInstance();
    for (int32_t bad : {0, -1, 2, 1000000, INT32_MIN, INT32_MAX}) {
        SCOPED_TRACE(bad);
        const char* text = GetNews(bad);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, "");
        EXPECT_EQ(dllshutdown(bad), 0);
        EXPECT_EQ(src_load_settings(bad, "x.ini", "S"), 0);
        EXPECT_EQ(src_save_settings(bad, "x.ini", "S"), 0);
        EXPECT_EQ(source_configure(bad, "GetNews"), 0);
        EXPECT_EQ(pastemeter(bad, 1), 0);
    }
    EXPECT_EQ(config::SettingsTable().size(), 2u);
}

TEST_F(LifecycleTest, PastemeterIgnoresAHugeDestination) {
    StartInstance();
    EXPECT_EQ(pastemeter(1, INT32_MAX), 0);
    EXPECT_EQ(pastemeter(1, plugin::kMaxInstanceNumber + 1), 0);
    EXPECT_EQ(config::SettingsTable().size(), 2u);
    EXPECT_EQ(pastemeter(1, plugin::kMaxInstanceNumber), 0);
    EXPECT_EQ(config::SettingsTable().size(), static_cast<size_t>(plugin::kMaxInstanceNumber) + 1);
}

TEST_F(LifecycleTest, SourceConfigureAnswersZeroForAnyName) {
    const int n = StartInstance();
    for (const char* name : {"GetNews", "getnews", "GetNewsX", "", "Get"})
        EXPECT_EQ(source_configure(n, name), 0) << name;
    EXPECT_EQ(source_configure(n, nullptr), 0);
}

TEST_F(LifecycleTest, UnloadReleasesEverythingAndNumberingRestarts) {
    host.folder = "C:\\Host\\";
    StartInstance();
    StartInstance();
    plugin::ReleaseAll();
    EXPECT_EQ(plugin::Globals().InstanceCount, 0);
    EXPECT_EQ(plugin::Globals().HostWindow, nullptr);
    EXPECT_EQ(files::HostFolder(), "");
    EXPECT_TRUE(config::SettingsTable().empty());
    EXPECT_EQ(StartInstance(), 1);
}

}  // namespace
}  // namespace vardel::testing

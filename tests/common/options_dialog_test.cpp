// The plug-in options dialog through configure, with a fake dialog service
// acting as the user.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "config/instance_settings.h"
#include "config/options_dialog.h"
#include "support/fakes.h"
#include "vardel/vardel2.h"

namespace vardel::testing {
namespace {

using namespace config::plugin_options;

struct OptionsCase {
    const char* name;
    std::int32_t before;
    std::function<void(FakeDialogView&)> act;
    bool shownChecked;
    std::int32_t after;
};

void PrintTo(const OptionsCase& c, std::ostream* os) { *os << c.name; }

class PluginOptions : public PluginTest, public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(PluginOptions, OkStoresTheBoxAndCloseKeepsTheFlag) {
    const OptionsCase& c = GetParam();
    host.folder = "C:\\Host\\";
    StartInstance();
    config::IsDLF = c.before;
    dialogs.user = [&](FakeDialogView& v) {
        EXPECT_EQ(v[kSaveOnDisk].checked, c.shownChecked);
        // Enter and Esc leave the dialog open.
        v.PressEnter();
        v.PressEscape();
        v.Command(kOk, 5);
        EXPECT_FALSE(v.Ended());
        c.act(v);
        EXPECT_TRUE(v.Ended());
        EXPECT_EQ(v.Result(), 0);
    };
    EXPECT_EQ(configure(), 0);
    EXPECT_EQ(dialogs.opened, 1);
    EXPECT_EQ(dialogs.lastCaption, "Tarn Config Settings");
    EXPECT_EQ(dialogs.lastOwner, host.Handle());
    EXPECT_EQ(config::IsDLF, c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Options, PluginOptions,
    ::testing::Values(
        OptionsCase{"UncheckedAndOk", 1, [](FakeDialogView& v) { v.Click(kSaveOnDisk); v.Click(kOk); }, true, 0},
        OptionsCase{"CheckedAndOk", 0, [](FakeDialogView& v) { v.Click(kSaveOnDisk); v.Click(kOk); }, false, 1},
        OptionsCase{"OkWithoutTouchingKeepsWhatShowed", 1, [](FakeDialogView& v) { v.Click(kOk); }, true, 1},
        OptionsCase{"OkWithCodeOne", 0, [](FakeDialogView& v) { v.Command(kOk, 1); }, false, 0},
        // A flag of another value shows checked, and "OK" stores what showed.
        OptionsCase{"OtherValueShowsChecked", 2, [](FakeDialogView& v) { v.Click(kOk); }, true, 1},
        OptionsCase{"CloseKeepsTheOldValue", 1, [](FakeDialogView& v) { v.Click(kSaveOnDisk); v.Close(); }, true, 1},
        OptionsCase{"CloseKeepsAnOtherValue", 2, [](FakeDialogView& v) { v.Close(); }, true, 2}),
    [](const auto& info) { return std::string(info.param.name); });

using PluginOptionsTest = PluginTest;

TEST_F(PluginOptionsTest, WritesNoFile) {
    TempFolder folder;
    host.folder = folder.Path();
    StartInstance();
    config::IsDLF = 0;
    dialogs.user = [](FakeDialogView& v) { v.Click(kSaveOnDisk); v.Click(kOk); };
    configure();
    EXPECT_EQ(config::IsDLF, 1);
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

TEST_F(PluginOptionsTest, WithoutADialogTheFlagStays) {
    dialogs.available = false;
    config::IsDLF = 1;
    EXPECT_EQ(configure(), 0);
    EXPECT_EQ(config::IsDLF, 1);
}

}  // namespace
}  // namespace vardel::testing

// The Linux layer's terminal dialogs where there is nothing to show them on: a
// missing module, and a process without a controlling terminal. (The forms
// themselves are driven through a pseudo-terminal by terminal-forms-check.)
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "config/instance_settings.h"
#include "config/site_table.h"
#include "platform/linux/terminal_dialogs.h"
#include "plugin/library_unload.h"
#include "support/fakes.h"
#include "vardel/vardel2.h"

namespace vardel::testing {
namespace {

class CountingHandler final : public platform::DialogHandler {
public:
    int calls = 0;
    void OnInitDialog(platform::DialogView&) override { ++calls; }
    void OnCommand(platform::DialogView&, int, int) override { ++calls; }
};

TEST(TerminalDialogs, AMissingModuleShowsNothing) {
    platform::linux_layer::TerminalDialogs dialogs("Vardel2-no-such-module.so");
    CountingHandler handler;
    platform::DialogSpec spec{"Test", 0, 0, 10, 10, 0, 0, "MS Sans Serif", 8, platform::FocusKeeping::OnActivate, {}};
    EXPECT_EQ(dialogs.RunModal(nullptr, spec, handler), platform::kDialogNotShown);
    EXPECT_EQ(handler.calls, 0);
}

// In a process of its own that has left its terminal (a new session has none),
// both exports return at once through the real module, and change nothing.
TEST(TerminalDialogs, WithoutATerminalTheExportsReturnAtOnce) {
    TempFolder folder;
    folder.Write("plugins/Vardel/Vardel2.ini", "[Sites]\na=http://a.example/\n");
    folder.Write("host.ini", "[Meter]\nSiteName=a\nEndZeile=\nRefreshrate=30\n[DLF]\nIsDLF=1\n");
    const std::string profile = folder.File("host.ini");

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setsid();
        alarm(20);  // a dialog that waited for keys would end here
        plugin::ReleaseAll();
        FakeHostLink link;
        FakeHostWindow host;
        host.folder = folder.Path();
        platform::ServiceSet services;
        services.host = &link;
        platform::ScopedServices scoped(services);
        const int n = dllstartup(host.Handle(), 0);
        src_load_settings(n, profile.c_str(), "Meter");
        const auto start = std::chrono::steady_clock::now();
        source_configure(n, "GetNews");
        configure();
        const auto took = std::chrono::steady_clock::now() - start;
        int status = 0;
        if (!config::SettingsOf(n).EndZeile.Empty()) status |= 1;  // the dialog would make it "1"
        if (config::IsDLF != 1) status |= 2;
        if (config::SiteTable()[1].RefreshMinutes != 30) status |= 4;
        if (took > std::chrono::seconds(5)) status |= 8;
        _exit(status);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: record changed, 2: flag changed, 4: site changed, 8: too slow";
}

}  // namespace
}  // namespace vardel::testing

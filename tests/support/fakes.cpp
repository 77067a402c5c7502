#include "plugin/library_unload.h"
#include "support/fakes.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "timeutil/timestamp.h"
#include "vardel/vardel2.h"

namespace vardel::testing {

bool FakeClock::ToVariantTime(const platform::LocalTime& t, double& serial) {
    return platform::DefaultServices().clock->ToVariantTime(t, serial);
}

std::intptr_t FakeHostWindow::Receive(void* handle, std::uint32_t message, std::uintptr_t,
                                      std::intptr_t) {
    FakeHostWindow* host = static_cast<Handle_*>(handle)->owner;
    if (message == VARDEL_MSG_FOLDER_QUERY) {
        ++host->folderQueries;
        return host->answerFolder ? reinterpret_cast<std::intptr_t>(host->folder.c_str()) : 0;
    }
    if (message == VARDEL_MSG_NEWS_CYCLE) ++host->newsCycles;
    return 0;
}

std::intptr_t FakeHostLink::SendToHost(platform::HostWindowHandle window, std::uint32_t message,
                                       std::uintptr_t wparam, std::intptr_t lparam) {
    if (!window) return 0;
    auto* host = static_cast<vardel_host_window*>(window);
    return host->send_message(window, message, wparam, lparam);
}

PluginTest::PluginTest()
    : services_([this] {
          platform::ServiceSet s;
          s.clock = &clock;
          s.messageBox = &messageBox;
          s.host = &hostLink;
          s.dialogs = &dialogs;
          return s;
      }()) {
    plugin::ReleaseAll();
}

PluginTest::~PluginTest() { plugin::ReleaseAll(); }

std::int32_t PluginTest::StartInstance() { return dllstartup(host.Handle(), 0); }

TempFolder::TempFolder() {
    std::random_device rd;
    std::ostringstream name;
    name << "vardel-test-" << std::hex << rd() << rd();
    std::filesystem::path p = std::filesystem::temp_directory_path() / name.str();
    std::filesystem::create_directories(p);
    path_ = p.string();
    path_ += static_cast<char>(std::filesystem::path::preferred_separator);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void TempFolder::Write(const std::string& name, const std::string& content) const {
    std::filesystem::path p(File(name));
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out << content;
}

std::string TempFolder::Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string FixturePath(const std::string& name) {
    return std::string(VARDEL_FIXTURE_DIR) + "/" + name;
}

}  // namespace vardel::testing

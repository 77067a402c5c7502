// Test doubles for the platform services, and a fixture that installs them and
// starts every test with a freshly loaded plug-in.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/services.h"
#include "plugin/instances.h"
#include "support/fake_dialogs.h"
#include "vardel/host_window.h"

namespace vardel::testing {

// A clock whose tick counter and local time the test sets.
class FakeClock final : public platform::Clock {
public:
    std::uint32_t tick = 0;
    platform::LocalTime now{2026, 12, 2, 8, 14, 30, 15, 0};

    std::uint32_t TickCount() override { return tick; }
    platform::LocalTime Now() override { return now; }
    bool ToVariantTime(const platform::LocalTime& t, double& serial) override;
};

// Records every message box instead of showing it.
class FakeMessageBox final : public platform::MessageBoxService {
public:
    struct Shown {
        std::string text, caption;
        platform::MessageIcon icon;
    };
    std::vector<Shown> shown;
    void Show(std::string_view text, std::string_view caption, platform::MessageIcon icon) override {
        shown.push_back({std::string(text), std::string(caption), icon});
    }
};

// A host window as the Linux layer sees one: answers the folder query with its
// folder and counts the news-cycle messages. Works with any HostLink, because the
// fake link below calls it directly.
struct FakeHostWindow {
    std::string folder;
    bool answerFolder = true;
    int folderQueries = 0;
    int newsCycles = 0;

    void* Handle() { return &handle_; }

private:
    // What the plug-in holds as the window handle: the message function first.
    struct Handle_ {
        vardel_host_window window;
        FakeHostWindow* owner;
    };
    static std::intptr_t Receive(void* handle, std::uint32_t message, std::uintptr_t, std::intptr_t);
    Handle_ handle_{{&FakeHostWindow::Receive}, this};
};

// Delivers messages to FakeHostWindow objects on every platform.
class FakeHostLink final : public platform::HostLink {
public:
    std::intptr_t SendToHost(platform::HostWindowHandle window, std::uint32_t message,
                             std::uintptr_t wparam, std::intptr_t lparam) override;
};

// Each test starts with the plug-in as freshly loaded, with the fake clock, host
// link, message box and dialogs installed; profiles and components stay the
// platform's.
class PluginTest : public ::testing::Test {
protected:
    PluginTest();
    ~PluginTest() override;

    // dllstartup through the export, with the fake host window.
    std::int32_t StartInstance();

    FakeClock clock;
    FakeMessageBox messageBox;
    FakeHostLink hostLink;
    FakeHostWindow host;
    FakeDialogService dialogs;

private:
    platform::ScopedServices services_;
};

// A fresh empty folder for the test's files, removed afterwards; Path() ends
// with the platform's separator.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + name; }
    void Write(const std::string& name, const std::string& content) const;
    std::string Read(const std::string& name) const;

private:
    std::string path_;
};

std::string FixturePath(const std::string& name);

}  // namespace vardel::testing

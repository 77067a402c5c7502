// newsmeter's side of the plug-in boundary: the loaded library with its exports,
// and the host window the plug-in talks to (the folder query and the news-cycle
// message). Nothing here knows the plug-in's insides.
#pragma once

#include <cstdint>
#include <string>

#define VARDEL_NO_PROTOTYPES
#include "vardel/vardel2.h"

namespace newsmeter {

class PluginLibrary {
public:
    PluginLibrary() = default;
    ~PluginLibrary() { Unload(); }
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // Loads the library and binds the exports a host needs; the news function is
    // the one whose name init() gives. On failure error says why.
    bool Load(const std::string& path, std::string& error);
    void Unload();
    // Leaves the library loaded for the rest of the process: its own unload work
    // runs when the process ends. The plug-in keeps some global records in
    // objects that are never destroyed; unloading it just before exit would only
    // orphan them (and make leak checkers report them).
    void KeepUntilExit() { module_ = nullptr; }

    vardel_dlltype_fn dlltype = nullptr;
    vardel_init_fn init = nullptr;
    vardel_dllstartup_fn dllstartup = nullptr;
    vardel_dllshutdown_fn dllshutdown = nullptr;
    vardel_settings_fn src_load_settings = nullptr;
    vardel_getnews_fn news = nullptr;
    // The settings exports, for setting meters up; null when the plug-in lacks one.
    vardel_source_configure_fn source_configure = nullptr;
    vardel_configure_fn configure = nullptr;
    vardel_settings_fn src_save_settings = nullptr;

private:
    void* Symbol(const char* name);
    void* module_ = nullptr;
};

// The window the plug-in sends its messages to: on Windows a real message-only
// window, elsewhere a vardel_host_window. It answers the folder query with the
// host folder and counts the news-cycle messages.
class HostWindow {
public:
    explicit HostWindow(std::string folder);
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    bool Create(std::string& error);
    void* Handle() const;
    long NewsCycles() const { return newsCycles_; }

    // The answer to a message of the plug-in (called by the platform's window code).
    std::intptr_t Answer(std::uint32_t message);

private:
    std::string folder_;
    long newsCycles_ = 0;
    void* handle_ = nullptr;
};

}  // namespace newsmeter

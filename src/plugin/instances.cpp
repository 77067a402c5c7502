#include "plugin/instances.h"

#include <cstring>

#include "config/instance_settings.h"
#include "config/site_table.h"
#include "feed/extraction.h"
#include "files/plugin_files.h"
#include "plugin/library_unload.h"
#include "text/code_page.h"
#include "vardel/host_window.h"

namespace vardel::plugin {

PluginGlobals& Globals() {
    // Never destroyed: the library's unload work (ReleaseAll) empties it, and must
    // not race the destructors of static objects.
    static PluginGlobals& globals = *new PluginGlobals;
    return globals;
}

bool IsOpenInstance(std::int32_t number) {
    const PluginGlobals& g = Globals();
    return number >= 1 && number <= g.InstanceCount && config::HasSettingsRecord(number) &&
           static_cast<std::size_t>(number) < g.States.size();
}

InstanceState& StateOf(std::int32_t instance) {
    return Globals().States[static_cast<std::size_t>(instance)];
}

namespace {

// Grows a table so that index number exists; new records are zero-filled.
template <typename Record>
void GrowTo(std::vector<Record>& table, std::int32_t number) {
    if (number < 0) return;
    const auto needed = static_cast<std::size_t>(number) + 1;
    if (table.size() >= needed) return;
    Record zero;
    std::memset(static_cast<void*>(&zero), 0, sizeof zero);
    table.resize(needed, zero);
}

}  // namespace

std::int32_t StartInstance(platform::HostWindowHandle window) {
    PluginGlobals& g = Globals();
    // The host has set its locale by the time it opens its first meter; from then
    // on every text of the plug-in is in that code page, until the unload.
    if (g.InstanceCount == 0) text::UseAnsiCodePage(platform::HostAnsiCodePage());
    // A number is never handed out twice. Once the last number the tables may
    // hold is out, the answer is 0, which names no instance: it shares no record,
    // every call with it does nothing and GetNews gives it an empty text.
    const bool numberLeft = g.InstanceCount < kMaxInstanceNumber;
    if (numberLeft) {
        ++g.InstanceCount;
        GrowTo(config::SettingsTable(), g.InstanceCount);
        GrowTo(g.States, g.InstanceCount);
    }
    g.HostWindow = window;
    const auto answer = platform::Services().host->SendToHost(window, VARDEL_MSG_FOLDER_QUERY, 0, 0);
    const char* folder = reinterpret_cast<const char*>(answer);
    files::SetHostFolder(folder ? folder : "");
    return numberLeft ? g.InstanceCount : 0;
}

void ShutdownInstance(std::int32_t instance) {
    if (!IsOpenInstance(instance)) return;
    std::memset(static_cast<void*>(&config::SettingsOf(instance)), 0, sizeof(config::InstanceSettings));
    std::memset(static_cast<void*>(&StateOf(instance)), 0, sizeof(InstanceState));
}

void PasteSettings(std::int32_t source, std::int32_t destination) {
    // The source must be an open instance; a destination beyond the limit would
    // only exhaust memory, so it is ignored.
    if (!IsOpenInstance(source) || destination < 1 || destination > kMaxInstanceNumber) return;
    GrowTo(config::SettingsTable(), destination);
    config::SettingsOf(destination) = config::SettingsOf(source);
}

void ReleaseAll() {
    feed::CurrentDocument().reset();
    config::ReleaseSites();
    config::ReleaseSettings();
    PluginGlobals& g = Globals();
    g.States.clear();
    g.States.shrink_to_fit();
    g.InstanceCount = 0;
    g.HostWindow = nullptr;
    files::ReleaseHostFolder();
    text::UseAnsiCodePage(text::CodePage::Windows1252());
}

}  // namespace vardel::plugin

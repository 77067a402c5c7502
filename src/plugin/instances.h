// The plug-in's global state: the instance counter, the host's window and folder,
// and the two per-instance tables.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "config/instance_settings.h"
#include "platform/services.h"
#include "text/fixed_text.h"

namespace vardel::plugin {

inline constexpr std::size_t kTextCapacity = 2048;  // 2047 characters and a NUL

struct InstanceState {
    std::uint32_t HoldUntil;
    text::FixedText<kTextCapacity> Text;
};
static_assert(std::is_trivially_copyable_v<InstanceState>);

struct PluginGlobals {
    std::int32_t InstanceCount = 0;
    platform::HostWindowHandle HostWindow = nullptr;
    std::string HostFolder;
    std::vector<config::InstanceSettings> Settings;  // indexed by instance number
    std::vector<InstanceState> States;               // indexed by instance number
};

PluginGlobals& Globals();

// The largest instance number a table is ever grown to; pastemeter ignores a
// destination beyond it instead of exhausting memory.
inline constexpr std::int32_t kMaxInstanceNumber = 1 << 16;

// True when number was handed out by dllstartup (1 to InstanceCount).
bool IsOpenInstance(std::int32_t number);
// True when number has a settings record (pastemeter may create one beyond
// InstanceCount).
bool HasSettingsRecord(std::int32_t number);

config::InstanceSettings& SettingsOf(std::int32_t instance);
InstanceState& StateOf(std::int32_t instance);

// Opens one more instance for the host window (dllstartup).
std::int32_t StartInstance(platform::HostWindowHandle window);
// Zero-fills both records of an open instance (dllshutdown).
void ShutdownInstance(std::int32_t instance);
// Copies the settings of source onto destination (pastemeter).
void PasteSettings(std::int32_t source, std::int32_t destination);

// Everything a library unload releases: the current document, the site table,
// both tables, the counter, the host window and folder.
void ReleaseAll();

}  // namespace vardel::plugin

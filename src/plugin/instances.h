// The plug-in boundary's own records: the instance counter, the host's window,
// and the instance state table. The settings table lives with the settings
// (config/instance_settings.h), the host's folder with the plug-in's file paths
// (files/plugin_files.h); both are indexed and grown together with these.
#pragma once

#include <cstdint>
#include <type_traits>
#include <vector>

#include "feed/extraction.h"
#include "platform/services.h"
#include "text/fixed_text.h"

namespace vardel::plugin {

inline constexpr std::size_t kTextCapacity = feed::kTextLength + 1;  // 2047 characters and a NUL

struct InstanceState {
    std::uint32_t HoldUntil;
    std::uint32_t HoldTakenAt;  // the counter reading HoldUntil was computed from
    text::FixedText<kTextCapacity> Text;
};
static_assert(std::is_trivially_copyable_v<InstanceState>);

struct PluginGlobals {
    std::int32_t InstanceCount = 0;
    platform::HostWindowHandle HostWindow = nullptr;
    std::vector<InstanceState> States;  // indexed by instance number
};

PluginGlobals& Globals();

// The largest instance number a table is ever grown to (about 2.6 KB of records
// per number): dllstartup hands out 1 to this number and then 0, and pastemeter
// ignores a destination beyond it instead of exhausting memory.
inline constexpr std::int32_t kMaxInstanceNumber = 1 << 16;

// True when number was handed out by dllstartup (1 to InstanceCount).
bool IsOpenInstance(std::int32_t number);

InstanceState& StateOf(std::int32_t instance);

// Opens one more instance for the host window (dllstartup); 0 once every number
// up to kMaxInstanceNumber is out.
std::int32_t StartInstance(platform::HostWindowHandle window);
// Zero-fills both records of an open instance (dllshutdown).
void ShutdownInstance(std::int32_t instance);
// Copies the settings of source onto destination (pastemeter).
void PasteSettings(std::int32_t source, std::int32_t destination);

}  // namespace vardel::plugin

// The two dialogs as the host opens them: the news settings of one instance
// (source_configure) and the plug-in options (configure), both owned by the
// host window.
#pragma once

#include <cstdint>

namespace vardel::plugin {

// The news settings dialog for an open instance. When it is closed with "Okay"
// the instance's hold ends, so that the next GetNews builds its text anew.
void ConfigureInstance(std::int32_t instance);

// The plug-in options dialog.
void ConfigurePlugin();

}  // namespace vardel::plugin

// The plug-in options dialog: one check box, "Save RDF/RSS on Disk", for the
// plug-in-wide disk-copy flag IsDLF, and "OK". It writes no file: the flag
// reaches the host profile with the next src_save_settings.
#pragma once

#include "platform/dialogs.h"

namespace vardel::config {

namespace plugin_options {
inline constexpr int kSaveOnDisk = 1029;
inline constexpr int kOk = 1030;
}  // namespace plugin_options

const platform::DialogSpec& PluginOptionsDialog();

// Runs the dialog modally, owned by owner; "OK" stores the check box's state in
// IsDLF, the system close command keeps the old value. Returns 0 in every case
// (also at once when the dialog cannot be shown).
int ShowPluginOptions(platform::HostWindowHandle owner);

}  // namespace vardel::config

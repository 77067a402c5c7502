#include "plugin/settings_dialogs.h"

#include "config/news_settings_dialog.h"
#include "config/options_dialog.h"
#include "plugin/instances.h"

namespace vardel::plugin {

void ConfigureInstance(std::int32_t instance) {
    if (!IsOpenInstance(instance)) return;
    const int result = config::ShowNewsSettings(Globals().HostWindow, instance);
    if (result == config::kNewsSettingsConfirmed && IsOpenInstance(instance)) StateOf(instance).HoldUntil = 0;
}

void ConfigurePlugin() { config::ShowPluginOptions(Globals().HostWindow); }

}  // namespace vardel::plugin

#include "config/options_dialog.h"

#include "config/instance_settings.h"

namespace vardel::config {
namespace {

using namespace plugin_options;
using namespace platform::style;

constexpr platform::ControlSpec kControls[] = {
    {kSaveOnDisk, "BUTTON", "Save RDF/RSS on Disk", 0, 0, 96, 9, kChild | kVisible | kTabStop | kBsAutoCheckBox, 0},
    // Not the default button: Enter does not press it.
    {kOk, "BUTTON", "OK", 58, 10, 38, 12, kChild | kVisible | kTabStop | kBsPushButton, 0},
};

// No system menu, so no close box; no extended style.
constexpr platform::DialogSpec kDialog = {
    "Tarn Config Settings",
    335,
    249,
    98,
    23,
    kPopup | kCaption | kDsModalFrame | kDsSetFont | kDsNoFailCreate | kDs3dLook,
    0,
    "MS Sans Serif",
    8,
    platform::FocusKeeping::OnNcActivate,
    kControls,
};

class PluginOptionsHandler final : public platform::DialogHandler {
public:
    void OnInitDialog(platform::DialogView& view) override { view.SetChecked(kSaveOnDisk, IsDLF != 0); }

    // Only "OK" does something; Enter and Esc (identifiers 1 and 2) leave the
    // dialog open.
    void OnCommand(platform::DialogView& view, int id, int code) override {
        if (id != kOk || (code != 0 && code != 1)) return;
        IsDLF = view.IsChecked(kSaveOnDisk) ? 1 : 0;
        view.End(0);
    }
};

}  // namespace

const platform::DialogSpec& PluginOptionsDialog() { return kDialog; }

int ShowPluginOptions(platform::HostWindowHandle owner) {
    platform::DialogService* dialogs = platform::Services().dialogs;
    if (!dialogs) return 0;
    PluginOptionsHandler handler;
    dialogs->RunModal(owner, kDialog, handler);
    return 0;
}

}  // namespace vardel::config

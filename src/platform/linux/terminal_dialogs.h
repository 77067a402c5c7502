// The Linux layer's dialog service: the dialogs as forms on the controlling
// terminal, shown by a companion module (tty_dialog_abi.h).
#pragma once

#include <string>

#include "platform/dialogs.h"

namespace vardel::platform::linux_layer {

class TerminalDialogs final : public DialogService {
public:
    // moduleName: the file name of the terminal dialog module, looked up as
    // companion_module.h says.
    explicit TerminalDialogs(std::string moduleName);
    // kDialogNotShown when the module is missing or finds no terminal.
    int RunModal(HostWindowHandle owner, const DialogSpec& dialog, DialogHandler& handler) override;

private:
    std::string moduleName_;
};

// The layer's own service, with the module built beside the plug-in.
DialogService& TerminalDialogService();

}  // namespace vardel::platform::linux_layer

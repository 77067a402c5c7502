// The Linux layer's dialogs: forms on the controlling terminal, shown by the
// terminal dialog module (tty_dialog_abi.h), which is opened on first use so
// that a plug-in that never shows a dialog never loads the terminal library.
#include "platform/linux/terminal_dialogs.h"

#include <string>
#include <vector>

#include "platform/linux/companion_module.h"
#include "platform/linux/tty_dialog_abi.h"

namespace vardel::platform::linux_layer {
namespace {

// The module's form as a DialogView.
class ModuleFormView final : public DialogView {
public:
    ModuleFormView(vardel_tty_form* form, const vardel_tty_form_ops* ops) : form_(form), ops_(ops) {}

    std::string Text(int id) override { return Copy(ops_->text(form_, id)); }
    void SetText(int id, std::string_view text) override { ops_->set_text(form_, id, std::string(text).c_str()); }
    bool IsChecked(int id) override { return ops_->is_checked(form_, id) != 0; }
    void SetChecked(int id, bool checked) override { ops_->set_checked(form_, id, checked ? 1 : 0); }
    void CheckRadio(int first, int last, int check) override { ops_->check_radio(form_, first, last, check); }
    void Enable(int id, bool enabled) override { ops_->enable(form_, id, enabled ? 1 : 0); }
    void AddItem(int id, std::string_view text) override { ops_->add_item(form_, id, std::string(text).c_str()); }
    void Select(int id, int index) override { ops_->select_item(form_, id, index); }
    int Selected(int id) override { return ops_->selected_item(form_, id); }
    std::string ItemText(int id, int index) override { return Copy(ops_->item_text(form_, id, index)); }
    // A terminal list always opens with the Down key.
    void UseExtendedKeys(int) override {}
    void End(int result) override { ops_->end(form_, result); }

private:
    static std::string Copy(const char* text) { return text ? std::string(text) : std::string(); }

    vardel_tty_form* form_;
    const vardel_tty_form_ops* ops_;
};

void OnInit(void* context, vardel_tty_form* form, const vardel_tty_form_ops* ops) {
    ModuleFormView view(form, ops);
    static_cast<DialogHandler*>(context)->OnInitDialog(view);
}

void OnCommand(void* context, vardel_tty_form* form, const vardel_tty_form_ops* ops, int32_t id, int32_t code) {
    ModuleFormView view(form, ops);
    static_cast<DialogHandler*>(context)->OnCommand(view, id, code);
}

}  // namespace

TerminalDialogs::TerminalDialogs(std::string moduleName) : moduleName_(std::move(moduleName)) {}

int TerminalDialogs::RunModal(HostWindowHandle /*owner*/, const DialogSpec& dialog, DialogHandler& handler) {
    // A missing module means there are no terminal dialogs, as if there were no
    // terminal.
    void* module = OpenCompanionModule(moduleName_.c_str());
    auto run = reinterpret_cast<vardel_tty_run_dialog_fn>(CompanionSymbol(module, VARDEL_TTY_ENTRY));
    if (!run) return kDialogNotShown;

    std::vector<vardel_tty_control> controls;
    controls.reserve(dialog.controls.size());
    for (const ControlSpec& c : dialog.controls)
        controls.push_back({c.id, c.windowClass, c.caption, c.x, c.y, c.cx, c.cy, c.style, c.exStyle});
    const vardel_tty_dialog table{dialog.caption, dialog.cx, dialog.cy, controls.data(),
                                  static_cast<int32_t>(controls.size())};
    const vardel_tty_handler callbacks{&handler, &OnInit, &OnCommand};
    const int32_t result = run(VARDEL_TTY_ABI_VERSION, &table, &callbacks);
    return result == VARDEL_TTY_NOT_SHOWN ? kDialogNotShown : result;
}

DialogService& TerminalDialogService() {
    static TerminalDialogs service(VARDEL_TTY_MODULE);
    return service;
}

}  // namespace vardel::platform::linux_layer

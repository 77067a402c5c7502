// The Linux layer's dialogs: forms on the controlling terminal, shown by the
// terminal dialog module (tty_dialog_abi.h), which is opened on first use so
// that a plug-in that never shows a dialog never loads the terminal library.
#include "platform/linux/terminal_dialogs.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/companion_module.h"
#include "platform/linux/tty_dialog_abi.h"
#include "text/code_page.h"

namespace vardel::platform::linux_layer {
namespace {

// The texts of one shown dialog: the module speaks UTF-8, the plug-in its own
// code page. A text the module hands back as it was given is the plug-in's text
// as it was, byte for byte (even one that is not well-formed in its code page).
class TextBridge {
public:
    std::string ToModule(int id, std::string_view text) {
        std::string utf8 = text::AnsiCodePage().ToUtf8(text);
        given_[id] = {utf8, std::string(text)};
        return utf8;
    }
    std::string FromModule(int id, const char* utf8) {
        const std::string shown = utf8 ? utf8 : "";
        const auto given = given_.find(id);
        if (given != given_.end() && given->second.first == shown) return given->second.second;
        return text::AnsiCodePage().FromUtf8(shown);
    }

private:
    std::map<int, std::pair<std::string, std::string>> given_;  // id -> (UTF-8, original)
};

// The module's form as a DialogView.
class ModuleFormView final : public DialogView {
public:
    ModuleFormView(vardel_tty_form* form, const vardel_tty_form_ops* ops, TextBridge& texts)
        : form_(form), ops_(ops), texts_(texts) {}

    std::string Text(int id) override { return texts_.FromModule(id, ops_->text(form_, id)); }
    void SetText(int id, std::string_view text) override {
        ops_->set_text(form_, id, texts_.ToModule(id, text).c_str());
    }
    bool IsChecked(int id) override { return ops_->is_checked(form_, id) != 0; }
    void SetChecked(int id, bool checked) override { ops_->set_checked(form_, id, checked ? 1 : 0); }
    void CheckRadio(int first, int last, int check) override { ops_->check_radio(form_, first, last, check); }
    void Enable(int id, bool enabled) override { ops_->enable(form_, id, enabled ? 1 : 0); }
    void AddItem(int id, std::string_view text) override {
        ops_->add_item(form_, id, text::AnsiCodePage().ToUtf8(text).c_str());
    }
    void Select(int id, int index) override { ops_->select_item(form_, id, index); }
    int Selected(int id) override { return ops_->selected_item(form_, id); }
    std::string ItemText(int id, int index) override {
        const char* item = ops_->item_text(form_, id, index);
        return text::AnsiCodePage().FromUtf8(item ? item : "");
    }
    // A terminal list always opens with the Down key.
    void UseExtendedKeys(int) override {}
    void End(int result) override { ops_->end(form_, result); }

private:
    vardel_tty_form* form_;
    const vardel_tty_form_ops* ops_;
    TextBridge& texts_;
};

struct ShownDialog {
    DialogHandler* handler;
    TextBridge texts;
};

void OnInit(void* context, vardel_tty_form* form, const vardel_tty_form_ops* ops) {
    auto* shown = static_cast<ShownDialog*>(context);
    ModuleFormView view(form, ops, shown->texts);
    shown->handler->OnInitDialog(view);
}

void OnCommand(void* context, vardel_tty_form* form, const vardel_tty_form_ops* ops, int32_t id, int32_t code) {
    auto* shown = static_cast<ShownDialog*>(context);
    ModuleFormView view(form, ops, shown->texts);
    shown->handler->OnCommand(view, id, code);
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
    ShownDialog shown{&handler, {}};
    const vardel_tty_handler callbacks{&shown, &OnInit, &OnCommand};
    const int32_t result = run(VARDEL_TTY_ABI_VERSION, &table, &callbacks);
    return result == VARDEL_TTY_NOT_SHOWN ? kDialogNotShown : result;
}

DialogService& TerminalDialogService() {
    static TerminalDialogs service(VARDEL_TTY_MODULE);
    return service;
}

}  // namespace vardel::platform::linux_layer

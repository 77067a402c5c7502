// A dialog service for tests: it builds the controls of a dialog table in
// memory, with the states a Windows dialog gives them, lets the test act as the
// user (type, click, select, press Enter or Esc, close), and keeps what the
// controls showed.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace vardel::testing {

class FakeDialogView final : public platform::DialogView {
public:
    struct Control {
        platform::ControlSpec spec{};
        platform::ControlKind kind = platform::ControlKind::Other;
        std::string text;
        bool checked = false;
        bool enabled = true;
        std::vector<std::string> items;
        int selected = -1;
        bool extendedKeys = false;
    };

    FakeDialogView(const platform::DialogSpec& dialog, platform::DialogHandler& handler);

    // --- the view the handler sees ---
    std::string Text(int id) override;
    void SetText(int id, std::string_view text) override;
    bool IsChecked(int id) override;
    void SetChecked(int id, bool checked) override;
    void CheckRadio(int first, int last, int check) override;
    void Enable(int id, bool enabled) override;
    void AddItem(int id, std::string_view text) override;
    void Select(int id, int index) override;
    int Selected(int id) override;
    std::string ItemText(int id, int index) override;
    void UseExtendedKeys(int id) override;
    void End(int result) override;

    // --- what the user does; each sends the notification Windows sends ---
    // Replaces an edit box's text (EN_CHANGE).
    void Type(int id, std::string_view text);
    // Clicks a button: an automatic radio button checks itself and unchecks the
    // others of its group, a check box toggles (BN_CLICKED). A disabled control
    // takes no click.
    void Click(int id);
    // Picks a list item (CBN_SELCHANGE).
    void Pick(int id, int index);
    void PressEnter() { Command(platform::kIdOk, platform::kButtonClicked); }
    void PressEscape() { Command(platform::kIdCancel, platform::kButtonClicked); }
    void Command(int id, int code);
    // The system close command: the dialog ends with 0, the handler is not asked.
    void Close() { End(0); }

    bool Ended() const { return ended_; }
    int Result() const { return result_; }
    const Control& operator[](int id) const;
    // Every identifier whose control is enabled, and every one that is not.
    std::vector<int> EnabledIds(bool enabled) const;

private:
    Control* Find(int id);

    platform::DialogHandler& handler_;
    std::vector<Control> controls_;
    std::vector<platform::ControlSpec> specs_;
    bool ended_ = false;
    int result_ = 0;
};

class FakeDialogService final : public platform::DialogService {
public:
    // What the user does while the dialog is open; by default nothing, and a
    // dialog the user leaves open is closed with the close command.
    std::function<void(FakeDialogView&)> user;
    // False: no dialog can be shown (no terminal, no window system).
    bool available = true;

    int opened = 0;
    bool leftOpen = false;  // the user's actions did not end the last dialog
    platform::HostWindowHandle lastOwner = nullptr;
    std::string lastCaption;
    // The controls as the last dialog left them.
    std::map<int, FakeDialogView::Control> lastControls;

    int RunModal(platform::HostWindowHandle owner, const platform::DialogSpec& dialog,
                 platform::DialogHandler& handler) override;
};

}  // namespace vardel::testing

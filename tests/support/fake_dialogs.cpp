#include "support/fake_dialogs.h"

#include <gtest/gtest.h>

namespace vardel::testing {

using platform::ControlKind;

FakeDialogView::FakeDialogView(const platform::DialogSpec& dialog, platform::DialogHandler& handler)
    : handler_(handler) {
    for (const platform::ControlSpec& spec : dialog.controls) {
        Control c;
        c.spec = spec;
        c.kind = platform::KindOf(spec);
        c.text = spec.caption ? spec.caption : "";
        c.enabled = !(spec.style & platform::style::kDisabled);
        // A list's caption is no item, and shows nowhere.
        if (c.kind == ControlKind::DropDownList) c.text.clear();
        controls_.push_back(c);
        specs_.push_back(spec);
    }
}

FakeDialogView::Control* FakeDialogView::Find(int id) {
    for (Control& c : controls_)
        if (c.spec.id == id) return &c;
    return nullptr;
}

const FakeDialogView::Control& FakeDialogView::operator[](int id) const {
    for (const Control& c : controls_)
        if (c.spec.id == id) return c;
    ADD_FAILURE() << "the dialog has no control " << id;
    static const Control none{};
    return none;
}

std::vector<int> FakeDialogView::EnabledIds(bool enabled) const {
    std::vector<int> ids;
    for (const Control& c : controls_)
        if (c.enabled == enabled) ids.push_back(c.spec.id);
    return ids;
}

std::string FakeDialogView::Text(int id) {
    const Control* c = Find(id);
    return c ? c->text : std::string();
}

void FakeDialogView::SetText(int id, std::string_view text) {
    if (Control* c = Find(id)) c->text = text;
}

bool FakeDialogView::IsChecked(int id) {
    const Control* c = Find(id);
    return c && c->checked;
}

void FakeDialogView::SetChecked(int id, bool checked) {
    if (Control* c = Find(id)) c->checked = checked;
}

void FakeDialogView::CheckRadio(int first, int last, int check) {
    for (Control& c : controls_)
        if (c.spec.id >= first && c.spec.id <= last) c.checked = c.spec.id == check;
}

void FakeDialogView::Enable(int id, bool enabled) {
    if (Control* c = Find(id)) c->enabled = enabled;
}

void FakeDialogView::AddItem(int id, std::string_view text) {
    if (Control* c = Find(id)) c->items.emplace_back(text);
}

void FakeDialogView::Select(int id, int index) {
    Control* c = Find(id);
    if (!c) return;
    c->selected = index >= 0 && static_cast<std::size_t>(index) < c->items.size() ? index : -1;
}

int FakeDialogView::Selected(int id) {
    const Control* c = Find(id);
    return c ? c->selected : -1;
}

std::string FakeDialogView::ItemText(int id, int index) {
    const Control* c = Find(id);
    if (!c || index < 0 || static_cast<std::size_t>(index) >= c->items.size()) return {};
    return c->items[static_cast<std::size_t>(index)];
}

void FakeDialogView::UseExtendedKeys(int id) {
    if (Control* c = Find(id)) c->extendedKeys = true;
}

void FakeDialogView::End(int result) {
    if (ended_) return;
    ended_ = true;
    result_ = result;
}

void FakeDialogView::Command(int id, int code) {
    if (!ended_) handler_.OnCommand(*this, id, code);
}

void FakeDialogView::Type(int id, std::string_view text) {
    Control* c = Find(id);
    ASSERT_TRUE(c && c->kind == ControlKind::Edit) << "no edit box " << id;
    if (!c->enabled || ended_) return;
    c->text = text;
    Command(id, platform::kEditChange);
}

void FakeDialogView::Click(int id) {
    Control* c = Find(id);
    ASSERT_TRUE(c) << "no control " << id;
    if (!c->enabled || ended_) return;
    if (c->kind == ControlKind::RadioButton) {
        const auto group = platform::GroupOf(specs_, static_cast<std::size_t>(c - controls_.data()));
        for (std::size_t i = group.first; i <= group.last; ++i)
            if (controls_[i].kind == ControlKind::RadioButton) controls_[i].checked = &controls_[i] == c;
    } else if (c->kind == ControlKind::CheckBox) {
        c->checked = !c->checked;
    }
    Command(id, platform::kButtonClicked);
}

void FakeDialogView::Pick(int id, int index) {
    Control* c = Find(id);
    ASSERT_TRUE(c && c->kind == ControlKind::DropDownList) << "no list " << id;
    if (!c->enabled || ended_) return;
    Select(id, index);
    Command(id, platform::kListSelChange);
}

int FakeDialogService::RunModal(platform::HostWindowHandle owner, const platform::DialogSpec& dialog,
                                platform::DialogHandler& handler) {
    if (!available) return platform::kDialogNotShown;
    ++opened;
    lastOwner = owner;
    lastCaption = dialog.caption;
    FakeDialogView view(dialog, handler);
    handler.OnInitDialog(view);
    if (user && !view.Ended()) user(view);
    leftOpen = !view.Ended();
    if (leftOpen) view.Close();
    lastControls.clear();
    for (const platform::ControlSpec& spec : dialog.controls) lastControls[spec.id] = view[spec.id];
    return view.Result();
}

}  // namespace vardel::testing

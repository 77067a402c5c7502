#include "platform/dialogs.h"

namespace vardel::platform {
namespace {

bool IsClass(const ControlSpec& control, const char* name) {
    // Window class names match without regard to case, as Windows matches them.
    const char* a = control.windowClass;
    if (!a) return false;
    for (; *a && *name; ++a, ++name) {
        const char x = (*a >= 'a' && *a <= 'z') ? static_cast<char>(*a - 32) : *a;
        const char y = (*name >= 'a' && *name <= 'z') ? static_cast<char>(*name - 32) : *name;
        if (x != y) return false;
    }
    return *a == *name;
}

}  // namespace

ControlKind KindOf(const ControlSpec& control) {
    if (IsClass(control, "STATIC"))
        return (control.style & style::kSsTypeMask) == style::kSsEtchedFrame ? ControlKind::EtchedFrame
                                                                             : ControlKind::Label;
    if (IsClass(control, "EDIT")) return ControlKind::Edit;
    if (IsClass(control, "COMBOBOX")) return ControlKind::DropDownList;
    if (IsClass(control, "BUTTON")) {
        switch (control.style & style::kBsTypeMask) {
            case style::kBsPushButton: return ControlKind::PushButton;
            case style::kBsAutoCheckBox: return ControlKind::CheckBox;
            case style::kBsAutoRadioButton: return ControlKind::RadioButton;
            case style::kBsGroupBox: return ControlKind::GroupBox;
            default: return ControlKind::Other;
        }
    }
    return ControlKind::Other;
}

IndexRange GroupOf(std::span<const ControlSpec> controls, std::size_t index) {
    if (controls.empty()) return {0, 0};
    if (index >= controls.size()) index = controls.size() - 1;
    std::size_t first = index;
    while (first > 0 && !(controls[first].style & style::kGroup)) --first;
    std::size_t last = index;
    while (last + 1 < controls.size() && !(controls[last + 1].style & style::kGroup)) ++last;
    return {first, last};
}

std::size_t IndexOf(std::span<const ControlSpec> controls, int id) {
    for (std::size_t i = 0; i < controls.size(); ++i)
        if (controls[i].id == id) return i;
    return controls.size();
}

}  // namespace vardel::platform

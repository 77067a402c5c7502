// The Windows layer's dialogs: each dialog is built at run time from an
// in-memory template without controls; the controls of the table are created
// after the dialog window, in table order, at their places in dialog units and
// with the dialog's font. The dialog runs modally with the host window as owner.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/windows/windows_layer.h"

namespace vardel::platform::windows_layer {
namespace {

namespace s = platform::style;
static_assert(s::kPopup == WS_POPUP && s::kChild == WS_CHILD && s::kVisible == WS_VISIBLE &&
              s::kDisabled == WS_DISABLED && s::kClipSiblings == WS_CLIPSIBLINGS && s::kCaption == WS_CAPTION &&
              s::kVScroll == WS_VSCROLL && s::kSysMenu == WS_SYSMENU && s::kGroup == WS_GROUP &&
              s::kTabStop == WS_TABSTOP);
static_assert(s::kDsModalFrame == DS_MODALFRAME && s::kDsSetFont == DS_SETFONT &&
              s::kDsNoFailCreate == DS_NOFAILCREATE && s::kDs3dLook == DS_3DLOOK);
static_assert(s::kBsPushButton == BS_PUSHBUTTON && s::kBsAutoCheckBox == BS_AUTOCHECKBOX &&
              s::kBsGroupBox == BS_GROUPBOX && s::kBsAutoRadioButton == BS_AUTORADIOBUTTON &&
              s::kBsTypeMask == BS_TYPEMASK && s::kBsLeft == BS_LEFT && s::kBsCenter == BS_CENTER &&
              s::kBsVCenter == BS_VCENTER);
static_assert(s::kEsCenter == ES_CENTER && s::kEsAutoHScroll == ES_AUTOHSCROLL &&
              s::kCbsDropDownList == CBS_DROPDOWNLIST && s::kCbsAutoHScroll == CBS_AUTOHSCROLL &&
              s::kSsEtchedFrame == SS_ETCHEDFRAME && s::kSsTypeMask == SS_TYPEMASK);
static_assert(s::kExTransparent == WS_EX_TRANSPARENT && s::kExWindowEdge == WS_EX_WINDOWEDGE &&
              s::kExClientEdge == WS_EX_CLIENTEDGE && s::kExRight == WS_EX_RIGHT &&
              s::kExControlParent == WS_EX_CONTROLPARENT && s::kExStaticEdge == WS_EX_STATICEDGE &&
              s::kExAppWindow == WS_EX_APPWINDOW);
static_assert(platform::kIdOk == IDOK && platform::kIdCancel == IDCANCEL && platform::kButtonClicked == BN_CLICKED &&
              platform::kListSelChange == CBN_SELCHANGE && platform::kEditChange == EN_CHANGE);

// The module that holds this code: the dialogs belong to the plug-in.
HINSTANCE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
    return module;
}

void AppendText(std::vector<WORD>& words, const char* text) {
    const std::string ansi = text ? text : "";
    const int n = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 1), L'\0');
    if (n > 0) MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, wide.data(), n);
    for (wchar_t c : wide) words.push_back(static_cast<WORD>(c));  // the terminator included
}

// The dialog template: the header with no controls, no menu, the standard
// dialog class, the caption, and the font when the style asks for one.
std::vector<WORD> BuildTemplate(const DialogSpec& dialog) {
    DLGTEMPLATE head{};
    head.style = dialog.style;
    head.dwExtendedStyle = dialog.exStyle;
    head.cdit = 0;
    head.x = dialog.x;
    head.y = dialog.y;
    head.cx = dialog.cx;
    head.cy = dialog.cy;
    static_assert(sizeof head % sizeof(WORD) == 0);
    std::vector<WORD> words(sizeof head / sizeof(WORD));
    std::memcpy(words.data(), &head, sizeof head);
    words.push_back(0);  // no menu
    words.push_back(0);  // the dialog class
    AppendText(words, dialog.caption);
    if (dialog.style & DS_SETFONT) {
        words.push_back(static_cast<WORD>(dialog.pointSize));
        AppendText(words, dialog.fontName);
    }
    return words;
}

class DialogWindowView final : public DialogView {
public:
    HWND dialog = nullptr;

    std::string Text(int id) override {
        HWND control = GetDlgItem(dialog, id);
        if (!control) return {};
        const int length = GetWindowTextLengthA(control);
        std::string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, '\0');
        const int got = GetWindowTextA(control, text.data(), static_cast<int>(text.size()));
        text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
        return text;
    }
    void SetText(int id, std::string_view text) override { SetDlgItemTextA(dialog, id, std::string(text).c_str()); }
    bool IsChecked(int id) override { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
    void SetChecked(int id, bool checked) override {
        CheckDlgButton(dialog, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    void CheckRadio(int first, int last, int check) override { CheckRadioButton(dialog, first, last, check); }
    void Enable(int id, bool enabled) override {
        if (HWND control = GetDlgItem(dialog, id)) EnableWindow(control, enabled ? TRUE : FALSE);
    }
    void AddItem(int id, std::string_view text) override {
        const std::string item(text);
        SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    }
    void Select(int id, int index) override { SendDlgItemMessageA(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0); }
    int Selected(int id) override {
        const LRESULT selected = SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0);
        return selected == CB_ERR ? -1 : static_cast<int>(selected);
    }
    std::string ItemText(int id, int index) override {
        const LRESULT length = SendDlgItemMessageA(dialog, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
        if (length == CB_ERR || length < 0) return {};
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        const LRESULT got = SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                                reinterpret_cast<LPARAM>(text.data()));
        if (got == CB_ERR || got < 0) return {};
        text.resize(static_cast<std::size_t>(got));
        return text;
    }
    void UseExtendedKeys(int id) override { SendDlgItemMessageA(dialog, id, CB_SETEXTENDEDUI, TRUE, 0); }
    void End(int result) override { EndDialog(dialog, result); }
};

struct RunningDialog {
    const DialogSpec* spec = nullptr;
    DialogHandler* handler = nullptr;
    DialogWindowView view;
    HWND savedFocus = nullptr;
    bool initialised = false;
};

void CreateControls(HWND dialog, const DialogSpec& spec) {
    const auto font = static_cast<WPARAM>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    const HINSTANCE module = OwnModule();
    for (const ControlSpec& c : spec.controls) {
        RECT r{c.x, c.y, c.x + c.cx, c.y + c.cy};
        MapDialogRect(dialog, &r);
        HWND control = CreateWindowExA(c.exStyle, c.windowClass, c.caption, c.style, r.left, r.top,
                                       r.right - r.left, r.bottom - r.top, dialog,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), module, nullptr);
        if (control) SendMessageA(control, WM_SETFONT, font, FALSE);
    }
}

// Remembers the focused control when the dialog is deactivated and gives the
// focus back when it is activated again.
void KeepFocus(RunningDialog& running, bool active) {
    if (!active) {
        running.savedFocus = GetFocus();
    } else if (running.savedFocus) {
        SetFocus(running.savedFocus);
        running.savedFocus = nullptr;
    }
}

// Every message is left to the dialog manager too, except the close command:
// it ends the dialog with 0 (the dialog manager would only send IDCANCEL, which
// the dialogs ignore, as they ignore Esc).
INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        auto* running = reinterpret_cast<RunningDialog*>(lparam);
        SetWindowLongPtrA(dialog, DWLP_USER, lparam);
        running->view.dialog = dialog;
        CreateControls(dialog, *running->spec);
        running->initialised = true;
        running->handler->OnInitDialog(running->view);
        return FALSE;
    }
    auto* running = reinterpret_cast<RunningDialog*>(GetWindowLongPtrA(dialog, DWLP_USER));
    if (!running || !running->initialised) return FALSE;
    switch (message) {
        case WM_COMMAND:
            running->handler->OnCommand(running->view, LOWORD(wparam), HIWORD(wparam));
            return FALSE;
        case WM_ACTIVATE:
            if (running->spec->focusKeeping == FocusKeeping::OnActivate) KeepFocus(*running, LOWORD(wparam) != WA_INACTIVE);
            return FALSE;
        case WM_NCACTIVATE:
            if (running->spec->focusKeeping == FocusKeeping::OnNcActivate) KeepFocus(*running, wparam != 0);
            return FALSE;
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
        default: return FALSE;
    }
}

// The owner of a dialog: the host window, unless it is none that can own one (a
// message-only window, as a console host uses): then the dialog has no owner.
HWND OwnerFor(HWND host) {
    if (!host || !IsWindow(host)) return nullptr;
    char parentClass[16] = {};
    HWND parent = GetAncestor(host, GA_PARENT);
    if (parent && GetClassNameA(parent, parentClass, sizeof parentClass) && std::strcmp(parentClass, "Message") == 0)
        return nullptr;
    return host;
}

class DialogBoxes final : public DialogService {
public:
    int RunModal(HostWindowHandle owner, const DialogSpec& dialog, DialogHandler& handler) override {
        const std::vector<WORD> dialogTemplate = BuildTemplate(dialog);
        RunningDialog running;
        running.spec = &dialog;
        running.handler = &handler;
        HWND ownerWindow = OwnerFor(static_cast<HWND>(owner));
        const INT_PTR result = DialogBoxIndirectParamA(
            OwnModule(), reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()), ownerWindow, &DialogProc,
            reinterpret_cast<LPARAM>(&running));
        if (!running.initialised || result == -1) return kDialogNotShown;
        return static_cast<int>(result);
    }
};

}  // namespace

DialogService& DialogBoxService() {
    static DialogBoxes service;
    return service;
}

}  // namespace vardel::platform::windows_layer

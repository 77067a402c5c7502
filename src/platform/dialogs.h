// Dialogs as the portable code sees them: a dialog is a table of controls (the
// way a Windows dialog is built in code from an empty template), run modally by
// the platform's dialog service, which reports the dialog's events to a handler
// and lets the handler read and set the controls through a view.
//
// The Windows layer builds real dialogs from the tables; the Linux layer shows
// them as forms on the terminal; tests replace the service with a fake.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/services.h"

namespace vardel::platform {

// Window and control styles, with the values of the Windows constants of the
// same names (the Windows layer checks them against its headers).
namespace style {
inline constexpr std::uint32_t kPopup = 0x80000000u;         // WS_POPUP
inline constexpr std::uint32_t kChild = 0x40000000u;         // WS_CHILD
inline constexpr std::uint32_t kVisible = 0x10000000u;       // WS_VISIBLE
inline constexpr std::uint32_t kDisabled = 0x08000000u;      // WS_DISABLED
inline constexpr std::uint32_t kClipSiblings = 0x04000000u;  // WS_CLIPSIBLINGS
inline constexpr std::uint32_t kCaption = 0x00C00000u;       // WS_CAPTION
inline constexpr std::uint32_t kVScroll = 0x00200000u;       // WS_VSCROLL
inline constexpr std::uint32_t kSysMenu = 0x00080000u;       // WS_SYSMENU
inline constexpr std::uint32_t kGroup = 0x00020000u;         // WS_GROUP
inline constexpr std::uint32_t kTabStop = 0x00010000u;       // WS_TABSTOP

inline constexpr std::uint32_t kDsModalFrame = 0x80u;   // DS_MODALFRAME
inline constexpr std::uint32_t kDsSetFont = 0x40u;      // DS_SETFONT
inline constexpr std::uint32_t kDsNoFailCreate = 0x10u; // DS_NOFAILCREATE
inline constexpr std::uint32_t kDs3dLook = 0x04u;       // DS_3DLOOK

inline constexpr std::uint32_t kBsPushButton = 0x0u;        // BS_PUSHBUTTON
inline constexpr std::uint32_t kBsAutoCheckBox = 0x3u;      // BS_AUTOCHECKBOX
inline constexpr std::uint32_t kBsGroupBox = 0x7u;          // BS_GROUPBOX
inline constexpr std::uint32_t kBsAutoRadioButton = 0x9u;   // BS_AUTORADIOBUTTON
inline constexpr std::uint32_t kBsTypeMask = 0xFu;          // BS_TYPEMASK
inline constexpr std::uint32_t kBsLeft = 0x100u;            // BS_LEFT
inline constexpr std::uint32_t kBsCenter = 0x300u;          // BS_CENTER
inline constexpr std::uint32_t kBsVCenter = 0xC00u;         // BS_VCENTER

inline constexpr std::uint32_t kEsCenter = 0x1u;        // ES_CENTER
inline constexpr std::uint32_t kEsAutoHScroll = 0x80u;  // ES_AUTOHSCROLL

inline constexpr std::uint32_t kCbsDropDownList = 0x3u;  // CBS_DROPDOWNLIST
inline constexpr std::uint32_t kCbsAutoHScroll = 0x40u;  // CBS_AUTOHSCROLL

inline constexpr std::uint32_t kSsEtchedFrame = 0x12u;  // SS_ETCHEDFRAME
inline constexpr std::uint32_t kSsTypeMask = 0x1Fu;     // SS_TYPEMASK

inline constexpr std::uint32_t kExTransparent = 0x20u;        // WS_EX_TRANSPARENT
inline constexpr std::uint32_t kExWindowEdge = 0x100u;        // WS_EX_WINDOWEDGE
inline constexpr std::uint32_t kExClientEdge = 0x200u;        // WS_EX_CLIENTEDGE
inline constexpr std::uint32_t kExRight = 0x1000u;            // WS_EX_RIGHT
inline constexpr std::uint32_t kExControlParent = 0x10000u;   // WS_EX_CONTROLPARENT
inline constexpr std::uint32_t kExStaticEdge = 0x20000u;      // WS_EX_STATICEDGE
inline constexpr std::uint32_t kExAppWindow = 0x40000u;       // WS_EX_APPWINDOW
}  // namespace style

// Command identifiers and notification codes with the Windows values.
inline constexpr int kIdOk = 1;      // IDOK: Enter, when no button takes the key
inline constexpr int kIdCancel = 2;  // IDCANCEL: Esc
inline constexpr int kButtonClicked = 0;    // BN_CLICKED
inline constexpr int kListSelChange = 1;    // CBN_SELCHANGE
inline constexpr int kEditChange = 0x300;   // EN_CHANGE

// One control: window class, caption, position and size in dialog units,
// style and extended style. The window class is the Windows one ("STATIC",
// "BUTTON", "EDIT", "COMBOBOX").
struct ControlSpec {
    int id;
    const char* windowClass;
    const char* caption;
    short x, y, cx, cy;
    std::uint32_t style;
    std::uint32_t exStyle;
};

// Which activation message keeps the focus of a dialog (the dialog remembers
// the focused control when it is deactivated and gives the focus back when it
// is activated again).
enum class FocusKeeping { OnActivate, OnNcActivate };

struct DialogSpec {
    const char* caption;
    short x, y, cx, cy;  // dialog units, relative to the owner's client area
    std::uint32_t style;
    std::uint32_t exStyle;
    const char* fontName;
    int pointSize;
    FocusKeeping focusKeeping;
    std::span<const ControlSpec> controls;  // in creation (and tab) order
};

// What kind of control a table row is, by class and style.
enum class ControlKind { Label, EtchedFrame, GroupBox, PushButton, CheckBox, RadioButton, Edit, DropDownList, Other };
ControlKind KindOf(const ControlSpec& control);

// The controls of the radio group that the control at index belongs to, as
// indexes [first, last] into the table: a group starts at the first control or
// at one with WS_GROUP and runs up to the next control with WS_GROUP.
struct IndexRange {
    std::size_t first, last;
};
IndexRange GroupOf(std::span<const ControlSpec> controls, std::size_t index);

// The index of the control with that identifier, or controls.size().
std::size_t IndexOf(std::span<const ControlSpec> controls, int id);

// The controls of an open dialog, by identifier. Texts are the plug-in's ANSI
// texts. Calls for an identifier the dialog lacks do nothing (and read as empty).
class DialogView {
public:
    virtual ~DialogView() = default;
    virtual std::string Text(int id) = 0;
    virtual void SetText(int id, std::string_view text) = 0;
    virtual bool IsChecked(int id) = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    // Checks check and unchecks every other button with an identifier from first
    // to last (an identifier outside the range unchecks them all).
    virtual void CheckRadio(int first, int last, int check) = 0;
    virtual void Enable(int id, bool enabled) = 0;
    // The list of a drop-down list: items are appended in order; a selection
    // outside the items selects nothing; Selected gives -1 without a selection.
    virtual void AddItem(int id, std::string_view text) = 0;
    virtual void Select(int id, int index) = 0;
    virtual int Selected(int id) = 0;
    virtual std::string ItemText(int id, int index) = 0;
    // The list opens with the Down key (the extended keyboard interface).
    virtual void UseExtendedKeys(int id) = 0;
    // Ends the modal run with this result once the current event is handled.
    virtual void End(int result) = 0;
};

// The dialog's behaviour. The service calls OnInitDialog once the dialog and
// its controls exist, and OnCommand for every command notification.
class DialogHandler {
public:
    virtual ~DialogHandler() = default;
    virtual void OnInitDialog(DialogView& view) = 0;
    virtual void OnCommand(DialogView& view, int id, int code) = 0;
};

// RunModal's answer when no dialog could be shown (no window system, no
// terminal): the handler was not called.
inline constexpr int kDialogNotShown = -1;

class DialogService {
public:
    virtual ~DialogService() = default;
    // Shows the dialog modally, owned by owner, and returns its end result once
    // it has closed. The system close command ends it with result 0.
    virtual int RunModal(HostWindowHandle owner, const DialogSpec& dialog, DialogHandler& handler) = 0;
};

}  // namespace vardel::platform

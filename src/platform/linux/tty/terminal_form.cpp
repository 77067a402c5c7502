// The terminal dialog module (Vardel2-tty.so): shows a dialog table as a form
// on the controlling terminal with ncurses and its form library, and reports
// the form's events to the plug-in's handler (tty_dialog_abi.h).
//
// Layout: dialog units become cells, 2 columns for 5 units across; down the
// form, the controls' middles and the edges of boxes and frames are put in
// their order, one row each, with middles less than 4 units apart sharing a row.
//
// Keys: Tab and the arrow keys move, Space or Enter chooses (Enter elsewhere is
// the command 1, as on Windows; Esc is the command 2), Down or Enter opens the
// list of a drop-down list, and F10, Ctrl-Q or Ctrl-C is the close command.
#define NCURSES_NOMACROS 1
#define NCURSES_WIDECHAR 1

#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>
#include <unistd.h>
#include <wchar.h>

#include <form.h>
#include <ncurses.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/linux/tty_dialog_abi.h"

namespace {

using vardel::platform::ControlKind;
using vardel::platform::ControlSpec;

constexpr int kCtrlC = 3;
constexpr int kCtrlK = 11;
constexpr int kCtrlQ = 17;
constexpr int kCtrlU = 21;
constexpr int kEscape = 27;
constexpr int kListRowsShown = 8;

// Color pairs (when the terminal has colors).
enum Pair : short { kPairDialog = 1, kPairField, kPairCurrent, kPairTitle };

// Dialog units to cells across: 2 columns for 5 units, rounded.
int Columns(int units) { return (units * 2 + 2) / 5; }

// --- texts between the plug-in's interface (UTF-8) and the terminal's code set ----

// Converts with iconv; what the target lacks (or the source has ill-formed)
// becomes "?", one per character.
std::string Convert(const std::string& text, const std::string& from, const std::string& to) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return text;
    const bool fromUtf8 = from == "UTF-8";
    std::string out;
    char buffer[256];
    char* in = const_cast<char*>(text.data());
    std::size_t left = text.size();
    while (left > 0) {
        char* put = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t done = iconv(cd, &in, &left, &put, &room);
        out.append(buffer, static_cast<std::size_t>(put - buffer));
        if (done != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
        // A character the target lacks, or a broken one: "?" and on past it.
        out += '?';
        std::size_t skip = 1;
        if (fromUtf8)
            while (skip < left && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
        in += skip;
        left -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

struct Charset {
    bool utf8 = false;
    std::string codeset;  // the terminal's, when it is not UTF-8

    std::string ToTerminal(const std::string& text) const { return utf8 ? text : Convert(text, "UTF-8", codeset); }
    std::string FromTerminal(const std::string& shown) const {
        return utf8 ? shown : Convert(shown, codeset, "UTF-8");
    }
    // The first n characters of a text in the terminal's encoding.
    std::string FirstChars(const std::string& s, std::size_t n) const {
        if (!utf8) return s.substr(0, std::min(n, s.size()));
        std::size_t i = 0;
        for (std::size_t count = 0; i < s.size() && count < n; ++count) {
            ++i;
            while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
        }
        return s.substr(0, i);
    }
    std::size_t CharCount(const std::string& s) const {
        if (!utf8) return s.size();
        std::size_t n = 0;
        for (unsigned char c : s) n += (c & 0xC0) != 0x80;
        return n;
    }
};

std::size_t TrimmedCharCount(const Charset& charset, std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return charset.CharCount(s);
}

// --- the controls -------------------------------------------------------------------

struct Control {
    ControlSpec spec{};
    ControlKind kind = ControlKind::Other;
    std::string caption;  // UTF-8
    int row = 0, col = 0, width = 1;
    int bottomRow = 0;  // boxes and frames: the row of the lower edge
    FIELD* field = nullptr;
    bool enabled = true;
    bool checked = false;
    // Edit boxes: the text the plug-in set, and whether the user changed it since.
    // An unchanged text is handed back as it was set, byte for byte, also where
    // the terminal cannot show every character of it. length counts the
    // characters of the text, trailing blanks included (the field pads with them).
    std::string text;
    bool edited = false;
    std::size_t length = 0;
    // Drop-down lists.
    std::vector<std::string> items;
    int selected = -1;

    bool Focusable() const {
        switch (kind) {
            case ControlKind::PushButton:
            case ControlKind::CheckBox:
            case ControlKind::RadioButton:
            case ControlKind::Edit:
            case ControlKind::DropDownList: return true;
            default: return false;
        }
    }
};

// Rows from the vertical order of the table (see the top of this file).
void LayOutRows(std::vector<Control>& controls, int& rowCount) {
    struct Mark {
        int position;  // doubled dialog units
        bool edge;
        std::size_t control;
        bool lower;  // the lower edge of a box
    };
    std::vector<Mark> marks;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const ControlSpec& s = controls[i].spec;
        const ControlKind kind = controls[i].kind;
        if (kind == ControlKind::GroupBox || kind == ControlKind::EtchedFrame) {
            marks.push_back({s.y * 2, true, i, false});
            if (s.cy >= 8) marks.push_back({(s.y + s.cy) * 2, true, i, true});
            controls[i].bottomRow = -1;
        } else {
            // A drop-down list's height includes its list; closed it is a line box.
            const int height = kind == ControlKind::DropDownList ? 12 : s.cy;
            marks.push_back({s.y * 2 + height, false, i, false});
        }
    }
    std::stable_sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.position < b.position; });
    int row = -1;
    int rowStart = 0;
    bool rowOfEdges = false;
    for (const Mark& m : marks) {
        const bool sameRow = row >= 0 && (m.edge ? rowOfEdges && m.position == rowStart
                                                 : !rowOfEdges && m.position - rowStart < 8);
        if (!sameRow) {
            ++row;
            rowStart = m.position;
            rowOfEdges = m.edge;
        }
        Control& c = controls[m.control];
        if (m.lower)
            c.bottomRow = row;
        else
            c.row = row;
    }
    for (Control& c : controls)
        if (c.bottomRow < 0) c.bottomRow = c.row;
    rowCount = row + 1;
}

// --- the form -----------------------------------------------------------------------

class TerminalForm {
public:
    TerminalForm(const vardel_tty_dialog& dialog, const vardel_tty_handler& handler, const Charset& charset,
                 bool colors)
        : hasColors_(colors), handler_(handler), charset_(charset), caption_(dialog.caption ? dialog.caption : "") {
        for (int32_t i = 0; i < dialog.control_count; ++i) {
            const vardel_tty_control& t = dialog.controls[i];
            Control c;
            c.spec = {t.id, t.window_class, t.caption, t.x, t.y, t.cx, t.cy, t.style, t.ex_style};
            c.kind = vardel::platform::KindOf(c.spec);
            c.caption = t.caption ? t.caption : "";
            c.col = Columns(t.x);
            c.width = std::max(1, Columns(t.cx));
            c.enabled = !(t.style & vardel::platform::style::kDisabled);
            if (c.kind == ControlKind::Edit) SetEditText(c, c.caption);
            controls_.push_back(std::move(c));
        }
        for (Control& c : controls_) {
            // Buttons show their marks before the caption; make room for them.
            const int needed = static_cast<int>(charset_.CharCount(charset_.ToTerminal(ButtonText(c, false))));
            if (c.kind == ControlKind::CheckBox || c.kind == ControlKind::RadioButton) c.width = std::max(c.width, needed);
        }
        LayOutRows(controls_, rows_);
        cols_ = std::max(Columns(dialog.cx), static_cast<int>(charset_.CharCount(charset_.ToTerminal(caption_))) + 4);
        for (const Control& c : controls_) cols_ = std::max(cols_, c.col + c.width);
        specs_.reserve(controls_.size());
        for (const Control& c : controls_) specs_.push_back(c.spec);
    }

    ~TerminalForm() { Close(); }

    // The screen's size the form needs: the dialog with its border, and the line
    // of keys below it.
    int NeededRows() const { return rows_ + 3; }
    int NeededColumns() const { return cols_ + 2; }

    // Builds the form on the screen; false when the screen cannot hold one.
    bool Open() {
        std::vector<FIELD*> fields;
        for (Control& c : controls_) {
            if (!c.Focusable()) continue;
            c.field = new_field(1, c.width, c.row, c.col, 0, 0);
            if (!c.field) return false;
            set_field_userptr(c.field, &c);
            field_opts_off(c.field, O_AUTOSKIP);
            if (c.kind == ControlKind::Edit) {
                // Longer texts scroll inside the field.
                field_opts_off(c.field, O_STATIC | O_BLANK);
                set_max_field(c.field, 0);
            } else {
                field_opts_off(c.field, O_EDIT);
            }
            fields.push_back(c.field);
        }
        fields.push_back(nullptr);
        fields_ = fields;
        form_ = new_form(fields_.data());
        if (!form_) return false;

        window_ = newwin(rows_ + 2, cols_ + 2, 0, 0);
        if (!window_) return false;
        inner_ = derwin(window_, rows_, cols_, 1, 1);
        if (!inner_) return false;
        keypad(window_, TRUE);
        wbkgd(window_, Attributes(kPairDialog, A_NORMAL));
        wbkgd(inner_, Attributes(kPairDialog, A_NORMAL));
        set_form_win(form_, window_);
        set_form_sub(form_, inner_);
        Place();
        for (Control& c : controls_) ShowField(c);
        if (post_form(form_) != E_OK) return false;
        posted_ = true;
        return true;
    }

    int Run() {
        vardel_tty_form* self = reinterpret_cast<vardel_tty_form*>(this);
        handler_.on_init(handler_.context, self, &kOps);
        while (!ended_) {
            Draw();
            wint_t key = 0;
            const int kind = wget_wch(window_, &key);
            if (kind == ERR) continue;
            HandleKey(kind == KEY_CODE_YES, key);
        }
        return result_;
    }

    // --- the operations the handler is given ---------------------------------

    const char* Text(int32_t id) {
        scratch_.clear();
        if (Control* c = Find(id)) scratch_ = c->kind == ControlKind::Edit ? EditText(*c) : c->caption;
        return scratch_.c_str();
    }
    void SetText(int32_t id, const char* text) {
        Control* c = Find(id);
        if (!c) return;
        if (c->kind == ControlKind::Edit) {
            SetEditText(*c, text ? text : "");
        } else {
            c->caption = text ? text : "";
        }
        ShowField(*c);
    }
    int32_t IsChecked(int32_t id) {
        const Control* c = Find(id);
        return c && c->checked ? 1 : 0;
    }
    void SetChecked(int32_t id, int32_t checked) {
        if (Control* c = Find(id)) {
            c->checked = checked != 0;
            ShowField(*c);
        }
    }
    void CheckRadio(int32_t first, int32_t last, int32_t check) {
        for (Control& c : controls_) {
            if (c.spec.id < first || c.spec.id > last) continue;
            c.checked = c.spec.id == check;
            ShowField(c);
        }
    }
    void Enable(int32_t id, int32_t enabled) {
        Control* c = Find(id);
        if (!c || c->enabled == (enabled != 0)) return;
        c->enabled = enabled != 0;
        if (!c->field) return;
        if (c->enabled) {
            field_opts_on(c->field, O_ACTIVE);
            return;
        }
        // The form keeps the options of its current field: move on first.
        if (posted_ && current_field(form_) == c->field) form_driver(form_, REQ_NEXT_FIELD);
        field_opts_off(c->field, O_ACTIVE);
    }
    void AddItem(int32_t id, const char* text) {
        Control* c = Find(id);
        if (!c || c->kind != ControlKind::DropDownList) return;
        c->items.emplace_back(text ? text : "");
        ShowField(*c);
    }
    void SelectItem(int32_t id, int32_t index) {
        Control* c = Find(id);
        if (!c || c->kind != ControlKind::DropDownList) return;
        c->selected = index >= 0 && static_cast<std::size_t>(index) < c->items.size() ? index : -1;
        ShowField(*c);
    }
    int32_t SelectedItem(int32_t id) {
        const Control* c = Find(id);
        return c ? c->selected : -1;
    }
    const char* ItemText(int32_t id, int32_t index) {
        scratch_.clear();
        const Control* c = Find(id);
        if (c && index >= 0 && static_cast<std::size_t>(index) < c->items.size())
            scratch_ = c->items[static_cast<std::size_t>(index)];
        return scratch_.c_str();
    }
    void End(int32_t result) {
        ended_ = true;
        result_ = result;
    }

    static const vardel_tty_form_ops kOps;

private:
    static TerminalForm& Of(vardel_tty_form* form) { return *reinterpret_cast<TerminalForm*>(form); }

    Control* Find(int32_t id) {
        for (Control& c : controls_)
            if (c.spec.id == id) return &c;
        return nullptr;
    }
    Control* Current() {
        FIELD* f = form_ ? current_field(form_) : nullptr;
        return f ? static_cast<Control*>(field_userptr(f)) : nullptr;
    }

    void SetEditText(Control& c, const std::string& text) {
        c.text = text;
        c.edited = false;
        c.length = charset_.CharCount(charset_.ToTerminal(text));
    }

    // The text of an edit box as the user left it.
    std::string EditText(Control& c) {
        if (!c.edited || !c.field) return c.text;
        if (Current() == &c) form_driver(form_, REQ_VALIDATION);
        const char* buffer = field_buffer(c.field, 0);
        const std::string shown = buffer ? buffer : "";
        return charset_.FromTerminal(charset_.FirstChars(shown, c.length));
    }

    std::string ButtonText(const Control& c, bool forField) const {
        switch (c.kind) {
            case ControlKind::CheckBox: return std::string(c.checked ? "[x] " : "[ ] ") + c.caption;
            case ControlKind::RadioButton: return std::string(c.checked ? "(*) " : "( ) ") + c.caption;
            case ControlKind::PushButton: {
                std::string text = "[ " + c.caption + " ]";
                if (!forField) return text;
                const int pad = std::max(0, c.width - static_cast<int>(text.size())) / 2;
                return std::string(static_cast<std::size_t>(pad), ' ') + text;
            }
            case ControlKind::DropDownList: {
                std::string text = c.selected >= 0 ? c.items[static_cast<std::size_t>(c.selected)] : std::string();
                return text;
            }
            default: return c.caption;
        }
    }

    // Puts the control's state into its field.
    void ShowField(Control& c) {
        if (!c.field) return;
        if (c.kind == ControlKind::Edit) {
            set_field_buffer(c.field, 0, charset_.ToTerminal(c.text).c_str());
            return;
        }
        std::string shown = charset_.ToTerminal(ButtonText(c, true));
        if (c.kind == ControlKind::DropDownList) {
            // The mark of the list at the right end.
            const std::size_t room = c.width > 2 ? static_cast<std::size_t>(c.width - 2) : 0;
            shown = charset_.FirstChars(shown, room);
            shown.append(room - std::min(room, charset_.CharCount(shown)), ' ');
            shown += " v";
        }
        set_field_buffer(c.field, 0, shown.c_str());
    }

    void Place() {
        int screenRows = 0, screenCols = 0;
        getmaxyx(stdscr, screenRows, screenCols);
        const int height = rows_ + 2, width = cols_ + 2;
        const int top = std::max(0, (screenRows - 1 - height) / 2);
        const int left = std::max(0, (screenCols - width) / 2);
        mvwin(window_, top, left);
    }

    attr_t Attributes(short pair, attr_t extra) const {
        return (hasColors_ ? COLOR_PAIR(pair) : A_NORMAL) | extra;
    }

    void Draw() {
        Control* current = Current();
        for (Control& c : controls_) {
            if (!c.field) continue;
            const bool isCurrent = &c == current;
            attr_t look;
            if (c.kind == ControlKind::Edit || c.kind == ControlKind::DropDownList)
                look = Attributes(isCurrent ? kPairCurrent : kPairField, hasColors_ ? A_NORMAL : A_UNDERLINE);
            else
                look = Attributes(isCurrent ? kPairCurrent : kPairDialog, isCurrent && !hasColors_ ? A_REVERSE : A_NORMAL);
            if (!c.enabled) look = Attributes(kPairDialog, A_DIM | (c.kind == ControlKind::Edit ? A_UNDERLINE : 0));
            set_field_fore(c.field, look);
            set_field_back(c.field, look);
        }

        const attr_t dialog = Attributes(kPairDialog, A_NORMAL);
        wbkgdset(window_, dialog);
        wattrset(window_, dialog);
        box(window_, 0, 0);
        const std::string title = " " + charset_.ToTerminal(caption_) + " ";
        wattrset(window_, Attributes(kPairTitle, A_BOLD));
        mvwaddstr(window_, 0, 2, title.c_str());
        wattrset(window_, dialog);
        for (const Control& c : controls_) DrawDecoration(c);
        DrawHint();
        pos_form_cursor(form_);
        wrefresh(window_);
    }

    void DrawLine(int row, int col, int width) {
        if (width > 0) mvwhline(inner_, row, col, ACS_HLINE, width);
    }

    void DrawBox(int top, int bottom, int left, int width) {
        const int right = left + width - 1;
        if (bottom <= top) {
            DrawLine(top, left, width);
            return;
        }
        mvwaddch(inner_, top, left, ACS_ULCORNER);
        mvwaddch(inner_, top, right, ACS_URCORNER);
        mvwaddch(inner_, bottom, left, ACS_LLCORNER);
        mvwaddch(inner_, bottom, right, ACS_LRCORNER);
        DrawLine(top, left + 1, width - 2);
        DrawLine(bottom, left + 1, width - 2);
        if (bottom - top > 1) {
            mvwvline(inner_, top + 1, left, ACS_VLINE, bottom - top - 1);
            mvwvline(inner_, top + 1, right, ACS_VLINE, bottom - top - 1);
        }
    }

    void DrawDecoration(const Control& c) {
        const attr_t look = Attributes(kPairDialog, c.enabled ? A_NORMAL : A_DIM);
        switch (c.kind) {
            case ControlKind::Label: {
                std::string shown = charset_.FirstChars(charset_.ToTerminal(c.caption), static_cast<std::size_t>(c.width));
                const int length = static_cast<int>(charset_.CharCount(shown));
                const bool right = c.spec.exStyle & vardel::platform::style::kExRight;
                wattrset(inner_, look);
                mvwaddstr(inner_, c.row, right ? c.col + c.width - length : c.col, shown.c_str());
                break;
            }
            case ControlKind::EtchedFrame:
                // Its caption is not drawn.
                wattrset(inner_, Attributes(kPairDialog, A_NORMAL));
                DrawBox(c.row, c.bottomRow, c.col, c.width);
                break;
            case ControlKind::GroupBox: {
                wattrset(inner_, Attributes(kPairDialog, A_NORMAL));
                DrawBox(c.row, c.bottomRow, c.col, c.width);
                const std::string shown = " " + charset_.ToTerminal(c.caption) + " ";
                wattrset(inner_, look);
                mvwaddstr(inner_, c.row, c.col + 1, charset_.FirstChars(shown, static_cast<std::size_t>(std::max(0, c.width - 2))).c_str());
                break;
            }
            default: break;
        }
    }

    void DrawHint() {
        bool hasList = false;
        for (const Control& c : controls_) hasList = hasList || c.kind == ControlKind::DropDownList;
        std::string hint = "Tab, arrows: move   Space: choose   ";
        if (hasList) hint += "Down: open list   ";
        hint += "F10, Ctrl-Q: close";
        int screenRows = 0, screenCols = 0;
        getmaxyx(stdscr, screenRows, screenCols);
        if (static_cast<int>(hint.size()) > screenCols) hint.resize(static_cast<std::size_t>(std::max(0, screenCols)));
        attrset(A_NORMAL);
        move(screenRows - 1, 0);
        clrtoeol();
        mvaddstr(screenRows - 1, std::max(0, (screenCols - static_cast<int>(hint.size())) / 2), hint.c_str());
        wnoutrefresh(stdscr);
    }

    void Command(int32_t id, int32_t code) {
        handler_.on_command(handler_.context, reinterpret_cast<vardel_tty_form*>(this), &kOps, id, code);
    }

    // A click of a button as Windows makes it: an automatic radio button checks
    // itself and unchecks the others of its group, a check box toggles.
    void Click(Control& c) {
        if (c.kind == ControlKind::RadioButton) {
            const std::size_t index = static_cast<std::size_t>(&c - controls_.data());
            const auto group = vardel::platform::GroupOf(specs_, index);
            for (std::size_t i = group.first; i <= group.last; ++i) {
                Control& other = controls_[i];
                if (other.kind != ControlKind::RadioButton) continue;
                other.checked = &other == &c;
                ShowField(other);
            }
        } else if (c.kind == ControlKind::CheckBox) {
            c.checked = !c.checked;
            ShowField(c);
        }
        Command(c.spec.id, vardel::platform::kButtonClicked);
    }

    void OpenList(Control& c) {
        if (c.items.empty()) return;
        // The form's area starts one cell inside the dialog's border (the area's own
        // origin does not follow the dialog when the screen is resized).
        int top = 0, left = 0;
        getbegyx(window_, top, left);
        ++top;
        ++left;
        const int shown = std::min<int>(kListRowsShown, static_cast<int>(c.items.size()));
        int screenRows = 0, screenCols = 0;
        getmaxyx(stdscr, screenRows, screenCols);
        int listTop = top + c.row + 1;
        if (listTop + shown + 2 > screenRows) listTop = std::max(0, top + c.row - shown - 2);
        WINDOW* list = newwin(shown + 2, c.width, listTop, left + c.col);
        if (!list) return;
        keypad(list, TRUE);
        int at = c.selected >= 0 ? c.selected : 0;
        int first = 0;
        bool done = false, accepted = false;
        while (!done) {
            first = std::clamp(first, std::max(0, at - shown + 1), at);
            wbkgdset(list, Attributes(kPairDialog, A_NORMAL));
            werase(list);
            wattrset(list, Attributes(kPairDialog, A_NORMAL));
            box(list, 0, 0);
            for (int i = 0; i < shown; ++i) {
                const int item = first + i;
                std::string text = charset_.FirstChars(charset_.ToTerminal(c.items[static_cast<std::size_t>(item)]),
                                                       static_cast<std::size_t>(std::max(0, c.width - 2)));
                text.append(static_cast<std::size_t>(std::max(0, c.width - 2)) - std::min<std::size_t>(static_cast<std::size_t>(std::max(0, c.width - 2)), charset_.CharCount(text)), ' ');
                wattrset(list, item == at ? Attributes(kPairCurrent, hasColors_ ? A_NORMAL : A_REVERSE)
                                          : Attributes(kPairDialog, A_NORMAL));
                mvwaddstr(list, i + 1, 1, text.c_str());
            }
            wmove(list, at - first + 1, 1);
            wrefresh(list);
            wint_t key = 0;
            const int kind = wget_wch(list, &key);
            if (kind == ERR) continue;
            const int last = static_cast<int>(c.items.size()) - 1;
            if (kind == KEY_CODE_YES) {
                switch (key) {
                    case KEY_UP: at = std::max(0, at - 1); break;
                    case KEY_DOWN: at = std::min(last, at + 1); break;
                    case KEY_PPAGE: at = std::max(0, at - shown); break;
                    case KEY_NPAGE: at = std::min(last, at + shown); break;
                    case KEY_HOME: at = 0; break;
                    case KEY_END: at = last; break;
                    case KEY_ENTER: done = accepted = true; break;
                    case KEY_RESIZE: break;
                    default:
                        if (key == static_cast<wint_t>(KEY_F(10))) done = true;
                        break;
                }
            } else if (key == '\r' || key == '\n' || key == ' ') {
                done = accepted = true;
            } else if (key == kEscape || key == kCtrlQ || key == kCtrlC) {
                done = true;
            }
        }
        delwin(list);
        touchwin(window_);
        touchwin(stdscr);
        wnoutrefresh(stdscr);
        if (accepted && at != c.selected) {
            c.selected = at;
            ShowField(c);
            Command(c.spec.id, vardel::platform::kListSelChange);
        }
    }

    void Edit(Control& c, int request, wint_t character = 0) {
        const int column = form_->curcol;
        const std::size_t at = column > 0 ? static_cast<std::size_t>(column) : 0;
        int status;
        if (request == 0)
            status = form_driver_w(form_, OK, static_cast<wchar_t>(character));
        else
            status = form_driver(form_, request);
        if (status != E_OK) return;
        // Keep count of the characters, trailing blanks included.
        switch (request) {
            case 0: c.length = std::max(c.length, at) + 1; break;
            case REQ_DEL_PREV:
                if (at > 0 && at <= c.length) --c.length;
                break;
            case REQ_DEL_CHAR:
                if (at < c.length) --c.length;
                break;
            case REQ_CLR_FIELD: c.length = 0; break;
            case REQ_CLR_EOL: c.length = std::min(c.length, at); break;
            default: break;
        }
        form_driver(form_, REQ_VALIDATION);
        const char* buffer = field_buffer(c.field, 0);
        c.length = std::max(c.length, TrimmedCharCount(charset_, buffer ? buffer : ""));
        c.edited = true;
        Command(c.spec.id, vardel::platform::kEditChange);
    }

    void HandleKey(bool functionKey, wint_t key) {
        Control* c = Current();
        const bool edit = c && c->kind == ControlKind::Edit;
        if (functionKey) {
            switch (key) {
                case KEY_RESIZE:
                    Place();
                    clearok(curscr, TRUE);
                    return;
                case KEY_BTAB:
                case KEY_UP: form_driver(form_, REQ_PREV_FIELD); return;
                case KEY_DOWN:
                    if (c && c->kind == ControlKind::DropDownList)
                        OpenList(*c);
                    else
                        form_driver(form_, REQ_NEXT_FIELD);
                    return;
                case KEY_LEFT: form_driver(form_, edit ? REQ_PREV_CHAR : REQ_PREV_FIELD); return;
                case KEY_RIGHT: form_driver(form_, edit ? REQ_NEXT_CHAR : REQ_NEXT_FIELD); return;
                case KEY_HOME:
                    if (edit) form_driver(form_, REQ_BEG_LINE);
                    return;
                case KEY_END:
                    if (edit) form_driver(form_, REQ_END_LINE);
                    return;
                case KEY_BACKSPACE:
                    if (edit) Edit(*c, REQ_DEL_PREV);
                    return;
                case KEY_DC:
                    if (edit) Edit(*c, REQ_DEL_CHAR);
                    return;
                case KEY_ENTER: Choose(c, true); return;
                default:
                    if (key == static_cast<wint_t>(KEY_F(10))) End(0);
                    if (key == static_cast<wint_t>(KEY_F(4)) && c && c->kind == ControlKind::DropDownList) OpenList(*c);
                    return;
            }
        }
        switch (key) {
            case '\t': form_driver(form_, REQ_NEXT_FIELD); return;
            case '\r':
            case '\n': Choose(c, true); return;
            case kEscape: Command(vardel::platform::kIdCancel, vardel::platform::kButtonClicked); return;
            case kCtrlQ:
            case kCtrlC: End(0); return;
            case 127:
            case 8:
                if (edit) Edit(*c, REQ_DEL_PREV);
                return;
            case kCtrlU:
                if (edit) Edit(*c, REQ_CLR_FIELD);
                return;
            case kCtrlK:
                if (edit) Edit(*c, REQ_CLR_EOL);
                return;
            case ' ':
                if (!edit) {
                    Choose(c, false);
                    return;
                }
                break;
            default: break;
        }
        if (edit && key >= 32 && key != 127) Edit(*c, 0, key);
    }

    // Space or Enter on the current control.
    void Choose(Control* c, bool enter) {
        if (c && c->enabled) {
            switch (c->kind) {
                case ControlKind::PushButton: Click(*c); return;
                case ControlKind::DropDownList: OpenList(*c); return;
                case ControlKind::CheckBox:
                case ControlKind::RadioButton:
                    if (!enter) {
                        Click(*c);
                        return;
                    }
                    break;
                default: break;
            }
        }
        // Enter where no button takes it: the command 1, as the dialog manager sends.
        if (enter) Command(vardel::platform::kIdOk, vardel::platform::kButtonClicked);
    }

    void Close() {
        if (form_) {
            if (posted_) unpost_form(form_);
            free_form(form_);
            form_ = nullptr;
        }
        for (FIELD* f : fields_)
            if (f) free_field(f);
        fields_.clear();
        if (inner_) delwin(inner_);
        if (window_) delwin(window_);
        inner_ = window_ = nullptr;
    }

    bool hasColors_;
    vardel_tty_handler handler_;
    Charset charset_;
    std::string caption_;
    std::vector<Control> controls_;
    std::vector<ControlSpec> specs_;
    std::vector<FIELD*> fields_;
    FORM* form_ = nullptr;
    WINDOW* window_ = nullptr;
    WINDOW* inner_ = nullptr;
    int rows_ = 0, cols_ = 0;
    bool posted_ = false;
    bool ended_ = false;
    int32_t result_ = 0;
    std::string scratch_;
};

const vardel_tty_form_ops TerminalForm::kOps = {
    [](vardel_tty_form* f, int32_t id) { return Of(f).Text(id); },
    [](vardel_tty_form* f, int32_t id, const char* text) { Of(f).SetText(id, text); },
    [](vardel_tty_form* f, int32_t id) { return Of(f).IsChecked(id); },
    [](vardel_tty_form* f, int32_t id, int32_t checked) { Of(f).SetChecked(id, checked); },
    [](vardel_tty_form* f, int32_t first, int32_t last, int32_t check) { Of(f).CheckRadio(first, last, check); },
    [](vardel_tty_form* f, int32_t id, int32_t enabled) { Of(f).Enable(id, enabled); },
    [](vardel_tty_form* f, int32_t id, const char* text) { Of(f).AddItem(id, text); },
    [](vardel_tty_form* f, int32_t id, int32_t index) { Of(f).SelectItem(id, index); },
    [](vardel_tty_form* f, int32_t id) { return Of(f).SelectedItem(id); },
    [](vardel_tty_form* f, int32_t id, int32_t index) { return Of(f).ItemText(id, index); },
    [](vardel_tty_form* f, int32_t result) { Of(f).End(result); },
};

// The controlling terminal, its screen and the locale of the environment, for
// as long as a dialog is shown; everything is given back afterwards.
class TerminalSession {
public:
    TerminalSession() {
        fd_ = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) return;
        const int second = dup(fd_);
        if (second < 0) return;
        out_ = fdopen(fd_, "w");
        if (!out_) {
            close(second);
            return;
        }
        fd_ = -1;  // out_ owns it now
        in_ = fdopen(second, "r");
        if (!in_) {
            close(second);
            return;
        }
        // The terminal's encoding comes from the environment; the locale is this
        // thread's only, so the host's own locale stays as it is.
        locale_ = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
        if (locale_) previous_ = uselocale(locale_);
        charset_.codeset = nl_langinfo(CODESET);
        charset_.utf8 = charset_.codeset == "UTF-8";
        screen_ = newterm(nullptr, out_, in_);
        if (!screen_) return;
        set_term(screen_);
        raw();
        noecho();
        nonl();
        set_escdelay(50);
        if (has_colors()) {
            start_color();
            init_pair(kPairDialog, COLOR_BLACK, COLOR_WHITE);
            init_pair(kPairField, COLOR_BLACK, COLOR_CYAN);
            init_pair(kPairCurrent, COLOR_WHITE, COLOR_BLUE);
            init_pair(kPairTitle, COLOR_BLUE, COLOR_WHITE);
            colors_ = true;
        }
        curs_set(1);
        keypad(stdscr, TRUE);
        refresh();
    }

    ~TerminalSession() {
        if (screen_) {
            endwin();
            delscreen(screen_);
        }
        if (in_) fclose(in_);
        if (out_) fclose(out_);
        if (fd_ >= 0) close(fd_);
        if (locale_) {
            uselocale(previous_);
            freelocale(locale_);
        }
    }

    bool Ready() const { return screen_ != nullptr; }
    const Charset& charset() const { return charset_; }
    bool Colors() const { return colors_; }

private:
    int fd_ = -1;
    FILE* out_ = nullptr;
    FILE* in_ = nullptr;
    SCREEN* screen_ = nullptr;
    locale_t locale_ = static_cast<locale_t>(nullptr);
    locale_t previous_ = static_cast<locale_t>(nullptr);
    Charset charset_;
    bool colors_ = false;
};

// While the screen is smaller than the form, says so and waits until it is
// enlarged; false when the user closes instead (F10, Ctrl-Q, Ctrl-C or Esc).
bool WaitForRoom(int rows, int columns) {
    for (;;) {
        int screenRows = 0, screenColumns = 0;
        getmaxyx(stdscr, screenRows, screenColumns);
        if (screenRows >= rows && screenColumns >= columns) return true;
        erase();
        const std::string message = "This form needs a terminal of " + std::to_string(columns) + " x " +
                                    std::to_string(rows) + " cells; enlarge it, or press F10 to close.";
        mvaddnstr(0, 0, message.c_str(), screenColumns * std::max(1, screenRows));
        refresh();
        wint_t key = 0;
        const int kind = get_wch(&key);
        if (kind == ERR) continue;
        if (kind == KEY_CODE_YES ? key == static_cast<wint_t>(KEY_F(10))
                                 : (key == kEscape || key == kCtrlQ || key == kCtrlC))
            return false;
    }
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t vardel_tty_run_dialog(int32_t abi_version,
                                                                              const vardel_tty_dialog* dialog,
                                                                              const vardel_tty_handler* handler) {
    if (abi_version != VARDEL_TTY_ABI_VERSION || !dialog || !handler || !handler->on_init || !handler->on_command)
        return VARDEL_TTY_NOT_SHOWN;
    TerminalSession session;
    if (!session.Ready()) return VARDEL_TTY_NOT_SHOWN;
    auto form = std::make_unique<TerminalForm>(*dialog, *handler, session.charset(), session.Colors());
    if (!WaitForRoom(form->NeededRows(), form->NeededColumns())) return VARDEL_TTY_NOT_SHOWN;
    if (!form->Open()) return VARDEL_TTY_NOT_SHOWN;
    return form->Run();
}

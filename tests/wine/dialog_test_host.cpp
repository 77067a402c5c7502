// The plug-in's two dialogs on a real Windows desktop (Wine on an X display):
// a host with a real top-level window loads Vardel2.dll and opens each dialog
// through its export. A timer, whose messages the dialog's own modal loop
// dispatches, acts as the user one step per tick: it finds the dialog, checks
// every control against the dialog-unit table, types into the edit boxes,
// clicks with button messages, presses Enter and Esc, and ends the dialog with
// "Okay"/"OK" or the system close command. The host then reads the record back
// through src_save_settings. Every failed check is printed; a dialog that stays
// open past its time fails and is closed.
//
// usage: wine_dialog_test PATH\Vardel2.dll [--screenshots FOLDER]
//   --screenshots: opens each dialog with sample settings and waits, for each,
//   until FOLDER\<name>.taken exists after writing FOLDER\<name>.ready with the
//   dialog's screen rectangle (left top right bottom); no checks.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#define VARDEL_NO_PROTOTYPES
#include "vardel/vardel2.h"

namespace {

int g_failures = 0;
int g_checks = 0;

#define CHECK(cond)                                                       \
    do {                                                                  \
        ++g_checks;                                                       \
        if (!(cond)) {                                                    \
            ++g_failures;                                                 \
            std::printf("FAILED %s:%d: %s\n", __FILE__, __LINE__, #cond); \
        }                                                                 \
    } while (0)

#define CHECK_EQ_INT(actual, expected, what)                                                                    \
    do {                                                                                                        \
        ++g_checks;                                                                                             \
        const long long a_ = static_cast<long long>(actual), e_ = static_cast<long long>(expected);             \
        if (a_ != e_) {                                                                                         \
            ++g_failures;                                                                                       \
            std::printf("FAILED %s:%d: %s: %s is %lld (0x%llx), expected %lld (0x%llx)\n", __FILE__, __LINE__, \
                        std::string(what).c_str(), #actual, a_, a_, e_, e_);                                    \
        }                                                                                                       \
    } while (0)

#define CHECK_TEXT(actual, expected, what)                                                                   \
    do {                                                                                                     \
        ++g_checks;                                                                                          \
        const std::string a_ = (actual), e_ = (expected);                                                    \
        if (a_ != e_) {                                                                                      \
            ++g_failures;                                                                                    \
            std::printf("FAILED %s:%d: %s: \"%s\", expected \"%s\"\n", __FILE__, __LINE__,                   \
                        std::string(what).c_str(), a_.c_str(), e_.c_str());                                  \
        }                                                                                                    \
    } while (0)

constexpr UINT kFolderQuery = 40024;
std::string g_folder;

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kFolderQuery) return reinterpret_cast<LRESULT>(g_folder.c_str());
    return DefWindowProcA(window, message, wparam, lparam);
}

// The host: a real, visible top-level window, the owner of the dialogs.
HWND CreateHostWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VardelDialogHost";
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    RegisterClassA(&wc);
    HWND window = CreateWindowA("VardelDialogHost", "Meter host", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr,
                                nullptr, wc.hInstance, nullptr);
    if (window) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        SetForegroundWindow(window);
        SetFocus(window);
    }
    return window;
}

struct Plugin {
    HMODULE module = nullptr;
    vardel_dllstartup_fn dllstartup = nullptr;
    vardel_configure_fn configure = nullptr;
    vardel_source_configure_fn source_configure = nullptr;
    vardel_settings_fn src_load_settings = nullptr;
    vardel_settings_fn src_save_settings = nullptr;

    template <typename Fn>
    bool Bind(Fn& fn, const char* name) {
        fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        if (!fn) std::printf("FAILED: export %s is missing\n", name);
        return fn != nullptr;
    }
    bool Load(const char* path) {
        module = LoadLibraryA(path);
        if (!module) {
            std::printf("FAILED: cannot load %s (error %lu)\n", path, GetLastError());
            return false;
        }
        return Bind(dllstartup, "dllstartup") & Bind(configure, "configure") &
               Bind(source_configure, "source_configure") & Bind(src_load_settings, "src_load_settings") &
               Bind(src_save_settings, "src_save_settings");
    }
};

// --- the expected dialogs, as the plug-in's documentation gives them ------------------

struct ExpectedControl {
    int id;
    const char* windowClass;
    const char* caption;  // null: not compared (edit boxes and the list show their contents)
    int x, y, cx, cy;
    DWORD style;
    DWORD exStyle;
};

constexpr DWORD kShown = WS_CHILD | WS_VISIBLE;

const ExpectedControl kNewsControls[] = {
    {1002, "Static", "News-Site", 8, 4, 42, 10, kShown, 0},
    {1001, "ComboBox", nullptr, 51, 2, 120, 75, kShown | CBS_DROPDOWNLIST | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0},
    {1003, "Button", "News", 9, 17, 42, 12, kShown | BS_AUTORADIOBUTTON | WS_TABSTOP, 0},
    {1004, "Button", "Freestyle", 52, 17, 42, 12, kShown | BS_AUTORADIOBUTTON | WS_TABSTOP, 0},
    {1007, "Edit", nullptr, 39, 36, 28, 12, kShown | ES_CENTER | ES_AUTOHSCROLL | WS_TABSTOP,
     WS_EX_CLIENTEDGE | WS_EX_TRANSPARENT},
    {1008, "Edit", nullptr, 99, 36, 28, 12, kShown | ES_CENTER | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {1009, "Static", "Startline", 9, 38, 30, 10, kShown, 0},
    {1010, "Static", "Endline", 69, 38, 30, 10, kShown, 0},
    {1011, "Button", "Ticker", 39, 58, 38, 10, kShown | BS_AUTORADIOBUTTON | BS_LEFT | WS_GROUP, 0},
    {1012, "Button", "List", 83, 58, 38, 10, kShown | BS_AUTORADIOBUTTON | WS_TABSTOP, 0},
    {1014, "Button", "Style", 9, 52, 118, 18, kShown | BS_GROUPBOX | BS_LEFT, 0},
    {1006, "Button", "Okay", 130, 145, 54, 16, kShown | BS_PUSHBUTTON | BS_CENTER | BS_VCENTER | WS_GROUP | WS_TABSTOP, 0},
    {1017, "Edit", nullptr, 45, 85, 134, 12, kShown | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {1018, "Static", "KeyNode", 13, 87, 32, 10, kShown, 0},
    {1019, "Edit", nullptr, 45, 97, 134, 12, kShown | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {1020, "Static", "Template", 13, 99, 30, 10, kShown, 0},
    {1021, "Static", "Line3", 7, 30, 175, 1, kShown | SS_ETCHEDFRAME, 0},
    {1022, "Button", "Freestyleoption", 9, 72, 175, 68, kShown | BS_GROUPBOX, 0},
    {1023, "Edit", nullptr, 75, 147, 21, 12, kShown | ES_CENTER | ES_AUTOHSCROLL | WS_TABSTOP,
     WS_EX_CLIENTEDGE | WS_EX_RIGHT},
    {1024, "Static", "Updateintervall", 13, 148, 58, 10, kShown, 0},
    {1025, "Static", "min", 98, 148, 18, 10, kShown, WS_EX_RIGHT},
    {1026, "Static", "Line1", 9, 144, 112, 18, kShown | SS_ETCHEDFRAME, 0},
    {1031, "Edit", nullptr, 45, 109, 134, 12, kShown | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE},
    {1032, "Static", "Flt String", 13, 111, 31, 10, kShown, 0},
    {1033, "Button", "Filter html", 45, 122, 46, 8, kShown | BS_AUTOCHECKBOX | WS_TABSTOP, 0},
    {1034, "Button", "Filter wrap", 91, 122, 48, 8, kShown | BS_AUTOCHECKBOX | WS_TABSTOP, 0},
    {1035, "Button", "Replace HtmlChar ", 45, 131, 94, 8, kShown | BS_AUTOCHECKBOX | WS_TABSTOP, 0},
};

const ExpectedControl kOptionsControls[] = {
    {1029, "Button", "Save RDF/RSS on Disk", 0, 0, 96, 9, kShown | WS_TABSTOP | BS_AUTOCHECKBOX, 0},
    {1030, "Button", "OK", 58, 10, 38, 12, kShown | WS_TABSTOP | BS_PUSHBUTTON, 0},
};

struct ExpectedDialog {
    const char* caption;
    int x, y, cx, cy;
    DWORD style;
    DWORD exStyle;
    const ExpectedControl* controls;
    std::size_t count;
};

const ExpectedDialog kNewsDialog = {
    "News Settings", 280, 223, 190, 174,
    WS_POPUP | WS_CLIPSIBLINGS | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK,
    WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT | WS_EX_STATICEDGE | WS_EX_APPWINDOW,
    kNewsControls, sizeof kNewsControls / sizeof kNewsControls[0]};

const ExpectedDialog kOptionsDialog = {
    "Tarn Config Settings", 335, 249, 98, 23,
    WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_NOFAILCREATE | DS_3DLOOK, 0,
    kOptionsControls, sizeof kOptionsControls / sizeof kOptionsControls[0]};

// --- reading and driving the dialog ----------------------------------------------------

std::string ClassOf(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::string TextOf(HWND window) {
    char text[1024] = {};
    SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string ItemText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }

bool UnderWine() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool SameClass(const std::string& a, const char* b) { return _stricmp(a.c_str(), b) == 0; }

RECT DialogUnits(HWND dialog, int x, int y, int cx, int cy) {
    RECT r{x, y, x + cx, y + cy};
    MapDialogRect(dialog, &r);
    return r;
}

RECT RectInDialog(HWND dialog, HWND control) {
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

HWND g_host = nullptr;

struct FindRequest {
    const char* caption;
    HWND found;
};

BOOL CALLBACK VisitThreadWindow(HWND window, LPARAM request) {
    auto* find = reinterpret_cast<FindRequest*>(request);
    if (ClassOf(window) == "#32770" && TextOf(window) == find->caption && IsWindowVisible(window)) {
        find->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindDialog(const char* caption) {
    FindRequest request{caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), &VisitThreadWindow, reinterpret_cast<LPARAM>(&request));
    return request.found;
}

// Checks the dialog and every control against the table.
void CheckStructure(HWND dialog, const ExpectedDialog& expected) {
    CHECK(GetWindow(dialog, GW_OWNER) == g_host);
    CHECK(!IsWindowEnabled(g_host));
    // The system adds WS_CLIPSIBLINGS to every top-level window, and to a dialog
    // the extended styles of its modal frame, its caption's edge and the control
    // parent; the others are the dialog's own.
    const DWORD added = WS_CLIPSIBLINGS;
    const DWORD addedEx = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CONTROLPARENT;
    const DWORD style = static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE));
    CHECK_EQ_INT(style & ~(WS_VISIBLE | added), expected.style & ~added, expected.caption);
    CHECK((style & expected.style) == expected.style);
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongA(dialog, GWL_EXSTYLE));
    CHECK_EQ_INT(exStyle & ~addedEx, expected.exStyle & ~addedEx, expected.caption);
    CHECK((exStyle & expected.exStyle) == expected.exStyle);

    // The client area is placed relative to the owner's client area and sized
    // by the dialog units.
    const RECT place = DialogUnits(dialog, expected.x, expected.y, expected.cx, expected.cy);
    POINT origin{0, 0}, dialogOrigin{0, 0};
    ClientToScreen(g_host, &origin);
    ClientToScreen(dialog, &dialogOrigin);
    RECT client{};
    GetClientRect(dialog, &client);
    CHECK_EQ_INT(dialogOrigin.x, origin.x + place.left, "dialog left");
    CHECK_EQ_INT(dialogOrigin.y, origin.y + place.top, "dialog top");
    CHECK_EQ_INT(client.right, place.right - place.left, "dialog client width");
    CHECK_EQ_INT(client.bottom, place.bottom - place.top, "dialog client height");

    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    LOGFONTA logFont{};
    CHECK(font && GetObjectA(font, sizeof logFont, &logFont) == sizeof logFont);
    CHECK_TEXT(logFont.lfFaceName, "MS Sans Serif", "dialog font");
    HDC dc = GetDC(dialog);
    CHECK_EQ_INT(logFont.lfHeight, -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72), "font height (8 points)");
    ReleaseDC(dialog, dc);

    // The controls in creation order, which is the order of the children.
    std::vector<int> order;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        order.push_back(GetDlgCtrlID(child));
    CHECK_EQ_INT(order.size(), expected.count, "number of controls");
    for (std::size_t i = 0; i < expected.count; ++i) {
        const ExpectedControl& e = expected.controls[i];
        const std::string what = std::string(expected.caption) + " control " + std::to_string(e.id);
        if (i < order.size()) CHECK_EQ_INT(order[i], e.id, what + " in creation order");
        HWND control = GetDlgItem(dialog, e.id);
        CHECK(control != nullptr);
        if (!control) continue;
        CHECK(SameClass(ClassOf(control), e.windowClass));
        if (e.caption) CHECK_TEXT(TextOf(control), e.caption, what);
        DWORD controlStyle = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE)) & ~WS_DISABLED;
        DWORD wanted = e.style;
        // Wine keeps neither WS_VSCROLL of a drop-down list nor a fixed WS_TABSTOP
        // of a radio button (it moves with the check).
        if (SameClass(ClassOf(control), "ComboBox")) controlStyle &= ~WS_VSCROLL, wanted &= ~WS_VSCROLL;
        if ((e.style & BS_TYPEMASK) == BS_AUTORADIOBUTTON && SameClass(ClassOf(control), "Button"))
            controlStyle &= ~WS_TABSTOP, wanted &= ~WS_TABSTOP;
        CHECK_EQ_INT(controlStyle, wanted, what + " style");
        CHECK_EQ_INT(static_cast<DWORD>(GetWindowLongA(control, GWL_EXSTYLE)), e.exStyle, what + " extended style");

        const RECT r = DialogUnits(dialog, e.x, e.y, e.cx, e.cy);
        const RECT actual = RectInDialog(dialog, control);
        CHECK_EQ_INT(actual.left, r.left, what + " left");
        CHECK_EQ_INT(actual.top, r.top, what + " top");
        CHECK_EQ_INT(actual.right, r.right, what + " right");
        if (SameClass(ClassOf(control), "ComboBox")) {
            // Closed, a drop-down list is one line high; its height reaches to the
            // bottom of the dropped list. Wine's dropped rectangle stops one line
            // short of it: there it must at least hold several lines.
            RECT dropped{};
            SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&dropped), 2);
            if (UnderWine())
                CHECK(dropped.bottom - dropped.top > 3 * (actual.bottom - actual.top));
            else
                CHECK_EQ_INT(dropped.bottom, r.bottom, what + " bottom of the dropped list");
        } else {
            CHECK_EQ_INT(actual.bottom, r.bottom, what + " bottom");
        }
        // Wine gives an etched frame no font.
        if ((e.style & SS_TYPEMASK) != SS_ETCHEDFRAME || !SameClass(ClassOf(control), "Static"))
            CHECK(reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)) == font);
    }
}

bool Checked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// Typing into an edit box: everything selected, then the characters one by one.
void Type(HWND dialog, int id, const char* text) {
    HWND edit = GetDlgItem(dialog, id);
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, 0, -1);
    if (!*text) SendMessageA(edit, WM_CHAR, VK_BACK, 0);
    for (const char* c = text; *c; ++c) SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(*c), 1);
}

void Click(HWND dialog, int id) { SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

// A key as the user presses it, through the dialog's message loop.
void PressKey(HWND dialog, int focusId, WPARAM key) {
    HWND control = GetDlgItem(dialog, focusId);
    SetFocus(control);
    PostMessageA(control, WM_KEYDOWN, key, 1);
    PostMessageA(control, WM_KEYUP, key, 0xC0000001);
}

// --- the user, one step per timer tick -------------------------------------------------

using Step = std::function<bool(HWND dialog)>;  // true: go on with the next step

struct Script {
    const char* caption = nullptr;
    std::vector<Step> steps;
    std::size_t next = 0;
    HWND dialog = nullptr;
    DWORD deadline = 0;
    bool closedByTimeout = false;
};

Script* g_script = nullptr;

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Script& s = *g_script;
    if (!s.dialog) s.dialog = FindDialog(s.caption);
    if (!s.dialog || !IsWindow(s.dialog)) return;
    if (GetTickCount() - s.deadline < 0x80000000u) {
        if (!s.closedByTimeout) std::printf("FAILED: dialog \"%s\" left open at step %zu\n", s.caption, s.next);
        s.closedByTimeout = true;
        ++g_failures;
        EndDialog(s.dialog, 0);
        return;
    }
    if (s.next < s.steps.size() && s.steps[s.next](s.dialog)) ++s.next;
}

// Runs open (the export) with the script acting in the dialog; true when the
// dialog showed and every step ran.
bool RunScript(Script& script, const std::function<void()>& open, DWORD seconds = 20) {
    script.deadline = GetTickCount() + seconds * 1000;
    g_script = &script;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, &Tick);
    open();
    KillTimer(nullptr, timer);
    g_script = nullptr;
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    const bool complete = script.dialog && script.next == script.steps.size() && !script.closedByTimeout;
    if (!complete)
        std::printf("FAILED: dialog \"%s\" %s (%zu of %zu steps)\n", script.caption,
                    script.dialog ? "ended early" : "never showed", script.next, script.steps.size());
    ++g_checks;
    if (!complete) ++g_failures;
    CHECK(IsWindowEnabled(g_host));
    return complete;
}

// A step that checks that the dialog is still open (after keys were posted).
Step StillOpen(const char* why) {
    return [why](HWND dialog) {
        CHECK(IsWindow(dialog) && IsWindowVisible(dialog));
        if (!IsWindow(dialog)) std::printf("  (%s closed the dialog)\n", why);
        return true;
    };
}

// --- the files -----------------------------------------------------------------------

void WriteTextFile(const std::string& path, const std::string& text) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

std::string ProfileSection(const std::string& file, const char* section) {
    char buffer[8192] = {};
    const DWORD n = GetPrivateProfileSectionA(section, buffer, sizeof buffer, file.c_str());
    std::string lines(buffer, n);
    for (char& c : lines)
        if (c == '\0') c = '|';
    return lines;
}

struct HostFolder {
    std::string path, profile, siteList;

    HostFolder() {
        char temp[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, temp);
        path = std::string(temp) + "vardel-dialogs-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(path.c_str(), nullptr);
        CreateDirectoryA((path + "plugins").c_str(), nullptr);
        CreateDirectoryA((path + "plugins\\Vardel").c_str(), nullptr);
        siteList = path + "plugins\\Vardel\\Vardel2.ini";
        profile = path + "host.ini";
        WriteTextFile(siteList, "[Sites]\r\nHeise=https://www.heise.de/rss/heise-atom.xml\r\n"
                                "Tagesschau=https://www.tagesschau.de/xml/rss2\r\n"
                                "Golem=https://rss.golem.de/rss.php?feed=RSS2.0\r\n");
    }
    ~HostFolder() {
        DeleteFileA(siteList.c_str());
        DeleteFileA(profile.c_str());
        RemoveDirectoryA((path + "plugins\\Vardel").c_str());
        RemoveDirectoryA((path + "plugins").c_str());
        RemoveDirectoryA(path.c_str());
    }
};

// --- the checks ------------------------------------------------------------------------

void NewsSettingsChecks(Plugin& p, const HostFolder& folder) {
    WriteTextFile(folder.profile, "[Meter]\r\nSiteType=1004\r\nSiteName=Tagesschau\r\nStartZeile=0\r\nEndZeile=5\r\n"
                                  "Style=1012\r\nKeyNode= entry \r\nTemplate=<title>\r\nRefreshrate=30\r\n"
                                  "RS=\" - x\"\r\nFLTHTML=1\r\nFLTWrap=0\r\nFLTHTMLCode=1\r\n[DLF]\r\nIsDLF=1\r\n");
    const int meter = p.dllstartup(g_host, 0);
    p.src_load_settings(meter, folder.profile.c_str(), "Meter");

    // Confirmed with "Okay".
    Script confirm;
    confirm.caption = "News Settings";
    confirm.steps = {
        [](HWND d) {
            CheckStructure(d, kNewsDialog);
            // The record as initialisation shows it.
            CHECK(Checked(d, 1004) && !Checked(d, 1003));
            CHECK_EQ_INT(SendDlgItemMessageA(d, 1001, CB_GETCOUNT, 0, 0), 3, "sites in the list");
            CHECK_EQ_INT(SendDlgItemMessageA(d, 1001, CB_GETCURSEL, 0, 0), 1, "selected site");
            CHECK(SendDlgItemMessageA(d, 1001, CB_GETEXTENDEDUI, 0, 0) == TRUE);
            CHECK_TEXT(ItemText(d, 1007), "1", "start line box");
            CHECK_TEXT(ItemText(d, 1008), "5", "end line box");
            CHECK(Checked(d, 1012) && !Checked(d, 1011));
            CHECK_TEXT(ItemText(d, 1017), "entry", "key node box");
            CHECK_TEXT(ItemText(d, 1019), "<title>", "template box");
            CHECK_TEXT(ItemText(d, 1023), "5", "interval box");
            CHECK_TEXT(ItemText(d, 1031), " - x", "remove-string box");
            CHECK(Checked(d, 1033) && !Checked(d, 1034) && Checked(d, 1035));
            for (int id : {1011, 1012, 1014}) CHECK(!Enabled(d, id));
            for (int id : {1017, 1018, 1019, 1020, 1022, 1031, 1033, 1034, 1035, 1006}) CHECK(Enabled(d, id));
            return true;
        },
        [](HWND d) {
            Click(d, 1003);
            CHECK(Checked(d, 1003) && !Checked(d, 1004));
            for (int id : {1011, 1012, 1014}) CHECK(Enabled(d, id));
            for (int id : {1017, 1018, 1019, 1020, 1022}) CHECK(!Enabled(d, id));
            Type(d, 1007, "3");
            Type(d, 1008, "3");
            for (int id : {1011, 1012, 1014}) CHECK(!Enabled(d, id));
            Type(d, 1008, "7");
            for (int id : {1011, 1012, 1014}) CHECK(Enabled(d, id));
            Click(d, 1011);
            CHECK(Checked(d, 1011) && !Checked(d, 1012));
            Type(d, 1023, "12");
            Type(d, 1031, "- heise online");
            SendDlgItemMessageA(d, 1001, CB_SETCURSEL, 2, 0);
            SendMessageA(d, WM_COMMAND, MAKEWPARAM(1001, CBN_SELCHANGE),
                         reinterpret_cast<LPARAM>(GetDlgItem(d, 1001)));
            Click(d, 1033);
            Click(d, 1034);
            PressKey(d, 1031, VK_RETURN);
            return true;
        },
        StillOpen("Enter in an edit box"),
        [](HWND d) {
            PressKey(d, 1034, VK_ESCAPE);
            return true;
        },
        StillOpen("Esc"),
        [](HWND d) {
            PressKey(d, 1033, VK_RETURN);
            return true;
        },
        StillOpen("Enter on a check box"),
        [](HWND d) {
            CHECK(!IsWindowEnabled(g_host));
            Click(d, 1006);
            return true;
        },
    };
    RunScript(confirm, [&] { p.source_configure(meter, "GetNews"); });
    CHECK(GetFocus() == g_host);

    p.src_save_settings(meter, folder.profile.c_str(), "Saved");
    const std::string saved = ProfileSection(folder.profile, "Saved");
    CHECK_TEXT(saved,
               "SiteType=1003|SiteName=Golem|StartZeile=3|EndZeile=7|Style=1011|KeyNode=|Template=|"
               "Refreshrate=12|RS=- heise online|FLTHtml=0|FLTWrap=1|FLTHTMLCode=1|",
               "saved settings");
    CHECK_TEXT(ProfileSection(folder.profile, "DLF"), "Golem=1|IsDLF=1|", "section DLF");

    // Edited, then closed with the system close command: nothing changes.
    Script close;
    close.caption = "News Settings";
    close.steps = {
        [](HWND d) {
            CHECK(Checked(d, 1003) && Checked(d, 1011));
            CHECK_EQ_INT(SendDlgItemMessageA(d, 1001, CB_GETCURSEL, 0, 0), 2, "selected site");
            CHECK_TEXT(ItemText(d, 1007), "3", "start line box");
            CHECK_TEXT(ItemText(d, 1008), "7", "end line box");
            CHECK_TEXT(ItemText(d, 1023), "5", "interval box");
            CHECK_TEXT(ItemText(d, 1017), "item", "key node box");
            CHECK_TEXT(ItemText(d, 1019), "<title>%l<link>", "template box");
            Type(d, 1008, "9");
            Click(d, 1012);
            Click(d, 1004);
            Type(d, 1017, "entry");
            Type(d, 1023, "1");
            Click(d, 1033);
            SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
            return true;
        },
    };
    RunScript(close, [&] { p.source_configure(meter, "GetNews"); });
    p.src_save_settings(meter, folder.profile.c_str(), "Saved");
    CHECK_TEXT(ProfileSection(folder.profile, "Saved"), saved, "settings after the close command");

    // A host whose window is a message-only window (as a console host has) gets
    // the dialog without an owner.
    HWND messageOnly = CreateWindowA("VardelDialogHost", "console host", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                     GetModuleHandleA(nullptr), nullptr);
    const int consoleMeter = p.dllstartup(messageOnly, 0);
    p.src_load_settings(consoleMeter, folder.profile.c_str(), "Console");
    Script unowned;
    unowned.caption = "News Settings";
    unowned.steps = {[](HWND d) {
        CHECK(GetWindow(d, GW_OWNER) == nullptr);
        SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    }};
    RunScript(unowned, [&] { p.source_configure(consoleMeter, "GetNews"); });
    DestroyWindow(messageOnly);
    p.dllstartup(g_host, 0);  // the host window is the owner again

    // Another name opens nothing.
    for (const char* name : {"getnews", "GetNewsX"}) {
        const DWORD start = GetTickCount();
        p.source_configure(meter, name);
        CHECK(GetTickCount() - start < 1000);
        CHECK(FindDialog("News Settings") == nullptr);
    }
}

void OptionsChecks(Plugin& p, const HostFolder& folder) {
    WriteTextFile(folder.profile, "[Meter]\r\nSiteName=Heise\r\n[DLF]\r\nIsDLF=1\r\n");
    const int meter = p.dllstartup(g_host, 0);
    p.src_load_settings(meter, folder.profile.c_str(), "Meter");

    Script ok;
    ok.caption = "Tarn Config Settings";
    ok.steps = {
        [](HWND d) {
            CheckStructure(d, kOptionsDialog);
            CHECK(Checked(d, 1029));
            Click(d, 1029);
            CHECK(!Checked(d, 1029));
            PressKey(d, 1029, VK_ESCAPE);
            return true;
        },
        StillOpen("Esc"),
        [](HWND d) {
            PressKey(d, 1029, VK_RETURN);
            return true;
        },
        StillOpen("Enter"),
        [](HWND d) {
            Click(d, 1030);
            return true;
        },
    };
    RunScript(ok, [&] { p.configure(); });
    CHECK(GetFocus() == g_host);
    // The dialog writes no file; the save carries the flag.
    CHECK_TEXT(ProfileSection(folder.profile, "DLF"), "IsDLF=1|", "section DLF before the save");
    p.src_save_settings(meter, folder.profile.c_str(), "Meter");
    // The news meter of the checks before shows Golem.
    CHECK_TEXT(ProfileSection(folder.profile, "DLF"), "Heise=1|Golem=1|IsDLF=0|", "section DLF after OK");

    Script close;
    close.caption = "Tarn Config Settings";
    close.steps = {
        [](HWND d) {
            CHECK(!Checked(d, 1029));
            Click(d, 1029);
            SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
            return true;
        },
    };
    RunScript(close, [&] { p.configure(); });
    p.src_save_settings(meter, folder.profile.c_str(), "Meter");
    CHECK_TEXT(ProfileSection(folder.profile, "DLF"), "Heise=1|Golem=1|IsDLF=0|", "section DLF after the close command");
}

// --- pictures ----------------------------------------------------------------------------

// Shows the dialog until the picture is taken.
Step AwaitPicture(const std::string& folder, const std::string& name) {
    auto written = std::make_shared<bool>(false);
    return [=](HWND d) {
        if (!*written) {
            RedrawWindow(d, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
            RECT r{};
            GetWindowRect(d, &r);
            WriteTextFile(folder + "\\" + name + ".ready", std::to_string(r.left) + " " + std::to_string(r.top) +
                                                               " " + std::to_string(r.right) + " " +
                                                               std::to_string(r.bottom) + "\n");
            *written = true;
            return false;
        }
        if (GetFileAttributesA((folder + "\\" + name + ".taken").c_str()) == INVALID_FILE_ATTRIBUTES) return false;
        SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    };
}

int TakePictures(Plugin& p, const HostFolder& folder, const std::string& pictures) {
    WriteTextFile(folder.profile, "[Ticker]\r\nSiteName=Tagesschau\r\nStartZeile=1\r\nEndZeile=5\r\nStyle=1011\r\n"
                                  "RS=\" - tagesschau.de\"\r\nFLTHTML=1\r\nFLTHTMLCode=1\r\n[DLF]\r\nIsDLF=1\r\n");
    const int meter = p.dllstartup(g_host, 0);
    p.src_load_settings(meter, folder.profile.c_str(), "Ticker");
    Script news;
    news.caption = "News Settings";
    news.steps = {AwaitPicture(pictures, "news-settings")};
    RunScript(news, [&] { p.source_configure(meter, "GetNews"); }, 60);
    Script options;
    options.caption = "Tarn Config Settings";
    options.steps = {AwaitPicture(pictures, "plugin-options")};
    RunScript(options, [&] { p.configure(); }, 60);
    return g_failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("usage: wine_dialog_test Vardel2.dll [--screenshots FOLDER]\n");
        return 2;
    }
    // Whatever happens, the program ends.
    std::thread([] {
        Sleep(240000);
        std::printf("FAILED: the dialog checks took more than four minutes\n");
        std::fflush(stdout);
        ExitProcess(3);
    }).detach();

    g_host = CreateHostWindow();
    if (!g_host) {
        std::printf("FAILED: no host window\n");
        return 1;
    }
    HostFolder folder;
    g_folder = folder.path;
    Plugin plugin;
    if (!plugin.Load(argv[1])) return 1;

    if (argc >= 4 && std::strcmp(argv[2], "--screenshots") == 0) return TakePictures(plugin, folder, argv[3]);

    NewsSettingsChecks(plugin, folder);
    OptionsChecks(plugin, folder);
    std::printf("%d passed, %d failed\n", g_checks - g_failures, g_failures);
    return g_failures == 0 ? 0 : 1;
}

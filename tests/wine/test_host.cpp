// A small Windows host for tests: loads Vardel2.dll as the meter host does, owns a
// real window that answers the folder query and counts the news-cycle messages,
// and drives the exports. Every failed check is printed; any failure makes the
// exit status non-zero.
//
// usage: wine_test_host PATH\Vardel2.dll FIXTURE_FOLDER
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#define VARDEL_NO_PROTOTYPES
#include "vardel/vardel2.h"

namespace {

int g_failures = 0;
int g_checks = 0;

#define CHECK(cond)                                                               \
    do {                                                                          \
        ++g_checks;                                                               \
        if (!(cond)) {                                                            \
            ++g_failures;                                                         \
            std::printf("FAILED %s:%d: %s\n", __FILE__, __LINE__, #cond);         \
        }                                                                         \
    } while (0)

#define CHECK_TEXT(actual, expected)                                                         \
    do {                                                                                     \
        ++g_checks;                                                                          \
        const char* a_ = (actual);                                                           \
        const char* e_ = (expected);                                                         \
        if (!a_ || std::strcmp(a_, e_) != 0) {                                               \
            ++g_failures;                                                                    \
            std::printf("FAILED %s:%d: %s is \"%s\", expected \"%s\"\n", __FILE__, __LINE__, \
                        #actual, a_ ? a_ : "(null)", e_);                                    \
        }                                                                                    \
    } while (0)

constexpr UINT kFolderQuery = 40024;
constexpr UINT kNewsCycle = 40052;

std::string g_folder;
int g_folderQueries = 0;
int g_newsCycles = 0;

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == kFolderQuery) {
        ++g_folderQueries;
        return reinterpret_cast<LRESULT>(g_folder.c_str());
    }
    if (message == kNewsCycle) {
        ++g_newsCycles;
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

HWND CreateHostWindow() {
    WNDCLASSA wc{};
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VardelTestHost";
    RegisterClassA(&wc);
    return CreateWindowA("VardelTestHost", "host", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         wc.hInstance, nullptr);
}

struct Plugin {
    HMODULE module = nullptr;
    vardel_dlltype_fn dlltype = nullptr;
    vardel_init_fn init = nullptr;
    vardel_dllstartup_fn dllstartup = nullptr;
    vardel_dllshutdown_fn dllshutdown = nullptr;
    vardel_getparam_fn getparam = nullptr;
    vardel_pastemeter_fn pastemeter = nullptr;
    vardel_configure_fn configure = nullptr;
    vardel_source_configure_fn source_configure = nullptr;
    vardel_settings_fn src_load_settings = nullptr;
    vardel_settings_fn src_save_settings = nullptr;
    vardel_getnews_fn GetNews = nullptr;

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
        bool ok = true;
        ok &= Bind(dlltype, "dlltype");
        ok &= Bind(init, "init");
        ok &= Bind(dllstartup, "dllstartup");
        ok &= Bind(dllshutdown, "dllshutdown");
        ok &= Bind(getparam, "getparam");
        ok &= Bind(pastemeter, "pastemeter");
        ok &= Bind(configure, "configure");
        ok &= Bind(source_configure, "source_configure");
        ok &= Bind(src_load_settings, "src_load_settings");
        ok &= Bind(src_save_settings, "src_save_settings");
        ok &= Bind(GetNews, "GetNews");
        return ok;
    }

    void Unload() {
        if (module) FreeLibrary(module);
        module = nullptr;
    }
};

// The entry points and the instance lifecycle.
void LifecycleChecks(Plugin& p, HWND window) {
    CHECK(p.dlltype() == 1);
    CHECK_TEXT(p.init(), "GetNews");
    CHECK(p.getparam(7) == 0);

    g_folder = "C:\\VardelHost\\";
    const int before = g_folderQueries;
    CHECK(p.dllstartup(window, 0) == 1);
    CHECK(p.dllstartup(window, 0) == 2);
    CHECK(g_folderQueries == before + 2);
    CHECK(p.dllshutdown(1) == 0);
    CHECK(p.dllstartup(window, 0) == 3);
    CHECK(p.pastemeter(2, 6) == 0);
    CHECK(p.source_configure(2, "getnews") == 0);
    CHECK(p.source_configure(2, "GetNewsX") == 0);

    // Numbers that were never handed out get an empty text, never a null address.
    for (int bad : {0, -1, 4, 6, 100000}) {
        const char* text = p.GetNews(bad);
        CHECK(text != nullptr);
        if (text) CHECK_TEXT(text, "");
        CHECK(p.dllshutdown(bad) == 0);
    }
}

// Instance settings and the site table through the real DLL and the system's
// private-profile functions, on files in a fresh temporary folder.
std::string ProfileValue(const std::string& file, const char* section, const char* key) {
    char buffer[1000] = {};
    GetPrivateProfileStringA(section, key, "(missing)", buffer, sizeof buffer, file.c_str());
    return buffer;
}

std::string ProfileSection(const std::string& file, const char* section) {
    char buffer[4096] = {};
    const DWORD n = GetPrivateProfileSectionA(section, buffer, sizeof buffer, file.c_str());
    std::string lines(buffer, n);
    for (char& c : lines)
        if (c == '\0') c = '|';
    return lines;
}

void WriteTextFile(const std::string& path, const char* text) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fputs(text, f);
        std::fclose(f);
    }
}

void SettingsChecks(Plugin& p, HWND window) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "vardel-host-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "plugins").c_str(), nullptr);
    CreateDirectoryA((folder + "plugins\\Vardel").c_str(), nullptr);
    const std::string siteList = folder + "plugins\\Vardel\\Vardel2.ini";
    const std::string profile = folder + "host.ini";
    WriteTextFile(siteList, "[Sites]\r\nHeise=http://heise.example/rss\r\nGolem=http://golem.example/rss\r\n");
    WriteTextFile(profile, "[Meter1]\r\nSiteName= golem \r\nSiteType=&H3EB\r\nStartZeile=' 7 '\r\n"
                           "Refreshrate=2.5\r\nFLTHTML=1\r\n[DLF]\r\nstale=1\r\nIsDLF=1\r\n"
                           "[Meter3]\r\nSiteName=Extra\r\n");

    g_folder = folder;
    const int first = p.dllstartup(window, 0);
    const int second = p.dllstartup(window, 0);
    CHECK(p.src_load_settings(first, profile.c_str(), "Meter1") == 0);
    CHECK(p.src_load_settings(second, profile.c_str(), "Empty") == 0);
    CHECK(p.src_save_settings(first, profile.c_str(), "Saved1") == 0);
    CHECK(p.src_save_settings(second, profile.c_str(), "Saved2") == 0);

    std::string read = ProfileSection(profile, "Saved1");
    CHECK_TEXT(read.c_str(),
               "SiteType=1003|SiteName=golem|StartZeile=7|EndZeile=1|Style=0|KeyNode=item|"
               "Template=<title>%l<link>|Refreshrate=2|RS=|FLTHtml=1|FLTWrap=0|FLTHTMLCode=0|");
    read = ProfileValue(profile, "Saved2", "SiteName");
    CHECK_TEXT(read.c_str(), "");
    read = ProfileValue(profile, "Saved2", "Refreshrate");
    CHECK_TEXT(read.c_str(), "5");
    read = ProfileValue(profile, "Saved2", "SiteType");
    CHECK_TEXT(read.c_str(), "1003");
    // The site list resolved "golem" to a site: its name is noted in "DLF".
    read = ProfileSection(profile, "DLF");
    CHECK_TEXT(read.c_str(), "golem=1|IsDLF=1|");
    read = ProfileValue(profile, "Meter1", "Refreshrate");
    CHECK_TEXT(read.c_str(), "2.5");

    // The table is loaded once: a site added now is not found until a restart.
    WriteTextFile(siteList, "[Sites]\r\nHeise=http://heise.example/rss\r\nGolem=http://golem.example/rss\r\n"
                            "Extra=http://extra.example/rss\r\n");
    CHECK(p.src_load_settings(second, profile.c_str(), "Meter3") == 0);
    CHECK(p.src_save_settings(second, profile.c_str(), "Saved3") == 0);
    read = ProfileSection(profile, "DLF");
    CHECK_TEXT(read.c_str(), "golem=1|IsDLF=1|");

    DeleteFileA(siteList.c_str());
    DeleteFileA(profile.c_str());
    RemoveDirectoryA((folder + "plugins\\Vardel").c_str());
    RemoveDirectoryA((folder + "plugins").c_str());
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::printf("usage: wine_test_host Vardel2.dll FIXTURE_FOLDER\n");
        return 2;
    }
    HWND window = CreateHostWindow();
    if (!window) {
        std::printf("FAILED: no host window\n");
        return 1;
    }

    Plugin plugin;
    if (!plugin.Load(argv[1])) return 1;
    LifecycleChecks(plugin, window);
    plugin.Unload();

    // Unloading and loading again starts the numbering at 1.
    if (!plugin.Load(argv[1])) return 1;
    CHECK(plugin.dllstartup(window, 0) == 1);
    plugin.Unload();

    if (!plugin.Load(argv[1])) return 1;
    SettingsChecks(plugin, window);
    plugin.Unload();

    std::printf("%d passed, %d failed\n", g_checks - g_failures, g_failures);
    return g_failures == 0 ? 0 : 1;
}

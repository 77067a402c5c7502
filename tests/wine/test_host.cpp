// A small Windows host for tests: loads Vardel2.dll as the meter host does, owns a
// real window that answers the folder query and counts the news-cycle messages,
// and drives the exports. Every failed check is printed; any failure makes the
// exit status non-zero.
//
// usage: wine_test_host PATH\Vardel2.dll FIXTURE_FOLDER
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/http_server.h"

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

// --- The news cycle end to end: feeds from a loopback server, the real counter,
// the real components, and the plug-in's message boxes caught and closed.

// Watches for message boxes of this process ("#32770" windows), records their
// caption, text and whether an icon shows, and closes them with OK.
class MessageBoxCatcher {
public:
    struct Box {
        std::string caption, text;
        bool icon = false;
    };

    MessageBoxCatcher() : thread_([this] { Watch(); }) {}
    ~MessageBoxCatcher() {
        stop_ = true;
        thread_.join();
    }

    std::vector<Box> Boxes() {
        std::lock_guard lock(mutex_);
        return boxes_;
    }
    void Clear() {
        std::lock_guard lock(mutex_);
        boxes_.clear();
    }

private:
    void Watch() {
        while (!stop_) {
            EnumWindows(&MessageBoxCatcher::Visit, reinterpret_cast<LPARAM>(this));
            Sleep(50);
        }
    }

    static BOOL CALLBACK Visit(HWND window, LPARAM self) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char className[32] = {};
        GetClassNameA(window, className, sizeof className);
        if (process == GetCurrentProcessId() && std::strcmp(className, "#32770") == 0 && IsWindowVisible(window))
            reinterpret_cast<MessageBoxCatcher*>(self)->Catch(window);
        return TRUE;
    }

    // The static controls hold the text and the icon.
    static BOOL CALLBACK VisitChild(HWND child, LPARAM into) {
        auto* box = reinterpret_cast<Box*>(into);
        char className[32] = {};
        GetClassNameA(child, className, sizeof className);
        if (_stricmp(className, "Static") != 0 || !IsWindowVisible(child)) return TRUE;
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
            box->icon = box->icon || SendMessageA(child, STM_GETICON, 0, 0) != 0;
        } else {
            char text[2048] = {};
            GetWindowTextA(child, text, sizeof text);
            if (*text) box->text = text;
        }
        return TRUE;
    }

    void Catch(HWND window) {
        if (closed_.count(window)) {
            if (!IsWindow(window)) closed_.erase(window);
            return;
        }
        Box box;
        char caption[256] = {};
        GetWindowTextA(window, caption, sizeof caption);
        box.caption = caption;
        EnumChildWindows(window, &MessageBoxCatcher::VisitChild, reinterpret_cast<LPARAM>(&box));
        {
            std::lock_guard lock(mutex_);
            boxes_.push_back(box);
        }
        closed_.insert(window);
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK)));
    }

    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<Box> boxes_;
    std::set<HWND> closed_;  // touched by the watching thread only
    std::thread thread_;
};

std::string NewsFeed(const char* first) {
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>T</title>"
                       "<item><title>") +
           first +
           "</title><link>http://example.test/1</link></item>"
           "<item><title>Zweite Meldung</title><link>http://example.test/2</link></item></channel></rss>\n";
}

// What the loopback server answers: "/feed.xml" a feed; "/flaky.xml" plain text
// first, the feed afterwards.
vardel::testing::HttpReply Serve(const vardel::testing::HttpRequestSeen& request) {
    static std::mutex mutex;
    static int flakyCalls = 0;
    vardel::testing::HttpReply reply;
    reply.body = NewsFeed("Erste Meldung");
    if (request.target == "/flaky.xml") {
        std::lock_guard lock(mutex);
        if (flakyCalls++ == 0) {
            reply.contentType = "text/plain";
            reply.body = "Wartungsarbeiten";
        }
    }
    return reply;
}

std::size_t RequestsFor(const vardel::testing::LoopbackHttpServer& server, const char* target) {
    std::size_t n = 0;
    for (const auto& request : server.Requests()) n += request.target == target;
    return n;
}

bool FileContains(const std::string& path, const char* text) {
    std::string content;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) content.append(buffer, n);
        std::fclose(f);
    }
    return content.find(text) != std::string::npos;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Download-only mode: direct load, the fallback request, the hold with the real
// counter, shared downloads, the layouts, remove-string and "Fehler".
void DownloadOnlyChecks(Plugin& p, HWND window, const std::string& folder,
                        const vardel::testing::LoopbackHttpServer& server, MessageBoxCatcher& boxes) {
    const std::string profile = folder + "news.ini";
    const std::string meters = "[DLF]\r\nIsDLF=0\r\n"
                               "[Head]\r\nSiteName=Good\r\n"
                               "[Ticker]\r\nSiteName=Good\r\nEndZeile=2\r\nStyle=1011\r\nRS=\" Meldung\"\r\n"
                               "[Fallback]\r\nSiteName=Flaky\r\nSiteType=1004\r\nTemplate=<title>\r\n"
                               "[Broken]\r\nSiteName=Good\r\nStyle=5\r\n"
                               "[Down]\r\nSiteName=Down\r\n";
    WriteTextFile(profile, meters.c_str());
    auto open = [&](const char* section) {
        const int n = p.dllstartup(window, 0);
        p.src_load_settings(n, profile.c_str(), section);
        return n;
    };
    const int head = open("Head"), ticker = open("Ticker"), fallback = open("Fallback");
    const int broken = open("Broken"), down = open("Down");

    const int cycles = g_newsCycles;
    CHECK_TEXT(p.GetNews(head), "Erste Meldung%lhttp://example.test/1");
    CHECK(g_newsCycles == cycles + 1);
    CHECK(RequestsFor(server, "/feed.xml") == 1);
    CHECK(server.Requests().size() == 1 && server.Requests()[0].Header("Get").empty());

    // Inside the hold: the cached text, no request, no message.
    CHECK_TEXT(p.GetNews(head), "Erste Meldung%lhttp://example.test/1");
    CHECK(g_newsCycles == cycles + 1);

    // Another meter on the same site shares the download.
    CHECK_TEXT(p.GetNews(ticker), "Erste * Zweite * ");
    CHECK(RequestsFor(server, "/feed.xml") == 1);

    // Not XML: exactly one more request, with the added header line.
    CHECK_TEXT(p.GetNews(fallback), "Erste Meldung");
    const auto requests = server.Requests();
    CHECK(RequestsFor(server, "/flaky.xml") == 2);
    CHECK(!requests.empty() && requests.back().target == "/flaky.xml" && requests.back().Header("Get") == "TarnAgent");

    CHECK_TEXT(p.GetNews(broken), "Fehler");
    CHECK_TEXT(p.GetNews(down), "%l");
    CHECK(g_newsCycles == cycles + 5);
    CHECK(boxes.Boxes().empty());
}

// Disk-copy mode: the copy and the stamp; a failed download without a copy shows
// the copy message; after a restart within the hold-off the copy is shown
// without a download.
void DiskCopyChecks(Plugin& p, const char* dllPath, HWND window, const std::string& folder,
                    const vardel::testing::LoopbackHttpServer& server, MessageBoxCatcher& boxes) {
    const std::string profile = folder + "copy.ini";
    WriteTextFile(profile, "[DLF]\r\nIsDLF=1\r\n[Head]\r\nSiteName=Good\r\n[Down]\r\nSiteName=Down\r\n");
    const std::string copy = folder + "plugins\\Vardel\\Good.xml";
    auto open = [&](const char* section) {
        const int n = p.dllstartup(window, 0);
        p.src_load_settings(n, profile.c_str(), section);
        return n;
    };

    const std::size_t before = RequestsFor(server, "/feed.xml");
    CHECK_TEXT(p.GetNews(open("Head")), "Erste Meldung%lhttp://example.test/1");
    CHECK(RequestsFor(server, "/feed.xml") == before + 1);
    CHECK(FileContains(copy, "Zweite Meldung"));
    const std::string stamp = ProfileValue(folder + "plugins\\Vardel\\Vardel2.ini", "LastDL", "Good");
    CHECK(std::atof(stamp.c_str()) > 40000.0);

    // Nothing listens at the down site's address, and it has no copy.
    boxes.Clear();
    CHECK_TEXT(p.GetNews(open("Down")), "%l");
    const auto shown = boxes.Boxes();
    CHECK(shown.size() == 1);
    if (!shown.empty()) {
        const std::string& text = shown[0].text;
        CHECK(text.rfind("f2--> Nr: -", 0) == 0);
        CHECK(text.find('\r') != std::string::npos);
        CHECK(EndsWith(text, "\r|" + folder + "plugins\\Vardel\\Down.xml"));
        CHECK_TEXT(shown[0].caption.c_str(), "Vardel2");
        CHECK(!shown[0].icon);
        if (!EndsWith(text, "\r|" + folder + "plugins\\Vardel\\Down.xml")) std::printf("box text: %s\n", text.c_str());
    }

    // The host restarts within five minutes of the download.
    p.Unload();
    if (!p.Load(dllPath)) return;
    boxes.Clear();
    CHECK_TEXT(p.GetNews(open("Head")), "Erste Meldung%lhttp://example.test/1");
    CHECK(RequestsFor(server, "/feed.xml") == before + 1);
    CHECK(boxes.Boxes().empty());
}

void NewsChecks(Plugin& p, const char* dllPath, HWND window) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder = std::string(temp) + "vardel-news-" + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(folder.c_str(), nullptr);
    CreateDirectoryA((folder + "plugins").c_str(), nullptr);
    CreateDirectoryA((folder + "plugins\\Vardel").c_str(), nullptr);

    vardel::testing::LoopbackHttpServer server(Serve);
    const std::string sites = "[Sites]\r\nGood=" + server.Url("/feed.xml") + "\r\nFlaky=" + server.Url("/flaky.xml") +
                              "\r\nDown=http://127.0.0.1:" +
                              std::to_string(vardel::testing::LoopbackHttpServer::RefusedPort()) + "/feed.xml\r\n";
    const std::string siteList = folder + "plugins\\Vardel\\Vardel2.ini";
    WriteTextFile(siteList, sites.c_str());
    g_folder = folder;

    MessageBoxCatcher boxes;
    // The catcher itself: a stop box of our own is read, shows its icon, and closes.
    MessageBoxA(nullptr, "line 1\rline 2", "Catcher", MB_OK | MB_ICONSTOP);
    const auto own = boxes.Boxes();
    CHECK(own.size() == 1 && own[0].text == "line 1\rline 2" && own[0].caption == "Catcher" && own[0].icon);
    boxes.Clear();
    DownloadOnlyChecks(p, window, folder, server, boxes);
    p.Unload();
    if (p.Load(dllPath)) DiskCopyChecks(p, dllPath, window, folder, server, boxes);

    for (const char* file : {"plugins\\Vardel\\Vardel2.ini", "plugins\\Vardel\\Good.xml", "news.ini", "copy.ini"})
        DeleteFileA((folder + file).c_str());
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

    if (!plugin.Load(argv[1])) return 1;
    NewsChecks(plugin, argv[1], window);
    plugin.Unload();

    std::printf("%d passed, %d failed\n", g_checks - g_failures, g_failures);
    return g_failures == 0 ? 0 : 1;
}

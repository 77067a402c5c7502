#include "plugin_host.h"

#include <cstdint>
#include <cstring>

#include "vardel/host_window.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace newsmeter {

// --- the library ---------------------------------------------------------------

#if defined(_WIN32)
namespace {
std::string LastErrorText() {
    char buffer[512] = {};
    const DWORD code = GetLastError();
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                   sizeof buffer, nullptr);
    std::string text = buffer;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}
}  // namespace

static void* OpenModule(const std::string& path, std::string& error) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) error = LastErrorText();
    return reinterpret_cast<void*>(module);
}
static void* ModuleSymbol(void* module, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
static void CloseModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }
#else
static void* OpenModule(const std::string& path, std::string& error) {
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = dlerror();
        error = why ? why : "unknown error";
    }
    return module;
}
static void* ModuleSymbol(void* module, const char* name) { return dlsym(module, name); }
static void CloseModule(void* module) { dlclose(module); }
#endif

void* PluginLibrary::Symbol(const char* name) { return ModuleSymbol(module_, name); }

template <typename Fn>
static bool Bind(Fn& fn, void* symbol) {
    fn = reinterpret_cast<Fn>(symbol);
    return fn != nullptr;
}

bool PluginLibrary::Load(const std::string& path, std::string& error) {
    Unload();
    std::string why;
    module_ = OpenModule(path, why);
    if (!module_) {
        error = "cannot load the plug-in " + path + ": " + why;
        return false;
    }
    const char* missing = nullptr;
    if (!Bind(dlltype, Symbol("dlltype"))) missing = "dlltype";
    else if (!Bind(init, Symbol("init"))) missing = "init";
    else if (!Bind(dllstartup, Symbol("dllstartup"))) missing = "dllstartup";
    else if (!Bind(dllshutdown, Symbol("dllshutdown"))) missing = "dllshutdown";
    else if (!Bind(src_load_settings, Symbol("src_load_settings"))) missing = "src_load_settings";
    if (missing) {
        error = path + " is not a news plug-in: it has no export \"" + missing + "\"";
        Unload();
        return false;
    }
    Bind(source_configure, Symbol("source_configure"));
    Bind(configure, Symbol("configure"));
    Bind(src_save_settings, Symbol("src_save_settings"));
    // The plug-in names the function that makes an instance's text.
    const char* newsName = init();
    if (!newsName || !*newsName || !Bind(news, Symbol(newsName))) {
        error = path + ": the news function \"" + (newsName ? newsName : "") + "\" that init names is missing";
        Unload();
        return false;
    }
    return true;
}

void PluginLibrary::Unload() {
    if (module_) CloseModule(module_);
    module_ = nullptr;
    dlltype = nullptr;
    init = nullptr;
    dllstartup = nullptr;
    dllshutdown = nullptr;
    src_load_settings = nullptr;
    news = nullptr;
    source_configure = nullptr;
    configure = nullptr;
    src_save_settings = nullptr;
}

// --- the host window ----------------------------------------------------------------

std::intptr_t HostWindow::Answer(std::uint32_t message) {
    // The folder text lives as long as the window; the plug-in copies it.
    if (message == VARDEL_MSG_FOLDER_QUERY) return reinterpret_cast<std::intptr_t>(folder_.c_str());
    if (message == VARDEL_MSG_NEWS_CYCLE) ++newsCycles_;
    return 0;
}

#if defined(_WIN32)
namespace {

constexpr char kWindowClass[] = "NewsmeterHost";

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* host = reinterpret_cast<HostWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (host && (message == VARDEL_MSG_FOLDER_QUERY || message == VARDEL_MSG_NEWS_CYCLE))
        return host->Answer(message);
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

HostWindow::HostWindow(std::string folder) : folder_(std::move(folder)) {}

HostWindow::~HostWindow() {
    if (handle_) DestroyWindow(static_cast<HWND>(handle_));
}

bool HostWindow::Create(std::string& error) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kWindowClass;
    RegisterClassA(&wc);  // fails harmlessly when already registered
    HWND window = CreateWindowA(kWindowClass, "newsmeter", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                wc.hInstance, nullptr);
    if (!window) {
        error = "cannot create the host window";
        return false;
    }
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    handle_ = window;
    return true;
}

void* HostWindow::Handle() const { return handle_; }
#else
namespace {

// What the plug-in holds as the window handle: the message function first.
struct WindowRecord {
    vardel_host_window window;
    HostWindow* owner;
};

intptr_t Receive(void* handle, uint32_t message, uintptr_t, intptr_t) {
    return static_cast<WindowRecord*>(handle)->owner->Answer(message);
}

}  // namespace

HostWindow::HostWindow(std::string folder) : folder_(std::move(folder)) {}

HostWindow::~HostWindow() { delete static_cast<WindowRecord*>(handle_); }

bool HostWindow::Create(std::string&) {
    handle_ = new WindowRecord{{&Receive}, this};
    return true;
}

void* HostWindow::Handle() const { return handle_; }
#endif

}  // namespace newsmeter

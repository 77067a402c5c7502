// newsmeter: a command-line host for the Vardel2 news plug-in, for terminals,
// scripts and status bars. It loads the plug-in by path, opens one meter per
// section of its host profile and shows the texts GetNews returns, once or
// whenever they change. It uses the plug-in's exports only.
#include <atomic>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "configure_command.h"
#include "display.h"
#include "host_profile.h"
#include "plugin_host.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <csignal>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace newsmeter {
namespace {

#if defined(_WIN32)
constexpr char kLibraryName[] = "Vardel2.dll";
constexpr char kSeparator = '\\';
#else
constexpr char kLibraryName[] = "Vardel2.so";
constexpr char kSeparator = '/';
#endif
constexpr char kDefaultProfile[] = "newsmeter.ini";
constexpr char kBuildLibrary[] = "build/linux/Vardel2.so";

constexpr int kExitTrouble = 1;  // missing or unusable library, folder or profile
constexpr int kExitUsage = 2;

std::atomic<bool> g_stop{false};

const char kUsage[] =
    "usage: newsmeter [--once | --watch] [options] FOLDER\n"
    "\n"
    "Shows the news meters of a host profile through the Vardel2 plug-in.\n"
    "\n"
    "  FOLDER            the host folder; the plug-in reads its site list from\n"
    "                    FOLDER/plugins/Vardel/Vardel2.ini. newsmeter works inside\n"
    "                    FOLDER, so relative feed addresses resolve against it.\n"
    "  --once            show every meter's text once and exit (the default)\n"
    "  --watch           keep asking for news; show the texts again when one changes\n"
    "  --interval SEC    seconds between two rounds of --watch (default 1)\n"
    "  --profile FILE    the host profile (default FOLDER/newsmeter.ini): one section\n"
    "                    per meter, all sections but [DLF] and [newsmeter], or those\n"
    "                    that \"meters=a,b\" of section [newsmeter] lists, in order\n"
    "  --meter NAME      show only this meter (may be repeated)\n"
    "  --library PATH    the plug-in (default: Vardel2.so next to newsmeter, else\n"
    "                    build/linux/Vardel2.so)\n"
    "  --raw             print the texts exactly as the plug-in returns them\n"
    "                    (Windows-1252, with its codes %b and %l)\n"
    "  --separator TEXT  what %l becomes (default \" \xE2\x80\x94 \")\n"
    "  --break TEXT      what %b becomes (default a line break)\n"
    "  --help            show this text\n"
    "\n"
    "With more than one meter each text follows a line with the meter's name in\n"
    "brackets. Exit status: 0 done, 1 library, folder or profile missing or\n"
    "unusable, 2 wrong arguments.\n";

struct Options {
    bool watch = false;
    double intervalSeconds = 1.0;
    std::string folder;
    std::string profile;
    std::string library;
    std::vector<std::string> meters;
    DisplayOptions display;
};

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "newsmeter: %s\n", message.c_str());
    return status;
}

// Parses the arguments; returns -1 to go on, else the exit status.
int ParseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--once") {
            options.watch = false;
        } else if (arg == "--watch") {
            options.watch = true;
        } else if (arg == "--raw") {
            options.display.raw = true;
        } else if (arg == "--interval") {
            char* end = nullptr;
            if (!value(text)) return Fail(kExitUsage, "--interval needs a number of seconds");
            options.intervalSeconds = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end || !(options.intervalSeconds > 0) || options.intervalSeconds > 86400)
                return Fail(kExitUsage, "--interval needs a number of seconds above 0, not \"" + text + "\"");
        } else if (arg == "--profile") {
            if (!value(options.profile)) return Fail(kExitUsage, "--profile needs a file");
        } else if (arg == "--library") {
            if (!value(options.library)) return Fail(kExitUsage, "--library needs a path");
        } else if (arg == "--meter") {
            if (!value(text)) return Fail(kExitUsage, "--meter needs a name");
            options.meters.push_back(text);
        } else if (arg == "--separator") {
            if (!value(options.display.separator)) return Fail(kExitUsage, "--separator needs a text");
        } else if (arg == "--break") {
            if (!value(options.display.lineBreak)) return Fail(kExitUsage, "--break needs a text");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Fail(kExitUsage, "unknown option " + arg + " (see --help)");
        } else if (options.folder.empty()) {
            options.folder = arg;
        } else {
            return Fail(kExitUsage, "only one host folder, please (see --help)");
        }
    }
    if (options.folder.empty()) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    return -1;
}

std::string ProgramFolder(const char* argv0) {
    std::error_code ec;
#if defined(_WIN32)
    char buffer[MAX_PATH] = {};
    if (GetModuleFileNameA(nullptr, buffer, MAX_PATH)) return fs::path(buffer).parent_path().string();
#else
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) return self.parent_path().string();
#endif
    const fs::path given = fs::absolute(argv0, ec);
    return ec ? std::string() : given.parent_path().string();
}

// The library to load: the one asked for, else next to the program, else the
// build folder's.
std::string FindLibrary(const Options& options, const char* argv0) {
    if (!options.library.empty()) return options.library;
    const fs::path besideProgram = fs::path(ProgramFolder(argv0)) / kLibraryName;
    std::error_code ec;
    if (fs::is_regular_file(besideProgram, ec)) return besideProgram.string();
    return kBuildLibrary;
}

bool ReadFile(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    content = s.str();
    return true;
}

// Everything a session needs, resolved before the program moves into the folder.
struct Session {
    std::string folder;   // absolute, with a trailing separator
    std::string profile;  // absolute
    std::string library;  // absolute
    std::vector<std::string> meters;
};

int PrepareSession(const Options& options, const char* argv0, Session& session) {
    std::error_code ec;
    const fs::path folder = fs::canonical(options.folder, ec);
    if (ec || !fs::is_directory(folder, ec))
        return Fail(kExitTrouble, "the host folder " + options.folder + " does not exist or is no folder");
    session.folder = folder.string();
    if (session.folder.back() != kSeparator) session.folder += kSeparator;

    const fs::path siteList = folder / "plugins" / "Vardel" / "Vardel2.ini";
    if (!fs::is_regular_file(siteList, ec))
        std::fprintf(stderr, "newsmeter: warning: there is no site list %s; the meters will find no sites\n",
                     siteList.string().c_str());

    const std::string profileArg = options.profile.empty() ? (folder / kDefaultProfile).string() : options.profile;
    const fs::path profile = fs::canonical(profileArg, ec);
    if (ec || !fs::is_regular_file(profile, ec))
        return Fail(kExitTrouble, "the host profile " + profileArg + " does not exist");
    session.profile = profile.string();
    std::string content;
    if (!ReadFile(session.profile, content)) return Fail(kExitTrouble, "cannot read the host profile " + session.profile);

    const ProfileIndex index(content);
    session.meters = options.meters.empty() ? MeterSections(index) : options.meters;
    if (session.meters.empty()) return Fail(kExitTrouble, "the host profile " + session.profile + " has no meters");
    for (const std::string& meter : session.meters)
        if (!index.HasSection(meter))
            return Fail(kExitTrouble, "the host profile " + session.profile + " has no meter [" + meter + "]");

    const std::string libraryArg = FindLibrary(options, argv0);
    const fs::path library = fs::canonical(libraryArg, ec);
    if (ec || !fs::is_regular_file(library, ec))
        return Fail(kExitTrouble, "the plug-in " + libraryArg + " does not exist (use --library PATH)");
    session.library = library.string();
    return -1;
}

struct Meter {
    std::string name;
    std::int32_t instance = 0;
    std::string text;  // as GetNews returned it last
};

void Show(const std::vector<Meter>& meters, const DisplayOptions& display) {
    std::string out;
    for (const Meter& meter : meters) {
        if (meters.size() > 1) out += "[" + meter.name + "]\n";
        std::string shown = ForDisplay(meter.text, display);
        // A list ends with the code for a line break; the meter's own line ends anyway.
        const std::string& tail = display.lineBreak;
        if (!display.raw && !tail.empty())
            while (shown.size() >= tail.size() && shown.compare(shown.size() - tail.size(), tail.size(), tail) == 0)
                shown.resize(shown.size() - tail.size());
        out += shown;
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

// Asks for every meter's text; true when one of them changed.
bool Refresh(PluginLibrary& plugin, std::vector<Meter>& meters) {
    bool changed = false;
    for (Meter& meter : meters) {
        const char* text = plugin.news(meter.instance);
        const std::string now = text ? text : "";
        if (now != meter.text) {
            meter.text = now;
            changed = true;
        }
    }
    return changed;
}

void SleepUnlessStopped(double seconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!g_stop && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

#if defined(_WIN32)
BOOL WINAPI OnConsoleEvent(DWORD) {
    g_stop = true;
    return TRUE;
}
void CatchStopSignals() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }
#else
void OnStopSignal(int) { g_stop = true; }
void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}
#endif

int Run(const Options& options, const Session& session) {
    // Relative feed addresses in the site list are read from the host folder.
    std::error_code ec;
    fs::current_path(session.folder, ec);
    if (ec) return Fail(kExitTrouble, "cannot work in the host folder " + session.folder + ": " + ec.message());

    PluginLibrary plugin;
    std::string error;
    if (!plugin.Load(session.library, error)) return Fail(kExitTrouble, error);
    HostWindow window(session.folder);
    if (!window.Create(error)) return Fail(kExitTrouble, error);

    std::vector<Meter> meters;
    for (const std::string& name : session.meters) {
        Meter meter;
        meter.name = name;
        meter.instance = plugin.dllstartup(window.Handle(), 0);
        plugin.src_load_settings(meter.instance, session.profile.c_str(), name.c_str());
        meters.push_back(std::move(meter));
    }

    const bool terminal = isatty(fileno(stdout));
#if defined(_WIN32)
    if (!options.display.raw) SetConsoleOutputCP(CP_UTF8);
#endif
    Refresh(plugin, meters);
    if (options.watch) {
        CatchStopSignals();
        for (bool changed = true; !g_stop; changed = Refresh(plugin, meters)) {
            if (changed) {
                if (terminal) std::fputs("\033[H\033[2J", stdout);  // redraw in place
                Show(meters, options.display);
            }
            SleepUnlessStopped(options.intervalSeconds);
        }
    } else {
        Show(meters, options.display);
    }

    for (const Meter& meter : meters) plugin.dllshutdown(meter.instance);
    plugin.KeepUntilExit();
    return 0;
}

}  // namespace
}  // namespace newsmeter

int main(int argc, char** argv) {
    using namespace newsmeter;
    // The plug-in takes its code page from the locale's character set; numbers
    // are read and written the same way in every locale.
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    // Setting meters up has commands of its own.
    if (IsConfigureCommand(argc, argv)) return RunConfigureCommand(argc, argv);
    Options options;
    options.display = DisplayOptionsForLocale();
    if (const int status = ParseArguments(argc, argv, options); status >= 0) return status;
    Session session;
    if (const int status = PrepareSession(options, argv[0], session); status >= 0) return status;
    return Run(options, session);
}
